// vokctl: the loader's core for scripts and batch work.

#include "definitions.h"
#include "fileutil.h"
#include "foldercheck.h"
#include "link.h"
#include "modbus.h"
#include "paramfile.h"
#include "paramtree.h"
#include "reporter.h"
#include "settings.h"
#include "store.h"
#include "textcodec.h"
#include "texttable.h"
#include "transfer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vok;

namespace {

const char* kUsage = R"(usage: vokctl [options] COMMAND [ARGUMENTS]

commands:
  scan                        the connection check: the stations on the line and their codes
  upload FILE                 read the stations into a parameter file (the stations of
                              --stations, else those the connection check finds)
  download FILE               write a parameter file to its stations (or to --stations)
  read STATION REG [COUNT]    read registers of one station
  write STATION REG VALUE...  write registers of one station
  info FILE                   stations, module codes and presence of a parameter file
  diff FILE-A FILE-B          the registers that differ, with parameter names
  check [FOLDER]              the consistency check of a language folder

options:
  --device PATH               the serial device (else COMn of the profile, see --port)
  --port N                    COM port number, mapped by the profile's [Ports] section
  --baud RATE                 2400 ... 921600 (else the profile's)
  --parity none|odd|even  --databits 7|8  --stopbits 1|1.5|2
  --special                   'Z' gateway frames (command mode "special")
  --family 0|1|2              module family (0 standard line, 1 and 2 communication modules)
  --language DIR              language folder (else file/languageN of the working directory)
  --profile FILE              the application profile (else $VOK_PROFILE or ~/.config/...)
  --stations LIST             stations to work on, for example 1-4,17,20
  --json                      machine-readable output
  --quiet                     no progress bar
exit status: 0 done, 1 bad arguments or input, 2 the port cannot be opened,
             3 no communication, 4 done but some stations or registers failed
)";

enum Exit { kOk = 0, kBadInput = 1, kNoPort = 2, kNoCommunication = 3, kPartial = 4 };

struct Options {
    std::string device, language, profile;
    std::optional<int> port, baud, parity, dataBits, stopBits, family;
    bool special = false, json = false, quiet = false;
    std::set<int> stations;
    std::vector<std::string> args;
};

[[noreturn]] void usageError(const std::string& why)
{
    std::fprintf(stderr, "vokctl: %s (see vokctl --help)\n", why.c_str());
    std::exit(kBadInput);
}

bool parseInt(const std::string& s, long& out, int base = 10)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    out = std::strtol(s.c_str(), &end, base);
    return *end == '\0';
}

std::set<int> parseStations(const std::string& list)
{
    std::set<int> out;
    std::stringstream in(list);
    std::string part;
    while (std::getline(in, part, ',')) {
        long a = 0, b = 0;
        auto dash = part.find('-');
        if (dash == std::string::npos ? !parseInt(part, a) : !(parseInt(part.substr(0, dash), a) && parseInt(part.substr(dash + 1), b)))
            usageError("--stations takes numbers and ranges such as 1-4,17");
        if (dash == std::string::npos)
            b = a;
        if (a < 1 || b > 32 || a > b)
            usageError("stations are 1 to 32");
        for (long s = a; s <= b; ++s)
            out.insert(static_cast<int>(s));
    }
    return out;
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\')
            out += '\\', out += static_cast<char>(c);
        else if (c < 0x20)
            out += "\\u00" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

std::string codeText(const std::uint16_t (&id)[13])
{
    std::string s;
    for (std::uint16_t w : id)
        s.push_back(w >= 0x20 && w < 0x7F ? static_cast<char>(w) : (w ? '?' : ' '));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// Messages in the words of the text table, and a progress bar on a terminal.
class CtlReporter : public Reporter {
public:
    CtlReporter(const TextTable& texts, bool quiet) : m_texts(texts), m_bar(!quiet && ::isatty(2)) {}
    void message(int id, const std::string& suffix) override
    {
        clearBar();
        std::string text = decodeText(m_texts.text(id)).toStdString();
        if (text.empty())
            text = "message " + std::to_string(id);
        std::fprintf(stderr, "vokctl: %s%s\n", text.c_str(), suffix.c_str());
        messages.push_back(id);
    }
    void progressStart(std::uint32_t total) override
    {
        m_total = total;
        m_count = 0;
        draw();
    }
    void progressAdvance(int amount) override
    {
        m_count += amount;
        draw();
    }
    void progressEnd() override { clearBar(); }
    std::vector<int> messages;

private:
    void draw()
    {
        if (!m_bar || m_total == 0)
            return;
        const int pct = static_cast<int>(std::min<long long>(100, m_count * 100LL / m_total));
        std::fprintf(stderr, "\r[%-40s] %3d%%", std::string(static_cast<std::size_t>(pct * 40 / 100), '#').c_str(), pct);
        std::fflush(stderr);
        m_drawn = true;
    }
    void clearBar()
    {
        if (m_drawn)
            std::fprintf(stderr, "\r%60s\r", "");
        m_drawn = false;
    }
    const TextTable& m_texts;
    bool m_bar;
    bool m_drawn = false;
    std::uint32_t m_total = 0;
    long long m_count = 0;
};

// Everything a command needs, set up from the profile and the options.
struct Session {
    Options opt;
    Profile profile;
    CommSettings settings;
    TextTable texts;
    std::unique_ptr<CtlReporter> reporter;
    std::unique_ptr<Link> link;
    std::unique_ptr<ModbusMaster> master;
    std::unique_ptr<DefinitionTables> tables;
    DataStore store;
    std::unique_ptr<TransferContext> ctx;
    std::unique_ptr<Transfers> transfers;

    explicit Session(Options o) : opt(std::move(o)), profile(opt.profile.empty() ? Profile::defaultPath() : opt.profile)
    {
        profile.reload();
        loadCommSettings(profile, settings);
        if (opt.port)
            settings.comNo = *opt.port;
        if (!opt.device.empty())
            settings.deviceOverride = opt.device;
        if (opt.baud)
            settings.bps = *opt.baud;
        if (opt.parity)
            settings.parity = *opt.parity;
        if (opt.dataBits)
            settings.byteLength = *opt.dataBits;
        if (opt.stopBits)
            settings.stopBits = *opt.stopBits;
        if (opt.special)
            settings.cmdMode = 1;
        settings.online = 0;
        const int family = opt.family.value_or(0);
        if (family != 0)
            settings.cmdMode = 0; // the communication families speak plain frames
        const std::string folder = opt.language.empty() ? languageFolderPath(settings) : opt.language;
        texts.load(folder, "");
        reporter = std::make_unique<CtlReporter>(texts, opt.quiet || opt.json);
        link = std::make_unique<Link>(settings, *reporter);
        master = std::make_unique<ModbusMaster>(*link);
        master->setModuleFamily(family);
        tables = std::make_unique<DefinitionTables>(folder, family);
        tables->loadSpecialRegisters(texts);
        tables->buildRegisterMaps();
        ctx = std::make_unique<TransferContext>(*master, store, *tables, *reporter);
        // The progress estimate counts the tree's nodes, as the loader does.
        tree::ParameterTree counter(*tables, texts, family);
        counter.build();
        ctx->nodeSlotsInUse = counter.slotsInUse();
        transfers = std::make_unique<Transfers>(*ctx);
    }

    bool needTables() const
    {
        if (tables->specials().row(SpecialRole::Identification).found)
            return true;
        std::fprintf(stderr, "vokctl: no definition tables in %s (give --language DIR)\n", tables->folder().c_str());
        return false;
    }

    int openPort()
    {
        if (link->openLinkFromSettings() != 0) {
            std::fprintf(stderr, "vokctl: %s\n", link->lastError().c_str());
            return kNoPort;
        }
        return kOk;
    }
};

Options parseOptions(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usageError(a + " needs a value");
            return argv[++i];
        };
        long n = 0;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(kOk);
        } else if (a == "--device") {
            o.device = value();
        } else if (a == "--port") {
            if (!parseInt(value(), n) || n < 1 || n > 9)
                usageError("--port takes 1 to 9");
            o.port = static_cast<int>(n);
        } else if (a == "--baud") {
            const std::string v = value();
            int index = -1;
            for (int b = 0; b < kBaudRates; ++b) {
                if (v == baudLabel(b))
                    index = b;
            }
            if (index < 0)
                usageError("--baud takes one of 2400 4800 9600 19200 38400 57600 115200 230400 460800 921600");
            o.baud = index;
        } else if (a == "--parity") {
            const std::string v = value();
            o.parity = v == "none" ? 0 : v == "odd" ? 1 : v == "even" ? 2 : -1;
            if (*o.parity < 0)
                usageError("--parity takes none, odd or even");
        } else if (a == "--databits") {
            const std::string v = value();
            if (v != "7" && v != "8")
                usageError("--databits takes 7 or 8");
            o.dataBits = v == "7" ? 0 : 1;
        } else if (a == "--stopbits") {
            const std::string v = value();
            o.stopBits = v == "1" ? 0 : v == "1.5" ? 1 : v == "2" ? 2 : -1;
            if (*o.stopBits < 0)
                usageError("--stopbits takes 1, 1.5 or 2");
        } else if (a == "--special") {
            o.special = true;
        } else if (a == "--family") {
            if (!parseInt(value(), n) || n < 0 || n > 2)
                usageError("--family takes 0, 1 or 2");
            o.family = static_cast<int>(n);
        } else if (a == "--language") {
            o.language = value();
        } else if (a == "--profile") {
            o.profile = value();
        } else if (a == "--stations") {
            o.stations = parseStations(value());
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--quiet" || a == "-q") {
            o.quiet = true;
        } else if (a.size() > 1 && a[0] == '-' && !std::isdigit(static_cast<unsigned char>(a[1]))) {
            usageError("unknown option " + a);
        } else {
            o.args.push_back(a);
        }
    }
    return o;
}

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

int commFailure(const Session& s, int rc)
{
    std::fprintf(stderr, "vokctl: no valid answer (result %d)\n", rc);
    (void)s;
    return kNoCommunication;
}

void printStations(const Session& s, const char* what)
{
    if (s.opt.json) {
        std::printf("{\"%s\":[", what);
        bool first = true;
        for (int i = 0; i < kStations; ++i) {
            if (!s.store.stationPresent[i])
                continue;
            std::printf("%s{\"station\":%d,\"code\":%s,\"model\":%d}", first ? "" : ",", i + 1,
                        jsonString(codeText(s.store.record(i).identification)).c_str(), s.store.modelClass(i));
            first = false;
        }
        std::printf("]}\n");
        return;
    }
    for (int i = 0; i < kStations; ++i) {
        if (s.store.stationPresent[i])
            std::printf("station %2d  %s\n", i + 1, codeText(s.store.record(i).identification).c_str());
    }
}

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
        return commFailure(s, rc);
    }
    for (int i = 0; i < kStations; ++i) {
        if (s.store.stationPresent[i])
            s.transfers->readIdentification(i + 1, s.store.record(i).identification);
    }
    s.link->close();
    printStations(s, "stations");
    return kOk;
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

int cmdUpload(Session& s)
{
    if (s.opt.args.size() != 2)
        usageError("upload FILE");
    if (!s.needTables())
        return kBadInput;
    if (int rc = s.openPort())
        return rc;
    if (s.opt.stations.empty()) {
        s.store.stationPresent.fill(1);
        if (int rc = s.transfers->scanStations(); rc != kCommOk) {
            s.link->close();
            return commFailure(s, rc);
        }
    } else {
        for (int i = 0; i < kStations; ++i)
            s.store.stationPresent[i] = s.opt.stations.count(i + 1) ? 1 : 0;
        s.store.selectPresentStations();
    }
    const auto wanted = s.store.stationSelected;
    s.transfers->runTransferSequence(TransferType::OnlineStart);
    s.link->close();
    // The file holds what was read: a station that was left out is not in it.
    for (int i = 0; i < kStations; ++i) {
        if (wanted[i] && !s.store.stationSelected[i])
            s.store.stationPresent[i] = 0;
    }
    std::string error;
    const long long written = saveParameterFile(s.store, s.opt.args[1], &error);
    if (written < 0) {
        std::fprintf(stderr, "vokctl: cannot save %s: %s\n", s.opt.args[1].c_str(), error.c_str());
        return kBadInput;
    }
    return report(s, "uploaded", wanted);
}

bool loadFile(Session& s, const std::string& path, DataStore& store)
{
    const long long n = loadParameterFile(store, path);
    if (n < 0) {
        std::fprintf(stderr, "vokctl: cannot read %s\n", path.c_str());
        return false;
    }
    if (n != static_cast<long long>(kParameterFileSize))
        std::fprintf(stderr, "vokctl: warning: %s has %lld bytes, not %zu; the records past its end are empty\n",
                     path.c_str(), n, kParameterFileSize);
    (void)s;
    return true;
}

bool familyFitsFile(const Session& s, const std::string& path)
{
    const std::string ext = std::filesystem::path(path).extension().string();
    const std::string want = std::string(".") + parameterFileExtension(s.tables->family());
    for (int f = 0; f <= 2; ++f) {
        if (ext == std::string(".") + parameterFileExtension(f) && ext != want) {
            std::fprintf(stderr, "vokctl: %s is a file of module family %d; give --family %d\n", path.c_str(), f, f);
            return false;
        }
    }
    return true;
}

int cmdDownload(Session& s)
{
    if (s.opt.args.size() != 2)
        usageError("download FILE");
    if (!s.needTables() || !familyFitsFile(s, s.opt.args[1]) || !loadFile(s, s.opt.args[1], s.store))
        return kBadInput;
    for (int i = 0; i < kStations; ++i)
        s.store.stationSelected[i] = s.store.stationPresent[i] && (s.opt.stations.empty() || s.opt.stations.count(i + 1));
    for (int st : s.opt.stations) {
        if (!s.store.stationPresent[st - 1])
            std::fprintf(stderr, "vokctl: station %d is not in %s\n", st, s.opt.args[1].c_str());
    }
    const auto wanted = s.store.stationSelected;
    if (int rc = s.openPort())
        return rc;
    s.transfers->runTransferSequence(TransferType::Download);
    s.link->close();
    return report(s, "downloaded", wanted);
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
        return commFailure(s, rc);
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
        return commFailure(s, rc);
    if (s.opt.json)
        std::printf("{\"written\":%zu}\n", values.size());
    return kOk;
}

int cmdInfo(Session& s)
{
    if (s.opt.args.size() != 2)
        usageError("info FILE");
    if (!loadFile(s, s.opt.args[1], s.store))
        return kBadInput;
    printStations(s, "stations");
    return kOk;
}

// Register -> "key name" for the stations of each side, from the additional lists.
std::map<int, std::string> parameterNames(const Session& s, bool control)
{
    std::map<int, std::string> names;
    std::vector<const char*> files;
    if (s.tables->family() == 1)
        files = {"AddComList.csv"};
    else if (s.tables->family() == 2)
        files = {"AddProfComList.csv"};
    else if (control)
        files = {"AddContList.csv", "AddAnalogList.csv"};
    else
        files = {"AddEventList.csv"};
    for (const char* f : files) {
        auto bytes = readWholeFile(joinPath(s.tables->folder(), f));
        if (!bytes)
            continue;
        for (const ParameterDefinition& d : allDefinitions(bytes->view())) {
            for (int c = 0; c < (control ? 4 : 1); ++c) {
                if (d.registers[c] && !names.count(d.registers[c]))
                    names[d.registers[c]] = d.key + " " + decodeText(d.name).toStdString()
                        + (d.moduleWide || !control ? "" : " ch" + std::to_string(c + 1));
            }
        }
    }
    return names;
}

int cmdDiff(Session& s)
{
    if (s.opt.args.size() != 3)
        usageError("diff FILE-A FILE-B");
    DataStore b;
    if (!loadFile(s, s.opt.args[1], s.store) || !loadFile(s, s.opt.args[2], b))
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

} // namespace

int main(int argc, char** argv)
{
    Options options = parseOptions(argc, argv);
    if (options.args.empty())
        usageError("no command");
    const std::string command = options.args[0];
    Session s(std::move(options));
    if (command == "scan")
        return cmdScan(s);
    if (command == "upload")
        return cmdUpload(s);
    if (command == "download")
        return cmdDownload(s);
    if (command == "read")
        return cmdRead(s);
    if (command == "write")
        return cmdWrite(s);
    if (command == "info")
        return cmdInfo(s);
    if (command == "diff")
        return cmdDiff(s);
    if (command == "check")
        return cmdCheck(s);
    usageError("unknown command " + command);
}
