// Channel copy and station copy in the store: what is copied, what is refused, and what the
// next download will see as changed.

#include "copying.h"
#include "store.h"
#include "storeutil.h"

#include <gtest/gtest.h>

using namespace vok;

namespace {

using vok::test::defineStation;

std::uint16_t valueOf(const DataStore& store, int station, int reg)
{
    std::uint16_t v = 0;
    store.getStoredValue(station, reg, v);
    return v;
}

} // namespace

TEST(ChannelCopy, OneChannelOntoTheOthersOfItsStation)
{
    DataStore store;
    defineStation(store, 5, "VOKA112N01000");
    for (int c = 1; c <= 4; ++c) {
        for (int i = 0; i < 1000; ++i)
            store.setStoredValue(5, 40000 + 1000 * c + i, static_cast<std::uint16_t>(c * 1000 + i % 7));
    }
    store.setStoredValue(5, 43010, 2000 + 10 % 7); // already equal to channel 2's: not a change
    store.setCommError(4, 42020, 1);                 // never read on channel 2
    const CopyCount n = copyChannel(store, 5, 2, 1, 4);
    EXPECT_EQ(n.result, CopyResult::Done);
    for (int c : {1, 3, 4}) {
        EXPECT_EQ(valueOf(store, 5, 40000 + 1000 * c + 10), 2000 + 10 % 7) << c;
        EXPECT_EQ(valueOf(store, 5, 40000 + 1000 * c + 999), 2000 + 999 % 7) << c;
        EXPECT_TRUE(store.isEdited(4, 40000 + 1000 * c + 999)) << c;
        EXPECT_FALSE(store.isEdited(4, 40000 + 1000 * c + 20)) << "a value never read is not the user's";
        EXPECT_TRUE(store.commError(4, 40000 + 1000 * c + 20)) << "and stays failed";
    }
    EXPECT_FALSE(store.isEdited(4, 43010));
    EXPECT_EQ(valueOf(store, 5, 42500), 2000 + 500 % 7);
    EXPECT_FALSE(store.isEdited(4, 42500)) << "the source channel is unchanged";
    EXPECT_EQ(n.changed, 3 * 999 - 1);
    EXPECT_EQ(valueOf(store, 5, 40001), 0u) << "nothing outside the channel blocks";

    EXPECT_EQ(copyChannel(store, 5, 1, 4, 2).result, CopyResult::Reversed);
    EXPECT_EQ(copyChannel(store, 6, 1, 1, 4).result, CopyResult::NoStation);
}

TEST(StationCopy, ModelLettersRangesAndState)
{
    struct Case {
        const char* what;
        const char* from;
        const char* first;
        const char* last;
        int firstStation;
        int lastStation;
        bool check;
        CopyResult result;
    };
    const Case cases[] = {
        {"B onto A..B", "VOKB200N01R00", "VOKA112N01000", "VOKB200N01R00", 2, 3, true, CopyResult::Done},
        {"V onto V..N", "VOKV100N01000", "VOKV100N01000", "VOKN100N01000", 2, 3, true, CopyResult::Incompatible},
        {"A onto V", "VOKA112N01000", "VOKV100N01000", "VOKA112N01000", 2, 3, true, CopyResult::Incompatible},
        {"T onto T", "VOKT100N01000", "VOKT100N01000", "VOKT100N01000", 2, 3, true, CopyResult::Done},
        {"E unchecked", "VOKE100N01000", "VOKA112N01000", "VOKV100N01000", 2, 3, true, CopyResult::Done},
        {"reversed 3..2", "VOKA112N01000", "VOKA112N01000", "VOKA112N01000", 3, 2, true, CopyResult::Reversed},
        {"incompatible before reversed", "VOKV100N01000", "VOKN100N01000", "VOKN100N01000", 3, 2, true,
         CopyResult::Incompatible},
        {"event stations unchecked", "VOKA112N01000", "VOKV100N01000", "VOKN100N01000", 2, 3, false, CopyResult::Done},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataStore store;
        defineStation(store, 1, c.from);
        defineStation(store, c.firstStation, c.first);
        defineStation(store, c.lastStation, c.last);
        store.setStoredValue(1, 41011, 777);
        store.setStoredValue(1, 49999, 5);
        const CopyCount n = copyStation(store, 1, c.firstStation, c.lastStation, c.check);
        EXPECT_EQ(n.result, c.result);
        const bool copied = c.result == CopyResult::Done;
        for (int t : {2, 3}) {
            EXPECT_EQ(valueOf(store, t, 41011), copied ? 777u : 0u) << t;
            EXPECT_EQ(valueOf(store, t, 49999), copied ? 5u : 0u) << t;
            EXPECT_EQ(store.isEdited(t - 1, 41011), copied) << t;
        }
        EXPECT_EQ(n.changed, copied ? 4 : 0);
    }
}

TEST(StationCopy, AnIncompleteSourceMakesIncompleteTargets)
{
    DataStore store;
    for (int s : {1, 2, 3, 4})
        defineStation(store, s, "VOKA112N01000");
    store.setIncomplete(0, true);
    store.setCommError(0, 41011, 1);
    store.setCommError(2, 41012, 1); // read now from the source
    ASSERT_EQ(copyStation(store, 1, 2, 4, true).result, CopyResult::Done);
    for (int t : {2, 3, 4}) {
        EXPECT_TRUE(store.incomplete(t - 1)) << t;
        EXPECT_TRUE(store.commError(t - 1, 41011)) << t;
        EXPECT_FALSE(store.commError(t - 1, 41012)) << t;
    }
    EXPECT_TRUE(store.isEdited(2, 41012)) << "a failed register given a read value is a change";
}
