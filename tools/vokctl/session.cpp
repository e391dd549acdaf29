// What every vokctl command shares.

#include "session.h"

#include "fileutil.h"
#include "journal.h"
#include "paramfile.h"
#include "paramtree.h"
#include "textcodec.h"
#include "workfolder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <unistd.h>

using namespace vok;

namespace ctl {

namespace {

const char* kUsage = R"(usage: vokctl [options] COMMAND [ARGUMENTS]

commands:
  ports                       the serial ports of this machine (and who may use them) and
                              the devices of COM1 to COM9
  scan                        the connection check: the stations on the line and their codes
  upload FILE                 read the stations into a parameter file (the stations of
                              --stations, else those the connection check finds); an
                              upload that did not complete keeps an existing FILE unless
                              --partial is given
  download FILE               write a parameter file to its stations (or to --stations)
      --changes               only the registers the file marks as changed
      --changes-from BASE     only the registers that differ from the file BASE
      --verify                read back what was written and compare
  read STATION REG [COUNT]    read registers of one station
  write STATION REG VALUE...  write registers of one station
  info FILE                   stations, module codes and presence of a parameter file
  diff FILE-A FILE-B          the registers that differ, with parameter names
  diff FILE --device PATH     the registers whose module value differs from the file's
  history [--limit N]         the downloads recorded in DATA/DownloadLog.csv
  check [FOLDER]              the consistency check of a language folder
  list FILE                   the parameter list of a parameter file as CSV, by default
                              DATA/ParameterOutputList.csv
      --kind N                1 Function, 2 Event, 3 Analog, 4 Analog input, 5 Analog
                              output (the communication families have one list)
      --comment TEXT          the first line (else "user comment")
      --for-print             hexadecimal values and bit patterns without the apostrophe
      --csv OUT               another file, or - for standard output
  copy-channel FILE STATION FROM FIRST LAST
                              channel FROM's parameters onto channels FIRST..LAST of the
                              station, in the file; the copied values marked as changed
  copy-station FILE FROM FIRST LAST
                              station FROM's parameters onto stations FIRST..LAST
  log                         the data trend of a group of DataTrendDefine.csv into
                              DATA/DataTrend.csv and the shared section that Trend shows,
                              until Ctrl+C or the duration ends
      --group N               the group 1-10 (1 when no --pen is given)
      --pen ST:CH:ITEM[:MIN:MAX]  a pen instead (up to 8): station, channel 1-4, the
                              item's key or name, the scale
      --cycle S  --duration S --csv FILE

options:
  --device PATH               the serial device (else COMn of the profile, see --port)
  --port N                    COM port number, mapped by the profile's [Ports] section
  --baud RATE                 2400 ... 921600 (else the profile's)
  --parity none|odd|even  --databits 7|8  --stopbits 1|1.5|2
  --special                   'Z' gateway frames (command mode "special")
  --family 0|1|2              module family (0 standard line, 1 and 2 communication modules)
  --language DIR              language folder (else file/languageN of the working folder)
  --profile FILE              the application profile (else $VOK_PROFILE or ~/.config/...)
  --stations LIST             stations to work on, for example 1-4,17,20
  --json                      machine-readable output
  --quiet                     no progress bar
  --version                   the version
working folder: the current folder when it holds file/, else ~/.local/share/vok-tools
  ($XDG_DATA_HOME/vok-tools), made at the first run from the installed sample language
  folders; DATA/ (lists, logs, the download record) is there too. With --language the
  working folder is the current one.
exit status: 0 done, 1 bad arguments or input, 2 the port cannot be opened,
             3 no communication, 4 done but some stations or registers failed
)";

} // namespace

void usageError(const std::string& why)
{
    std::fprintf(stderr, "vokctl: %s (see vokctl --help)\n", why.c_str());
    std::exit(kBadInput);
}

bool parseInt(const std::string& s, long& out, int base)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    out = std::strtol(s.c_str(), &end, base);
    return *end == '\0';
}

namespace {

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

// Options of single commands: flags, and options that take a value.
const std::set<std::string> kCommandFlags = {"--changes", "--verify", "--for-print"};
const std::set<std::string> kCommandValues = {"--changes-from", "--kind", "--comment", "--group", "--cycle",
                                              "--duration", "--csv", "--limit"};

} // namespace

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
        if (a == "--version") {
            std::printf("vokctl %s\n", VOK_VERSION);
            std::exit(kOk);
        }
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
        } else if (a == "--partial") {
            o.partial = true;
        } else if (a == "--pen") {
            o.pens.push_back(value());
        } else if (kCommandFlags.count(a)) {
            o.extra[a] = "1";
        } else if (kCommandValues.count(a)) {
            o.extra[a] = value();
        } else if (a.size() > 1 && a[0] == '-' && !std::isdigit(static_cast<unsigned char>(a[1]))) {
            usageError("unknown option " + a);
        } else {
            o.args.push_back(a);
        }
    }
    return o;
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

CtlReporter::CtlReporter(const TextTable& texts, bool quiet) : m_texts(texts), m_bar(!quiet && ::isatty(2)) {}

void CtlReporter::message(int id, const std::string& suffix)
{
    clearBar();
    std::string text = decodeText(m_texts.text(id)).toStdString();
    if (text.empty())
        text = "message " + std::to_string(id);
    std::fprintf(stderr, "vokctl: %s%s\n", text.c_str(), suffix.c_str());
    messages.push_back(id);
}

void CtlReporter::notice(const std::string& text)
{
    clearBar();
    std::fprintf(stderr, "vokctl: %s\n", text.c_str());
    notices.push_back(text);
}

void CtlReporter::note(const std::string& text)
{
    clearBar();
    std::fprintf(stderr, "vokctl: %s\n", text.c_str());
}

void CtlReporter::progressStart(std::uint32_t total)
{
    m_total = total;
    m_count = 0;
    draw();
}

void CtlReporter::progressAdvance(int amount)
{
    m_count += amount;
    draw();
}

void CtlReporter::progressEnd()
{
    clearBar();
}

void CtlReporter::draw()
{
    if (!m_bar || m_total == 0)
        return;
    const int pct = static_cast<int>(std::min<long long>(100, m_count * 100LL / m_total));
    std::fprintf(stderr, "\r[%-40s] %3d%%", std::string(static_cast<std::size_t>(pct * 40 / 100), '#').c_str(), pct);
    std::fflush(stderr);
    m_drawn = true;
}

void CtlReporter::clearBar()
{
    if (m_drawn)
        std::fprintf(stderr, "\r%60s\r", "");
    m_drawn = false;
}

Session::Session(Options o) : opt(std::move(o)), profile(opt.profile.empty() ? Profile::defaultPath() : opt.profile)
{
    profile.reload();
    std::vector<std::string> warnings;
    loadCommSettings(profile, settings, &warnings);
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
    // Without --language the language folders come from the working folder: here when it
    // holds file/, else the user's own (made at the first start from the installed samples).
    // Paths given on the command line stay relative to where vokctl runs.
    std::string workingNote;
    if (opt.language.empty()) {
        const WorkingFolder wf = chooseWorkingFolder(".", userWorkingFolder(), installedSamples(executableFolder()), false);
        if (wf.error.empty())
            settings.workingDir = wf.path;
        workingNote = wf.error.empty() ? wf.note : wf.error;
    }
    const std::string folder = opt.language.empty() ? languageFolderPath(settings) : opt.language;
    texts.load(folder, "");
    reporter = std::make_unique<CtlReporter>(texts, opt.quiet || opt.json);
    // Said once per run: what the profile holds that cannot be used as it is, and a download
    // that a crash or kill left unfinished.
    for (const std::string& w : warnings)
        reporter->notice(w);
    if (!workingNote.empty())
        reporter->notice(workingNote);
    if (std::string w = DownloadJournal(settings.workingDir).pendingWarning(); !w.empty())
        reporter->notice(w);
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

bool Session::needTables() const
{
    if (tables->specials().row(SpecialRole::Identification).found)
        return true;
    std::fprintf(stderr, "vokctl: no definition tables in %s (give --language DIR)\n", tables->folder().c_str());
    return false;
}

int Session::openPort()
{
    if (link->openLink() != 0) {
        std::fprintf(stderr, "vokctl: %s\n", link->lastError().c_str());
        return kNoPort;
    }
    return kOk;
}

bool Session::loadFile(const std::string& path, DataStore& into, bool exactSize, bool keepEdited)
{
    std::string error;
    long long size = 0;
    const long long n = loadParameterFile(into, path, &error, &size, keepEdited);
    if (n < 0) {
        std::fprintf(stderr, "vokctl: %s\n", error.c_str());
        return false;
    }
    if (const std::string problem = parameterFileSizeProblem(path, size); !problem.empty()) {
        std::fprintf(stderr, "vokctl: %s%s\n", exactSize ? "" : "warning: ", problem.c_str());
        if (exactSize)
            return false;
    }
    return true;
}

bool Session::familyFitsFile(const std::string& path) const
{
    const std::string ext = std::filesystem::path(path).extension().string();
    const std::string want = std::string(".") + parameterFileExtension(tables->family());
    for (int f = 0; f <= 2; ++f) {
        if (ext == std::string(".") + parameterFileExtension(f) && ext != want) {
            std::fprintf(stderr, "vokctl: %s is a file of module family %d; give --family %d\n", path.c_str(), f, f);
            return false;
        }
    }
    return true;
}

int Session::failure(int rc) const
{
    if (!ctx->lineDead)
        std::fprintf(stderr, "vokctl: no valid answer (%s)\n", commResultText(rc).c_str());
    return kNoCommunication;
}

std::map<int, std::string> parameterNames(const Session& s, bool control)
{
    std::map<int, std::string> names;
    for (const auto& [reg, owner] : s.tables->registerOwners(control)) {
        const ParameterDefinition& d = owner.definition;
        names[reg] = d.key + " " + decodeText(d.name).toStdString()
            + (d.moduleWide || !control ? "" : " ch" + std::to_string(owner.channel + 1));
    }
    return names;
}

// The stations of the store and their codes (a file's or the line's).
void printStations(const Session& s, const char* what)
{
    if (s.opt.json) {
        std::printf("{\"%s\":[", what);
        bool first = true;
        for (int i = 0; i < kStations; ++i) {
            if (!s.store.stationPresent[i])
                continue;
            std::printf("%s{\"station\":%d,\"code\":%s,\"model\":%d,\"incomplete\":%s}", first ? "" : ",", i + 1,
                        jsonString(codeText(s.store.record(i).identification)).c_str(), s.store.modelClass(i),
                        s.store.incomplete(i) ? "true" : "false");
            first = false;
        }
        std::printf("]}\n");
        return;
    }
    for (int i = 0; i < kStations; ++i) {
        if (s.store.stationPresent[i])
            std::printf("station %2d  %s%s\n", i + 1, codeText(s.store.record(i).identification).c_str(),
                        s.store.incomplete(i) ? " (incomplete)" : "");
    }
}

} // namespace ctl
