// vokctl log: the data trend without a window, for unattended runs.

#include "session.h"

#include "fileutil.h"
#include "format.h"
#include "textcodec.h"
#include "trendbuffer.h"
#include "trendlog.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <thread>

using namespace vok;

namespace ctl {

namespace {

std::atomic<bool> g_interrupted{false};

void onSignal(int)
{
    g_interrupted = true;
}

// "ST:CH:ITEM[:MIN:MAX]": the item by its key or its name in the control modules' list.
bool parsePen(Session& s, const std::string& spec, TrendPenDef& pen, ParameterDefinition& d)
{
    std::vector<std::string> f;
    std::stringstream in(spec);
    for (std::string part; std::getline(in, part, ':');)
        f.push_back(part);
    long station = 0, channel = 0;
    if ((f.size() != 3 && f.size() != 5) || !parseInt(f[0], station) || station < 1 || station > kControlStations
        || !parseInt(f[1], channel) || channel < 1 || channel > 4)
        return false;
    if (s.tables->findDefinition(ListType::Function, f[2], d) != kTableOk
        && s.tables->findByName(s.tables->addListName(ListType::Function), f[2], d) != kTableOk)
        return false;
    pen.unused = false;
    pen.stationIndex = static_cast<int>(station - 1);
    pen.channelIndex = static_cast<int>(channel - 1);
    pen.itemName = d.name;
    pen.scaleMin = f.size() == 5 ? cutToHundredths(readNumber(f[3])) : 0;
    pen.scaleMax = f.size() == 5 ? cutToHundredths(readNumber(f[4])) : 100;
    return true;
}

} // namespace

int cmdLog(Session& s)
{
    if (s.opt.args.size() != 1)
        usageError("log takes options only");
    if (!s.needTables())
        return kBadInput;
    TrendLogger::Setup setup;
    long number = 1;
    if (auto it = s.opt.extra.find("--group"); it != s.opt.extra.end() && (!parseInt(it->second, number) || number < 1 || number > 10))
        usageError("--group takes 1 to 10");
    if (s.opt.pens.empty()) {
        TrendDefinitions defs;
        const std::string file = joinPath(s.tables->folder(), "DataTrendDefine.csv");
        if (!defs.readFile(file, s.texts.slot(230))) {
            std::fprintf(stderr, "vokctl: cannot read %s\n", file.c_str());
            return kBadInput;
        }
        defs.lookUpItemsInFile(joinPath(s.tables->folder(), "AddContList.csv"));
        for (const std::string& problem : defs.problems)
            std::fprintf(stderr, "vokctl: %s: %s\n", file.c_str(), problem.c_str());
        setup.group = defs.usableGroup(static_cast<int>(number - 1));
        setup.definitions = defs.penDefinition[static_cast<std::size_t>(number - 1)];
    } else {
        if (s.opt.pens.size() > 8)
            usageError("at most 8 pens");
        setup.group.name = "vokctl";
        for (std::size_t p = 0; p < s.opt.pens.size(); ++p) {
            if (!parsePen(s, s.opt.pens[p], setup.group.pens[p], setup.definitions[p]))
                usageError("--pen takes STATION:CHANNEL:ITEM[:MIN:MAX] with an item of the control modules (" + s.opt.pens[p] + ")");
        }
    }
    long cycle = setup.group.cycle;
    if (auto it = s.opt.extra.find("--cycle"); it != s.opt.extra.end() && (!parseInt(it->second, cycle) || cycle < 1 || cycle > 60))
        usageError("--cycle takes 1 to 60 seconds");
    setup.group.cycle = static_cast<int>(std::max(1L, cycle));
    long duration = 0;
    if (auto it = s.opt.extra.find("--duration"); it != s.opt.extra.end() && (!parseInt(it->second, duration) || duration < 1))
        usageError("--duration takes seconds");
    makeDirectories(joinPath(s.settings.workingDir, "DATA"));
    setup.csvPath = s.opt.extra.count("--csv") ? s.opt.extra["--csv"] : dataPath(s.settings, "DataTrend.csv");
    setup.headers = {s.texts.text(107), s.texts.text(108), s.texts.text(109)};

    // The channels' decimal points and units, as the loader has them from its upload.
    if (int rc = s.openPort())
        return rc;
    for (const TrendPenDef& pen : setup.group.pens) {
        if (pen.unused)
            continue;
        for (SpecialRole role : {SpecialRole::DecimalPoint, SpecialRole::Unit}) {
            const int reg = s.tables->specials().reg(role, pen.channelIndex);
            std::uint16_t v = 0;
            if (reg && s.master->readRegisters(s.link->linkHandle(), pen.stationIndex + 1, 2, &v, reg) == kCommOk) {
                s.store.setStoredValue(pen.stationIndex + 1, reg, v);
                s.store.clearCommError(pen.stationIndex, reg, 1);
            } else {
                s.store.setCommError(pen.stationIndex, reg, 1);
            }
        }
    }
    s.link->close();

    TrendSection section;
    std::string error;
    if (!section.open(&error))
        std::fprintf(stderr, "vokctl: the shared trend section cannot be opened (%s); only the file is written\n", error.c_str());
    section.clear();
    TrendLogger logger(*s.master, s.store, s.tables->specials(), &section);
    // Each change is said once: the line lost and back, the section broken, logging ended.
    logger.onEvent = [](const std::string& text) {
        std::fprintf(stderr, "vokctl: %s %s\n", TrendLogger::timeText(std::time(nullptr)).substr(11).c_str(), text.c_str());
    };
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::fprintf(stderr, "vokctl: logging \"%s\" every %d s into %s; Ctrl+C ends\n", decodeText(setup.group.name).toStdString().c_str(),
                 setup.group.cycle, setup.csvPath.c_str());
    const std::string csv = setup.csvPath;
    logger.start(std::move(setup));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(duration);
    while (!g_interrupted && logger.running() && (duration == 0 || std::chrono::steady_clock::now() < end))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    logger.stop();
    const bool broken = section.broken();
    section.release(false);
    if (logger.openFailed())
        return kNoPort;
    const TrendLogger::Status st = logger.status();
    std::printf("%ld cycles logged into %s: %ld values read, %ld not\n", st.cycles, csv.c_str(), st.samplesRead,
                st.samplesFailed);
    // The log or the section failed: the run did not do what it was asked.
    if (!st.ended.empty() || broken) {
        // Said by the logging when a cycle met it; else here.
        if (broken && st.ended.empty() && !st.sectionBroken)
            std::fprintf(stderr, "vokctl: the shared trend section %s was cut short by another program\n",
                         section.name().c_str());
        return kBadInput;
    }
    if (st.samplesFailed == 0)
        return kOk;
    return st.samplesRead == 0 ? kNoCommunication : kPartial;
}

} // namespace ctl
