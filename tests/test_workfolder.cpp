// Where the programs' relative paths start: here, or the user's own folder made from the
// installed samples; never written over, never left half-made.

#include "testutil.h"
#include "workfolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(WorkingFolder, HereOrTheUsersOwnMadeOnce)
{
    vok::test::TempDir dir;
    dir.write("samples/language1/language.csv", "English\r\n");
    dir.write("samples/language2/language.csv", "Japanese\r\n");
    dir.write("here/file/language1/language.csv", "mine\r\n");
    fs::create_directories(dir.file("elsewhere"));
    const std::string samples = dir.file("samples");
    const std::string user = dir.file("home/.local/share/vok-tools");

    // A folder with file/ is the working folder, whatever the user's holds.
    vok::WorkingFolder here = vok::chooseWorkingFolder(dir.file("here"), user, samples);
    EXPECT_EQ(here.path, dir.file("here"));
    EXPECT_TRUE(here.note.empty());
    EXPECT_FALSE(fs::exists(user));

    // Elsewhere: the user's folder, made from the samples, said once.
    vok::WorkingFolder made = vok::chooseWorkingFolder(dir.file("elsewhere"), user, samples);
    EXPECT_EQ(made.path, user);
    EXPECT_TRUE(made.error.empty()) << made.error;
    EXPECT_FALSE(made.note.empty());
    EXPECT_EQ(vok::test::readFile(user + "/file/language2/language.csv"), "Japanese\r\n");
    EXPECT_TRUE(fs::is_directory(user + "/DATA"));

    // The user's edits are kept: nothing is copied over them.
    dir.write("home/.local/share/vok-tools/file/language1/language.csv", "edited\r\n");
    vok::WorkingFolder again = vok::chooseWorkingFolder(dir.file("elsewhere"), user, samples);
    EXPECT_TRUE(again.note.empty());
    EXPECT_EQ(vok::test::readFile(user + "/file/language1/language.csv"), "edited\r\n");

    struct Case {
        const char* what;
        std::string user;
        std::string samples;
    };
    const std::string blocked = dir.write("plain", "a file where a folder would go") + "/vok-tools";
    // A sample that cannot be read makes the copy fail half-way.
    dir.write("broken/language1/language.csv", "English\r\n");
    fs::create_symlink(dir.file("broken/gone.csv"), dir.file("broken/language1/gone.csv"));
    const Case failures[] = {
        {"no samples to copy", dir.file("other"), dir.file("nothing")},
        {"a folder that cannot be made", blocked, samples},
        {"a copy that fails half-way", dir.file("half"), dir.file("broken")},
    };
    for (const Case& c : failures) {
        vok::WorkingFolder f = vok::chooseWorkingFolder(dir.file("elsewhere"), c.user, c.samples);
        EXPECT_FALSE(f.error.empty()) << c.what;
        EXPECT_FALSE(fs::exists(c.user + "/file")) << c.what;
        // Nothing half-copied stays beside the folder.
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(c.user, ec))
            ADD_FAILURE() << c.what << " left " << entry.path();
    }
}

// An empty file/ (a copy by hand that went wrong) is filled; a copy left by a first start that
// was killed is cleared away.
TEST(WorkingFolder, EmptyFolderFilledAndStaleCopiesCleared)
{
    vok::test::TempDir dir;
    dir.write("samples/language1/language.csv", "English\r\n");
    fs::create_directories(dir.file("user/file"));
    dir.write("user/.file.partial-999999999-1/language1/language.csv", "half\r\n");
    const vok::WorkingFolder f = vok::chooseWorkingFolder(dir.file("nowhere"), dir.file("user"), dir.file("samples"));
    EXPECT_TRUE(f.error.empty()) << f.error;
    EXPECT_FALSE(f.note.empty());
    EXPECT_EQ(vok::test::readFile(dir.file("user/file/language1/language.csv")), "English\r\n");
    EXPECT_FALSE(fs::exists(dir.file("user/.file.partial-999999999-1")));
}

// Two programs started for the first time at once (the loader and vokctl in a script): both
// get the folder, one whole copy, no error.
TEST(WorkingFolder, FirstStartsAtOnceBothSucceed)
{
    vok::test::TempDir dir;
    for (int i = 0; i < 40; ++i)
        dir.write("samples/language1/t" + std::to_string(i) + ".csv", std::string(4096, 'x'));
    for (int round = 0; round < 5; ++round) {
        const std::string user = dir.file("user" + std::to_string(round));
        vok::WorkingFolder a, b;
        std::thread other([&] { b = vok::chooseWorkingFolder(dir.file("nowhere"), user, dir.file("samples")); });
        a = vok::chooseWorkingFolder(dir.file("nowhere"), user, dir.file("samples"));
        other.join();
        EXPECT_TRUE(a.error.empty() && b.error.empty()) << a.error << " / " << b.error;
        EXPECT_TRUE(fs::exists(user + "/file/language1/t39.csv"));
        int entries = 0;
        for (const auto& entry : fs::directory_iterator(user))
            entries += entry.path().filename() != "file" && entry.path().filename() != "DATA";
        EXPECT_EQ(entries, 0) << "a partial copy left in " << user;
    }
}

TEST(WorkingFolder, ReadOnlyFolderIsSaid)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes everywhere";
    vok::test::TempDir dir;
    dir.write("here/file/language1/language.csv", "English\r\n");
    dir.write("user/file/language1/language.csv", "English\r\n");
    fs::create_directories(dir.file("user/DATA"));
    for (const char* folder : {"here", "user"})
        fs::permissions(dir.file(folder), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_NE(vok::chooseWorkingFolder(dir.file("here"), dir.file("user"), "").error.find("read-only"), std::string::npos);
    EXPECT_NE(vok::chooseWorkingFolder(dir.file("nowhere"), dir.file("user"), "").error.find("read-only"), std::string::npos);
    EXPECT_TRUE(vok::chooseWorkingFolder(dir.file("here"), dir.file("user"), "", false).error.empty()) << "reading only";
    for (const char* folder : {"here", "user"})
        fs::permissions(dir.file(folder), fs::perms::owner_write, fs::perm_options::add);
}
