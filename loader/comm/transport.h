#pragma once
// The byte transport under the Modbus exchange. The serial port implements it; tests put a
// scripted fake here.

#include <cstdint>

namespace vok {

class Transport {
public:
    virtual ~Transport() = default;
    // Reads `count` bytes; each byte gets `triesPerByte` tries of one byte time-out each.
    // Returns the bytes stored, 0 to count; fewer means the line went quiet.
    virtual int readBytes(std::uint8_t* buffer, int count, int triesPerByte) = 0;
    // Writes the whole frame; returns the bytes written.
    virtual int writeBytes(const std::uint8_t* buffer, int count) = 0;
    // Drops bytes that arrived and were not read (a late answer to an earlier request).
    virtual void discardInput() {}
    // Drops whatever arrives until no byte has come for `quietMs`, or `maxMs` have passed:
    // after a fault, a late answer to an earlier request may still be on its way. With
    // `expectAnswer` one such answer is awaited first (up to `maxMs`).
    virtual void waitQuiet(int quietMs, int maxMs, bool expectAnswer)
    {
        (void)quietMs;
        (void)maxMs;
        (void)expectAnswer;
        discardInput();
    }
};

} // namespace vok
