#pragma once
// Serves a simulated line on a byte stream (a pseudo-terminal or a serial device): finds the
// request frames, answers them through the SimLine, and paces the answers at the character
// time of the line's baud rate, after the silent interval between frames.

#include "simline.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace vok::sim {

struct LineTiming {
    int baud = 19200;
    int dataBits = 8;
    int parity = 0;   // 0 none, 1 odd, 2 even
    int stopBits = 1; // 1 or 2
    int responseDelayMs = 0;

    // Seconds per character and the silent interval between frames.
    double charTime() const;
    double silentInterval() const;
};

class SlaveServer {
public:
    SlaveServer(SimLine& line, int fd, LineTiming timing, bool zFraming);
    ~SlaveServer();

    // Serves until stop(); returns at once when stop() was called before.
    void run();
    void stop();

    // Frames as hex with time stamps, or nothing; the server does not own the file.
    void setLog(std::FILE* log) { m_log = log; }

    std::uint64_t requestsAnswered() const { return m_answered; }

private:
    void process(Bytes& buffer, double firstByteAt, bool silence);
    void send(const Bytes& answer, double requestWireEnd);
    void log(const char* direction, const std::uint8_t* data, std::size_t n);

    SimLine& m_line;
    int m_fd;
    int m_wake;
    LineTiming m_timing;
    bool m_z;
    std::FILE* m_log = nullptr;
    std::mutex m_logMutex;
    std::atomic<std::uint64_t> m_answered{0};
    // When the line is free again: the end of the last answer plus the silent interval.
    double m_lineFreeAt = 0;
};

// Seconds on a steady clock, for the wire-time model.
double monotonicSeconds();

} // namespace vok::sim
