#pragma once
// The serial port on termios: exclusive open, line settings, DTR, byte reads with a bounded
// wait per byte, and reads that another thread can wake at once.

#include "transport.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct termios;

namespace vok {

struct LineSettings {
    int baudIndex = 3;
    int parityIndex = 0; // 0 none, 1 odd, 2 even
    int byteIndex = 1;   // 0 seven data bits, else eight
    int stopIndex = 0;   // 1 one and a half (two on Linux), 2 two, else one
};

// Bits per second of a baud-rate index; an index outside 0-9 gives 9600.
int baudRate(int baudIndex);
// The labels of the settings dialog's lists.
const char* baudLabel(int baudIndex);
inline constexpr int kBaudRates = 10;

// What one byte read waits at most: 10 ms per requested byte plus 200 ms.
inline constexpr int kByteTimeoutMs = 210;

// Why a device cannot serve as the port, in words a user can act on; empty when nothing is
// known against it. `openErrno` is the errno of a failed open (0 when the open worked).
std::string openFailureReason(const std::string& device, int openErrno);

// The processes (as "name (pid N)") that hold a device open, found through /proc.
std::vector<std::string> deviceHolders(const std::string& device);

// A serial port of the machine, for choosing one: the stable /dev/serial/by-id names first
// (with the adapter's name), then ttyUSB, ttyACM and the ttyS ports that have hardware.
struct SerialPortInfo {
    std::string path;
    std::string description;
    std::string problem; // why this user cannot open it (no permission, and the group); empty when it can
};
std::vector<SerialPortInfo> listSerialPorts(const std::string& devRoot = "/dev", const std::string& sysRoot = "/sys");

// Whether an open terminal is a serial port: a UART, a USB serial adapter or a
// pseudo-terminal, not a console or a virtual terminal.
bool isSerialPort(int fd);

class SerialPort : public Transport {
public:
    // Opens `device` for exclusive use and applies the line settings. Nothing on failure,
    // with the reason in `error`.
    static std::shared_ptr<SerialPort> open(const std::string& device, const LineSettings& line,
                                            std::string* error = nullptr);
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Reads `count` bytes one at a time. A try waits up to the byte time-out; a failed try
    // sleeps 1 ms and is repeated until `triesPerByte` tries have failed. Returns the bytes
    // stored (0 to count); ends at once with the short count when the port is closed,
    // interrupted or its other end went away.
    int readBytes(std::uint8_t* buffer, int count, int triesPerByte) override;
    // Writes the whole frame; returns the number of bytes written.
    int writeBytes(const std::uint8_t* buffer, int count) override;

    // Drops whatever has arrived and not been read yet.
    void discardInput() override;
    // Drops what arrives until the line has been quiet for the byte time-out (or `quietMs`
    // when shorter), `maxMs` at most; ends at once when interrupted or closed.
    void waitQuiet(int quietMs, int maxMs, bool expectAnswer) override;

    // Drops DTR, wakes every blocked read, and closes the device once no read is running.
    // Returns 0, or -1 when closing failed.
    int close();
    bool isOpen() const;

    // Ends the read in progress at once with its short count (a stop was asked); later reads
    // are not affected.
    void interrupt();
    // Drops a stop that no read has taken yet.
    void clearInterrupt();

    // True after the other end went away (pty closed, adapter unplugged).
    bool lost() const;

    void setDtr(bool on);

    // The line settings as the driver reports them now (nothing when it cannot be asked).
    struct ActualLine {
        int baud = 0;
        int dataBits = 0;
        char parity = 'N'; // 'N', 'O' or 'E'
        int stopBits = 0;
    };
    std::optional<ActualLine> actualLine() const;
    void setByteTimeout(int ms) { m_byteTimeoutMs = ms; }

    const std::string& device() const { return m_device; }
    bool isPty() const { return m_pty; }

private:
    SerialPort(int fd, int wakeFd, std::string device, bool pty);

    enum class Fill { Data, Timeout, Stop };
    Fill fill(int timeoutMs);
    // The end of a read: one user fewer, and a stop nobody took is dropped.
    void leaveRead();
    void dropStopLocked();

    int m_fd;
    int m_wakeFd;
    // The settings found at open, put back at close.
    std::unique_ptr<::termios> m_original;
    std::string m_device;
    bool m_pty;
    int m_byteTimeoutMs = kByteTimeoutMs;

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_users = 0;
    bool m_closed = false;
    bool m_cancel = false;
    bool m_lost = false;

    // Bytes read from the device ahead of the caller; used by one reader at a time.
    std::mutex m_readMutex;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_bufferPos = 0;
};

using PortHandle = std::shared_ptr<SerialPort>;

} // namespace vok
