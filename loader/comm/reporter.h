#pragma once
// How the core talks to the person at the screen. The loader's windows marshal each call to
// the GUI thread; the command-line tool prints. Calls may come from any thread.

#include <string>

namespace vok {

class Reporter {
public:
    virtual ~Reporter() = default;
    // A message box with the text of `textId` (followed by `suffix`) and an OK button.
    virtual void message(int textId, const std::string& suffix = {}) = 0;
};

// Drops every report; for tests and silent batch work.
class NullReporter : public Reporter {
public:
    void message(int, const std::string&) override {}
};

} // namespace vok
