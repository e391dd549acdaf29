#pragma once
// What every vokctl command shares: the options, the profile and settings, the texts, the
// link and master, the definition tables, a store, and how the tool speaks.

#include "definitions.h"
#include "link.h"
#include "modbus.h"
#include "reporter.h"
#include "settings.h"
#include "store.h"
#include "texttable.h"
#include "transfer.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ctl {

enum Exit { kOk = 0, kBadInput = 1, kNoPort = 2, kNoCommunication = 3, kPartial = 4 };

struct Options {
    std::string device, language, profile;
    std::optional<int> port, baud, parity, dataBits, stopBits, family;
    bool special = false, json = false, quiet = false, partial = false;
    std::set<int> stations;
    std::vector<std::string> pens; // log: --pen STATION:CHANNEL:ITEM[:MIN:MAX], repeated
    std::vector<std::string> args;
    // Command options: --changes, --changes-from FILE, --verify, --kind, --comment, ...
    std::map<std::string, std::string> extra;
};

[[noreturn]] void usageError(const std::string& why);
bool parseInt(const std::string& s, long& out, int base = 10);
Options parseOptions(int argc, char** argv);
std::string jsonString(const std::string& s);
std::string codeText(const std::uint16_t (&id)[13]);

// Messages in the words of the text table, English notices, and a progress bar on a terminal.
class CtlReporter : public vok::Reporter {
public:
    CtlReporter(const vok::TextTable& texts, bool quiet);
    void message(int id, const std::string& suffix) override;
    void notice(const std::string& text) override;
    void note(const std::string& text) override;
    void progressStart(std::uint32_t total) override;
    void progressAdvance(int amount) override;
    void progressEnd() override;
    std::vector<int> messages;
    std::vector<std::string> notices;

private:
    void draw();
    void clearBar();
    const vok::TextTable& m_texts;
    bool m_bar;
    bool m_drawn = false;
    std::uint32_t m_total = 0;
    long long m_count = 0;
};

struct Session {
    Options opt;
    vok::Profile profile;
    vok::CommSettings settings;
    vok::TextTable texts;
    std::unique_ptr<CtlReporter> reporter;
    std::unique_ptr<vok::Link> link;
    std::unique_ptr<vok::ModbusMaster> master;
    std::unique_ptr<vok::DefinitionTables> tables;
    vok::DataStore store;
    std::unique_ptr<vok::TransferContext> ctx;
    std::unique_ptr<vok::Transfers> transfers;

    explicit Session(Options o);
    bool needTables() const;
    int openPort();
    // Fills the store from a parameter file; false (said) when it cannot be read, or when it
    // has another size and `exactSize` is asked.
    bool loadFile(const std::string& path, vok::DataStore& into, bool exactSize, bool keepEdited = false);
    bool familyFitsFile(const std::string& path) const;
    // The exit status after a transfer: no communication when the line went dead.
    int failure(int rc) const;
};

// Register -> "key name" for the stations of each side, from the additional lists.
std::map<int, std::string> parameterNames(const Session& s, bool control);

int cmdScan(Session& s);
int cmdUpload(Session& s);
int cmdDownload(Session& s);
int cmdRead(Session& s);
int cmdWrite(Session& s);
int cmdInfo(Session& s);
int cmdDiff(Session& s);
int cmdCheck(Session& s);
int cmdHistory(Session& s);
int cmdLog(Session& s);
int cmdList(Session& s);
int cmdPorts(Session& s);
int cmdCopyChannel(Session& s);
int cmdCopyStation(Session& s);
// Reads the stations of the store from the line and lists what differs (diff FILE --device).
int compareWithLine(Session& s);
// "station  2  41100  SV Set value ch1  PC 800 -> module 500" lines, or JSON.
void printDifferences(const Session& s, const std::vector<vok::Difference>& differences, const char* what);
// "station  1  VOKA112N01000" lines of the stations present, or JSON under `what`.
void printStations(const Session& s, const char* what);

} // namespace ctl
