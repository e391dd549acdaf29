#include "modulestatus.h"

#include "definitions.h"
#include "modbus.h"
#include "store.h"

#include <algorithm>

namespace vok {

const std::array<const char*, 10>& statusPictureFiles()
{
    static const std::array<const char*, 10> files = {
        "BMP-InfCONT4.bmp", "BMP-InfEVNT.bmp",  "BMP-InfCONT2.bmp", "BMP-InfANALG.bmp", "BMP-InfCCLNK.bmp",
        "BMP-InfENZN.bmp",  "BMP-InfANA_N.bmp", "BMP-InfANA_T.bmp", "BMP-InfERRkk.bmp", "BMP-InfPROFI.bmp",
    };
    return files;
}

int pictureOfLetter(std::uint16_t letter)
{
    switch (letter) {
    case 'A': return 0;
    case 'E': return 1;
    case 'B': return 2;
    case 'V': return 3;
    case 'C': return 4;
    case 'P': return 5;
    case 'N': return 6;
    case 'T': return 7;
    default: return kErrorPicture;
    }
}

int moduleStatusReads(const DataStore& store, int family)
{
    int n = family == 0 ? 2 : 0;
    for (int i = 0; i < kStations; ++i)
        n += store.stationPresent[static_cast<std::size_t>(i)] != 0;
    return n;
}

std::vector<ModuleStatus> readModuleStatus(ModbusMaster& master, const PortHandle& port, const DataStore& store,
                                           const SpecialRegisters& specials, int family,
                                           const std::atomic<bool>* stop, const std::function<void()>& advance)
{
    const int identReg = specials.reg(SpecialRole::Identification, 0);
    const int statusReg = specials.reg(SpecialRole::Status, 0);
    std::vector<ModuleStatus> out;
    auto readOne = [&](int address, bool addressModule) {
        ModuleStatus m;
        m.heading = address;
        if ((stop && *stop) || (addressModule && family != 0)
            || (!addressModule && !store.stationPresent[static_cast<std::size_t>(address - 1)])) {
            out.push_back(m);
            return;
        }
        // The words stay as they came: a module's own characters, shown safely later.
        if (master.readRegisters(port, address, 26, m.identification.data(), identReg) != 0) {
            m.identification.fill(0);
            m.picture = addressModule ? -1 : kErrorPicture;
        } else {
            m.picture = pictureOfLetter(static_cast<std::uint16_t>(m.identification[3] & 0xFF));
        }
        if (m.picture >= 0 || !addressModule) {
            if (master.readRegisters(port, address, 20, m.status.data(), statusReg) != 0) {
                m.status.fill(0);
                m.picture = addressModule ? -1 : kErrorPicture;
            }
        }
        if (advance)
            advance();
        out.push_back(m);
    };
    // The address modules first: the last exchange, which the status bar reports, is then a
    // station's, not that of an address module a line may well not have.
    readOne(64, true);
    readOne(128, true);
    for (int s = 1; s <= kStations; ++s)
        readOne(s, false);
    std::rotate(out.begin() + 1, out.begin() + 2, out.end()); // 128 to the end of the list
    return out;
}

namespace {

void appendWords(std::string& out, const std::uint16_t* words, int count)
{
    for (int i = 0; i < count; ++i) {
        const std::uint16_t w = words[i];
        if (w == 0)
            return;
        out.push_back(w >= 0x20 && w < 0x7F ? static_cast<char>(w) : '?');
    }
}

} // namespace

std::string moduleStatusText(const ModuleStatus& m)
{
    std::string out;
    appendWords(out, m.identification.data() + 4, 4);
    out += "\n -";
    appendWords(out, m.identification.data() + 8, 5);
    out += "\n";
    appendWords(out, m.status.data(), 7);
    return out;
}

std::vector<ModuleStatus> shownModules(const std::vector<ModuleStatus>& all)
{
    std::vector<ModuleStatus> out;
    for (const ModuleStatus& m : all) {
        if (m.picture >= 0 && out.size() < static_cast<std::size_t>(kStatusCells))
            out.push_back(m);
    }
    return out;
}

} // namespace vok
