#pragma once
// Modbus RTU master: frames, answer checks and the exchanges with one station, plain or
// wrapped in the 'Z' gateway frame. Frame building and answer checking are pure functions;
// the exchanges run them over a Transport.

#include "link.h"
#include "transport.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace vok {

// Result codes of a transfer; -11 - e stands for Modbus exception e.
enum CommResult : int {
    kCommOk = 0,
    kCommOpenFailed = -1,
    kCommNoPort = 1,       // invalid handle, or the 'Z' frame could not be sent
    kCommNoZAnswer = 2,    // no valid 'Z' answer
    kCommShortWrite = 10,
    kCommNoAnswer = 20,
    kCommCrcError = 21,
    kCommWrongAddress = -11,
    kCommWrongByteCount = -15,
};
constexpr int exceptionResult(int code) { return -11 - code; }
// What a result code means, in a few English words ("no answer", "exception 2").
std::string commResultText(int result);

// The 16-bit pattern of -9999 that marks a value that could not be read.
inline constexpr std::uint16_t kMissingValue = 55537;

// Registers per plain request.
inline constexpr int kMaxPieceRegisters = 16;
// How long the line may take to fall quiet after a fault before the next request goes out.
inline constexpr int kMaxSettleMs = 1000;
// A 'Z' frame holds at most this many bytes.
inline constexpr int kMaxZFrame = 512;

namespace modbus {

std::uint16_t crc16(const std::uint8_t* bytes, std::size_t length);
// True when the last two bytes are the CRC (low byte first) of the bytes before them.
bool crcMatches(std::span<const std::uint8_t> frame);

// 4 for input registers 30001-39999, 3 for holding registers 40001-49999, 0 for neither.
int readFunction(int firstRegister);

// Read request of 8 bytes; empty for a register outside both ranges.
std::vector<std::uint8_t> readRequest(std::uint8_t address, int firstRegister, int count);
// Function 6 for one register, else 16; always addressed as holding registers.
std::vector<std::uint8_t> writeRequest(std::uint8_t address, int firstRegister, const std::uint16_t* values, int count);

// Checks of a received answer; `answer` holds the bytes actually received. An answer counts
// only when it fits its request: the address, the function (another one is a CRC error:
// it is no answer to this request), the byte count, and for a write the echoed register
// and value or count (else kCommWrongByteCount).
int checkReadAnswer(std::span<const std::uint8_t> answer, std::uint8_t address, int function, int count,
                    std::uint16_t* destination);
int checkWriteAnswer(std::span<const std::uint8_t> answer, std::span<const std::uint8_t> request);

// The 'Z' gateway frame around a Modbus request (L + 20 bytes).
std::vector<std::uint8_t> zFrame(int station, std::span<const std::uint8_t> request);
// Checks a received 'Z' frame (from its 0x5A on) and the answer inside it against the
// Modbus request it carried. For a read, exactly `count` registers are copied to
// `destination`.
int checkZAnswer(std::span<const std::uint8_t> frame, int station, std::span<const std::uint8_t> request, int count,
                 std::uint16_t* destination);

// The exchanges of one attempt over a transport.
int plainRead(Transport& port, std::uint8_t address, int firstRegister, int count, std::uint16_t* destination);
int plainWrite(Transport& port, std::uint8_t address, int firstRegister, int count, const std::uint16_t* source);
// One 'Z' frame around `request`; for a read (`destination` set) the answer's registers go
// to `destination`, at most `count` of them.
int specialExchange(Transport& port, int station, std::span<const std::uint8_t> request, int count,
                    std::uint16_t* destination);
// Receives a 'Z' frame: the 0x5A search, the length, then byte by byte. Empty when nothing
// valid arrived.
std::vector<std::uint8_t> receiveZFrame(Transport& port);

} // namespace modbus

// The one way to exchange registers with a module: serialises transfers on the
// communication mutex, opens the port for one transfer when online and nothing holds it,
// retries a failed attempt once and keeps the last result.
class ModbusMaster {
public:
    explicit ModbusMaster(Link& link) : m_link(link) {}

    // Module families 1 and 2 address station 1 as 128.
    void setModuleFamily(int family) { m_family = family; }
    int moduleFamily() const { return m_family; }
    int wireAddress(int station) const;

    int readRegisters(const PortHandle& handle, int station, int byteCount, std::uint16_t* destination,
                      int firstRegister);
    int writeRegisters(const PortHandle& handle, int station, int byteCount, const std::uint16_t* source,
                       int firstRegister);
    // One register through the link handle; a failure stores the missing value.
    int readOneRegister(int station, int reg, std::uint16_t* value);

    void setCurrentStation(int station) { m_currentStation = station == 0 ? 0 : wireAddress(station); }
    int currentStation() const { return m_currentStation; }
    int lastCommStatus() const { return m_lastCommStatus; }

    // A user that retries on its own (a monitor, a re-read, the logging) says a port that
    // cannot be opened once per loss of the line; a user's own command always says it.
    class Background {
    public:
        Background();
        ~Background();
        Background(const Background&) = delete;
        Background& operator=(const Background&) = delete;
    };

    // Ends the exchange in progress at once, but only when `thread` is the one doing it: a
    // user's stop never cuts another user's exchange.
    void interruptExchangeOf(std::thread::id thread);

    std::mutex& commMutex() { return m_mutex; }
    Link& link() { return m_link; }

private:
    int transfer(const PortHandle& handle, int station, int byteCount, const std::uint16_t* source,
                 std::uint16_t* destination, int firstRegister);
    // The transfer under the mutex; `openFailed` when the port could not be opened for it.
    int transferLocked(const PortHandle& handle, int station, int byteCount, const std::uint16_t* source,
                       std::uint16_t* destination, int firstRegister, bool& openFailed);
    void timeLog(int firstRegister, int result);
    // One attempt over `port`; `heard` tells whether any byte came back.
    int attempt(Transport& port, int station, int count, const std::uint16_t* source, std::uint16_t* destination,
                int firstRegister, bool& heard);

    Link& m_link;
    std::atomic<int> m_family{0};
    std::atomic<int> m_lastCommStatus{0};
    std::atomic<int> m_currentStation{0};
    std::mutex m_mutex;
    // Who is inside an exchange, and on which port.
    std::mutex m_ownerMutex;
    std::thread::id m_owner;
    PortHandle m_ownerPort;
};

} // namespace vok
