#pragma once
// Upload and download of the selected stations along the register maps, the identification
// check before each station, and the connection check that finds the stations on the line.

#include "definitions.h"
#include "store.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <array>

namespace vok {

class ModbusMaster;
class Reporter;
class TextTable;

// 0-2 are the transfers of the worker; 3 and 4 are additions: a download of the edited
// registers only, and a comparison of the store with the modules that changes nothing.
enum class TransferType : int { Upload = 0, Download = 1, OnlineStart = 2, DownloadChanges = 3, Compare = 4 };

// A register whose module value is not the PC's: found by the verify after a download, or by
// a comparison with the line.
struct Difference {
    int station; // 1-32
    int reg;
    std::uint16_t pc;
    std::uint16_t module;
};
enum class Direction { Read, Write };

// The process-wide pieces a transfer works on; one per program.
struct TransferContext {
    TransferContext(ModbusMaster& m, DataStore& s, DefinitionTables& t, Reporter& r)
        : master(m), store(s), tables(t), reporter(r)
    {
    }
    ModbusMaster& master;
    DataStore& store;
    DefinitionTables& tables;
    Reporter& reporter;
    // Node slots in use in the tree, for the progress estimate.
    int nodeSlotsInUse = 0;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> monitorStop{false};
    // Set by a transfer when the line stopped answering altogether (the port hung up, or
    // stations in a row answered nothing); cleared when a sequence starts.
    std::atomic<bool> lineDead{false};

    // Read back every register a download wrote, and compare.
    bool verifyAfterDownload = false;
    // The parameter file the store holds, for the download record ("unsaved" when none).
    std::string sourceFile = "unsaved";

    // What the last sequence found, read once it has ended: the registers written, those the
    // verify confirmed, and every register whose module value differs.
    int written = 0;
    int confirmed = 0;
    // Registers a download meant to write and did not (no answer, refused, stopped), and
    // written registers that the verify could not read back.
    int notWritten = 0;
    int notConfirmed = 0;
    bool verified = false;
    std::vector<Difference> differences;
    // The stations (1-32) a download did not write whole.
    std::vector<int> notWrittenStations;
};

// A station answers nothing when this many blocks in a row get no answer; the line is dead
// when this many stations in a row answer nothing.
inline constexpr int kSilentBlocks = 3;
inline constexpr int kSilentStations = 2;

// The connection check's magic value in register R.
inline constexpr std::uint16_t kConnectionCheckValue = 0xF864;
inline constexpr int kCouplingUnit = 63;

class Transfers {
public:
    explicit Transfers(TransferContext& context) : m_ctx(context) {}

    // The body of the transfer worker for types 0, 1 and 2: returns the result of the last
    // identification read, 0 when all succeeded, -1 when no station was selected.
    int runTransferSequence(TransferType type);
    // Moves every mapped register of one station; the last result, or -1 when nothing moved.
    // With `only` (a flag per holding register 40000-49999) just those move, and the rest of
    // the station keeps its marks.
    int transferStation(Direction direction, int stationIndex, bool holding, bool reread = false,
                        const std::vector<std::uint8_t>* only = nullptr);
    // Waits 10 ms and reads the 13 identification registers; zeros on failure.
    int readIdentification(int station, std::uint16_t (&words)[13]);
    // The connection check on the coupling unit: presence from its bit map.
    int scanStations();

    // The progress total of a sequence for `selected` stations.
    std::uint32_t progressTotal(int selected) const;

    // What a transfer of this type to the selected stations cannot rely on in the language
    // folder; empty when it may start.
    std::string tableProblem(TransferType type);

    // Whether the last transferStation left its station because it answered nothing.
    bool lastStationSilent() const { return m_lastStationSilent; }
    // After a station was read again: incomplete while any of its registers failed.
    void refreshIncomplete(int stationIndex) { m_ctx.store.setIncomplete(stationIndex, anyMappedFailed(stationIndex)); }

private:
    std::string stationSuffix(int station, bool wireNumber) const;
    // Reads the code of every selected station and hands it to `accept`; a station whose
    // read fails (text 114) or that `accept` refuses leaves the selection. The check before
    // a transfer shows wire numbers and advances the progress; the read before an upload
    // stores the code in the record. The last read's result, or `result` when no station
    // was read.
    int identifySelected(bool check, int result, const std::function<bool(int, const std::uint16_t (&)[13])>& accept);
    // The pre-download registers of the selected control stations, one by one; with `only`
    // (a flag per holding register of each station) just those.
    void writePreDownload(const std::array<std::vector<std::uint8_t>, kStations>* only);
    // Of the registers a download meant to write (`only`, else every mapped one), how many
    // failed and were not written.
    int unwritten(int stationIndex, const std::vector<std::uint8_t>* only) const;
    // Reads back what a download wrote to a station (the whole channel where a defining
    // register was written) and compares it with the store.
    void verifyStation(int stationIndex, bool changesOnly);
    // Reads a station's holding registers into a scratch image and compares them.
    void compareStation(int stationIndex);
    // Reads the registers flagged in `which` (runs of at most 16 mapped ones) into `out`.
    bool readMarked(int stationIndex, const std::vector<std::uint8_t>& which, std::vector<std::uint16_t>& out,
                    std::vector<std::uint8_t>& readOk);
    void appendDownloadRecord(TransferType type, const std::vector<int>& stations);
    // Whether the port the transfers use reported that its other end went away.
    bool portLost() const;
    // Whether any mapped holding register of a station failed its last transfer.
    bool anyMappedFailed(int stationIndex) const;

    TransferContext& m_ctx;
    bool m_lastStationSilent = false;
    // What the download of the sequence wrote, per station: a flag per holding register.
    std::array<std::vector<std::uint8_t>, kStations> m_writtenMask;
    // The registers the exclusion rules kept a download from writing.
    std::array<std::vector<std::uint8_t>, kStations> m_excludedMask;
};

} // namespace vok
