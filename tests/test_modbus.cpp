#include "fakeline.h"
#include "modbus.h"
#include "reporter.h"
#include "testutil.h"

#include <gtest/gtest.h>

using namespace vok;
using namespace vok::modbus;
using vok::test::FakeLine;
using vok::test::withCrc;
using Bytes = FakeLine::Bytes;

TEST(Modbus, CrcOfTheReferenceRequest)
{
    const Bytes request = readRequest(1, 40001, 2);
    EXPECT_EQ(request, (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
    EXPECT_TRUE(crcMatches(request));
}

struct AddressCase {
    int reg;
    int function;
    int wireAddress;
};

class ReadAddressing : public ::testing::TestWithParam<AddressCase> {};

TEST_P(ReadAddressing, FunctionAndWireAddress)
{
    const auto& c = GetParam();
    EXPECT_EQ(readFunction(c.reg), c.function);
    const Bytes request = readRequest(3, c.reg, 1);
    if (c.function == 0) {
        EXPECT_TRUE(request.empty());
        return;
    }
    ASSERT_EQ(request.size(), 8u);
    EXPECT_EQ(request[1], c.function);
    EXPECT_EQ((request[2] << 8) | request[3], c.wireAddress);
}

INSTANTIATE_TEST_SUITE_P(Registers, ReadAddressing,
                         ::testing::Values(AddressCase{30001, 4, 0}, AddressCase{39999, 4, 9998},
                                           AddressCase{40000, 0, 0}, AddressCase{40001, 3, 0},
                                           AddressCase{49999, 3, 9998}, AddressCase{50000, 0, 0},
                                           AddressCase{30000, 0, 0}, AddressCase{0, 0, 0}));

TEST(Modbus, WriteRequestsUseFunction6Or16)
{
    const std::uint16_t values[] = {0x1234, 0xABCD};
    EXPECT_EQ(writeRequest(2, 40010, values, 1), withCrc({0x02, 0x06, 0x00, 0x09, 0x12, 0x34}));
    EXPECT_EQ(writeRequest(2, 40010, values, 2),
              withCrc({0x02, 0x10, 0x00, 0x09, 0x00, 0x02, 0x04, 0x12, 0x34, 0xAB, 0xCD}));
}

TEST(Modbus, ReadOf40BytesGoesOutAs16And4Registers)
{
    FakeLine line;
    line.responder = vok::test::echoSlave;
    std::uint16_t values[20] = {};
    EXPECT_EQ(plainRead(line, 3, 40001, 20, values), kCommOk);
    ASSERT_EQ(line.written.size(), 2u);
    EXPECT_EQ(line.written[0], readRequest(3, 40001, 16));
    EXPECT_EQ(line.written[1], readRequest(3, 40017, 4));
    EXPECT_EQ(values[0], 40001);
    EXPECT_EQ(values[19], 40020);
    EXPECT_EQ(line.discards, 2) << "stale input is dropped before every request";
}

struct AnswerCase {
    const char* name;
    Bytes answer;
    int result;
};

class ReadAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ReadAnswers, Result)
{
    std::uint16_t dest[2] = {0xEEEE, 0xEEEE};
    EXPECT_EQ(checkReadAnswer(GetParam().answer, 5, 3, 2, dest), GetParam().result);
    if (GetParam().result != kCommOk) {
        EXPECT_EQ(dest[0], 0xEEEE) << "nothing stored from a failed answer";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ReadAnswers,
    ::testing::Values(
        AnswerCase{"Good", withCrc({5, 3, 4, 0, 1, 0, 2}), kCommOk},
        AnswerCase{"Empty", {}, kCommNoAnswer},
        AnswerCase{"OneByte", {5}, kCommCrcError},
        AnswerCase{"Short", {5, 3, 4, 0, 1}, kCommCrcError},
        AnswerCase{"CrcError", {5, 3, 4, 0, 1, 0, 2, 0x00, 0x00}, kCommCrcError},
        AnswerCase{"OtherAddress", withCrc({6, 3, 4, 0, 1, 0, 2}), kCommWrongAddress},
        AnswerCase{"Exception2", withCrc({5, 0x83, 2}), exceptionResult(2)},
        // An answer to another request: a late write echo, or an input-register read.
        AnswerCase{"OtherFunction", withCrc({5, 4, 4, 0, 1, 0, 2}), kCommCrcError},
        AnswerCase{"ExceptionOfAnotherFunction", withCrc({5, 0x86, 2}), kCommCrcError},
        AnswerCase{"ByteCountMismatch", withCrc({5, 3, 2, 0, 1}), kCommWrongByteCount},
        // The byte count says 4 but the CRC closes the frame after two data bytes.
        AnswerCase{"ByteCountPastTheEnd", withCrc({5, 3, 4, 0, 1}), kCommWrongByteCount}),
    [](const auto& info) { return info.param.name; });

TEST(Modbus, WriteAnswersMustEchoTheRequest)
{
    const std::uint16_t one = 1;
    const std::uint16_t two[2] = {1, 2};
    const Bytes single = writeRequest(5, 40010, &one, 1); // 05 06 00 09 00 01
    const Bytes multi = writeRequest(5, 40010, two, 2);   // 05 10 00 09 00 02 04 ...
    struct Case {
        const char* name;
        const Bytes& request;
        Bytes answer;
        int result;
    };
    const Case cases[] = {
        {"Echo6", single, withCrc({5, 6, 0, 9, 0, 1}), kCommOk},
        {"Echo16", multi, withCrc({5, 16, 0, 9, 0, 2}), kCommOk},
        {"Exception", multi, withCrc({5, 0x90, 3}), exceptionResult(3)},
        {"OtherAddress", single, withCrc({4, 6, 0, 9, 0, 1}), kCommWrongAddress},
        {"Nothing", single, {}, kCommNoAnswer},
        {"OtherFunction", single, withCrc({5, 16, 0, 9, 0, 1}), kCommCrcError},
        {"OtherRegister", single, withCrc({5, 6, 0, 8, 0, 1}), kCommWrongByteCount},
        {"OtherValue", single, withCrc({5, 6, 0, 9, 0, 7}), kCommWrongByteCount},
        {"OtherCount", multi, withCrc({5, 16, 0, 9, 0, 1}), kCommWrongByteCount},
        {"ReadAnswerOfSameLength", single, withCrc({5, 6, 4, 0, 9, 0}), kCommWrongByteCount},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkWriteAnswer(c.answer, c.request), c.result) << c.name;
}

TEST(Modbus, ZRequestFrameByteForByte)
{
    const Bytes request = readRequest(3, 40001, 2); // 03 03 00 00 00 02 C5 E9
    const Bytes frame = zFrame(3, request);
    Bytes expected{0x5A, 25, 0, 0xFF, 0x7B, 18, 0x00, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 8, 0};
    expected.insert(expected.end(), request.begin(), request.end());
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < expected.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + expected[i]);
    expected.push_back(static_cast<std::uint8_t>(-sum));
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(frame.size(), request.size() + 20);
}

namespace {

// The gateway's answer: a 'Z' frame with `status` around `inner`.
Bytes zAnswer(int station, const Bytes& inner, std::uint8_t status = 0, bool breakChecksum = false)
{
    Bytes frame = zFrame(station, inner);
    frame[3] = status;
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i + 1 < frame.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    frame.back() = static_cast<std::uint8_t>(-sum + (breakChecksum ? 1 : 0));
    return frame;
}

} // namespace

TEST(Modbus, ZAnswers)
{
    struct Case {
        const char* name;
        Bytes input;
        int result;
    };
    const Bytes good = withCrc({3, 3, 4, 0x12, 0x34, 0x56, 0x78});
    Bytes huge{0x5A, 0xFF, 0xFF};
    huge.resize(600, 0x00);
    const Case cases[] = {
        {"Good", zAnswer(3, good), kCommOk},
        {"Nothing", {}, kCommNoZAnswer},
        {"Checksum", zAnswer(3, good, 0, true), kCommNoZAnswer},
        {"Status", zAnswer(3, good, 7), 7},
        {"OtherStation", zAnswer(3, withCrc({4, 3, 4, 0, 0, 0, 0})), kCommWrongAddress},
        {"Exception", zAnswer(3, withCrc({3, 0x83, 2})), exceptionResult(2)},
        {"ByteCountTooLarge", zAnswer(3, withCrc({3, 3, 40, 0, 0})), kCommWrongByteCount},
        {"FewerRegisters", zAnswer(3, withCrc({3, 3, 2, 0x12, 0x34})), kCommWrongByteCount},
        {"OtherFunction", zAnswer(3, withCrc({3, 4, 4, 0x12, 0x34, 0x56, 0x78})), kCommCrcError},
        {"Length65535", huge, kCommNoZAnswer},
        {"StreamOf5A", Bytes(600, 0x5A), kCommNoZAnswer},
        {"GarbageFirst", [&] { Bytes b{1, 2}; auto a = zAnswer(3, good); b.insert(b.end(), a.begin(), a.end()); return b; }(), kCommOk},
        {"TooMuchGarbageFirst", [&] { Bytes b{1, 2, 3}; auto a = zAnswer(3, good); b.insert(b.end(), a.begin(), a.end()); return b; }(), kCommNoZAnswer},
        {"Truncated", [&] { auto a = zAnswer(3, good); a.resize(a.size() - 4); return a; }(), kCommNoZAnswer},
    };
    for (const Case& c : cases) {
        FakeLine line;
        line.responder = [&](const Bytes&) { return c.input; };
        std::uint16_t dest[2] = {};
        EXPECT_EQ(specialExchange(line, 3, readRequest(3, 40001, 2), 2, dest), c.result) << c.name;
        if (c.result == kCommOk) {
            EXPECT_EQ(dest[0], 0x1234) << c.name;
            EXPECT_EQ(dest[1], 0x5678) << c.name;
        }
    }
}

namespace {

class RecordingReporter : public Reporter {
public:
    void message(int id, const std::string&) override { ids.push_back(id); }
    std::vector<int> ids;
};

} // namespace

TEST(ModbusMaster, OfflineWithoutPortFailsTwiceWithoutTouchingAPort)
{
    vok::test::TempDir dir;
    CommSettings settings;
    settings.workingDir = dir.path();
    settings.debugMode = 1;
    settings.deviceOverride = "/dev/never-opened";
    std::filesystem::create_directories(dir.file("DATA"));
    RecordingReporter reporter;
    Link link(settings, reporter);
    ModbusMaster master(link);
    std::uint16_t v = 0;
    EXPECT_EQ(master.readRegisters(nullptr, 1, 2, &v, 40001), kCommNoPort);
    EXPECT_EQ(master.writeRegisters(nullptr, 1, 2, &v, 40002), kCommNoPort);
    EXPECT_EQ(master.lastCommStatus(), kCommNoPort);
    EXPECT_EQ(master.readOneRegister(2, 40003, &v), kCommNoPort);
    EXPECT_EQ(v, kMissingValue);
    EXPECT_TRUE(reporter.ids.empty());
    EXPECT_EQ(vok::test::readFile(dir.file("DATA/TIMELOG.txt")),
              "add=40001 (sts=1)\r\nadd=40001 (sts=1)\r\nadd=40002 (sts=1)\r\nadd=40002 (sts=1)\r\n"
              "add=40003 (sts=1)\r\nadd=40003 (sts=1)\r\n");
}

TEST(ModbusMaster, OnlineOpenFailureGivesMinusOneAndText100)
{
    CommSettings settings;
    settings.online = 1;
    settings.deviceOverride = "/dev/never-there";
    RecordingReporter reporter;
    Link link(settings, reporter);
    ModbusMaster master(link);
    std::uint16_t v = 0;
    EXPECT_EQ(master.readRegisters(nullptr, 1, 2, &v, 40001), kCommOpenFailed);
    EXPECT_EQ(master.lastCommStatus(), kCommOpenFailed);
    EXPECT_EQ(reporter.ids, std::vector<int>{100});
}

TEST(ModbusMaster, Station1Is128ForFamilies1And2)
{
    CommSettings settings;
    NullReporter reporter;
    Link link(settings, reporter);
    ModbusMaster master(link);
    for (int family : {0, 1, 2}) {
        master.setModuleFamily(family);
        EXPECT_EQ(master.wireAddress(1), family == 0 ? 1 : 128);
        EXPECT_EQ(master.wireAddress(2), 2);
        master.setCurrentStation(1);
        EXPECT_EQ(master.currentStation(), family == 0 ? 1 : 128);
    }
    master.setCurrentStation(0);
    EXPECT_EQ(master.currentStation(), 0);
}
