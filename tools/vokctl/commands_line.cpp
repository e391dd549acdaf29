// vokctl's commands that talk to the line: scan, upload, download, read, write.

#include "session.h"

#include "fileutil.h"
#include "paramfile.h"

#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace vok;

namespace ctl {

namespace {

long stationArg(const std::string& s)
{
    long n = 0;
    if (!parseInt(s, n) || !((n >= 1 && n <= 32) || n == 63 || n == 64 || n == 128))
        usageError("a station is 1 to 32 (or 63, 64, 128)");
    return n;
}

long registerArg(const std::string& s)
{
    long n = 0;
    if (!parseInt(s, n) || n < 30001 || n > 49999 || n == 40000)
        usageError("a register is 30001 to 39999 or 40001 to 49999");
    return n;
}

int failedRegisters(const Session& s, int stationIndex)
{
    const int kind = stationIndex < kControlStations ? 0 : 1;
    int failed = 0;
    for (int i = 0; i < 10000; ++i)
        failed += s.tables->maps().holdingKind[kind][i] && s.store.commError(stationIndex, 40000 + i);
    return failed;
}

int report(Session& s, const char* verb, const std::array<std::int32_t, kStations>& wanted)
{
    int exit = kOk;
    if (s.opt.json)
        std::printf("{\"%s\":[", verb);
    bool first = true;
    for (int i = 0; i < kStations; ++i) {
        if (!wanted[i])
            continue;
        const bool done = s.store.stationSelected[i] != 0;
        const int failed = done ? failedRegisters(s, i) : -1;
        if (!done || failed)
            exit = kPartial;
        if (s.opt.json)
            std::printf("%s{\"station\":%d,\"transferred\":%s,\"failedRegisters\":%d}", first ? "" : ",", i + 1,
                        done ? "true" : "false", std::max(failed, 0));
        else if (!done)
            std::printf("station %2d  left out\n", i + 1);
        else
            std::printf("station %2d  %s%s\n", i + 1, failed ? std::to_string(failed).c_str() : "ok",
                        failed ? " registers failed" : "");
        first = false;
    }
    if (s.opt.json)
        std::printf("]}\n");
    return exit;
}

// A file an upload will write: a regular file or none yet, in a folder that takes files.
// Checked before the transfer, so that a long upload is not lost at its end.
bool writableTarget(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "vokctl: %s is not a regular file\n", path.c_str());
        return false;
    }
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    std::string probe = (folder / ".vokctl-probe.XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        std::fprintf(stderr, "vokctl: cannot write into %s: %s\n", folder.c_str(), std::strerror(errno));
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool tablesServe(Session& s, TransferType type)
{
    if (std::string problem = s.transfers->tableProblem(type); !problem.empty()) {
        std::fprintf(stderr, "vokctl: %s\n", problem.c_str());
        return false;
    }
    return true;
}

} // namespace

int cmdScan(Session& s)
{
    if (!s.needTables())
        return kBadInput;
    if (int rc = s.openPort())
        return rc;
    for (int i = 0; i < kStations; ++i)
        s.store.stationPresent[i] = s.opt.stations.empty() || s.opt.stations.count(i + 1) ? 1 : 0;
    int rc = s.transfers->scanStations();
    if (rc != kCommOk) {
        s.link->close();
        return s.failure(rc);
    }
    for (int i = 0; i < kStations; ++i) {
        if (s.store.stationPresent[i])
            s.transfers->readIdentification(i + 1, s.store.record(i).identification);
    }
    s.link->close();
    printStations(s, "stations");
    return kOk;
}

int cmdUpload(Session& s)
{
    if (s.opt.args.size() != 2)
        usageError("upload FILE");
    const std::string target = s.opt.args[1];
    if (!s.needTables() || !writableTarget(target))
        return kBadInput;
    if (int rc = s.openPort())
        return rc;
    if (s.opt.stations.empty()) {
        s.store.stationPresent.fill(1);
        if (int rc = s.transfers->scanStations(); rc != kCommOk) {
            s.link->close();
            return s.failure(rc);
        }
    } else {
        for (int i = 0; i < kStations; ++i)
            s.store.stationPresent[i] = s.opt.stations.count(i + 1) ? 1 : 0;
        s.store.selectPresentStations();
    }
    if (!tablesServe(s, TransferType::OnlineStart)) {
        s.link->close();
        return kBadInput;
    }
    const auto wanted = s.store.stationSelected;
    s.transfers->runTransferSequence(TransferType::OnlineStart);
    s.link->close();
    // The file holds what was read: a station that was left out is not in it, one read in
    // part is marked incomplete.
    bool complete = true;
    for (int i = 0; i < kStations; ++i) {
        if (wanted[i] && !s.store.stationSelected[i])
            s.store.stationPresent[i] = 0;
        if (wanted[i] && (!s.store.stationSelected[i] || s.store.incomplete(i)))
            complete = false;
    }
    // An upload that did not complete never replaces a file that was whole before, and a
    // dead line leaves no file of what it never read.
    if (s.ctx->lineDead && !s.opt.partial) {
        std::fprintf(stderr, "vokctl: %s was not written: the line stopped answering (give --partial to write what "
                             "was read)\n",
                     target.c_str());
    } else if (!complete && fileExists(target) && !s.opt.partial) {
        std::fprintf(stderr, "vokctl: %s was kept as it was: the upload did not complete (give --partial to "
                             "replace it with what was read)\n",
                     target.c_str());
    } else {
        std::string error;
        if (saveParameterFile(s.store, target, &error) < 0) {
            std::fprintf(stderr, "vokctl: cannot save %s: %s\n", target.c_str(), error.c_str());
            return kBadInput;
        }
        if (!complete)
            std::fprintf(stderr, "vokctl: %s holds what was read; the stations not read whole are marked incomplete\n",
                         target.c_str());
    }
    const int exit = report(s, "uploaded", wanted);
    return s.ctx->lineDead ? kNoCommunication : exit;
}

int cmdDownload(Session& s)
{
    if (s.opt.args.size() != 2)
        usageError("download FILE");
    const std::string file = s.opt.args[1];
    const bool changes = s.opt.extra.count("--changes") || s.opt.extra.count("--changes-from");
    // Only a whole parameter file is written to modules; --changes keeps the file's edited
    // flags, the changes made before it was saved.
    if (!s.needTables() || !s.familyFitsFile(file) || !s.loadFile(file, s.store, true, s.opt.extra.count("--changes")))
        return kBadInput;
    if (auto base = s.opt.extra.find("--changes-from"); base != s.opt.extra.end()) {
        // The changes are what differs from another file.
        DataStore from;
        if (!s.familyFitsFile(base->second) || !s.loadFile(base->second, from, true))
            return kBadInput;
        s.store.clearEditedFlags();
        for (int i = 0; i < kStations; ++i) {
            // What either file never read whole is not a change to write.
            if (from.incomplete(i))
                s.store.setIncomplete(i, true);
            for (int r = kFirstHolding; r <= kLastStoredRegister; ++r) {
                std::uint16_t a = 0, b = 0;
                s.store.getStoredValue(i + 1, r, a);
                from.getStoredValue(i + 1, r, b);
                if (a != b)
                    s.store.markEdited(i, r);
            }
        }
    }
    for (int st : s.opt.stations) {
        if (!s.store.stationPresent[st - 1]) {
            std::fprintf(stderr, "vokctl: station %d is not in %s\n", st, file.c_str());
            return kBadInput;
        }
    }
    for (int i = 0; i < kStations; ++i)
        s.store.stationSelected[i] = s.store.stationPresent[i] && (s.opt.stations.empty() || s.opt.stations.count(i + 1));
    const TransferType type = changes ? TransferType::DownloadChanges : TransferType::Download;
    if (!tablesServe(s, type))
        return kBadInput;
    auto wanted = s.store.stationSelected;
    if (changes) {
        // Only the stations with changes are asked.
        for (int i = 0; i < kStations; ++i) {
            bool any = false;
            for (int r = 0; r < kHoldingRegisters && !any; ++r)
                any = s.store.isEdited(i, kFirstHolding + r);
            wanted[i] = wanted[i] && any;
        }
        if (std::none_of(wanted.begin(), wanted.end(), [](std::int32_t w) { return w != 0; })) {
            std::printf("no changes to download\n");
            return kOk;
        }
    }
    s.ctx->verifyAfterDownload = s.opt.extra.count("--verify") != 0;
    s.ctx->sourceFile = std::filesystem::absolute(file).string();
    if (int rc = s.openPort())
        return rc;
    s.transfers->runTransferSequence(type);
    s.link->close();
    int exit = changes ? kOk : report(s, "downloaded", wanted);
    if (changes) {
        for (int i = 0; i < kStations; ++i) {
            if (wanted[i] && !s.store.stationSelected[i]) {
                std::printf("station %2d  left out\n", i + 1);
                exit = kPartial;
            }
        }
        std::printf("%d registers written\n", s.ctx->written);
        if (s.ctx->notWritten) {
            std::printf("%d register%s not written (stations", s.ctx->notWritten, s.ctx->notWritten == 1 ? "" : "s");
            for (int st : s.ctx->notWrittenStations)
                std::printf(" %d", st);
            std::printf(")\n");
            exit = kPartial;
        }
    }
    if (s.ctx->verifyAfterDownload) {
        if (!s.ctx->differences.empty()) {
            printDifferences(s, s.ctx->differences, "the module holds another value");
            exit = kPartial;
        }
        if (s.ctx->notConfirmed) {
            std::printf("not confirmed: %d registers written could not be read back\n", s.ctx->notConfirmed);
            exit = kPartial;
        }
        // Verified only when everything meant was written and read back the same.
        if (exit == kOk && s.ctx->verified)
            std::printf("verified: %d registers confirmed\n", s.ctx->confirmed);
    }
    return s.ctx->lineDead ? kNoCommunication : exit;
}

int compareWithLine(Session& s)
{
    const std::string file = s.opt.args[1];
    if (!s.needTables() || !s.familyFitsFile(file) || !s.loadFile(file, s.store, false))
        return kBadInput;
    for (int i = 0; i < kStations; ++i)
        s.store.stationSelected[i] = s.store.stationPresent[i] && (s.opt.stations.empty() || s.opt.stations.count(i + 1));
    if (!tablesServe(s, TransferType::Compare))
        return kBadInput;
    const auto wanted = s.store.stationSelected;
    if (int rc = s.openPort())
        return rc;
    s.transfers->runTransferSequence(TransferType::Compare);
    s.link->close();
    int exit = s.ctx->differences.empty() ? kOk : kPartial;
    for (int i = 0; i < kStations; ++i) {
        if (wanted[i] && !s.store.stationSelected[i]) {
            std::printf("station %2d  left out\n", i + 1);
            exit = kPartial;
        }
    }
    if (s.ctx->differences.empty() && !s.opt.json)
        std::printf("no differences: %d registers compared\n", s.ctx->confirmed);
    else
        printDifferences(s, s.ctx->differences, "differs");
    return s.ctx->lineDead ? kNoCommunication : exit;
}

int cmdRead(Session& s)
{
    if (s.opt.args.size() < 3 || s.opt.args.size() > 4)
        usageError("read STATION REG [COUNT]");
    const long station = stationArg(s.opt.args[1]);
    const long reg = registerArg(s.opt.args[2]);
    long count = 1;
    if (s.opt.args.size() == 4 && (!parseInt(s.opt.args[3], count) || count < 1 || count > 16))
        usageError("COUNT is 1 to 16");
    if (int rc = s.openPort())
        return rc;
    std::vector<std::uint16_t> values(static_cast<std::size_t>(count));
    const int rc = s.master->readRegisters(s.link->linkHandle(), static_cast<int>(station), static_cast<int>(2 * count),
                                           values.data(), static_cast<int>(reg));
    s.link->close();
    if (rc != kCommOk)
        return s.failure(rc);
    if (s.opt.json) {
        std::printf("{\"station\":%ld,\"register\":%ld,\"values\":[", station, reg);
        for (std::size_t i = 0; i < values.size(); ++i)
            std::printf("%s%u", i ? "," : "", values[i]);
        std::printf("]}\n");
    } else {
        for (std::size_t i = 0; i < values.size(); ++i)
            std::printf("%ld  %5u  0x%04X  %6d\n", reg + static_cast<long>(i), values[i], values[i],
                        static_cast<std::int16_t>(values[i]));
    }
    return kOk;
}

int cmdWrite(Session& s)
{
    if (s.opt.args.size() < 4)
        usageError("write STATION REG VALUE...");
    const long station = stationArg(s.opt.args[1]);
    const long reg = registerArg(s.opt.args[2]);
    if (reg < 40001)
        usageError("only holding registers (40001-49999) can be written");
    std::vector<std::uint16_t> values;
    for (std::size_t i = 3; i < s.opt.args.size(); ++i) {
        long v = 0;
        if (!parseInt(s.opt.args[i], v, 0) || v < -32768 || v > 65535)
            usageError("a value is -32768 to 65535 (0x prefix for hexadecimal)");
        values.push_back(static_cast<std::uint16_t>(v));
    }
    if (values.size() > 16 || reg + static_cast<long>(values.size()) - 1 > 49999)
        usageError("at most 16 values, within 40001-49999");
    if (int rc = s.openPort())
        return rc;
    const int rc = s.master->writeRegisters(s.link->linkHandle(), static_cast<int>(station),
                                            static_cast<int>(2 * values.size()), values.data(), static_cast<int>(reg));
    s.link->close();
    if (rc != kCommOk)
        return s.failure(rc);
    if (s.opt.json)
        std::printf("{\"written\":%zu}\n", values.size());
    return kOk;
}

int cmdPorts(Session& s)
{
    const auto ports = listSerialPorts();
    if (s.opt.json) {
        std::printf("{\"ports\":[");
        for (std::size_t i = 0; i < ports.size(); ++i)
            std::printf("%s{\"path\":%s,\"description\":%s,\"problem\":%s}", i ? "," : "", jsonString(ports[i].path).c_str(),
                        jsonString(ports[i].description).c_str(), jsonString(ports[i].problem).c_str());
        std::printf("],\"com\":{");
        for (int n = 1; n <= 9; ++n)
            std::printf("%s\"COM%d\":%s", n > 1 ? "," : "", n, jsonString(comDevicePath(s.settings, n)).c_str());
        std::printf("}}\n");
        return kOk;
    }
    if (ports.empty())
        std::printf("no serial port found (is the adapter plugged in?)\n");
    for (const SerialPortInfo& p : ports)
        std::printf("%-60s %s%s\n", p.path.c_str(), p.description.c_str(), p.problem.empty() ? "" : ("   (" + p.problem + ")").c_str());
    std::printf("\nCOM ports of the profile %s:\n", s.profile.path().c_str());
    for (int n = 1; n <= 9; ++n)
        std::printf("  COM%d  %s\n", n, comDevicePath(s.settings, n).c_str());
    return kOk;
}

} // namespace ctl
