#pragma once
// The one process-wide link: the port that the protocol layer and the workers share.

#include "serialport.h"
#include "settings.h"

#include <array>
#include <ctime>
#include <mutex>

namespace vok {

class Reporter;

// Opens "COM<portIndex + 1>" as the settings map it to a device (or the settings' device
// override). Nothing when it cannot be opened.
PortHandle openSerialPort(const CommSettings& settings, int portIndex, int baudIndex, int parityIndex,
                          int byteIndex, int stopIndex, std::string* error = nullptr);

// Whether the line answers, as every user of the port sees it: lost when the port hung up
// or reported an I/O error, or when a user's rule for "nothing answers" tripped; back as
// soon as any request is answered.
struct LineHealth {
    bool lost = false;
    std::time_t since = 0; // when it was lost
    std::string why;
    unsigned losses = 0;   // how many times it was lost since the start
};

// The kinds of work that share the port.
enum class LineUser : int { Transfer, Monitor, Reread, Logging, ModuleStatus, OnlineEdit };
inline constexpr int kLineUserKinds = 6;

class Link {
public:
    // Marks a kind of work as using the line while it lives; what the windows enable follows.
    class Use {
    public:
        Use(Link& link, LineUser who);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        Link& m_link;
        LineUser m_who;
    };
    // How many of each kind use the line now.
    int usersOf(LineUser who) const;

    Link(CommSettings& settings, Reporter& reporter) : m_settings(settings), m_reporter(reporter) {}

    // Opens the port of the settings and keeps it as the link handle; 0, or -1 after showing
    // text 100.
    int openLinkFromSettings();
    // The same without the message: 0, or -1 with the reason in lastError().
    int openLink();
    // Text 100 with the reason of the last failed open.
    void reportOpenFailure();
    // Drops DTR, closes the port and makes the link handle invalid once the last of its
    // users closes it; the close result. The users are counted for the link, not for one
    // handle: a port reopened after a loss keeps the count of those still holding it.
    int closeSerialPort(const PortHandle& handle);
    // Ends this user's use of the link handle.
    int close() { return closeSerialPort(linkHandle()); }
    // Closes the port whoever still uses it (at exit).
    int closeAll();

    PortHandle linkHandle() const;

    // A loss seen by one user of the line is seen by all; true when this call lost it (the
    // line was healthy until now), so that a loss is said once.
    bool noteLost(const std::string& why);
    // A request was answered: the line is back.
    void noteAnswered();
    LineHealth health() const;
    // How many users hold the port now.
    int users() const;
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
    std::mutex m_openMutex;
    PortHandle m_handle;
    int m_users = 0;
    std::string m_lastError;
    LineHealth m_health;
    std::array<int, kLineUserKinds> m_using{};
};

} // namespace vok
