#include "fileutil.h"
#include "testutil.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using vok::test::readFile;
using vok::test::TempDir;

TEST(FileUtil, WholeFileEndsWithZeroByte)
{
    TempDir dir;
    auto bytes = vok::readWholeFile(dir.write("a.csv", std::string("ab\0c", 4)));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 4u);
    EXPECT_EQ(bytes->data()[4], '\0');
    EXPECT_FALSE(vok::readWholeFile(dir.file("missing")));
}

TEST(FileUtil, ReadAtOffsetGivesShortCountAtEnd)
{
    TempDir dir;
    std::string p = dir.write("f", "0123456789");
    char buf[8] = {};
    EXPECT_EQ(vok::readAt(p, 6, buf, sizeof buf), 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(vok::readAt(dir.file("missing"), 0, buf, 1), -1);
}

TEST(FileUtil, AppendCreatesThenAppends)
{
    TempDir dir;
    std::string p = dir.file("log.txt");
    EXPECT_EQ(vok::appendToFile(p, "a\r\n"), vok::AppendResult::Ok);
    EXPECT_EQ(vok::appendToFile(p, "b\r\n"), vok::AppendResult::Ok);
    EXPECT_EQ(readFile(p), "a\r\nb\r\n");
    EXPECT_EQ(vok::appendToFile(dir.file("no/such/folder/log.txt"), "x"), vok::AppendResult::CannotCreate);
    // A folder exists under that name but cannot be opened for writing.
    EXPECT_EQ(vok::appendToFile(dir.path(), "x"), vok::AppendResult::CannotOpen);
}

TEST(FileUtil, ReadLineIncludesCrLf)
{
    std::string_view text = "one\r\ntwo\nstill two\r\nrest";
    std::size_t pos = 0;
    EXPECT_EQ(vok::readLineCrLf(text, pos), "one\r\n");
    EXPECT_EQ(vok::readLineCrLf(text, pos), "two\nstill two\r\n");
    EXPECT_EQ(vok::readLineCrLf(text, pos), std::nullopt);
    EXPECT_EQ(text.substr(pos), "rest");
}

TEST(FileUtil, ReplaceKeepsOldFileWhenRenameFails)
{
    TempDir dir;
    std::string p = dir.write("params.dat", "old");
    ASSERT_EQ(vok::replaceFile(p, "new"), vok::WriteResult::Ok);
    EXPECT_EQ(readFile(p), "new");

    // A folder in the way makes the rename fail; nothing else in the folder may change.
    std::string blocked = dir.file("blocked");
    ::mkdir(blocked.c_str(), 0755);
    dir.write("blocked/inside", "keep");
    std::string error;
    EXPECT_EQ(vok::replaceFile(blocked, "data", &error), vok::WriteResult::CannotWrite);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readFile(blocked + "/inside"), "keep");
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 2) << "no temporary file is left behind";

    EXPECT_EQ(vok::replaceFile(dir.file("missing/folder/x"), "data", &error), vok::WriteResult::CannotCreate);
}

TEST(FileUtil, ReplaceFollowsLinksAndLeavesDevicesAlone)
{
    TempDir dir;
    std::string real = dir.write("real.ini", "old");
    std::filesystem::create_symlink(real, dir.file("link.ini"));
    ASSERT_EQ(vok::replaceFile(dir.file("link.ini"), "new"), vok::WriteResult::Ok);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_EQ(readFile(real), "new");

    std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string error;
    EXPECT_EQ(vok::replaceFile(fifo, "x", &error), vok::WriteResult::CannotWrite);
    EXPECT_NE(error.find("not a regular file"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(FileUtil, CopyAndDelete)
{
    TempDir dir;
    std::string from = dir.write("a", "bytes\r\n");
    EXPECT_TRUE(vok::copyFile(from, dir.file("b")));
    EXPECT_EQ(readFile(dir.file("b")), "bytes\r\n");
    EXPECT_FALSE(vok::copyFile(dir.file("missing"), dir.file("c")));
    EXPECT_FALSE(vok::fileExists(dir.file("c")));
    EXPECT_TRUE(vok::deleteFile(dir.file("b")));
    EXPECT_FALSE(vok::fileExists(dir.file("b")));
}

// A save killed before its rename leaves a temporary file; the next save of the same file
// removes what is old, and leaves alone what another save may be writing right now.
TEST(FileUtil, ReplaceRemovesStaleTemporariesOfItsOwnNaming)
{
    vok::test::TempDir dir;
    const std::string stale = dir.write(".line.dat.AbC123", std::string(1000, 'x'));
    const std::string fresh = dir.write(".line.dat.XyZ789", "x");
    const std::string other = dir.write(".other.dat.AbC123", "x");
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5);
    std::filesystem::last_write_time(stale, old);
    std::filesystem::last_write_time(other, old);
    ASSERT_EQ(vok::replaceFile(dir.file("line.dat"), "new"), vok::WriteResult::Ok);
    EXPECT_FALSE(vok::fileExists(stale));
    EXPECT_TRUE(vok::fileExists(fresh));
    EXPECT_TRUE(vok::fileExists(other)) << "another file's temporaries are not ours to judge";
}

TEST(FileUtil, OnlyRegularFilesAreRead)
{
    vok::test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    std::string error;
    EXPECT_EQ(vok::openRegularFile(dir.file("fifo"), &error), -1) << "no hang on a FIFO";
    EXPECT_NE(error.find("not a regular file"), std::string::npos);
    EXPECT_FALSE(vok::readWholeFile(dir.path()));
    EXPECT_FALSE(vok::readWholeFile(dir.file("fifo")));
}
