#pragma once
// Two pseudo-terminals joined back to back, like a null-modem cable: bytes written on one
// slave path arrive on the other. Both ends are opened by path, so a program that insists on
// opening a device (our port, libmodbus) can sit on either side.

#include "ptypair.h"

#include <atomic>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>

namespace vok::test {

class PtyBridge {
public:
    PtyBridge() : m_stop(::eventfd(0, EFD_CLOEXEC))
    {
        m_thread = std::thread([this] { relay(); });
    }
    ~PtyBridge()
    {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_stop, &one, sizeof one);
        m_thread.join();
        ::close(m_stop);
    }
    const std::string& pathA() const { return m_a.slavePath(); }
    const std::string& pathB() const { return m_b.slavePath(); }

private:
    void relay()
    {
        pollfd fds[3] = {{m_a.master(), POLLIN, 0}, {m_b.master(), POLLIN, 0}, {m_stop, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 3, 1000) < 0)
                return;
            if (fds[2].revents)
                return;
            for (int side = 0; side < 2; ++side) {
                // POLLHUP only means nobody holds that slave open right now.
                if (!(fds[side].revents & POLLIN))
                    continue;
                char buf[512];
                ssize_t n = ::read(fds[side].fd, buf, sizeof buf);
                if (n > 0)
                    [[maybe_unused]] ssize_t w = ::write(fds[1 - side].fd, buf, static_cast<std::size_t>(n));
            }
            if ((fds[0].revents | fds[1].revents) & POLLHUP)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    PtyPair m_a;
    PtyPair m_b;
    int m_stop;
    std::thread m_thread;
};

} // namespace vok::test
