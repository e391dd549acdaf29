// The command-line tool against the simulated line: upload, download, and what it says
// about bad input.

#include "simfixture.h"
#include "testutil.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace {

struct CtlRun {
    int status;
    std::string output; // standard output and error together
};

CtlRun vokctl(const std::string& args)
{
    const std::string cmd = std::string(VOKCTL_PATH) + " --quiet --profile /nonexistent/vok.ini --language "
        + vok::test::kSampleLanguage + " " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
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
        {"info " + dir.file("missing.dat"), 1, "cannot read"},
        {"--family 1 download " + dat, 1, "module family 0"},
        {"read 33 41001", 1, "a station is 1 to 32"},
        {"read 1 50000", 1, "a register is"},
        {"write 1 31001 5", 1, "only holding registers"},
        {"--baud 1234 scan", 1, "--baud takes"},
        {"--stations 0-3 scan", 1, "stations are 1 to 32"},
        {"--device /nonexistent/tty scan", 2, "cannot open"},
        {"info " + dat, 0, "100 bytes"},
        {"check " + dir.path(), 1, "is missing"},
    };
    for (const Case& c : cases) {
        CtlRun r = vokctl(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
    }
}
