// Uploads and downloads a full line (16 control and 16 event stations of the sample data)
// from voksim at 19200 and 115200 baud, and prints the elapsed time, the lower bound (the
// characters on the wire with the silent intervals, plus the waits the transfer prescribes),
// their ratio and the CPU time this side used.

#include "link.h"
#include "modbus.h"
#include "reporter.h"
#include "store.h"
#include "texttable.h"
#include "transfer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vok;

namespace {

double cpuSeconds()
{
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct Bound {
    double wire = 0;  // characters and silent intervals
    double waits = 0; // waits the sequence prescribes
    int exchanges = 0;
};

// The lower bound of what the simulator's frame log shows: every frame's characters, a
// silent interval before each frame, and the waits the sequence prescribes. A write exchange
// waits 50 ms before it reads its answer, which arrives meanwhile: it takes the longer of the
// two. Per station the sequence waits 10 ms before each identification read and 10 ms
// before, inside and after each walk (four for an upload's two walks, three for a
// download's one), and a download waits 50 ms before each block; a wait on an idle line
// already holds the silent interval of the frame after it.
Bound lowerBound(const std::string& log, std::size_t from, int baud, bool download, int stations)
{
    const double ct = 10.0 / baud; // 8N1: ten bits a character
    const double gap = baud > 19200 ? 0.00175 : 3.5 * ct;
    Bound b;
    std::ifstream in(log);
    in.seekg(static_cast<std::streamoff>(from));
    std::string line;
    int requestChars = 0;
    bool isWrite = false;
    int identReads = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string time, dir, byte;
        fields >> time >> dir;
        std::vector<int> bytes;
        while (fields >> byte)
            bytes.push_back(std::stoi(byte, nullptr, 16));
        if (dir == "RX") {
            requestChars = static_cast<int>(bytes.size());
            isWrite = bytes.size() > 1 && (bytes[1] == 6 || bytes[1] == 16);
            if (bytes.size() > 5 && bytes[1] == 4 && bytes[5] == 13)
                ++identReads;
        } else if (dir == "TX") {
            ++b.exchanges;
            const double wire = (requestChars + static_cast<int>(bytes.size())) * ct + 2 * gap;
            if (isWrite && wire < 0.050)
                b.waits += 0.050;
            else
                b.wire += wire;
        }
    }
    // A wait on an idle line contains the silent interval before the next frame.
    const int shortWaits = identReads + stations * (download ? 3 : 4);
    b.waits += shortWaits * (0.010 - gap);
    return b;
}

// The blocks a download writes for one station: runs of at most 16, split at excluded registers.
int blockCount(const DefinitionTables& t, int stationIndex, const DataStore& store)
{
    std::vector<int> excluded;
    if (stationIndex < kControlStations) {
        for (const ExclusionEntry& e : t.exclusions()) {
            std::uint16_t v = 0;
            if (e.condition && (store.getStoredValue(stationIndex + 1, e.condition, v), v >= 47)) {
                excluded.push_back(e.first);
                excluded.push_back(e.second);
            }
        }
    }
    const auto& map = t.maps().holdingKind[stationIndex < kControlStations ? 0 : 1];
    int blocks = 0;
    for (int offset = 0; offset < 10000;) {
        if (!map[offset] || std::find(excluded.begin(), excluded.end(), 40000 + offset) != excluded.end()) {
            ++offset;
            continue;
        }
        int n = 0;
        while (offset + n < 10000 && map[offset + n] && n < kMaxPieceRegisters
               && std::find(excluded.begin(), excluded.end(), 40000 + offset + n) == excluded.end())
            ++n;
        ++blocks;
        offset += n;
    }
    return blocks;
}

pid_t startSimulator(const std::string& line, int baud, const std::string& link)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        const std::string b = std::to_string(baud);
        const std::string log = std::filesystem::path(link).parent_path() / "frames.log";
        ::execl(VOKSIM_PATH, "voksim", line.c_str(), "--baud", b.c_str(), "--link", link.c_str(), "--log", log.c_str(),
                static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    for (int i = 0; i < 100 && !std::filesystem::exists(link); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return pid;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string source = VOK_SOURCE_DIR;
    const std::string folder = source + "/sample/file/language1";
    std::vector<int> bauds = {19200, 115200};
    bool withUpload = true, withDownload = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--upload-only")
            withDownload = false;
        else if (a == "--changes-only")
            withUpload = withDownload = false;
        else if (a == "--baud" && i + 1 < argc)
            bauds = {std::stoi(argv[++i])};
    }
    TextTable texts;
    texts.load(folder, "");
    DefinitionTables tables(folder);
    tables.loadSpecialRegisters(texts);
    tables.buildRegisterMaps();
    const std::string tmp = std::filesystem::temp_directory_path() / ("vok-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(tmp);

    for (int baud : bauds) {
        const std::string link = tmp + "/tty";
        pid_t sim = startSimulator(source + "/sample/lines/full.line", baud, link);
        CommSettings settings;
        settings.deviceOverride = link;
        // The download record and the journal go to the scratch folder, not where it runs.
        settings.workingDir = tmp;
        for (int i = 0; i < kBaudRates; ++i) {
            if (baudRate(i) == baud)
                settings.bps = i;
        }
        NullReporter reporter;
        Link port(settings, reporter);
        ModbusMaster master(port);
        DataStore store;
        TransferContext ctx(master, store, tables, reporter);
        Transfers transfers(ctx);
        const char* codeA = "VOKA112N01000";
        const char* codeE = "VOKE100N01000";
        for (int s = 0; s < 32; ++s) {
            store.stationPresent[s] = 1;
            for (int c = 0; c < 13; ++c)
                store.record(s).identification[c] = static_cast<unsigned char>((s < 16 ? codeA : codeE)[c]);
        }
        double fullDownload = 0;
        for (bool download : {false, true}) {
            if ((download && !withDownload) || (!download && !withUpload))
                continue;
            store.selectPresentStations();
            const std::string log = tmp + "/frames.log";
            std::error_code ec;
            const std::size_t logStart = std::filesystem::exists(log) ? std::filesystem::file_size(log, ec) : 0;
            if (port.openLinkFromSettings() != 0) {
                std::fprintf(stderr, "cannot open %s: %s\n", link.c_str(), port.lastError().c_str());
                return 1;
            }
            const double cpu0 = cpuSeconds();
            const auto t0 = std::chrono::steady_clock::now();
            transfers.runTransferSequence(download ? TransferType::Download : TransferType::Upload);
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            const double cpu = cpuSeconds() - cpu0;
            port.close();
            int failed = 0, selected = 0;
            for (int s = 0; s < 32; ++s) {
                selected += store.stationSelected[s];
                for (int i = 0; i < 10000; ++i)
                    failed += tables.maps().holdingKind[s < 16 ? 0 : 1][i] && store.commError(s, 40000 + i);
            }
            Bound b = lowerBound(log, logStart, baud, download, selected);
            if (download) {
                // The 50 ms before each block of the walk (the pre-download writes have none).
                int blocks = 0;
                for (int st = 0; st < 32; ++st)
                    blocks += blockCount(tables, st, store);
                b.waits += blocks * (0.050 - (baud > 19200 ? 0.00175 : 35.0 / baud));
            }
            const double bound = b.wire + b.waits;
            if (download)
                fullDownload = elapsed;
            std::printf("%-8s %6d baud: %7.2f s elapsed, lower bound %7.2f s (wire %6.2f s + waits %6.2f s), "
                        "ratio %.3f, CPU %.2f s = %.2f %% of elapsed; %d stations, %d exchanges, %d failed registers\n",
                        download ? "download" : "upload", baud, elapsed, bound, b.wire, b.waits, elapsed / bound, cpu,
                        100 * cpu / elapsed, selected, b.exchanges, failed);
            std::fflush(stdout);
        }
        {
            // Ten edited registers on three stations, downloaded as changes and verified.
            store.clearEditedFlags();
            store.selectPresentStations();
            const std::pair<int, int> edits[] = {{1, 41100}, {1, 41101}, {1, 42100}, {1, 44200}, {2, 41100},
                                                 {2, 43100}, {2, 43101}, {17, 40005}, {17, 40006}, {17, 40010}};
            std::uint16_t value = 100;
            for (auto [station, reg] : edits) {
                store.setStoredValue(station, reg, value++);
                store.markEdited(station - 1, reg);
            }
            ctx.verifyAfterDownload = true;
            if (port.openLinkFromSettings() != 0)
                return 1;
            const auto t0 = std::chrono::steady_clock::now();
            transfers.runTransferSequence(TransferType::DownloadChanges);
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            port.close();
            // Without a measured full download, its waits alone: 50 ms before each block.
            int blocks = 0;
            for (int st = 0; st < 32; ++st)
                blocks += blockCount(tables, st, store);
            const std::string full = fullDownload > 0 ? std::to_string(fullDownload).substr(0, 6) + " s measured"
                                                      : "at least " + std::to_string(blocks * 0.050).substr(0, 6) + " s";
            std::printf("changes  %6d baud: %7.2f s elapsed for %d registers on 3 stations, verified: %d confirmed, %zu "
                        "differences (target under 2 s; the full download: %s)\n",
                        baud, elapsed, ctx.written, ctx.confirmed, ctx.differences.size(), full.c_str());
            std::fflush(stdout);
        }
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
    }
    std::filesystem::remove_all(tmp);
    return 0;
}
