#pragma once
// How the core talks to the person at the screen. The loader's windows marshal each call to
// the GUI thread; the command-line tool prints. Calls may come from any thread.

#include <cstdint>
#include <string>

namespace vok {

enum class Refresh { Views, TreeAndViews };

class Reporter {
public:
    virtual ~Reporter() = default;
    // A message box with the text of `textId` (followed by `suffix`) and an OK button.
    virtual void message(int textId, const std::string& suffix = {}) = 0;
    // The progress meter: start with an expected total, then advances.
    virtual void progressStart(std::uint32_t /*total*/) {}
    virtual void progressAdvance(int /*amount*/) {}
    virtual void progressEnd() {}
    // A text of the table in the status area.
    virtual void statusText(int /*textId*/) {}
    // What the core has to say where the text table has no text for it (English): a
    // message box in the loader, a line on standard error in the command-line tool.
    virtual void notice(const std::string& /*text*/) {}
    // A passing word on what a long transfer is doing (the status area, or a line of the
    // command-line tool).
    virtual void note(const std::string& /*text*/) {}
    // The tree and the parameter views show the store again.
    virtual void refresh(Refresh /*what*/) {}
};

// Drops every report; for tests and silent batch work.
class NullReporter : public Reporter {
public:
    void message(int, const std::string&) override {}
};

} // namespace vok
