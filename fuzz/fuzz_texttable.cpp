// Random bytes as the text table, as Trend's copy of it, and as the list that translates the
// trend items.

#include "texttable.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t half = size / 2;
    vok::TextTable table;
    table.loadFromBytes(bytes, bytes.substr(half));
    for (int id : {0, 1, 99, 100, 175, 176})
        (void)table.text(id);
    for (int id = 200; id <= 242; ++id)
        if (table.slot(id).size() > vok::kTextSlotLength)
            __builtin_trap();
    for (int id = 250; id <= 292; ++id)
        (void)table.named(id);
    vok::TrendTextTable trend;
    trend.loadFromBytes(bytes);
    for (int id = 0; id <= 150; ++id)
        (void)trend.text(id);
    return 0;
}
