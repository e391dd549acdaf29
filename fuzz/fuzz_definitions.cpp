// Random rows into the definition parser, and random lists into the main-list scan, the
// key index and the group collection.

#include "definitions.h"
#include "format.h"
#include "store.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::string& folder()
{
    static const std::string path = [] {
        char tmpl[] = "/tmp/vokfuzz.XXXXXX";
        const char* p = ::mkdtemp(tmpl);
        return std::string(p ? p : "/tmp");
    }();
    return path;
}

void writeFile(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    std::ofstream(folder() + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    vok::ParameterDefinition d;
    vok::parseDefinition(text, d);
    vok::parseValueList(text, size % 2 == 0);
    static vok::DataStore store;
    static vok::SpecialRegisters specials;
    vok::ValueFormatter formatter(store, specials);
    for (int raw : {0, 1, 255, 32768, 65535}) {
        formatter.formatValue(raw % 8, static_cast<std::uint16_t>(raw), d);
        formatter.isValueAllowed(raw % 8, static_cast<std::uint16_t>(raw), d);
    }

    // The same bytes as both lists of a section: the first half the main list.
    const std::size_t half = size / 2;
    writeFile("FunctionList.csv", data, half);
    writeFile("AddContList.csv", data + half, size - half);
    vok::DefinitionTables tables(folder());
    tables.buildRegisterMaps();
    tables.loadGroup(vok::ListType::Function, 1);
    for (const std::string& key : tables.mainListKeys(vok::ListType::Function))
        tables.findDefinition(vok::ListType::Function, key, d);
    return 0;
}
