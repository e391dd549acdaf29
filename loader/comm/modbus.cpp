#include "modbus.h"

#include "fileutil.h"
#include "reporter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace vok {

std::string commResultText(int rc)
{
    switch (rc) {
    case kCommOk: return "done";
    case kCommOpenFailed: return "the port could not be opened";
    case kCommNoPort: return "no port open";
    case kCommNoZAnswer: return "no valid gateway answer";
    case kCommShortWrite: return "the request was not sent completely";
    case kCommNoAnswer: return "no answer";
    case kCommCrcError: return "CRC error in the answer";
    case kCommWrongAddress: return "the answer came from another address";
    case kCommWrongByteCount: return "the answer has another length (or exception 4)";
    default: break;
    }
    if (rc < kCommWrongAddress && rc > kCommWrongAddress - 256)
        return "the module refused it (exception " + std::to_string(kCommWrongAddress - rc) + ")";
    if (rc > 0 && rc < 256)
        return "gateway status " + std::to_string(rc);
    return "result " + std::to_string(rc);
}

namespace modbus {

std::uint16_t crc16(const std::uint8_t* bytes, std::size_t length)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

bool crcMatches(std::span<const std::uint8_t> frame)
{
    if (frame.size() < 2)
        return false;
    std::uint16_t crc = crc16(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

namespace {

void appendCrc(std::vector<std::uint8_t>& frame)
{
    std::uint16_t crc = crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

void putWord(std::vector<std::uint8_t>& frame, std::uint16_t value)
{
    frame.push_back(static_cast<std::uint8_t>(value >> 8));
    frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint16_t getWord(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

} // namespace

int readFunction(int firstRegister)
{
    // Differences taken as 16-bit unsigned, so a number below a range wraps out of it.
    if (static_cast<std::uint16_t>(firstRegister - 30001) <= 9998)
        return 4;
    if (static_cast<std::uint16_t>(firstRegister - 40001) <= 9998)
        return 3;
    return 0;
}

std::vector<std::uint8_t> readRequest(std::uint8_t address, int firstRegister, int count)
{
    const int function = readFunction(firstRegister);
    if (function == 0)
        return {};
    const int base = function == 4 ? 30001 : 40001;
    std::vector<std::uint8_t> frame{address, static_cast<std::uint8_t>(function)};
    putWord(frame, static_cast<std::uint16_t>(firstRegister - base));
    putWord(frame, static_cast<std::uint16_t>(count));
    appendCrc(frame);
    return frame;
}

std::vector<std::uint8_t> writeRequest(std::uint8_t address, int firstRegister, const std::uint16_t* values, int count)
{
    std::vector<std::uint8_t> frame{address, static_cast<std::uint8_t>(count == 1 ? 6 : 16)};
    putWord(frame, static_cast<std::uint16_t>(firstRegister - 40001));
    if (count == 1) {
        putWord(frame, values[0]);
    } else {
        putWord(frame, static_cast<std::uint16_t>(count));
        frame.push_back(static_cast<std::uint8_t>(count * 2));
        for (int i = 0; i < count; ++i)
            putWord(frame, values[i]);
    }
    appendCrc(frame);
    return frame;
}

namespace {

// The checks both answers share: something arrived, its CRC, its address, its function, the
// exception bit. An answer with another function answers some other request.
int checkAnswerHead(std::span<const std::uint8_t> answer, std::uint8_t address, int function)
{
    if (answer.empty())
        return kCommNoAnswer;
    if (answer.size() < 4 || !crcMatches(answer))
        return kCommCrcError;
    if (answer[0] != address)
        return kCommWrongAddress;
    if ((answer[1] & 0x7F) != function)
        return kCommCrcError;
    if (answer[1] & 0x80)
        return exceptionResult(answer[2]);
    return kCommOk;
}

// A write answer echoes the register and the value (function 6) or the count (16).
bool echoFits(std::span<const std::uint8_t> echo, std::span<const std::uint8_t> request)
{
    return request.size() >= 6 && echo.size() >= 6 && std::equal(request.begin() + 2, request.begin() + 6, echo.begin() + 2);
}

} // namespace

int checkReadAnswer(std::span<const std::uint8_t> answer, std::uint8_t address, int function, int count,
                    std::uint16_t* destination)
{
    if (int rc = checkAnswerHead(answer, address, function); rc != kCommOk)
        return rc;
    const std::size_t bytes = static_cast<std::size_t>(count) * 2;
    // A short answer whose CRC happens to fit must not be copied past its end.
    if (answer[2] != bytes || answer.size() != bytes + 5)
        return kCommWrongByteCount;
    for (int i = 0; i < count; ++i)
        destination[i] = getWord(&answer[3 + 2 * i]);
    return kCommOk;
}

int checkWriteAnswer(std::span<const std::uint8_t> answer, std::span<const std::uint8_t> request)
{
    if (request.size() < 6)
        return kCommNoPort;
    if (int rc = checkAnswerHead(answer, request[0], request[1]); rc != kCommOk)
        return rc;
    return answer.size() == 8 && echoFits(answer, request) ? kCommOk : kCommWrongByteCount;
}

std::vector<std::uint8_t> zFrame(int station, std::span<const std::uint8_t> request)
{
    const std::size_t length = request.size();
    std::vector<std::uint8_t> frame;
    frame.reserve(length + 20);
    const std::size_t follows = length + 17;
    frame.push_back(0x5A);
    frame.push_back(static_cast<std::uint8_t>(follows & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(follows >> 8));
    frame.push_back(0xFF);
    frame.push_back(0x7B);
    frame.push_back(static_cast<std::uint8_t>(station + 15));
    frame.push_back(0x00);
    frame.push_back(0x11);
    frame.insert(frame.end(), 8, 0x00);
    frame.push_back(0x01);
    frame.push_back(static_cast<std::uint8_t>(length & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(length >> 8));
    frame.insert(frame.end(), request.begin(), request.end());
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < frame.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    frame.push_back(static_cast<std::uint8_t>(-sum));
    return frame;
}

int checkZAnswer(std::span<const std::uint8_t> frame, int station, std::span<const std::uint8_t> request, int count,
                 std::uint16_t* destination)
{
    // The header up to the status byte, and a checksum that makes the bytes after 0x5A sum to 0.
    if (frame.size() < 4)
        return kCommNoZAnswer;
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < frame.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    if (sum != 0)
        return kCommNoZAnswer;
    if (frame[3] != 0)
        return frame[3];
    // The embedded answer runs from offset 19 to the byte before the checksum.
    constexpr std::size_t kAnswer = 19;
    if (frame.size() < kAnswer + 3 || request.size() < 6)
        return kCommNoZAnswer;
    const std::size_t answerEnd = frame.size() - 1;
    if (frame[kAnswer] != static_cast<std::uint8_t>(station))
        return kCommWrongAddress;
    if ((frame[kAnswer + 1] & 0x7F) != request[1])
        return kCommCrcError;
    if (frame[kAnswer + 1] & 0x80)
        return exceptionResult(frame[kAnswer + 2]);
    const bool isRead = request[1] == 3 || request[1] == 4;
    if (!isRead)
        return answerEnd - kAnswer >= 6 && echoFits(frame.subspan(kAnswer, 6), request) ? kCommOk : kCommWrongByteCount;
    // Exactly the registers asked for: fewer would leave the rest of the block as it was.
    const std::size_t byteCount = frame[kAnswer + 2];
    if (byteCount != static_cast<std::size_t>(count) * 2 || kAnswer + 3 + byteCount > answerEnd)
        return kCommWrongByteCount;
    for (std::size_t i = 0; i < byteCount / 2; ++i)
        destination[i] = getWord(&frame[kAnswer + 3 + 2 * i]);
    return kCommOk;
}

int plainRead(Transport& port, std::uint8_t address, int firstRegister, int count, std::uint16_t* destination)
{
    std::uint8_t answer[2 * kMaxPieceRegisters + 5];
    for (int done = 0; done < count;) {
        const int piece = std::min(kMaxPieceRegisters, count - done);
        const auto request = readRequest(address, firstRegister + done, piece);
        if (request.empty())
            return kCommNoAnswer;
        port.discardInput();
        if (port.writeBytes(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size()))
            return kCommShortWrite;
        const int got = port.readBytes(answer, 2 * piece + 5, 1);
        if (int rc = checkReadAnswer({answer, static_cast<std::size_t>(got)}, address, request[1], piece, destination + done);
            rc != kCommOk)
            return rc;
        done += piece;
    }
    return kCommOk;
}

int plainWrite(Transport& port, std::uint8_t address, int firstRegister, int count, const std::uint16_t* source)
{
    std::uint8_t answer[8];
    for (int done = 0; done < count;) {
        const int piece = std::min(kMaxPieceRegisters, count - done);
        const auto request = writeRequest(address, firstRegister + done, source + done, piece);
        port.discardInput();
        if (port.writeBytes(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size()))
            return kCommShortWrite;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int got = port.readBytes(answer, sizeof answer, 1);
        if (int rc = checkWriteAnswer({answer, static_cast<std::size_t>(got)}, request); rc != kCommOk)
            return rc;
        done += piece;
    }
    return kCommOk;
}

std::vector<std::uint8_t> receiveZFrame(Transport& port)
{
    std::vector<std::uint8_t> frame;
    std::uint8_t byte = 0;
    bool start = false;
    for (int tries = 0; tries < 3 && !start; ++tries)
        start = port.readBytes(&byte, 1, 1) == 1 && byte == 0x5A;
    if (!start)
        return frame;
    std::uint8_t lengthBytes[2];
    if (port.readBytes(lengthBytes, 2, 1) != 2)
        return frame;
    const std::size_t length = lengthBytes[0] | (lengthBytes[1] << 8);
    // No valid answer is longer than a frame can be; do not wait for 64 kB of nothing.
    if (length + 3 > kMaxZFrame)
        return frame;
    frame.resize(3 + length);
    frame[0] = 0x5A;
    frame[1] = lengthBytes[0];
    frame[2] = lengthBytes[1];
    std::size_t got = 3;
    while (got < frame.size() && port.readBytes(&frame[got], 1, 3) == 1)
        ++got;
    frame.resize(got);
    return frame;
}

int specialExchange(Transport& port, int station, std::span<const std::uint8_t> request, int count,
                    std::uint16_t* destination)
{
    if (request.empty() || request.size() + 20 > kMaxZFrame)
        return kCommNoPort;
    const auto frame = zFrame(station, request);
    port.discardInput();
    if (port.writeBytes(frame.data(), static_cast<int>(frame.size())) != static_cast<int>(frame.size()))
        return kCommNoPort;
    const auto answer = receiveZFrame(port);
    return checkZAnswer(answer, station, request, count, destination);
}

} // namespace modbus

int ModbusMaster::wireAddress(int station) const
{
    return (station == 1 && (m_family == 1 || m_family == 2)) ? 128 : station;
}

int ModbusMaster::readRegisters(const PortHandle& handle, int station, int byteCount, std::uint16_t* destination,
                                int firstRegister)
{
    return transfer(handle, station, byteCount, nullptr, destination, firstRegister);
}

int ModbusMaster::writeRegisters(const PortHandle& handle, int station, int byteCount, const std::uint16_t* source,
                                 int firstRegister)
{
    return transfer(handle, station, byteCount, source, nullptr, firstRegister);
}

int ModbusMaster::readOneRegister(int station, int reg, std::uint16_t* value)
{
    int rc = readRegisters(m_link.linkHandle(), station, 2, value, reg);
    if (rc != kCommOk)
        *value = kMissingValue;
    return rc;
}

namespace {

thread_local int t_background = 0;

} // namespace

ModbusMaster::Background::Background()
{
    ++t_background;
}

ModbusMaster::Background::~Background()
{
    --t_background;
}

int ModbusMaster::transfer(const PortHandle& handle, int station, int byteCount, const std::uint16_t* source,
                           std::uint16_t* destination, int firstRegister)
{
    bool openFailed = false;
    const int rc = transferLocked(handle, station, byteCount, source, destination, firstRegister, openFailed);
    if (rc == kCommOk) {
        m_link.noteAnswered();
    } else if (const PortHandle port = m_link.linkHandle(); port && port->lost()) {
        m_link.noteLost("the port hung up or reported an I/O error");
    }
    // Said only once the mutex is free: the message may wait for the GUI thread, and the GUI
    // thread may be waiting for the mutex to write a value. A port that cannot be opened is
    // said once per loss of the line, not at every read that tries it.
    if (openFailed && (m_link.noteLost("the port cannot be opened") || t_background == 0))
        m_link.reportOpenFailure();
    return rc;
}

int ModbusMaster::transferLocked(const PortHandle& handle, int station, int byteCount, const std::uint16_t* source,
                                 std::uint16_t* destination, int firstRegister, bool& openFailed)
{
    std::lock_guard lock(m_mutex);
    CommSettings& settings = m_link.settings();
    PortHandle port = handle;
    bool openedHere = false;
    if (settings.online && !port) {
        if (m_link.openLink() != 0) {
            openFailed = true;
            m_lastCommStatus = kCommOpenFailed;
            return kCommOpenFailed;
        }
        port = m_link.linkHandle();
        openedHere = true;
    }
    {
        std::lock_guard owner(m_ownerMutex);
        m_owner = std::this_thread::get_id();
        m_ownerPort = port;
    }
    const int count = byteCount / 2;
    int rc = kCommNoPort;
    // Modbus RTU has no transaction number: after a fault, the answer to an earlier request
    // may still arrive while the next one waits. Before the next request the line must have
    // been quiet for a byte time-out; a time-out in which nothing arrived was that already.
    // An attempt that heard nothing may still be answered late: when the retry then got an
    // answer (perhaps the late one), the retry's own answer is awaited and dropped too.
    bool settle = false;
    bool unheardBefore = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool heard = false;
        if (!port) {
            rc = kCommNoPort;
        } else {
            if (settle)
                port->waitQuiet(kByteTimeoutMs, kMaxSettleMs, false);
            rc = this->attempt(*port, station, count, source, destination, firstRegister, heard);
        }
        settle = heard && rc != kCommOk;
        if (rc == kCommOk) {
            if (unheardBefore)
                port->waitQuiet(kByteTimeoutMs, kMaxSettleMs, true);
            break;
        }
        unheardBefore = unheardBefore || !heard;
        timeLog(firstRegister, rc);
    }
    if (settle && port)
        port->waitQuiet(kByteTimeoutMs, kMaxSettleMs, false);
    {
        // A stop meant for this exchange that came after its last read is not kept for the
        // next user's.
        std::lock_guard owner(m_ownerMutex);
        m_owner = {};
        m_ownerPort.reset();
        if (port)
            port->clearInterrupt();
    }
    if (openedHere)
        m_link.closeSerialPort(port);
    m_lastCommStatus = rc;
    return rc;
}

void ModbusMaster::interruptExchangeOf(std::thread::id thread)
{
    std::lock_guard owner(m_ownerMutex);
    if (m_owner == thread && m_ownerPort)
        m_ownerPort->interrupt();
}

namespace {

// Counts what the exchange received, to tell a silent line from a bad answer.
class HearingTransport : public Transport {
public:
    explicit HearingTransport(Transport& inner) : m_inner(inner) {}
    int readBytes(std::uint8_t* buffer, int count, int triesPerByte) override
    {
        const int n = m_inner.readBytes(buffer, count, triesPerByte);
        heard = heard || n > 0;
        return n;
    }
    int writeBytes(const std::uint8_t* buffer, int count) override { return m_inner.writeBytes(buffer, count); }
    void discardInput() override { m_inner.discardInput(); }
    void waitQuiet(int quietMs, int maxMs, bool expectAnswer) override { m_inner.waitQuiet(quietMs, maxMs, expectAnswer); }
    bool heard = false;

private:
    Transport& m_inner;
};

} // namespace

int ModbusMaster::attempt(Transport& port, int station, int count, const std::uint16_t* source,
                          std::uint16_t* destination, int firstRegister, bool& heard)
{
    HearingTransport line(port);
    const bool isRead = destination != nullptr;
    int rc;
    if (m_link.settings().cmdMode == 1) {
        // The gateway gets the station number itself, never the 128 of station 1.
        const auto address = static_cast<std::uint8_t>(station);
        const auto request = isRead ? modbus::readRequest(address, firstRegister, count)
                                    : modbus::writeRequest(address, firstRegister, source, count);
        rc = isRead && request.empty() ? kCommNoAnswer : modbus::specialExchange(line, station, request, count, destination);
    } else {
        const auto address = static_cast<std::uint8_t>(wireAddress(station));
        rc = isRead ? modbus::plainRead(line, address, firstRegister, count, destination)
                    : modbus::plainWrite(line, address, firstRegister, count, source);
    }
    heard = line.heard;
    return rc;
}

void ModbusMaster::timeLog(int firstRegister, int result)
{
    const CommSettings& settings = m_link.settings();
    if (settings.debugMode == 0)
        return;
    char line[64];
    std::snprintf(line, sizeof line, "add=%d (sts=%d)\r\n", firstRegister, result);
    appendToFile(dataPath(settings, "TIMELOG.txt"), line);
}

} // namespace vok
