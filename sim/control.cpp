#include "control.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vok::sim {

namespace {

bool parseStation(const std::string& s, int& station)
{
    if (s == "*") {
        station = 0;
        return true;
    }
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || v < 1 || v > 128)
        return false;
    station = static_cast<int>(v);
    return true;
}

bool parseNumber(const std::string& s, long& out)
{
    char* end = nullptr;
    out = std::strtol(s.c_str(), &end, 0);
    return !s.empty() && !*end;
}

sockaddr_un address(const std::string& path, bool& ok)
{
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    ok = path.size() < sizeof a.sun_path;
    if (ok)
        std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
    return a;
}

} // namespace

std::string executeCommand(SimLine& line, const std::string& command)
{
    std::istringstream in(command);
    std::string verb, a, b, c;
    in >> verb >> a >> b;
    std::getline(in, c);
    c.erase(0, c.find_first_not_of(' '));
    int station = 0;
    std::string error;
    if (verb == "status")
        return "ok " + line.status();
    if (verb == "fault" || verb == "nofault") {
        if (!parseStation(a, station))
            return "error: a station 1-32, 63, 64, 128 or *";
        if (!line.setFault(station, b, c, verb == "fault", &error))
            return "error: " + error;
        return "ok";
    }
    if (verb == "clear") {
        if (!parseStation(a, station))
            return "error: a station 1-32, 63, 64, 128 or *";
        line.clearFaults(station);
        return "ok";
    }
    if (verb == "station") {
        if (!parseStation(a, station) || station < 1 || station > 32)
            return "error: a station 1-32";
        if (b != "none" && (b.size() != 13 || b.compare(0, 3, "VOK") != 0))
            return "error: a module code has 13 characters and starts with VOK";
        line.setPresent(station, b == "none" ? std::string() : b);
        return "ok";
    }
    if (verb == "extra") {
        long n = 0;
        if (!parseNumber(a, n) || n < 0 || n > 32)
            return "error: a station 0-32";
        line.setExtraStation(static_cast<int>(n));
        return "ok";
    }
    if (verb == "set" || verb == "get") {
        long reg = 0, value = 0;
        if (!parseStation(a, station) || station == 0 || !parseNumber(b, reg))
            return "error: " + verb + " STATION REGISTER" + (verb == "set" ? " VALUE" : "");
        if (verb == "get") {
            auto v = line.registerValue(station, static_cast<int>(reg));
            return v ? "ok " + std::to_string(*v) : "error: no such register";
        }
        if (!parseNumber(c, value) || value < -32768 || value > 65535)
            return "error: a value 0-65535 (or -32768-32767)";
        return line.setRegister(station, static_cast<int>(reg), static_cast<std::uint16_t>(value)) ? "ok"
                                                                                                  : "error: no such register";
    }
    return "error: unknown command \"" + verb + "\" (fault, nofault, clear, station, extra, set, get, status)";
}

ControlServer::ControlServer(SimLine& line, std::string path) : m_line(line), m_path(std::move(path)) {}

ControlServer::~ControlServer()
{
    stop();
}

bool ControlServer::start(std::string* error)
{
    bool ok = false;
    sockaddr_un a = address(m_path, ok);
    if (!ok) {
        if (error)
            *error = "control socket path too long";
        return false;
    }
    ::unlink(m_path.c_str());
    m_socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_socket, 4) != 0) {
        if (error)
            *error = "cannot listen on " + m_path + ": " + std::strerror(errno);
        return false;
    }
    m_wake = ::eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { serve(); });
    return true;
}

void ControlServer::stop()
{
    if (m_thread.joinable()) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    if (m_socket >= 0) {
        ::close(m_socket);
        ::unlink(m_path.c_str());
        m_socket = -1;
    }
    if (m_wake >= 0)
        ::close(m_wake);
    m_wake = -1;
}

void ControlServer::serve()
{
    for (;;) {
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        int client = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        std::string pending;
        char buf[1024];
        // One client at a time; each line is one command.
        for (;;) {
            pollfd c[2] = {{client, POLLIN, 0}, {m_wake, POLLIN, 0}};
            if (::poll(c, 2, 5000) <= 0 || c[1].revents)
                break;
            ssize_t n = ::read(client, buf, sizeof buf);
            if (n <= 0)
                break;
            pending.append(buf, static_cast<std::size_t>(n));
            std::size_t eol;
            while ((eol = pending.find('\n')) != std::string::npos) {
                std::string cmd = pending.substr(0, eol);
                pending.erase(0, eol + 1);
                if (!cmd.empty() && cmd.back() == '\r')
                    cmd.pop_back();
                // A reply may span lines; a line holding only "." ends it.
                std::string reply = executeCommand(m_line, cmd) + "\n.\n";
                [[maybe_unused]] ssize_t w = ::write(client, reply.data(), reply.size());
            }
        }
        ::close(client);
    }
}

bool sendControl(const std::string& path, const std::string& command, std::string& reply)
{
    bool ok = false;
    sockaddr_un a = address(path, ok);
    int s = ok ? ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    if (s < 0 || ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (s >= 0)
            ::close(s);
        return false;
    }
    std::string line = command + "\n";
    [[maybe_unused]] ssize_t w = ::write(s, line.data(), line.size());
    reply.clear();
    char buf[4096];
    while (!reply.ends_with("\n.\n")) {
        pollfd p{s, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        ssize_t n = ::read(s, buf, sizeof buf);
        if (n <= 0)
            break;
        reply.append(buf, static_cast<std::size_t>(n));
    }
    ::close(s);
    if (reply.ends_with("\n.\n"))
        reply.resize(reply.size() - 3);
    return true;
}

} // namespace vok::sim
