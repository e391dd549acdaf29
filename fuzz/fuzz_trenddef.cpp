// Random "DataTrendDefine.csv" files and item lists: read, written and read back.

#include "format.h"
#include "store.h"
#include "trenddef.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    vok::TrendDefinitions defs;
    defs.read(bytes, "(none)");
    defs.lookUpItems(bytes.substr(size / 3));
    static vok::DataStore store;
    static vok::SpecialRegisters specials;
    const std::string text = defs.text(vok::ValueFormatter(store, specials));
    for (const vok::TrendGroup& g : defs.groups) {
        if (g.name.size() > vok::kTrendNameLength)
            std::abort();
        for (const vok::TrendPenDef& p : g.pens) {
            if (p.itemName.size() > vok::kTrendNameLength || p.channelIndex < 0 || p.channelIndex > 3 || p.stationIndex < 0)
                std::abort();
        }
    }
    // What was written reads back to the same groups.
    vok::TrendDefinitions back;
    back.read(text, "(none)");
    for (std::size_t g = 0; g < defs.groups.size(); ++g) {
        if (back.groups[g].name != defs.groups[g].name && defs.groups[g].name.find(',') == std::string::npos
            && defs.groups[g].name.find('\r') == std::string::npos && defs.groups[g].name.find('\n') == std::string::npos)
            std::abort();
    }
    return 0;
}
