#include "settings.h"
#include "testutil.h"

#include <gtest/gtest.h>

using vok::CommSettings;
using vok::Profile;
using vok::test::readFile;
using vok::test::TempDir;

TEST(Settings, FreshProfileGivesDefaults)
{
    TempDir dir;
    Profile profile(dir.file("none.ini"));
    ASSERT_TRUE(profile.reload());
    CommSettings s;
    s.comNo = 7;
    s.languageFolder = "language4";
    vok::loadCommSettings(profile, s);
    EXPECT_EQ(s.comNo, 1);
    EXPECT_EQ(s.bps, 3);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.byteLength, 1);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_EQ(s.cmdMode, 0);
    EXPECT_EQ(s.language, 0);
    EXPECT_EQ(s.debugMode, 0);
    EXPECT_EQ(s.onOffFlag, 0);
    EXPECT_EQ(s.languageFolder, "language1");
}

TEST(Settings, SaveWritesAllEightKeysAndKeepsTheRest)
{
    TempDir dir;
    std::string path = dir.write("vok.ini",
                                 "; kept comment\n[Other]\nName=x\n\n[VOK_Support]\nOnOff_flg=1\nLanguage=1\nExtra=5\n"
                                 "[Ports]\nCOM2=/dev/ttyS4\n");
    Profile profile(path);
    profile.reload();
    CommSettings s;
    vok::loadCommSettings(profile, s);
    EXPECT_EQ(s.onOffFlag, 1);
    EXPECT_EQ(s.languageFolder, "language2");

    s.bps = 6;
    s.portDevices[1] = "/dev/serial/by-id/usb-adapter-if00-port0";
    std::string error;
    ASSERT_TRUE(vok::saveCommSettings(profile, s, &error)) << error;

    const std::string text = readFile(path);
    for (const char* key : {"Com_no=1", "Bps=6", "Party=0", "Byte=1", "Stop=0", "Cmd_mode=0", "Language=1",
                            "Debug_mode=0", "OnOff_flg=1", "Extra=5", "; kept comment", "Name=x",
                            "COM1=/dev/serial/by-id/usb-adapter-if00-port0", "COM2=/dev/ttyS4"})
        EXPECT_NE(text.find(key), std::string::npos) << key << " in\n" << text;
    EXPECT_LT(text.find("Name=x"), text.find("[VOK_Support]"));

    Profile again(path);
    again.reload();
    CommSettings back;
    vok::loadCommSettings(again, back);
    EXPECT_EQ(back.bps, 6);
    EXPECT_EQ(back.languageFolder, "language2");
    EXPECT_EQ(back.portDevices, (std::map<int, std::string>{{1, "/dev/serial/by-id/usb-adapter-if00-port0"}, {2, "/dev/ttyS4"}}));
}

TEST(Settings, UnwritableProfileReportsAndKeepsOldFile)
{
    TempDir dir;
    dir.write("blocker", "a file where a folder should be");
    Profile profile(dir.file("blocker/vok.ini"));
    CommSettings s;
    std::string error;
    EXPECT_FALSE(vok::saveCommSettings(profile, s, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readFile(dir.file("blocker")), "a file where a folder should be");
}

TEST(Settings, ProfileValuesOutOfRangeAndNoise)
{
    TempDir dir;
    Profile profile(dir.write("p.ini", "[vok_support]\r\nbps = 12\r\nCom_no=abc\r\nStop=-1\r\n"));
    profile.reload();
    CommSettings s;
    std::vector<std::string> warnings;
    vok::loadCommSettings(profile, s, &warnings);
    EXPECT_EQ(s.bps, 2) << "what the port makes of it: 9600 baud";
    EXPECT_EQ(s.comNo, 1) << "not a number: the default";
    EXPECT_EQ(s.stopBits, 0);
    ASSERT_EQ(warnings.size(), 2u) << "said once each, naming the key";
    EXPECT_NE(warnings[0].find("Bps=12"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("9600 baud"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("Stop=-1"), std::string::npos) << warnings[1];

    // A port number outside 1-9 names no port: kept, so that no other port is opened.
    Profile com(dir.write("q.ini", "[VOK_Support]\nCom_no=12\nParty=5\nCmd_mode=5\n"));
    com.reload();
    warnings.clear();
    vok::loadCommSettings(com, s, &warnings);
    EXPECT_EQ(s.comNo, 12);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.cmdMode, 0);
    EXPECT_EQ(warnings.size(), 3u);
}

TEST(Settings, PortsMapComNumbersToDevices)
{
    TempDir dir;
    Profile profile(dir.write("p.ini", "[Ports]\nCOM2=/dev/pts/7\n"));
    profile.reload();
    CommSettings s;
    vok::loadCommSettings(profile, s);
    EXPECT_EQ(vok::comDevicePath(s, 2), "/dev/pts/7");
    EXPECT_EQ(vok::comDevicePath(s, 3), "/dev/ttyUSB2");
    EXPECT_EQ(vok::comDevicePath(s, 0), "");
    EXPECT_EQ(vok::comDevicePath(s, 10), "");
}

TEST(Settings, DefinitionPathFollowsLanguageFolder)
{
    CommSettings s;
    s.workingDir = "/opt/vok";
    s.languageFolder = "language2";
    EXPECT_EQ(vok::definitionPath(s, "FunctionList.csv"), "/opt/vok/file/language2/FunctionList.csv");
    EXPECT_EQ(vok::dataPath(s, "TIMELOG.txt"), "/opt/vok/DATA/TIMELOG.txt");
}

TEST(Settings, LanguageListStopsAtFirstFolderWithoutLanguageCsv)
{
    TempDir dir;
    dir.write("file/language1/language.csv", "English\r\nsecond line\r\n");
    dir.write("file/language2/language.csv", std::string(300, 'J'));
    dir.write("file/language4/language.csv", "Never listed\r\n");
    auto names = vok::languageList(dir.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "English");
    EXPECT_EQ(names[1], std::string(256, 'J'));
}
