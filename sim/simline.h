#pragma once
// A simulated VOK line: up to 32 modules, the coupling unit at address 63 and the modules at
// addresses 64 and 128. It answers Modbus RTU requests (plain or inside a 'Z' gateway frame)
// the way the modules do, with faults on request. No I/O here: bytes in, bytes out.

#include "definitions.h"
#include "store.h"
#include "texttable.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vok::sim {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

struct Faults {
    bool silent = false;
    double crcRate = 0;        // share of answers sent with a broken CRC
    bool wrongAddress = false; // answers come from the next address
    int exception = 0;         // answer every request with this exception code
    bool truncate = false;     // send only the first half of each answer
    int garbage = 0;           // this many extra bytes after each answer
    int zStatus = 0;           // status byte of 'Z' answers
    std::string identity;      // report this module code instead of the configured one
    int unreadable = 0;        // a read that covers this register is refused (exception 2)
    std::map<int, int> clamps; // register -> the largest value a write stores

    bool any() const
    {
        return silent || crcRate > 0 || wrongAddress || exception || truncate || garbage || zStatus || !identity.empty()
            || unreadable || !clamps.empty();
    }
};

// Parses "silent", "crc 0.5", "exception 2", "ident VOKA...", "unreadable 30101",
// "clamp 41100:500" into the faults; false with a reason for anything else.
bool applyFault(Faults& faults, const std::string& kind, const std::string& argument, bool on, std::string* error);
std::string describeFaults(const Faults& f);

struct LineConfig {
    int family = 0;
    std::string languageFolder;
    std::string paramsFile;       // a parameter file for the register image
    int commandResetMs = 1500;    // command registers go back to 0 after this
    int extraStation = 0;         // the connection check's register X
    std::map<int, std::string> stations; // station number -> module code
    std::map<int, std::string> modules;  // address 64 / 128 -> module code
    std::map<int, Faults> faults;        // station number (0 = every station) -> faults
};

class SimLine {
public:
    explicit SimLine(LineConfig config);

    // Loads the language folder and fills the register image; false with a reason.
    bool start(std::string* error);

    // The answer to one request frame (its CRC included); empty when nobody answers.
    Bytes handle(const Bytes& request);
    // The answer to one 'Z' gateway frame (from 0x5A to its checksum).
    Bytes handleZ(const Bytes& frame);

    // Runs what the modules do on their own: command registers back to 0.
    void tick();

    // Control: faults, presence and registers while the line runs. Faults are kept per
    // station 1-32, for every station (0), or for the modules at addresses 63, 64 and 128.
    bool setFault(int station, const std::string& kind, const std::string& argument, bool on, std::string* error);
    void clearFaults(int station);
    bool setPresent(int station, const std::string& code);
    void setExtraStation(int station);
    bool setRegister(int station, int reg, std::uint16_t value);
    std::optional<std::uint16_t> registerValue(int station, int reg);
    std::string status();

    // Every write a module accepted, in order: for tests and the frame journal.
    struct Write {
        int address;
        int function; // 6 or 16
        int first;    // register number
        std::vector<std::uint16_t> values;
    };
    std::vector<Write> writes();
    void clearWrites();

    const LineConfig& config() const { return m_config; }
    const DataStore& store() const { return m_store; }

    // The address a station answers at (128 for station 1 of families 1 and 2).
    int addressOf(int station) const;

private:
    struct Module {
        int station = 0; // 1-32, 0 for the coupling unit and the address modules
        int address = 0;
        std::string code;
        std::array<std::uint16_t, 10> status{};
        std::map<int, std::uint16_t> extra; // registers of the modules outside the store
    };

    // A module with its code and the ten characters of its status block.
    static Module makeModule(int station, int address, const std::string& code, const char* status);
    Module* moduleAt(int address);
    const Faults& faultsOf(int station) const;
    // The faults that apply to a module: its own and those of every station.
    Faults faultsOfModule(const Module& m) const;
    Bytes answer(Module& m, const Bytes& request, bool& silent);
    int readRegister(Module& m, int reg, std::uint16_t& value);
    int writeRegister(Module& m, int reg, std::uint16_t value);
    bool mapped(const Module& m, int reg) const;
    void refreshInputs(Module& m);
    void buildStationMaps();

    LineConfig m_config;
    std::mutex m_mutex;
    DataStore m_store;
    TextTable m_texts;
    std::unique_ptr<DefinitionTables> m_tables;
    std::vector<Module> m_modules;
    // Registers each kind of station answers: control side (1-16) and event side (17-32).
    std::vector<std::uint8_t> m_controlMapped, m_eventMapped, m_controlHolding, m_eventHolding;
    std::vector<int> m_commandRegisters;
    std::map<std::pair<int, int>, Clock::time_point> m_pendingResets;
    struct Dynamic {
        int reg;
        int kind; // 0 PV, 1 MV, 2 deviation, 3 counter
        int channel;
    };
    std::vector<Dynamic> m_dynamic;
    std::vector<Write> m_writes;
    Clock::time_point m_started = Clock::now();
    std::mt19937 m_random{12345};
};

// The 'Z' gateway answer around a Modbus answer.
Bytes zAnswer(const Bytes& request, const Bytes& modbusAnswer, int status);

} // namespace vok::sim
