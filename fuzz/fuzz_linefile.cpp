// Random line descriptions for the simulator.

#include "linefile.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    vok::sim::LineDescription line;
    std::string error;
    vok::sim::parseLineText(text, "/nonexistent", line, &error);
    return 0;
}
