#pragma once
// A simulated line served on a pseudo-terminal in this process, with our master on the
// other end: the fixture of the integration tests.

#include "link.h"
#include "modbus.h"
#include "reporter.h"
#include "simline.h"
#include "slaveserver.h"

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vok::test {

inline const std::string kSampleLanguage = VOK_SOURCE_DIR "/sample/file/language1";

class SimulatedLine {
public:
    explicit SimulatedLine(sim::LineConfig config, sim::LineTiming timing = fastTiming(), bool z = false)
        : m_sim(prepare(std::move(config)))
    {
        std::string error;
        m_started = m_sim.start(&error);
        m_error = error;
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_path = ::ptsname(m_master);
        m_keep = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        ::tcgetattr(m_keep, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_keep, TCSANOW, &t);
        m_server = std::make_unique<sim::SlaveServer>(m_sim, m_master, timing, z);
        m_thread = std::thread([this] { m_server->run(); });
        settings.deviceOverride = m_path;
        settings.cmdMode = z ? 1 : 0;
        settings.bps = 6;
        link = std::make_unique<Link>(settings, reporter);
        master = std::make_unique<ModbusMaster>(*link);
    }
    ~SimulatedLine()
    {
        link->close();
        hangUp();
    }

    // The simulator goes away as a killed process would: its end of the line closes.
    void hangUp()
    {
        if (m_master < 0)
            return;
        m_server->stop();
        m_thread.join();
        ::close(m_keep);
        ::close(m_master);
        m_keep = m_master = -1;
    }

    // Runs `then` on a thread of its own once the simulator has answered `requests` more
    // requests than now (a fault in the middle of a transfer).
    std::thread after(std::uint64_t requests, std::function<void()> then)
    {
        const std::uint64_t at = m_server->requestsAnswered() + requests;
        return std::thread([this, at, then = std::move(then)] {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (m_server->requestsAnswered() < at && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            then();
        });
    }
    std::uint64_t requestsAnswered() const { return m_server->requestsAnswered(); }

    static sim::LineTiming fastTiming()
    {
        sim::LineTiming t;
        t.baud = 115200;
        return t;
    }

    bool started() const { return m_started; }
    const std::string& error() const { return m_error; }
    const std::string& path() const { return m_path; }
    sim::SimLine& sim() { return m_sim; }

    PortHandle open()
    {
        if (!link->linkHandle())
            link->openLinkFromSettings();
        return link->linkHandle();
    }
    int read(int station, int reg, std::uint16_t* values, int count = 1)
    {
        return master->readRegisters(open(), station, 2 * count, values, reg);
    }
    int write(int station, int reg, std::uint16_t value) { return master->writeRegisters(open(), station, 2, &value, reg); }

    CommSettings settings;
    NullReporter reporter;
    std::unique_ptr<Link> link;
    std::unique_ptr<ModbusMaster> master;

private:
    static sim::LineConfig prepare(sim::LineConfig c)
    {
        if (c.languageFolder.empty())
            c.languageFolder = kSampleLanguage;
        return c;
    }

    sim::SimLine m_sim;
    bool m_started = false;
    std::string m_error;
    int m_master = -1;
    int m_keep = -1;
    std::string m_path;
    std::unique_ptr<sim::SlaveServer> m_server;
    std::thread m_thread;
};

} // namespace vok::test
