// Random answers into the answer checks of both command modes and into the 'Z' reception.

#include "modbus.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace {

class BytesLine : public vok::Transport {
public:
    BytesLine(const std::uint8_t* data, std::size_t size) : m_data(data, data + size) {}
    int readBytes(std::uint8_t* buffer, int count, int) override
    {
        int n = 0;
        while (n < count && !m_data.empty()) {
            buffer[n++] = m_data.front();
            m_data.pop_front();
        }
        return n;
    }
    int writeBytes(const std::uint8_t*, int count) override { return count; }

private:
    std::deque<std::uint8_t> m_data;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the request size, the rest is the answer.
    const int count = 1 + data[0] % 16;
    std::span<const std::uint8_t> answer(data + 1, size - 1);
    std::uint16_t dest[16];
    const auto request = vok::modbus::readRequest(3, 40001, count);
    const std::uint16_t values[16] = {};
    const auto write = vok::modbus::writeRequest(3, 40001, values, count);
    vok::modbus::checkReadAnswer(answer, 3, 3, count, dest);
    vok::modbus::checkWriteAnswer(answer, write);
    vok::modbus::checkZAnswer(answer, 3, request, count, dest);
    vok::modbus::checkZAnswer(answer, 3, write, count, nullptr);

    BytesLine line(data + 1, size - 1);
    vok::modbus::specialExchange(line, 3, request, count, dest);
    BytesLine plain(data + 1, size - 1);
    vok::modbus::plainRead(plain, 3, 40001, count, dest);
    return 0;
}
