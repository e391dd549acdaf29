#pragma once
// A scripted transport: every frame written is handed to a responder whose bytes become
// the input. Reads never wait; a short answer simply ends early.

#include "modbus.h"

#include <deque>
#include <functional>
#include <vector>

namespace vok::test {

class FakeLine : public vok::Transport {
public:
    using Bytes = std::vector<std::uint8_t>;
    std::function<Bytes(const Bytes&)> responder = [](const Bytes&) { return Bytes{}; };
    std::vector<Bytes> written;
    int discards = 0;

    int readBytes(std::uint8_t* buffer, int count, int) override
    {
        int n = 0;
        while (n < count && !m_input.empty()) {
            buffer[n++] = m_input.front();
            m_input.pop_front();
        }
        return n;
    }
    int writeBytes(const std::uint8_t* buffer, int count) override
    {
        written.emplace_back(buffer, buffer + count);
        Bytes answer = responder(written.back());
        m_input.insert(m_input.end(), answer.begin(), answer.end());
        return count;
    }
    void discardInput() override
    {
        ++discards;
        m_input.clear();
    }
    void feed(const Bytes& bytes) { m_input.insert(m_input.end(), bytes.begin(), bytes.end()); }

private:
    std::deque<std::uint8_t> m_input;
};

inline FakeLine::Bytes withCrc(FakeLine::Bytes frame)
{
    std::uint16_t crc = vok::modbus::crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// A well-behaved slave for the requests of the plain exchange: register r reads as r.
inline FakeLine::Bytes echoSlave(const FakeLine::Bytes& req)
{
    FakeLine::Bytes answer{req[0], req[1]};
    if (req[1] == 3 || req[1] == 4) {
        int count = (req[4] << 8) | req[5];
        int start = ((req[2] << 8) | req[3]) + (req[1] == 4 ? 30001 : 40001);
        answer.push_back(static_cast<std::uint8_t>(2 * count));
        for (int i = 0; i < count; ++i) {
            answer.push_back(static_cast<std::uint8_t>((start + i) >> 8));
            answer.push_back(static_cast<std::uint8_t>((start + i) & 0xFF));
        }
    } else {
        answer.insert(answer.end(), req.begin() + 2, req.begin() + 6);
    }
    return withCrc(answer);
}

} // namespace vok::test
