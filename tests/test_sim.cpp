// The simulated line against our master over a pseudo-terminal, and against an
// independent master (mbpoll).

#include "control.h"
#include "linefile.h"
#include "simfixture.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>

using namespace vok;
using vok::test::SimulatedLine;

namespace {

const char* kCodeA = "VOKA112N01000";
const char* kCodeE = "VOKE100N01000";
const char* kCodeV = "VOKV100N01000";

sim::LineConfig demoConfig()
{
    sim::LineConfig c;
    c.stations = {{1, kCodeA}, {2, kCodeA}, {4, kCodeV}, {17, kCodeE}};
    c.modules = {{64, "VOKP100N01000"}, {128, "VOKC100N01000"}};
    c.commandResetMs = 200;
    c.extraStation = 4;
    return c;
}

std::string codeOf(const std::uint16_t (&words)[13])
{
    std::string s;
    for (std::uint16_t w : words)
        s.push_back(static_cast<char>(w));
    return s;
}

} // namespace

TEST(Sim, ReadsAndWritesEveryStationKind)
{
    SimulatedLine line(demoConfig());
    ASSERT_TRUE(line.started()) << line.error();
    std::uint16_t id[13] = {};
    for (auto [station, code] : {std::pair{1, kCodeA}, {4, kCodeV}, {17, kCodeE}, {64, "VOKP100N01000"}, {128, "VOKC100N01000"}}) {
        EXPECT_EQ(line.read(station, 30901, id, 13), kCommOk) << station;
        EXPECT_EQ(codeOf(id), code) << station;
    }
    // Defaults of the language folder: input type 0, decimal point 1, range 0-150.0.
    std::uint16_t v[8] = {};
    ASSERT_EQ(line.read(1, 41001, v, 8), kCommOk);
    EXPECT_EQ(v[2], 1u);
    EXPECT_EQ(v[3], 1500u);
    EXPECT_EQ(line.write(1, 41100, 123), kCommOk);
    EXPECT_EQ(line.read(1, 41100, v), kCommOk);
    EXPECT_EQ(v[0], 123u);
    EXPECT_EQ(*line.sim().registerValue(1, 41100), 123u);
    // An event module: module-wide registers; a process value moves on its own.
    EXPECT_EQ(line.read(17, 40001, v, 2), kCommOk);
    EXPECT_EQ(line.read(1, 31001, v), kCommOk);
    EXPECT_NE(v[0], 0u) << "the process value swings around the set value";

    EXPECT_EQ(line.read(1, 40999, v), exceptionResult(2)) << "not a defined register";
    EXPECT_EQ(line.write(17, 41001, 1), exceptionResult(2)) << "an event module has no channel blocks";
    EXPECT_EQ(line.read(3, 40001, v), kCommNoAnswer) << "nobody at address 3";
}

TEST(Sim, ConnectionCheckRegistersAndCommands)
{
    SimulatedLine line(demoConfig());
    ASSERT_TRUE(line.started()) << line.error();
    std::uint16_t v[2] = {};
    EXPECT_EQ(line.read(63, 40990, v), kCommOk);
    EXPECT_EQ(line.write(63, 40990, 0xF864), kCommOk);
    EXPECT_EQ(line.read(63, 40990, v), kCommOk);
    EXPECT_EQ(v[0], 0xF864);
    ASSERT_EQ(line.read(63, 30941, v, 2), kCommOk);
    EXPECT_EQ(v[0], 0x000Bu) << "stations 1, 2 and 4";
    EXPECT_EQ(v[1], 0x0001u) << "station 17";
    EXPECT_EQ(line.read(63, 30943, v), kCommOk);
    EXPECT_EQ(v[0], 4u);

}

TEST(Sim, CommandRegisterFallsBackToZero)
{
    SimulatedLine line(demoConfig());
    ASSERT_TRUE(line.started()) << line.error();
    vok::TextTable texts;
    texts.load(vok::test::kSampleLanguage, "");
    vok::DefinitionTables tables(vok::test::kSampleLanguage);
    tables.loadSpecialRegisters(texts);
    const int at = tables.specials().reg(SpecialRole::Command1, 1); // channel 2
    ASSERT_NE(at, 0);
    EXPECT_EQ(line.write(2, at, 1), kCommOk);
    std::uint16_t v = 0;
    EXPECT_EQ(line.read(2, at, &v), kCommOk);
    EXPECT_EQ(v, 1u);
    const auto t0 = std::chrono::steady_clock::now();
    while (v != 0 && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(3)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        line.read(2, at, &v);
    }
    EXPECT_EQ(v, 0u);

    // A new range upper makes the module rescale the set value of the channel.
    const int upper = tables.specials().reg(SpecialRole::RangeUpper, 0);
    const int sv = tables.specials().reg(SpecialRole::LimitedValue, 0);
    ASSERT_EQ(line.write(1, sv, 500), kCommOk);
    ASSERT_EQ(line.write(1, upper, 3000), kCommOk);
    EXPECT_EQ(line.read(1, sv, &v), kCommOk);
    EXPECT_EQ(v, 1000u);
}

TEST(Sim, EachFaultGivesTheMastersResult)
{
    struct Case {
        const char* fault;
        const char* arg;
        int result;
    };
    const Case cases[] = {
        {"silent", "", kCommNoAnswer},
        {"crc", "1", kCommCrcError},
        {"wrong-address", "", kCommWrongAddress},
        {"exception", "6", exceptionResult(6)},
        {"truncate", "", kCommCrcError},
        {"garbage", "5", kCommOk},
    };
    SimulatedLine line(demoConfig());
    ASSERT_TRUE(line.started()) << line.error();
    for (const Case& c : cases) {
        std::string error;
        ASSERT_TRUE(line.sim().setFault(2, c.fault, c.arg, true, &error)) << error;
        std::uint16_t v[4] = {};
        EXPECT_EQ(line.read(2, 41001, v, 4), c.result) << c.fault;
        EXPECT_EQ(line.read(1, 41001, v, 4), kCommOk) << "the line recovers after " << c.fault;
        line.sim().clearFaults(2);
    }
    // Another identity: the module reports a different code.
    ASSERT_TRUE(line.sim().setFault(0, "ident", "VOKB200N01R00", true, nullptr));
    std::uint16_t id[13] = {};
    EXPECT_EQ(line.read(1, 30901, id, 13), kCommOk);
    EXPECT_EQ(codeOf(id), "VOKB200N01R00");
}

TEST(Sim, GatewayFramesAndTheirStatus)
{
    SimulatedLine line(demoConfig(), SimulatedLine::fastTiming(), true);
    ASSERT_TRUE(line.started()) << line.error();
    std::uint16_t v[4] = {};
    EXPECT_EQ(line.read(1, 41001, v, 4), kCommOk);
    EXPECT_EQ(v[3], 1500u);
    EXPECT_EQ(line.write(1, 41100, 77), kCommOk);
    EXPECT_EQ(*line.sim().registerValue(1, 41100), 77u);
    line.sim().setFault(1, "zstatus", "3", true, nullptr);
    EXPECT_EQ(line.read(1, 41001, v), 3);
    line.sim().setFault(1, "silent", "", true, nullptr);
    EXPECT_EQ(line.read(1, 41001, v), kCommNoZAnswer);
}

TEST(Sim, FamilyOneAnswersStation1At128)
{
    sim::LineConfig c;
    c.family = 1;
    c.stations = {{1, "VOKC100N01000"}};
    SimulatedLine line(c);
    ASSERT_TRUE(line.started()) << line.error();
    line.master->setModuleFamily(1);
    std::uint16_t v = 0;
    EXPECT_EQ(line.read(1, 40001, &v), kCommOk);
    EXPECT_EQ(v, 1u) << "host address default";
}

TEST(Sim, ResynchronisesAfterGarbage)
{
    SimulatedLine line(demoConfig());
    ASSERT_TRUE(line.started()) << line.error();
    PortHandle port = line.open();
    // Noise, a half frame and a frame for another address, then silence.
    const std::uint8_t noise[] = {0x5A, 0xFF, 0x01, 0x03, 0x00};
    port->writeBytes(noise, sizeof noise);
    const auto other = modbus::readRequest(9, 40001, 1);
    port->writeBytes(other.data(), static_cast<int>(other.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::uint16_t v[4] = {};
    EXPECT_EQ(line.read(1, 41001, v, 4), kCommOk);
    EXPECT_EQ(v[3], 1500u);
}

TEST(Sim, LineFilesAndControlCommands)
{
    sim::LineDescription d;
    std::string error;
    ASSERT_TRUE(sim::parseLineText("family 0\nbaud 38400\nstation 3 VOKA112N01000\nfault * crc 0.5\nframing z\n",
                                   "/base", d, &error)) << error;
    EXPECT_EQ(d.timing.baud, 38400);
    EXPECT_TRUE(d.zFraming);
    EXPECT_EQ(d.config.stations.at(3), "VOKA112N01000");
    EXPECT_DOUBLE_EQ(d.config.faults.at(0).crcRate, 0.5);
    for (const char* bad : {"station 33 VOKA112N01000", "station 1 ABC", "fault 1 fire", "baud fast", "colour red"}) {
        sim::LineDescription x;
        EXPECT_FALSE(sim::parseLineText(bad, "", x, &error)) << bad;
        EXPECT_NE(error.find("line 1"), std::string::npos);
    }
    for (const char* shipped : {"demo", "full", "faulty", "com1"}) {
        sim::LineDescription x;
        EXPECT_TRUE(sim::loadLineFile(VOK_SOURCE_DIR "/sample/lines/" + std::string(shipped) + ".line", x, &error))
            << error;
        sim::SimLine l(x.config);
        EXPECT_TRUE(l.start(&error)) << shipped << ": " << error;
    }

    sim::LineConfig config = demoConfig();
    config.languageFolder = vok::test::kSampleLanguage;
    sim::SimLine l(config);
    ASSERT_TRUE(l.start(&error)) << error;
    EXPECT_EQ(sim::executeCommand(l, "fault 1 silent"), "ok");
    EXPECT_NE(sim::executeCommand(l, "status").find("station 1 (address 1) VOKA112N01000 silent"), std::string::npos);
    EXPECT_EQ(sim::executeCommand(l, "set 1 41100 42"), "ok");
    EXPECT_EQ(sim::executeCommand(l, "get 1 41100"), "ok 42");
    EXPECT_EQ(sim::executeCommand(l, "get 1 40999"), "error: no such register");
    EXPECT_EQ(sim::executeCommand(l, "station 5 none"), "ok");
    EXPECT_EQ(sim::executeCommand(l, "frobnicate").rfind("error", 0), 0u);
    EXPECT_EQ(sim::executeCommand(l, "fault 40 silent").rfind("error", 0), 0u);
}

TEST(Sim, IndependentMasterReadsTheSimulator)
{
    if (std::system("command -v mbpoll > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "mbpoll is not installed";
    sim::LineTiming timing;
    timing.baud = 19200;
    SimulatedLine line(demoConfig(), timing);
    ASSERT_TRUE(line.started()) << line.error();
    // Holding registers 41001-41004 of station 1 (mbpoll counts references from 1).
    const std::string cmd = "mbpoll -m rtu -a 1 -b 19200 -P none -t 4 -r 1001 -c 4 -1 -0 -q " + line.path() + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_TRUE(p);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    EXPECT_EQ(::pclose(p), 0) << out;
    EXPECT_NE(out.find("1500"), std::string::npos) << out;
}
