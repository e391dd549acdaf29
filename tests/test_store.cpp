#include "paramfile.h"
#include "store.h"
#include "testutil.h"

#include <cstring>
#include <sys/stat.h>
#include <gtest/gtest.h>

using namespace vok;
using vok::test::TempDir;

namespace {

void setModel(DataStore& s, int station, char letter)
{
    s.record(station - 1).identification[3] = static_cast<std::uint16_t>(letter);
    s.stationPresent[station - 1] = 1;
}

} // namespace

TEST(DataStore, RegisterIndexingAndRangeChecks)
{
    DataStore s;
    s.setStoredValue(3, 40001, 777);
    EXPECT_EQ(s.record(2).values[10001], 777);
    std::uint16_t v = 1;
    EXPECT_EQ(s.getStoredValue(3, 50000, v), 0);
    EXPECT_EQ(v, 0);
    s.setStoredValue(1, 29999, 5);
    s.setStoredValue(0, 40001, 5);
    s.setStoredValue(33, 40001, 5);
    EXPECT_EQ(s.getStoredValue(1, 29999, v), 0);
    EXPECT_EQ(v, 0);

    s.markEdited(0, 49999);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&s.record(0));
    EXPECT_EQ(bytes[sizeof(StationRecord) - 1], 1) << "the edited byte of 49999 is the record's last";
    EXPECT_EQ(s.isEdited(0, 39999), 0);
    s.markEdited(0, 39999); // input registers carry no flag
    EXPECT_EQ(s.isEdited(0, 39999), 0);

    s.setCommError(2, 39990, 20); // only 40000-40009 are holding registers
    EXPECT_EQ(s.getStoredValue(3, 40009, v), 1);
    EXPECT_EQ(s.getStoredValue(3, 40010, v), 0);
    s.setCommError(2, 49995, 100);
    EXPECT_EQ(s.commError(2, 49999), 1);
    s.clearCommError(2, 40005, 2);
    EXPECT_EQ(s.commError(2, 40006), 0);
    EXPECT_EQ(s.commError(2, 40007), 1);
    s.clearCommErrors();
    EXPECT_EQ(s.commError(2, 40007), 0);
}

TEST(DataStore, StoreEditedMarksOnlyChanges)
{
    DataStore s;
    s.setStoredValue(2, 40100, 10);
    s.storeEdited(2, 40100, 10);
    EXPECT_EQ(s.isEdited(1, 40100), 0);
    s.storeEdited(2, 40100, 11);
    EXPECT_EQ(s.isEdited(1, 40100), 1);
    s.clearEditedFlags();
    EXPECT_EQ(s.isEdited(1, 40100), 0);
}

TEST(DataStore, ChannelListsByModelClass)
{
    DataStore s;
    setModel(s, 1, 'A');
    setModel(s, 2, 'B');
    setModel(s, 3, 'V');
    setModel(s, 4, 'E'); // an event module among the control stations is in no list
    setModel(s, 5, 'T');
    setModel(s, 17, 'E');
    setModel(s, 18, 'X'); // class -1
    setModel(s, 20, 'A');
    setModel(s, 21, 'A');
    s.record(20).identification[3] = 0x0141; // the letter is the word's low byte
    s.record(5).identification[3] = 'N'; // station 6 not present
    s.rebuildChannelLists();
    EXPECT_EQ(s.channelList(0).count, 2);
    EXPECT_EQ(s.channelList(0).entries[1], (std::array<int, 4>{4, 5, 6, 7}));
    EXPECT_EQ(s.channelList(1).count, 3);
    EXPECT_EQ(s.modelClass(20), kClassA);
    EXPECT_EQ(s.channelList(1).entries[0][0], 64);
    EXPECT_EQ(s.channelList(1).entries[1][0], 76);
    EXPECT_EQ(s.channelList(2).count, 1);
    EXPECT_EQ(s.channelList(3).count, 0);
    EXPECT_EQ(s.channelList(4).count, 1);
    EXPECT_EQ(s.channelTotal(), 16);
    EXPECT_EQ(s.modelClass(17), kClassNone);
}

TEST(ParameterFile, SaveOpenRoundTripKeepsEverything)
{
    TempDir dir;
    DataStore a;
    for (int i = 0; i < kStations; ++i) {
        a.record(i).identification[0] = static_cast<std::uint16_t>('V' + i);
        a.record(i).reserved2[5] = static_cast<std::uint8_t>(i); // foreign bytes survive
        a.record(i).values[i * 311] = static_cast<std::uint16_t>(i * 1000 + 7);
    }
    a.stationPresent[0] = a.stationPresent[16] = a.stationPresent[31] = 1;
    a.markEdited(3, 40500);
    const std::string path = dir.file("line.dat");
    ASSERT_EQ(saveParameterFile(a, path), static_cast<long long>(kParameterFileSize));
    EXPECT_EQ(std::filesystem::file_size(path), kParameterFileSize);

    DataStore b;
    b.setCommError(1, 40000, 10);
    b.markEdited(1, 40001);
    ASSERT_EQ(loadParameterFile(b, path), static_cast<long long>(kParameterFileSize));
    EXPECT_EQ(b.stationPresent, a.stationPresent);
    EXPECT_EQ(b.commError(1, 40000), 0);
    EXPECT_EQ(b.isEdited(1, 40001), 0);
    EXPECT_EQ(b.isEdited(3, 40500), 0) << "opening clears the edited flags saved with the image";
    b.record(3).edited[500] = 1; // compare the images with the flag as it was saved
    EXPECT_EQ(std::memcmp(a.records(), b.records(), kParameterFileSize), 0);
}

TEST(ParameterFile, SizesAndFailures)
{
    TempDir dir;
    struct Case {
        std::size_t size;
        long long result;
    };
    const std::size_t beforeLastValue = kParameterFileSize - sizeof(StationRecord::edited) - 2;
    for (Case c : {Case{0, 0}, Case{1, 1}, Case{beforeLastValue, static_cast<long long>(beforeLastValue)},
                   Case{kParameterFileSize - 1, static_cast<long long>(kParameterFileSize) - 1},
                   Case{5'000'000, static_cast<long long>(kParameterFileSize)}}) {
        std::string bytes(c.size, '\x01');
        const std::string path = dir.write("f" + std::to_string(c.size) + ".dat", bytes);
        DataStore s;
        s.record(31).values[19999] = 0xABCD;
        EXPECT_EQ(loadParameterFile(s, path), c.result) << c.size;
        // Bytes past the end of a short file leave the records as they were.
        const bool covered = c.size >= kParameterFileSize - sizeof(StationRecord::edited);
        EXPECT_EQ(s.record(31).values[19999], covered ? 0x0101 : 0xABCD) << c.size;
    }
    DataStore s;
    EXPECT_EQ(loadParameterFile(s, dir.file("missing.dat")), -1);
    EXPECT_EQ(saveParameterFile(s, dir.file("no/folder/x.dat")), -1);

    // A failed save keeps the previous file whole.
    const std::string old = dir.write("keep.dat", "previous");
    std::filesystem::create_directory(dir.file("keep.dat.blocked"));
    EXPECT_EQ(saveParameterFile(s, dir.file("keep.dat.blocked")), -2);
    EXPECT_EQ(vok::test::readFile(old), "previous");
}

// Which stations are incomplete goes with the file, in the reserved bytes of their records
// only: a complete station's record is what the original layout has.
TEST(ParameterFile, IncompleteStationsTravelWithTheFile)
{
    TempDir dir;
    DataStore a;
    a.stationPresent[0] = a.stationPresent[1] = a.stationPresent[2] = 1;
    a.record(2).reserved1[0] = 9; // foreign bytes of a complete station survive
    a.setIncomplete(1, true);
    const std::string path = dir.file("line.dat");
    ASSERT_EQ(saveParameterFile(a, path), static_cast<long long>(kParameterFileSize));
    const std::string bytes = vok::test::readFile(path);
    EXPECT_EQ(bytes.substr(sizeof(StationRecord) + 4, 4), "PART");
    EXPECT_EQ(bytes.substr(4, 4), std::string(4, '\0'));
    EXPECT_EQ(bytes[2 * sizeof(StationRecord) + 4], 9);

    DataStore b;
    ASSERT_EQ(loadParameterFile(b, path), static_cast<long long>(kParameterFileSize));
    EXPECT_EQ(b.incompleteStations(), std::vector<int>{1});

    // Uploaded whole again, the mark goes.
    b.setIncomplete(1, false);
    ASSERT_EQ(saveParameterFile(b, path), static_cast<long long>(kParameterFileSize));
    EXPECT_EQ(vok::test::readFile(path).substr(sizeof(StationRecord) + 4, 4), std::string(4, '\0'));

    // A file cut inside station 2's record: stations 2 and 3 keep old values, so incomplete.
    dir.write("cut.dat", bytes.substr(0, sizeof(StationRecord) + 100));
    DataStore c;
    c.stationPresent.fill(0);
    c.record(2).present = 1;
    long long size = 0;
    EXPECT_EQ(loadParameterFile(c, dir.file("cut.dat"), nullptr, &size), static_cast<long long>(sizeof(StationRecord) + 100));
    EXPECT_EQ(size, static_cast<long long>(sizeof(StationRecord) + 100));
    EXPECT_EQ(c.incompleteStations(), (std::vector<int>{1, 2}));
    EXPECT_NE(parameterFileSizeProblem("cut.dat", size).find("cut short"), std::string::npos);
    EXPECT_EQ(parameterFileSizeProblem("x.dat", static_cast<long long>(kParameterFileSize)), "");
}

TEST(ParameterFile, OnlyRegularFilesAreOpened)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    DataStore s;
    std::string error;
    EXPECT_EQ(loadParameterFile(s, fifo, &error), -1) << "no hang on a FIFO";
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_EQ(loadParameterFile(s, dir.path(), &error), -1);
}

TEST(ParameterFile, ExtensionsByFamily)
{
    EXPECT_STREQ(parameterFileExtension(0), "dat");
    EXPECT_STREQ(parameterFileExtension(1), "da2");
    EXPECT_STREQ(parameterFileExtension(2), "da3");
    EXPECT_EQ(parameterFileFilter(1), "data(*.da2)");
}
