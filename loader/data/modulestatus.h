#pragma once
// The modules on the line as the status screen shows them: the module at address 64,
// stations 1-32 and the module at address 128, each with its identification block (the
// module code, a character per word) and its status block, and a picture by kind letter.

#include "serialport.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vok {

class DataStore;
class ModbusMaster;
struct SpecialRegisters;

inline constexpr int kStatusCells = 34; // two rows of 17
inline constexpr int kStatusRow = 17;
inline constexpr int kErrorPicture = 8;

struct ModuleStatus {
    int heading = 0;  // the station number, or the address 64 / 128
    int picture = -1; // 0-8, -1 when the module is not shown
    std::array<std::uint16_t, 13> identification{};
    std::array<std::uint16_t, 10> status{};
};

// The picture files, index by index (in the language folder).
const std::array<const char*, 10>& statusPictureFiles();
// The picture of a kind letter: A, E, B, V, C, P, N, T; any other letter the error picture.
int pictureOfLetter(std::uint16_t letter);

// Reads the listed modules in list order over an open line. Stations not defined in the
// store are not read; families 1 and 2 have no address modules. `stop` ends the reads
// between two modules; `advance` is called once per module read.
std::vector<ModuleStatus> readModuleStatus(ModbusMaster& master, const PortHandle& port, const DataStore& store,
                                           const SpecialRegisters& specials, int family,
                                           const std::atomic<bool>* stop = nullptr,
                                           const std::function<void()>& advance = {});
// How many modules a read will ask (for the progress meter).
int moduleStatusReads(const DataStore& store, int family);

// The text under a picture: words 4-7 of the identification, "\n -", words 8-12, "\n",
// words 0-6 of the status; a word that is not a printable ASCII character shows as "?",
// a zero word ends its part.
std::string moduleStatusText(const ModuleStatus& m);

// The shown modules in cell order, without gaps.
std::vector<ModuleStatus> shownModules(const std::vector<ModuleStatus>& all);

} // namespace vok
