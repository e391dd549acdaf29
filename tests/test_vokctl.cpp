// The command-line tool against the simulated line: upload, download, and what it says
// about bad input.

#include "paramfile.h"
#include "simfixture.h"
#include "store.h"
#include "storeutil.h"
#include "testutil.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <csignal>
#include <chrono>
#include <functional>
#include <set>
#include <tuple>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

struct CtlRun {
    int status;
    std::string output; // standard output and error together
};

std::string ctlCommand(const std::string& args, const std::string& language = vok::test::kSampleLanguage)
{
    return std::string(VOKCTL_PATH) + " --quiet --profile /nonexistent/vok.ini --language " + language + " " + args;
}

CtlRun runShell(const std::string& cmd)
{
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    CtlRun r{-1, {}};
    if (!p)
        return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        r.output += buf;
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Runs vokctl in `cwd` (the working folder whose DATA/ it uses).
CtlRun vokctl(const std::string& args, const std::string& cwd = ".",
              const std::string& language = vok::test::kSampleLanguage)
{
    return runShell("cd " + cwd + " && " + ctlCommand(args, language));
}

} // namespace

TEST(Vokctl, UploadThenDownloadAgainstTheSimulator)
{
    vok::sim::LineConfig c;
    c.stations = {{1, "VOKA112N01000"}, {17, "VOKE100N01000"}};
    vok::test::SimulatedLine line(c);
    ASSERT_TRUE(line.started()) << line.error();
    vok::test::TempDir dir;
    const std::string device = "--device " + line.path() + " --baud 115200 ";

    CtlRun scan = vokctl(device + "--json scan");
    EXPECT_EQ(scan.status, 0) << scan.output;
    EXPECT_NE(scan.output.find("{\"station\":1,\"code\":\"VOKA112N01000\""), std::string::npos) << scan.output;

    line.sim().setRegister(1, 41100, 1234);
    CtlRun up = vokctl(device + "upload " + dir.file("line.dat"));
    EXPECT_EQ(up.status, 0) << up.output;
    EXPECT_EQ(std::filesystem::file_size(dir.file("line.dat")), 1602304u);

    CtlRun read = vokctl(device + "read 1 41100");
    EXPECT_NE(read.output.find("1234"), std::string::npos) << read.output;
    line.sim().setRegister(1, 41100, 1);
    CtlRun down = vokctl(device + "download " + dir.file("line.dat") + " --stations 1");
    EXPECT_EQ(down.status, 0) << down.output;
    EXPECT_EQ(*line.sim().registerValue(1, 41100), 1234u);

    CtlRun info = vokctl("info " + dir.file("line.dat"));
    EXPECT_NE(info.output.find("station 17  VOKE100N01000"), std::string::npos) << info.output;

    line.sim().setFault(17, "silent", "", true, nullptr);
    CtlRun partial = vokctl(device + "upload " + dir.file("again.dat") + " --stations 1,17");
    EXPECT_EQ(partial.status, 4) << partial.output;
    EXPECT_NE(partial.output.find("station 17  left out"), std::string::npos) << partial.output;

    CtlRun diff = vokctl("diff " + dir.file("line.dat") + " " + dir.file("again.dat"));
    EXPECT_EQ(diff.status, 4);
    EXPECT_NE(diff.output.find("present"), std::string::npos) << diff.output;
}

TEST(Vokctl, SaysWhatIsWrong)
{
    vok::test::TempDir dir;
    const std::string dat = dir.write("x.dat", std::string(100, '\0'));
    struct Case {
        std::string args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"", 1, "no command"},
        {"frobnicate", 1, "unknown command"},
        {"info " + dir.file("missing.dat"), 1, "cannot open"},
        {"--family 1 download " + dat, 1, "module family 0"},
        {"read 33 41001", 1, "a station is 1 to 32"},
        {"read 1 50000", 1, "a register is"},
        {"write 1 31001 5", 1, "only holding registers"},
        {"--baud 1234 scan", 1, "--baud takes"},
        {"--stations 0-3 scan", 1, "stations are 1 to 32"},
        {"--device /nonexistent/tty scan", 2, "is not present"},
        {"info " + dat, 0, "100 bytes"},
        {"check " + dir.path(), 1, "is missing"},
    };
    for (const Case& c : cases) {
        CtlRun r = vokctl(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
    }
}

namespace {

double seconds(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

// A commissioning engineer's bad day through vokctl: a station falling silent, the line
// killed mid-upload and mid-download, the line silenced after the identification. Each
// says what happened once, ends soon with its status, keeps the good file, and writes no
// value that was never read.
TEST(Vokctl, FaultsMidTransfer)
{
    struct Case {
        const char* name;
        const char* command; // upload or download
        std::uint64_t after; // requests answered before the fault
        std::function<void(vok::test::SimulatedLine&)> fault;
        int status;
        const char* says;
        double within;
    };
    auto silence = [](int station) {
        return [station](vok::test::SimulatedLine& l) { l.sim().setFault(station, "silent", "", true, nullptr); };
    };
    auto kill = [](vok::test::SimulatedLine& l) { l.hangUp(); };
    const Case cases[] = {
        {"station 2 silent mid-upload", "upload", 5 + 3 + 80, silence(2), 4, "No answer from station 2", 20},
        {"killed mid-upload", "upload", 5 + 3 + 30, kill, 3, "The line stopped answering", 5},
        {"silenced after identification", "upload", 5 + 3 + 2, silence(0), 3, "The line stopped answering", 8},
        {"killed mid-download", "download", 3 + 20, kill, 3, "The line stopped answering", 5},
    };
    for (const Case& c : cases) {
        vok::sim::LineConfig config;
        config.stations = {{1, "VOKA112N01000"}, {2, "VOKA112N01000"}, {3, "VOKA112N01000"}};
        vok::test::SimulatedLine line(config);
        ASSERT_TRUE(line.started()) << line.error();
        vok::test::TempDir dir;
        const std::string device = "--device " + line.path() + " --baud 115200 ";
        const std::string file = dir.file("line.dat");
        ASSERT_EQ(vokctl(device + "upload " + file, dir.path()).status, 0);
        const std::string good = vok::test::readFile(file);
        line.sim().clearWrites();
        std::thread fault = line.after(c.after, [&] { c.fault(line); });
        const auto t0 = std::chrono::steady_clock::now();
        CtlRun r = vokctl(device + c.command + " " + file, dir.path());
        const double took = seconds(t0);
        fault.join();
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.name << "\n" << r.output;
        EXPECT_LT(took, c.within) << c.name;
        EXPECT_EQ(vok::test::readFile(file), good) << c.name << ": the good file is kept";
        if (std::string(c.command) == "download") {
            EXPECT_TRUE(std::filesystem::exists(dir.file("DATA/download-in-progress.txt")))
                << c.name << ": the stations not written whole stay in the journal";
        }
        if (c.status == 4) {
            // Asked for, the partial upload is written, the silent station marked; its
            // download then leaves that station out and writes nothing to it.
            line.sim().clearFaults(0);
            std::thread again = line.after(c.after, [&] { c.fault(line); });
            CtlRun partial = vokctl(device + "--partial upload " + file, dir.path());
            again.join();
            EXPECT_EQ(partial.status, 4) << partial.output;
            EXPECT_NE(vokctl("info " + file).output.find("station  2  VOKA112N01000 (incomplete)"), std::string::npos);
            line.sim().clearFaults(2);
            line.sim().clearWrites();
            CtlRun down = vokctl(device + "download " + file, dir.path());
            EXPECT_EQ(down.status, 4) << down.output;
            EXPECT_NE(down.output.find("Left out of the download: station 2"), std::string::npos) << down.output;
            for (const auto& w : line.sim().writes())
                EXPECT_NE(w.address, 2) << "never a value that was not read";
        }
    }
}

// Files and folders a transfer cannot rely on are refused before anything is sent.
TEST(Vokctl, BadFilesAndFoldersAreRefused)
{
    vok::sim::LineConfig config;
    config.stations = {{1, "VOKA112N01000"}};
    vok::test::SimulatedLine line(config);
    ASSERT_TRUE(line.started()) << line.error();
    vok::test::TempDir dir;
    const std::string device = "--device " + line.path() + " --baud 115200 ";
    const std::string good = dir.file("good.dat");
    ASSERT_EQ(vokctl(device + "upload " + good, dir.path()).status, 0);
    const std::string image = vok::test::readFile(good);
    ASSERT_EQ(::mkfifo(dir.file("fifo.dat").c_str(), 0600), 0);
    vok::test::TempDir broken;
    std::filesystem::copy(vok::test::kSampleLanguage, broken.path(), std::filesystem::copy_options::recursive);
    std::filesystem::remove(broken.file("DownloadExclusion.csv"));
    broken.write("FunctionList.csv", "Function,,\r\nA,B,NOKEY\r\n,,NOKEY2\r\n");
    struct Case {
        std::string args;
        std::string language;
        const char* says;
    };
    const std::string lang = vok::test::kSampleLanguage;
    const Case cases[] = {
        {"download " + dir.write("empty.dat", ""), lang, "is empty"},
        {"download " + dir.write("short.dat", image.substr(0, 60000)), lang, "cut short"},
        {"download " + dir.write("long.dat", image + "extra"), lang, "more than"},
        {"info " + dir.file("fifo.dat"), lang, "not a regular file"},
        {"--stations 5 download " + good, lang, "station 5 is not in"},
        {"upload " + dir.path(), lang, "is not a regular file"},
        {"upload " + good + "/x.dat", lang, "cannot write into"},
        {"download " + good, broken.path(), "FunctionList.csv: 2 of its 2 keys are not in AddContList.csv"},
        {"upload " + dir.file("new.dat"), broken.path(), "FunctionList.csv: 2 of its 2 keys"},
    };
    for (const Case& c : cases) {
        line.sim().clearWrites();
        CtlRun r = vokctl(device + c.args, dir.path(), c.language);
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
        for (const auto& w : line.sim().writes())
            EXPECT_GT(w.address, 32) << c.args << ": only the connection check writes, to the coupling unit";
    }
    // With the lists whole but no exclusion file, a download is refused as well.
    broken.write("FunctionList.csv", vok::test::readFile(lang + "/FunctionList.csv"));
    CtlRun r = vokctl(device + "download " + good, dir.path(), broken.path());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("DownloadExclusion.csv is missing"), std::string::npos) << r.output;
}

// A download killed with SIGKILL leaves its record; the next run says which stations may
// hold a mix of old and new values.
TEST(Vokctl, KilledDownloadIsKnownAtTheNextStart)
{
    vok::sim::LineConfig config;
    config.stations = {{1, "VOKA112N01000"}, {2, "VOKA112N01000"}};
    vok::test::SimulatedLine line(config);
    ASSERT_TRUE(line.started()) << line.error();
    vok::test::TempDir dir;
    const std::string device = "--device " + line.path() + " --baud 115200 ";
    ASSERT_EQ(vokctl(device + "upload " + dir.file("line.dat"), dir.path()).status, 0);
    line.sim().clearWrites();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir.path().c_str()) != 0)
            ::_exit(99);
        const std::string cmd = ctlCommand(device + "download line.dat") + " > /dev/null 2>&1";
        ::execl("/bin/sh", "sh", "-c", ("exec " + cmd).c_str(), nullptr);
        ::_exit(98);
    }
    const auto t0 = std::chrono::steady_clock::now();
    while (line.sim().writes().size() < 10 && seconds(t0) < 20)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    CtlRun next = vokctl("info line.dat", dir.path());
    EXPECT_NE(next.output.find("A download to stations 1,2 on " + line.path()), std::string::npos) << next.output;
    EXPECT_NE(next.output.find("did not finish"), std::string::npos) << next.output;
    // A download that runs to its end takes the record away.
    CtlRun again = vokctl(device + "download line.dat", dir.path());
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(vokctl("info line.dat", dir.path()).output.find("did not finish"), std::string::npos);
    // The download log holds whole lines only: the killed download wrote none.
    const std::string log = vok::test::readFile(dir.file("DATA/DownloadLog.csv"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), ','), 16) << log;
}

// The changes of a file go alone, verified; the line compared with the file shows what was
// changed behind its back; every download is on record.
TEST(Vokctl, ChangesVerifyCompareAndHistory)
{
    vok::sim::LineConfig config;
    config.stations = {{1, "VOKA112N01000"}, {17, "VOKE100N01000"}};
    vok::test::SimulatedLine line(config);
    ASSERT_TRUE(line.started()) << line.error();
    vok::test::TempDir dir;
    const std::string device = "--device " + line.path() + " --baud 115200 ";
    ASSERT_EQ(vokctl(device + "upload base.dat", dir.path()).status, 0);
    {
        vok::DataStore store;
        ASSERT_GT(vok::loadParameterFile(store, dir.file("base.dat")), 0);
        for (auto [station, reg, value] : {std::tuple{1, 41100, 11}, {1, 42101, 12}, {17, 40005, 13}}) {
            store.setStoredValue(station, reg, static_cast<std::uint16_t>(value));
            store.markEdited(station - 1, reg);
        }
        ASSERT_GT(vok::saveParameterFile(store, dir.file("edited.dat")), 0);
    }
    auto writtenRegisters = [&] {
        std::set<int> regs;
        for (const auto& w : line.sim().writes())
            for (std::size_t k = 0; k < w.values.size(); ++k)
                regs.insert(w.first + static_cast<int>(k));
        return regs;
    };
    for (const std::string args : {"download --changes --verify edited.dat", "download --changes-from base.dat --verify edited.dat"}) {
        line.sim().clearWrites();
        CtlRun r = vokctl(device + args, dir.path());
        EXPECT_EQ(r.status, 0) << args << "\n" << r.output;
        EXPECT_NE(r.output.find("verified: "), std::string::npos) << r.output;
        EXPECT_EQ(writtenRegisters(), (std::set<int>{41100, 42101, 40005})) << args;
    }
    EXPECT_EQ(line.sim().registerValue(1, 42101), 12);

    // A station that refuses once the identification is read: named, exit 4, never "verified";
    // a base file that marks a station incomplete leaves it out.
    {
        std::thread refuse = line.after(2, [&] { line.sim().setFault(17, "exception", "4", true, nullptr); });
        CtlRun r = vokctl(device + "download --changes --verify edited.dat", dir.path());
        refuse.join();
        line.sim().clearFaults(17);
        EXPECT_EQ(r.status, 4) << r.output;
        EXPECT_NE(r.output.find("1 register not written (stations 17)"), std::string::npos) << r.output;
        EXPECT_EQ(r.output.find("verified: "), std::string::npos) << r.output;
        vok::DataStore store;
        ASSERT_GT(vok::loadParameterFile(store, dir.file("base.dat")), 0);
        store.setIncomplete(16, true);
        ASSERT_GT(vok::saveParameterFile(store, dir.file("partbase.dat")), 0);
        line.sim().clearWrites();
        CtlRun part = vokctl(device + "download --changes-from partbase.dat edited.dat", dir.path());
        EXPECT_EQ(part.status, 4) << part.output;
        EXPECT_NE(part.output.find("station 17  left out"), std::string::npos) << part.output;
        EXPECT_EQ(writtenRegisters(), (std::set<int>{41100, 42101}));
    }

    line.sim().setRegister(1, 41100, 9); // behind the file's back
    CtlRun diff = vokctl(device + "diff edited.dat", dir.path());
    EXPECT_EQ(diff.status, 4) << diff.output;
    EXPECT_NE(diff.output.find("station  1  41100"), std::string::npos) << diff.output;
    EXPECT_NE(diff.output.find("PC    11  module     9"), std::string::npos) << diff.output;

    CtlRun history = vokctl("history", dir.path());
    EXPECT_EQ(history.status, 0);
    // The heading, four downloads, and first the journal's word on station 17 left unwritten.
    EXPECT_EQ(std::count(history.output.begin(), history.output.end(), '\n'), 6) << history.output;
    EXPECT_EQ(history.output.rfind("vokctl: A download to station 17", 0), 0u) << history.output;
    EXPECT_NE(history.output.find(",changes,1 17," + dir.file("edited.dat") + ",3,confirmed "), std::string::npos)
        << history.output;
}

// The coupling unit answers the connection check, the stations behind it nothing: the upload
// ends after two silent stations (exit 3) and writes no file; a file already there stays.
TEST(Vokctl, SilentLineBehindAnAnsweringCouplingUnit)
{
    for (bool z : {false, true}) {
        vok::sim::LineConfig config;
        for (int st = 1; st <= 32; ++st)
            config.stations[st] = st <= 16 ? "VOKA112N01000" : "VOKE100N01000";
        std::string error;
        ASSERT_TRUE(vok::sim::applyFault(config.faults[0], "silent", "", true, &error)) << error;
        vok::test::SimulatedLine line(config, vok::test::SimulatedLine::fastTiming(), z);
        ASSERT_TRUE(line.started()) << line.error();
        vok::test::TempDir dir;
        const std::string device = "--device " + line.path() + " --baud 115200 " + (z ? "--special " : "");
        CtlRun fresh = vokctl(device + "upload new.dat", dir.path());
        EXPECT_EQ(fresh.status, 3) << fresh.output;
        EXPECT_NE(fresh.output.find("The line stopped answering"), std::string::npos) << fresh.output;
        EXPECT_FALSE(std::filesystem::exists(dir.file("new.dat"))) << (z ? "z" : "plain");
        dir.write("old.dat", "kept");
        EXPECT_EQ(vokctl(device + "upload old.dat", dir.path()).status, 3);
        EXPECT_EQ(vok::test::readFile(dir.file("old.dat")), "kept");
    }
}

// Logging without a window: the loader's file format; Ctrl+C ends it within a second and
// leaves the file whole.
TEST(Vokctl, LogsATrendGroupUntilInterrupted)
{
    vok::sim::LineConfig config;
    config.stations = {{1, "VOKA112N01000"}, {2, "VOKA112N01000"}, {3, "VOKA112N01000"}, {4, "VOKA112N01000"}};
    vok::test::SimulatedLine line(config);
    ASSERT_TRUE(line.started()) << line.error();
    vok::test::TempDir dir;
    const std::string device = "--device " + line.path() + " --baud 115200 ";
    CtlRun r = vokctl(device + "log --group 1 --duration 3", dir.path());
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string csv = vok::test::readFile(dir.file("DATA/DataTrend.csv"));
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = csv.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(csv.substr(at, end - at));
    ASSERT_GE(lines.size(), 5u) << csv;
    EXPECT_EQ(lines[0], "Station-(Channel),1-(1),1-(2),1-(3),1-(4),2-(1),2-(2),2-(3),2-(4),");
    EXPECT_EQ(lines[1], "Item,Process value,Process value,Process value,Process value,Process value,Process value,"
                        "Process value,Process value,");
    for (std::size_t i = 3; i < lines.size(); ++i) {
        EXPECT_EQ(std::count(lines[i].begin(), lines[i].end(), ','), 9) << lines[i];
        EXPECT_EQ(lines[i].substr(4, 1), "/") << lines[i];
    }

    // Interrupted: ends within a second, every line whole.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir.path().c_str()) != 0)
            ::_exit(99);
        ::execl("/bin/sh", "sh", "-c", ("exec " + ctlCommand(device + "log --group 2 --cycle 60") + " > /dev/null 2>&1").c_str(),
                nullptr);
        ::_exit(98);
    }
    const auto t0 = std::chrono::steady_clock::now();
    while (vok::test::readFile(dir.file("DATA/DataTrend.csv")).find("Furnace") == std::string::npos && seconds(t0) < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(child, SIGINT);
    const auto t1 = std::chrono::steady_clock::now();
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_LT(seconds(t1), 1.0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string after = vok::test::readFile(dir.file("DATA/DataTrend.csv"));
    EXPECT_TRUE(after.ends_with("\r\n"));
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), 4) << "three headers and the first cycle:\n" << after;
    // The first run's log was kept under the time of its first sample, not deleted.
    int kept = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("DATA"))) {
        const std::string name = e.path().filename().string();
        if (name.starts_with("DataTrend-") && vok::test::readFile(e.path().string()) == csv)
            ++kept;
    }
    EXPECT_EQ(kept, 1);
}

// What vokctl log ends with says how the run went: every value read, some, none, no port,
// a log that cannot be written, a shared section cut short while logging.
TEST(Vokctl, LogExitSaysHowTheRunWent)
{
    vok::sim::LineConfig config;
    config.stations = {{1, "VOKA112N01000"}};
    vok::test::SimulatedLine line(config);
    ASSERT_TRUE(line.started()) << line.error();
    const std::string device = "--device " + line.path() + " --baud 115200 ";
    const std::string section = "/voktest-ctl-" + std::to_string(::getpid());
    struct Case {
        const char* name;
        std::string args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"all read", device + "log --pen 1:1:SV --duration 2", 0, "values read, 0 not"},
        {"some failed", device + "log --pen 1:1:SV --pen 5:1:SV --duration 2", 4, "not"},
        {"nothing read", device + "log --pen 5:1:SV --duration 2", 3, "0 values read"},
        {"no port", "--device /nonexistent/tty log --pen 1:1:SV --duration 2", 2, ""},
        {"log not writable", device + "log --pen 1:1:SV --duration 2 --csv /nonexistent/folder/log.csv", 1, "/nonexistent/folder/log.csv"},
    };
    for (const Case& c : cases) {
        vok::test::TempDir dir;
        CtlRun r = runShell("cd " + dir.path() + " && VOK_TREND_SECTION=" + section + " " + ctlCommand(c.args));
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.name << "\n" << r.output;
    }

    // The section cut short by another program while logging: exit 1, the section named.
    vok::test::TempDir dir;
    std::thread cut([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const int fd = ::shm_open(section.c_str(), O_RDWR, 0600);
        if (fd >= 0) {
            [[maybe_unused]] int rc = ::ftruncate(fd, 0);
            ::close(fd);
        }
    });
    CtlRun r = runShell("cd " + dir.path() + " && VOK_TREND_SECTION=" + section + " " + ctlCommand(device + "log --pen 1:1:SV --duration 4"));
    cut.join();
    ::shm_unlink(section.c_str());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(section), std::string::npos) << r.output;
    EXPECT_GE(std::count(r.output.begin(), r.output.end(), '\n'), 2);
}

// The parameter list of a file without a window: the kind, the comment, the two outputs.
TEST(Vokctl, ListsTheParametersOfAFile)
{
    vok::test::TempDir dir;
    vok::DataStore store;
    vok::test::defineStation(store, 1, "VOKA112N01000");
    vok::test::defineStation(store, 18, "VOKE100N01000");
    store.setStoredValue(18, 40101, 5);
    const std::string file = dir.file("site.dat");
    ASSERT_GT(vok::saveParameterFile(store, file), 0);

    CtlRun events = vokctl("list " + file + " --kind 2 --comment \"Site B\" --csv -", dir.path());
    EXPECT_EQ(events.status, 0) << events.output;
    EXPECT_EQ(events.output.rfind("Site B,\r\n,\r\n[1],[2],[3],18,unit,\r\n", 0), 0u) << events.output.substr(0, 300);

    CtlRun function = vokctl("list " + file, dir.path());
    EXPECT_EQ(function.status, 0) << function.output;
    const std::string shown = vok::test::readFile(dir.file("DATA/ParameterOutputList.csv"));
    EXPECT_EQ(shown.rfind("user comment,\r\n,\r\n[1],[2],[3],1 - (1),1 - (2),1 - (3),1 - (4),unit,\r\n", 0), 0u);
    EXPECT_NE(shown.find(",'0000,"), std::string::npos);
    ASSERT_EQ(vokctl("list " + file + " --for-print --csv " + dir.file("print.csv"), dir.path()).status, 0);
    EXPECT_EQ(vok::test::readFile(dir.file("print.csv")).find(",'"), std::string::npos);

    CtlRun bad = vokctl("list " + file + " --kind 9", dir.path());
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("--kind takes 1 to 5"), std::string::npos) << bad.output;

    // A main list with other line ends gives no list without rows: it is refused.
    for (const char* end : {"\n", "\r"}) {
        vok::test::TempDir folder;
        std::filesystem::copy(vok::test::kSampleLanguage, folder.path(), std::filesystem::copy_options::recursive);
        std::string text = vok::test::readFile(folder.file("FunctionList.csv"));
        for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;)
            text.replace(at, 2, end);
        folder.write("FunctionList.csv", text);
        const std::filesystem::path out = dir.file("refused.csv");
        CtlRun refused = vokctl("list " + file + " --csv " + out.string(), dir.path(), folder.path());
        EXPECT_EQ(refused.status, 1) << refused.output;
        EXPECT_NE(refused.output.find(std::string(end) == "\n" ? "LF alone" : "CR alone"), std::string::npos) << refused.output;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// Copies in a parameter file: the values and their changed marks land in the file; a
// refused copy leaves the file as it was.
TEST(Vokctl, CopiesChannelsAndStationsInAFile)
{
    vok::test::TempDir dir;
    vok::DataStore store;
    vok::test::defineStation(store, 1, "VOKA112N01000");
    vok::test::defineStation(store, 2, "VOKB200N01R00");
    vok::test::defineStation(store, 3, "VOKV100N01000");
    store.setStoredValue(1, 41011, 555);
    const std::string file = dir.file("line.dat");
    ASSERT_GT(vok::saveParameterFile(store, file), 0);

    CtlRun channel = vokctl("copy-channel " + file + " 1 1 2 4", dir.path());
    EXPECT_EQ(channel.status, 0) << channel.output;
    CtlRun station = vokctl("copy-station " + file + " 1 2 2", dir.path());
    EXPECT_EQ(station.status, 0) << station.output;
    vok::DataStore after;
    ASSERT_GT(vok::loadParameterFile(after, file, nullptr, nullptr, true), 0);
    std::uint16_t v = 0;
    for (auto [st, reg] : {std::pair{1, 44011}, std::pair{2, 41011}, std::pair{2, 43011}}) {
        after.getStoredValue(st, reg, v);
        EXPECT_EQ(v, 555) << st << " " << reg;
        EXPECT_TRUE(after.isEdited(st - 1, reg)) << st << " " << reg;
    }
    const std::string before = vok::test::readFile(file);
    struct Case {
        std::string args;
        const char* says;
    };
    const Case refused[] = {
        {"copy-station " + file + " 1 3 3", "not possible for these modules"},
        {"copy-channel " + file + " 1 1 4 2", "outside the allowed range"},
        {"copy-station " + file + " 1 17 17", "all control"},
        {"copy-channel " + file + " 5 1 1 4", "not in"},
    };
    for (const Case& c : refused) {
        CtlRun r = vokctl(c.args, dir.path());
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
    }
    EXPECT_EQ(vok::test::readFile(file), before) << "a refused copy leaves the file";
}

// Without --language vokctl works in the working folder: where it runs when that holds file/,
// else the user's own, made at the first run from the samples beside the program.
TEST(Vokctl, MakesItsWorkingFolderAndListsPorts)
{
    vok::test::TempDir dir;
    std::filesystem::create_directories(dir.file("elsewhere"));
    auto run = [&](const std::string& args) {
        return runShell("cd " + dir.file("elsewhere") + " && XDG_DATA_HOME=" + dir.file("xdg") + " " + VOKCTL_PATH
                        + " --profile /nonexistent/vok.ini " + args);
    };
    const std::string folder = dir.file("xdg/vok-tools");
    CtlRun first = run("check");
    EXPECT_EQ(first.status, 0) << first.output;
    EXPECT_NE(first.output.find("Working folder " + folder + " made"), std::string::npos) << first.output;
    EXPECT_NE(first.output.find(folder + "/file/language1: consistent"), std::string::npos) << first.output;
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/DATA"));
    CtlRun again = run("check");
    EXPECT_EQ(again.output.find("made"), std::string::npos) << "said once\n" << again.output;

    CtlRun ports = run("--json ports");
    EXPECT_EQ(ports.status, 0) << ports.output;
    EXPECT_EQ(ports.output.rfind("{\"ports\":[", 0), 0u) << ports.output;
    EXPECT_NE(ports.output.find("\"COM1\":\"/dev/ttyUSB0\""), std::string::npos) << ports.output;
}
