#include "slaveserver.h"

#include "modbus.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace vok::sim {

double monotonicSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

namespace {

void sleepUntil(double t)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(t);
    ts.tv_nsec = static_cast<long>((t - static_cast<double>(ts.tv_sec)) * 1e9);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// The length of the request that starts the buffer, once enough of it is there; 0 while
// unknown.
std::size_t requestLength(const Bytes& b)
{
    if (b.size() < 2)
        return 0;
    if (b[1] == 16)
        return b.size() >= 7 ? 9u + b[6] : 0;
    return 8;
}

} // namespace

double LineTiming::charTime() const
{
    const int bits = 1 + dataBits + (parity ? 1 : 0) + (stopBits >= 2 ? 2 : 1);
    return static_cast<double>(bits) / baud;
}

double LineTiming::silentInterval() const
{
    // Above 19200 baud the interval is fixed at 1.75 ms.
    return baud > 19200 ? 0.00175 : 3.5 * charTime();
}

SlaveServer::SlaveServer(SimLine& line, int fd, LineTiming timing, bool zFraming)
    : m_line(line), m_fd(fd), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_timing(timing), m_z(zFraming)
{
}

SlaveServer::~SlaveServer()
{
    ::close(m_wake);
}

void SlaveServer::stop()
{
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wake, &one, sizeof one);
}

void SlaveServer::log(const char* direction, const std::uint8_t* data, std::size_t n)
{
    if (!m_log)
        return;
    std::lock_guard lock(m_logMutex);
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    std::fprintf(m_log, "%02d:%02d:%02d.%03ld %s", local.tm_hour, local.tm_min, local.tm_sec, ts.tv_nsec / 1000000,
                 direction);
    for (std::size_t i = 0; i < n; ++i)
        std::fprintf(m_log, " %02X", data[i]);
    std::fputc('\n', m_log);
    std::fflush(m_log);
}

void SlaveServer::send(const Bytes& answer, double requestWireEnd)
{
    if (answer.empty())
        return;
    const double ct = m_timing.charTime();
    double start = std::max(monotonicSeconds(), requestWireEnd + m_timing.silentInterval())
        + m_timing.responseDelayMs / 1000.0;
    // Bytes go out in small chunks, each once its last character is complete on the wire,
    // as a receiver would have them: the last byte arrives when the answer ends.
    constexpr std::size_t kChunk = 8;
    for (std::size_t i = 0; i < answer.size(); i += kChunk) {
        const std::size_t n = std::min(kChunk, answer.size() - i);
        sleepUntil(start + static_cast<double>(i + n) * ct);
        std::size_t done = 0;
        while (done < n) {
            ssize_t w = ::write(m_fd, answer.data() + i + done, n - done);
            if (w > 0)
                done += static_cast<std::size_t>(w);
            else if (w < 0 && errno != EAGAIN && errno != EINTR)
                return;
            else
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    const double end = start + static_cast<double>(answer.size()) * ct;
    m_lineFreeAt = end + m_timing.silentInterval();
    log("TX", answer.data(), answer.size());
    ++m_answered;
}

void SlaveServer::process(Bytes& buffer, double firstByteAt, bool silence)
{
    const double ct = m_timing.charTime();
    for (;;) {
        if (buffer.empty())
            return;
        if (m_z) {
            // Resynchronise on the next 0x5A; a length no frame can have is noise.
            auto z = std::find(buffer.begin(), buffer.end(), 0x5A);
            buffer.erase(buffer.begin(), z);
            if (buffer.size() < 3)
                break;
            const std::size_t total = 3u + (buffer[1] | (buffer[2] << 8));
            if (total > static_cast<std::size_t>(kMaxZFrame) || total < 23) {
                buffer.erase(buffer.begin());
                continue;
            }
            if (buffer.size() < total)
                break;
            Bytes frame(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
            buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(total));
            log("RX", frame.data(), frame.size());
            send(m_line.handleZ(frame), std::max(firstByteAt, m_lineFreeAt) + static_cast<double>(total) * ct);
            continue;
        }
        const std::size_t length = requestLength(buffer);
        if (length == 0 || buffer.size() < length)
            break;
        Bytes frame(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        if (!modbus::crcMatches(frame))
            break; // not a frame start: wait for the silent interval and drop it all
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        log("RX", frame.data(), frame.size());
        send(m_line.handle(frame), std::max(firstByteAt, m_lineFreeAt) + static_cast<double>(length) * ct);
    }
    if (silence && !buffer.empty()) {
        log("DROP", buffer.data(), buffer.size());
        buffer.clear();
    }
}

void SlaveServer::run()
{
    Bytes buffer;
    double firstByteAt = 0;
    const int gapMs = std::max(2, static_cast<int>(m_timing.silentInterval() * 1000 + 0.999));
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
        int rc = ::poll(fds, 2, buffer.empty() ? 100 : gapMs);
        if (rc < 0 && errno != EINTR)
            return;
        if (fds[1].revents & POLLIN)
            return;
        m_line.tick();
        if (rc <= 0) {
            process(buffer, firstByteAt, true);
            continue;
        }
        if (fds[0].revents & POLLIN) {
            std::uint8_t chunk[512];
            ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n > 0) {
                if (buffer.empty())
                    firstByteAt = monotonicSeconds();
                buffer.insert(buffer.end(), chunk, chunk + n);
                if (buffer.size() > 4096)
                    buffer.erase(buffer.begin(), buffer.end() - 512);
                process(buffer, firstByteAt, false);
                if (buffer.empty())
                    firstByteAt = 0;
                continue;
            }
        }
        if (fds[0].revents & (POLLHUP | POLLERR)) {
            // Nobody holds the other end right now; wait for the next opener.
            buffer.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

} // namespace vok::sim
