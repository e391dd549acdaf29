// Time to read the definition tables, build the register maps and apply the defaults of a
// new station set, for a language folder given on the command line and for synthetic
// folders of one and ten times a product's size. Prints the figures and the peak memory.

#include "definitions.h"
#include "store.h"
#include "texttable.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace {

// Writes a folder with `n` Function parameters (four channel registers each, in the channel
// blocks), n / 2 event parameters and n / 4 analog ones.
void writeSynthetic(const std::string& folder, int n)
{
    std::filesystem::create_directories(folder);
    auto list = [&](const char* mainName, const char* addName, int count, int base, bool channels) {
        std::ofstream main(folder + "/" + mainName, std::ios::binary);
        std::ofstream add(folder + "/" + addName, std::ios::binary);
        main << "Caption,,\r\n";
        for (int i = 0; i < count; ++i) {
            const std::string key = std::string(1, mainName[0]) + std::to_string(i);
            main << (i % 20 == 0 ? "Group" + std::to_string(i / 20) : "") << "," << (i % 5 == 0 ? "Page" : "") << ","
                 << key << "\r\n";
            const int reg = base + i % 999;
            add << i / 20 << "," << key << ",Parameter " << i << "," << reg;
            for (int c = 1; c < 4; ++c)
                add << "," << (channels ? reg + 1000 * c : 0);
            const int type = i % 9;
            add << "," << type << ",0," << (type == 2 ? 3 : 1000) << ",1,unit,4A:" << i % 100
                << ",4B:7,,,,,,,,,comment\r\n";
            if (type == 2)
                add << ",,1:one\r\n,,2:two\r\n,,3:three\r\n";
        }
    };
    // Channel blocks 41000 + 1000 x channel hold four channels; wrap inside each block.
    list("FunctionList.csv", "AddContList.csv", n, 41000, true);
    list("EventList.csv", "AddEventList.csv", n / 2, 40001, false);
    list("AnalogList.csv", "AddAnalogList.csv", n / 4, 45000, true);
    list("Analog_AiList.csv", "AddAnalogList2.csv", 0, 0, false);
}

double ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void measure(const std::string& label, const std::string& folder)
{
    using clock = std::chrono::steady_clock;
    vok::TextTable texts;
    auto t0 = clock::now();
    texts.load(folder, "");
    vok::DefinitionTables tables(folder);
    tables.loadSpecialRegisters(texts);
    auto t1 = clock::now();
    tables.buildRegisterMaps();
    auto t2 = clock::now();
    vok::DataStore store;
    for (int i = 0; i < vok::kStations; ++i) {
        store.stationPresent[i] = 1;
        store.record(i).identification[3] = i < 16 ? 'A' : 'E';
    }
    int applied = tables.applyDefaults(vok::ListType::Function, store) + tables.applyDefaults(vok::ListType::Event, store);
    auto t3 = clock::now();
    int mapped = 0;
    for (int k = 0; k < vok::kMapKinds; ++k)
        for (int i = 0; i < 10000; ++i)
            mapped += tables.maps().holdingKind[k][i] != 0;
    std::printf("%-28s special rows %6.2f ms  register maps %7.2f ms  defaults %7.2f ms  total %7.2f ms"
                "  (%d holding registers mapped, %d values set)\n",
                label.c_str(), ms(t1 - t0), ms(t2 - t1), ms(t3 - t2), ms(t3 - t0), mapped, applied);
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        measure(argv[i], argv[i]);
    const std::string base = std::filesystem::temp_directory_path() / "vok-bench-tables";
    writeSynthetic(base + "/x1", 400);
    writeSynthetic(base + "/x10", 4000);
    measure("synthetic, 400 parameters", base + "/x1");
    measure("synthetic, 4000 parameters", base + "/x10");
    std::filesystem::remove_all(base);
    rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("peak memory: %.1f MiB\n", ru.ru_maxrss / 1024.0);
    return 0;
}
