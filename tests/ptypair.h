#pragma once
// A pseudo-terminal pair for tests of the port layer: the test holds the master, the code
// under test opens the slave path.

#include <fcntl.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace vok::test {

class PtyPair {
public:
    PtyPair()
    {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) == 0) {
            m_path = name;
            // Raw on both sides so bytes pass unchanged; the slave is reopened by the code
            // under test, so close our copy.
            termios t {};
            ::tcgetattr(slave, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
            ::close(slave);
        }
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return m_master; }
    const std::string& slavePath() const { return m_path; }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_path;
};

} // namespace vok::test
