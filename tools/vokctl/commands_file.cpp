// vokctl's commands on files and folders: info, diff, check, list, copy-channel, copy-station.

#include "session.h"

#include "copying.h"
#include "fileutil.h"
#include "foldercheck.h"
#include "journal.h"
#include "paralist.h"
#include "paramfile.h"
#include "textcodec.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

using namespace vok;

namespace ctl {

int cmdInfo(Session& s)
{
    if (s.opt.args.size() != 2)
        usageError("info FILE");
    if (!s.loadFile(s.opt.args[1], s.store, false))
        return kBadInput;
    printStations(s, "stations");
    return kOk;
}

void printDifferences(const Session& s, const std::vector<Difference>& differences, const char* what)
{
    const auto controlNames = parameterNames(s, true);
    const auto eventNames = parameterNames(s, false);
    if (s.opt.json)
        std::printf("{\"differences\":[");
    bool first = true;
    for (const Difference& d : differences) {
        const auto& names = d.station <= kControlStations ? controlNames : eventNames;
        auto it = names.find(d.reg);
        const std::string name = it == names.end() ? std::string() : it->second;
        if (s.opt.json)
            std::printf("%s{\"station\":%d,\"register\":%d,\"pc\":%u,\"module\":%u,\"name\":%s}", first ? "" : ",",
                        d.station, d.reg, d.pc, d.module, jsonString(name).c_str());
        else
            std::printf("station %2d  %d  %-40s PC %5u  module %5u  (%s)\n", d.station, d.reg, name.c_str(), d.pc,
                        d.module, what);
        first = false;
    }
    if (s.opt.json)
        std::printf("],\"count\":%zu}\n", differences.size());
}

int cmdHistory(Session& s)
{
    const std::string path = downloadLogPath(s.settings.workingDir);
    auto bytes = readWholeFile(path);
    if (!bytes) {
        std::printf("no downloads recorded in %s\n", path.c_str());
        return kOk;
    }
    long limit = 0;
    if (auto it = s.opt.extra.find("--limit"); it != s.opt.extra.end() && !parseInt(it->second, limit))
        usageError("--limit takes a number of downloads");
    std::vector<std::string> lines;
    std::string line;
    for (char c : bytes->view()) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    const std::size_t from = limit > 0 && lines.size() > static_cast<std::size_t>(limit) + 1 ? lines.size() - static_cast<std::size_t>(limit) : 1;
    if (!lines.empty())
        std::printf("%s\n", lines[0].c_str());
    for (std::size_t i = from; i < lines.size(); ++i)
        std::printf("%s\n", lines[i].c_str());
    return kOk;
}

int cmdDiff(Session& s)
{
    // One file and a line: compare the file with the modules.
    if (s.opt.args.size() == 2 && (!s.opt.device.empty() || s.opt.port))
        return compareWithLine(s);
    if (s.opt.args.size() != 3)
        usageError("diff FILE-A FILE-B, or diff FILE with --device or --port");
    DataStore b;
    if (!s.loadFile(s.opt.args[1], s.store, false) || !s.loadFile(s.opt.args[2], b, false))
        return kBadInput;
    const auto controlNames = parameterNames(s, true);
    const auto eventNames = parameterNames(s, false);
    int differences = 0;
    bool first = true;
    if (s.opt.json)
        std::printf("{\"differences\":[");
    for (int i = 0; i < kStations; ++i) {
        const StationRecord& ra = s.store.record(i);
        const StationRecord& rb = b.record(i);
        auto emit = [&](const std::string& what, long va, long vb, const std::string& name) {
            ++differences;
            if (s.opt.json)
                std::printf("%s{\"station\":%d,\"what\":%s,\"a\":%ld,\"b\":%ld,\"name\":%s}", first ? "" : ",", i + 1,
                            jsonString(what).c_str(), va, vb, jsonString(name).c_str());
            else
                std::printf("station %2d  %-8s %6ld -> %6ld  %s\n", i + 1, what.c_str(), va, vb, name.c_str());
            first = false;
        };
        if (ra.present != rb.present)
            emit("present", ra.present, rb.present, "");
        if (std::memcmp(ra.identification, rb.identification, sizeof ra.identification) != 0 && (ra.present || rb.present))
            emit("code", 0, 0, codeText(ra.identification) + " -> " + codeText(rb.identification));
        if (!ra.present && !rb.present)
            continue;
        const auto& names = i < kControlStations ? controlNames : eventNames;
        for (int r = 0; r < 20000; ++r) {
            if (ra.values[r] == rb.values[r])
                continue;
            const int reg = 30000 + r;
            auto it = names.find(reg);
            emit(std::to_string(reg), ra.values[r], rb.values[r], it == names.end() ? "" : it->second);
        }
    }
    if (s.opt.json)
        std::printf("],\"count\":%d}\n", differences);
    else if (differences == 0)
        std::printf("no differences\n");
    return differences ? kPartial : kOk;
}

int cmdCheck(Session& s)
{
    const std::string folder = s.opt.args.size() > 1 ? s.opt.args[1] : s.tables->folder();
    const auto problems = checkLanguageFolder(folder);
    if (s.opt.json) {
        std::printf("{\"folder\":%s,\"problems\":[", jsonString(folder).c_str());
        for (std::size_t i = 0; i < problems.size(); ++i)
            std::printf("%s%s", i ? "," : "", jsonString(problems[i]).c_str());
        std::printf("]}\n");
    } else {
        for (const std::string& p : problems)
            std::printf("%s\n", p.c_str());
        if (problems.empty())
            std::printf("%s: consistent\n", folder.c_str());
    }
    return problems.empty() ? kOk : kBadInput;
}

int cmdList(Session& s)
{
    if (s.opt.args.size() != 2)
        usageError("list FILE [--kind N] [--comment TEXT] [--for-print] [--csv OUT]");
    if (!s.needTables() || !s.familyFitsFile(s.opt.args[1]) || !s.loadFile(s.opt.args[1], s.store, false))
        return kBadInput;
    long kind = 1;
    if (auto it = s.opt.extra.find("--kind"); it != s.opt.extra.end() && (!parseInt(it->second, kind) || kind < 1 || kind > 5))
        usageError("--kind takes 1 to 5 (Function, Event, Analog, Analog input, Analog output)");
    const int listKind = paralist::kindOfFamily(s.tables->family(), static_cast<int>(kind));
    if (const std::string problem = paralist::listProblem(*s.tables, listKind); !problem.empty()) {
        std::fprintf(stderr, "vokctl: no list written: %s\n", problem.c_str());
        return kBadInput;
    }
    auto texts = readWholeFile(definitionPath(s.settings, "NameStringTBL.csv"));
    const std::string comment = encodeText(QString::fromStdString(s.opt.extra.count("--comment") ? s.opt.extra["--comment"] : "user comment"),
                                           texts ? detectEncoding(texts->view()) : TextEncoding::Utf8);
    const std::string list = paralist::buildList(*s.tables, s.store, listKind, comment, !s.opt.extra.count("--for-print"));
    const std::string out = s.opt.extra.count("--csv") ? s.opt.extra["--csv"] : dataPath(s.settings, "ParameterOutputList.csv");
    if (out == "-") {
        std::fwrite(list.data(), 1, list.size(), stdout);
        return list.empty() ? kBadInput : kOk;
    }
    std::string error;
    if (!makeDirectories(std::filesystem::path(out).parent_path().empty() ? std::string(".") : std::filesystem::path(out).parent_path().string()) || replaceFile(out, list, &error) != WriteResult::Ok) {
        std::fprintf(stderr, "vokctl: %s cannot be written: %s\n", out.c_str(), error.c_str());
        return kBadInput;
    }
    if (!s.opt.quiet)
        std::printf("%s\n", out.c_str());
    return list.empty() ? kBadInput : kOk;
}

namespace {

// The copy's numbers from the arguments after FILE, each within its range.
std::vector<int> copyArguments(const Session& s, const char* usage, std::initializer_list<std::pair<int, int>> ranges)
{
    if (s.opt.args.size() != 2 + ranges.size())
        usageError(usage);
    std::vector<int> out;
    std::size_t i = 2;
    for (auto [low, high] : ranges) {
        long n = 0;
        if (!parseInt(s.opt.args[i++], n) || n < low || n > high)
            usageError(std::string(usage) + ": a number out of range");
        out.push_back(static_cast<int>(n));
    }
    return out;
}

int finishCopy(Session& s, const std::string& file, const CopyCount& n)
{
    switch (n.result) {
    case CopyResult::Reversed:
        s.reporter->message(116, "");
        return kBadInput;
    case CopyResult::Incompatible:
        s.reporter->message(128, "");
        return kBadInput;
    case CopyResult::NoStation:
        std::fprintf(stderr, "vokctl: a station of the copy is not in %s\n", file.c_str());
        return kBadInput;
    case CopyResult::Done:
        break;
    }
    std::string error;
    if (saveParameterFile(s.store, file, &error) < 0) {
        std::fprintf(stderr, "vokctl: %s\n", error.c_str());
        return kBadInput;
    }
    if (!s.opt.quiet)
        std::printf("%d values changed, marked as changed in %s\n", n.changed, file.c_str());
    return kOk;
}

} // namespace

int cmdCopyChannel(Session& s)
{
    const char* usage = "copy-channel FILE STATION FROM TO-FIRST TO-LAST (channels 1-4)";
    const auto a = copyArguments(s, usage, {{1, 16}, {1, 4}, {1, 4}, {1, 4}});
    const std::string& file = s.opt.args[1];
    if (!s.familyFitsFile(file) || !s.loadFile(file, s.store, true, true))
        return kBadInput;
    return finishCopy(s, file, copyChannel(s.store, a[0], a[1], a[2], a[3]));
}

int cmdCopyStation(Session& s)
{
    const char* usage = "copy-station FILE FROM TO-FIRST TO-LAST (stations 1-16, or 17-32)";
    const auto a = copyArguments(s, usage, {{1, 32}, {1, 32}, {1, 32}});
    // Control stations onto control stations, event stations onto event stations.
    const bool control = a[0] <= kControlStations;
    for (int n : {a[1], a[2]}) {
        if ((n <= kControlStations) != control)
            usageError(std::string(usage) + ": the stations are all control (1-16) or all event (17-32) stations");
    }
    const std::string& file = s.opt.args[1];
    if (!s.familyFitsFile(file) || !s.loadFile(file, s.store, true, true))
        return kBadInput;
    return finishCopy(s, file, copyStation(s.store, a[0], a[1], a[2], control));
}

} // namespace ctl
