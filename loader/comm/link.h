#pragma once
// The one process-wide link: the port that the protocol layer and the workers share.

#include "serialport.h"
#include "settings.h"

#include <mutex>

namespace vok {

class Reporter;

// Opens "COM<portIndex + 1>" as the settings map it to a device (or the settings' device
// override). Nothing when it cannot be opened.
PortHandle openSerialPort(const CommSettings& settings, int portIndex, int baudIndex, int parityIndex,
                          int byteIndex, int stopIndex, std::string* error = nullptr);

class Link {
public:
    Link(CommSettings& settings, Reporter& reporter) : m_settings(settings), m_reporter(reporter) {}

    // Opens the port of the settings and keeps it as the link handle; 0, or -1 after showing
    // text 100.
    int openLinkFromSettings();
    // The same without the message: 0, or -1 with the reason in lastError().
    int openLink();
    // Text 100 with the reason of the last failed open.
    void reportOpenFailure();
    // Drops DTR, closes the port and makes the link handle invalid once the last of its
    // users closes it; the close result.
    int closeSerialPort(const PortHandle& handle);
    // Ends this user's use of the link handle.
    int close() { return closeSerialPort(linkHandle()); }
    // Closes the port whoever still uses it (at exit).
    int closeAll();

    PortHandle linkHandle() const;
    std::string lastError() const
    {
        std::lock_guard lock(m_mutex);
        return m_lastError;
    }

    CommSettings& settings() { return m_settings; }
    Reporter& reporter() { return m_reporter; }

private:
    CommSettings& m_settings;
    Reporter& m_reporter;
    mutable std::mutex m_mutex;
    PortHandle m_handle;
    int m_users = 0;
    std::string m_lastError;
};

} // namespace vok
