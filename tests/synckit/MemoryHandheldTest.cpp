// The in-memory handheld through the Sync Manager: ids, record reads and writes, modified reading,
// purges, application info, position map, categories, flags and databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "SyncTestSupport.h"
#include "synckit/Handheld.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/SyncMgr.h"
#include "Unpacked.h"

using namespace synckit;
using synckit_test::Ids;
using synckit_test::RecordBlock;
using synckit_test::Texts;

namespace {

constexpr uint32_t kMemo = 0x6D656D6F;
constexpr uint32_t kData = 0x44415441;

class MemoryHandheldTest : public ::testing::Test {
protected:
    MemoryHandheld hh;
    ScopedHandheld attach{hh};

    HandheldDatabase& Memo() { return *hh.FindDatabase("MemoDB"); }
    void SetUp() override { hh.AddDatabase("MemoDB", kMemo, kData); }

    uint8_t OpenMemo() {
        uint8_t handle = 0;
        EXPECT_EQ(SyncOpenDB("MemoDB", 0, handle, kOpenModeReadWrite), kSyncErrNone);
        return handle;
    }
};

TEST_F(MemoryHandheldTest, AssignedIdsAre24BitUniqueAndNeverZero) {
    // An id already held by another database is passed over, and the count wraps past 0xFFFFFF to 1.
    HandheldDatabase& other = hh.AddDatabase("Other", 1, 2);
    other.records.push_back(HandheldRecord{0xFFFFFF, 0, 0, "taken"});
    other.records.push_back(HandheldRecord{2, 0, 0, "taken too"});
    hh.SetNextUniqueId(0xFFFFFE);

    const uint32_t a = hh.AddRecord(Memo(), "a", 0, 0);
    const uint32_t b = hh.AddRecord(Memo(), "b", 0, 0);
    const uint32_t c = hh.AddRecord(Memo(), "c", 0, 0);
    EXPECT_EQ(a, 0xFFFFFEu);
    EXPECT_EQ(b, 1u);  // 0xFFFFFF is taken and 0 is never given
    EXPECT_EQ(c, 3u);  // 2 is taken

    // New records written through the Sync Manager draw from the same sequence.
    const uint8_t h = OpenMemo();
    RecordBlock rec(h);
    rec.SetData("d");
    ASSERT_EQ(SyncWriteRec(rec.raw), kSyncErrNone);
    EXPECT_EQ(tervano::test::Unpacked(rec.raw.recordId), 4u);
    EXPECT_EQ(hh.NextUniqueId(), 5u);
}

TEST_F(MemoryHandheldTest, SeedAboveTwentyFourBitsIsCutToTwentyFourBits) {
    hh.SetNextUniqueId(0x12000005);
    const uint32_t id = hh.AddRecord(Memo(), "a", 0, 0);
    EXPECT_EQ(id, 0x000005u);
    EXPECT_LE(id, 0xFFFFFFu);
}

// Writes that succeed: where the record lands and which id it carries.
struct WriteCase {
    const char* name;
    uint32_t recordId;     // kept: the id of the second record; kOther: an id held by another database
    bool expectAppended;   // false: replaced in place
    bool expectIdGiven;    // the id written is the one kept
};
constexpr uint32_t kKnownSecond = 0xFFFFFFFF;
constexpr uint32_t kHeldElsewhere = 0xFFFFFFFE;

TEST_F(MemoryHandheldTest, WriteRecordNewUnknownAndKnownIds) {
    const WriteCase cases[] = {
        {"id 0 makes a new record with an assigned id", 0, true, false},
        {"an unknown id makes a new record with that id", 0x00ABCDEF, true, true},
        {"a known id replaces that record in place", kKnownSecond, false, true},
        {"an id held by another database gets a fresh id", kHeldElsewhere, true, false},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryHandheld handheld;
        ScopedHandheld attached(handheld);
        handheld.AddDatabase("Other", 1, 2).records.push_back(HandheldRecord{0x777777, 0, 0, "x"});
        HandheldDatabase* db = &handheld.AddDatabase("MemoDB", kMemo, kData);
        const uint32_t first = handheld.AddRecord(*db, "first", 0, 1);
        const uint32_t second = handheld.AddRecord(*db, "second", 0, 1);
        handheld.AddRecord(*db, "third", 0, 1);

        uint8_t h = 0;
        ASSERT_EQ(SyncOpenDB("MemoDB", 0, h, kOpenModeReadWrite), kSyncErrNone);
        RecordBlock rec(h);
        rec.raw.recordId = c.recordId == kKnownSecond ? second : c.recordId == kHeldElsewhere ? 0x777777 : c.recordId;
        const uint32_t given = rec.raw.recordId;
        rec.SetData(std::string("new\0text", 8));
        rec.raw.attributes = kRecAttrDirty | kRecAttrPrivate;
        rec.raw.category = 0x17;  // only the low 4 bits are kept
        ASSERT_EQ(SyncWriteRec(rec.raw), kSyncErrNone);

        const HandheldRecord& written = c.expectAppended ? db->records.back() : db->records[1];
        EXPECT_EQ(db->records.size(), c.expectAppended ? 4u : 3u);
        EXPECT_EQ(written.data, std::string("new\0text", 8));
        EXPECT_EQ(written.attributes, kRecAttrDirty | kRecAttrPrivate);
        EXPECT_EQ(written.category, 7);
        EXPECT_EQ(written.id, tervano::test::Unpacked(rec.raw.recordId));
        if (c.expectIdGiven) {
            EXPECT_EQ(written.id, given);
        } else {
            EXPECT_NE(written.id, given);
        }
        EXPECT_NE(written.id, 0u);
        EXPECT_LE(written.id, 0xFFFFFFu);
        EXPECT_EQ(db->records[0].id, first);
        EXPECT_EQ(handheld.RecordsWritten(), 1);
        // Ids stay unique across the whole handheld.
        std::vector<uint32_t> all = Ids(*db);
        all.push_back(0x777777);
        std::sort(all.begin(), all.end());
        EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    }
}

TEST_F(MemoryHandheldTest, RefusedWritesChangeNothing) {
    struct Case { const char* name; uint32_t recordId; uint32_t dataSize; bool nullBuffer; int32_t code; };
    const Case cases[] = {
        {"data larger than the buffer", 0, 65, false, kSyncErrBadArgument},
        {"no buffer", 0, 0, true, kSyncErrBadArgument},
        {"an id wider than 24 bits", 0x01000001, 4, false, kSyncErrBadArgument},
    };
    hh.AddRecord(Memo(), "kept", kRecAttrDirty, 2);
    const uint8_t h = OpenMemo();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordBlock rec(h, 64);
        rec.SetData("abcd");
        rec.raw.dataSize = c.dataSize;
        rec.raw.recordId = c.recordId;
        uint8_t* buffer = rec.raw.buffer;
        if (c.nullBuffer) rec.raw.buffer = nullptr;
        EXPECT_EQ(SyncWriteRec(rec.raw), c.code);
        rec.raw.buffer = buffer;
        EXPECT_EQ(tervano::test::Unpacked(rec.raw.recordId), c.recordId);
        EXPECT_EQ(Texts(Memo()), std::vector<std::string>{"kept"});
    }
    EXPECT_EQ(hh.RecordsWritten(), 0);
}

TEST_F(MemoryHandheldTest, ReadNextModifiedGoesInOrderFromTheOpeningAndEndsWithNotFound) {
    struct Row { const char* text; uint8_t attributes; bool modified; };
    const Row rows[] = {
        {"plain", 0, false},
        {"dirty", kRecAttrDirty, true},
        {"private", kRecAttrPrivate, false},
        {"deleted", kRecAttrDeleted, true},
        {"busy", kRecAttrBusy, false},
        {"archived", kRecAttrArchived | kRecAttrDeleted, true},
        {"archived only", kRecAttrArchived, true},
        {"dirty private", kRecAttrDirty | kRecAttrPrivate, true},
    };
    std::vector<std::string> expected;
    std::vector<uint16_t> expectedIndex;
    for (const Row& r : rows) {
        hh.AddRecord(Memo(), r.text, r.attributes, 3);
        if (r.modified) {
            expected.push_back(r.text);
            expectedIndex.push_back(static_cast<uint16_t>(Memo().records.size() - 1));
        }
    }
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening == 0 ? "first opening" : "reopened: reading starts again");
        const uint8_t h = OpenMemo();
        RecordBlock rec(h);
        std::vector<std::string> got;
        std::vector<uint16_t> gotIndex;
        while (SyncReadNextModifiedRec(rec.raw) == kSyncErrNone) {
            got.push_back(rec.Data());
            gotIndex.push_back(tervano::test::Unpacked(rec.raw.recordIndex));
            EXPECT_EQ(rec.raw.attributes, Memo().records[rec.raw.recordIndex].attributes);
            EXPECT_EQ(tervano::test::Unpacked(rec.raw.recordId), Memo().records[rec.raw.recordIndex].id);
            EXPECT_EQ(tervano::test::Unpacked(rec.raw.category), 3);
        }
        EXPECT_EQ(got, expected);
        EXPECT_EQ(gotIndex, expectedIndex);
        EXPECT_EQ(SyncReadNextModifiedRec(rec.raw), kSyncErrNotFound);  // stays at the end
        ASSERT_EQ(SyncCloseDB(h), kSyncErrNone);
    }
}

TEST_F(MemoryHandheldTest, ReadNextModifiedSkipsNothingWhenEarlierRecordsAreRemoved) {
    // The mail exchange deletes records while the read position is open; the position must follow.
    const uint32_t first = hh.AddRecord(Memo(), "one", kRecAttrDirty, 0);
    hh.AddRecord(Memo(), "two", kRecAttrDirty, 0);
    hh.AddRecord(Memo(), "three", kRecAttrDirty, 0);
    const uint8_t h = OpenMemo();
    RecordBlock rec(h);
    ASSERT_EQ(SyncReadNextModifiedRec(rec.raw), kSyncErrNone);
    EXPECT_EQ(rec.Data(), "one");
    RecordBlock del(h);
    del.raw.recordId = first;
    ASSERT_EQ(SyncDeleteRec(del.raw), kSyncErrNone);
    ASSERT_EQ(SyncReadNextModifiedRec(rec.raw), kSyncErrNone);
    EXPECT_EQ(rec.Data(), "two");
}

TEST_F(MemoryHandheldTest, EachOpenDatabaseKeepsItsOwnReadPosition) {
    HandheldDatabase& other = hh.AddDatabase("Other", 1, 2);
    hh.AddRecord(other, "o1", kRecAttrDirty, 0);
    hh.AddRecord(Memo(), "m1", kRecAttrDirty, 0);
    hh.AddRecord(Memo(), "m2", kRecAttrDirty, 0);
    const uint8_t m = OpenMemo();
    uint8_t o = 0;
    ASSERT_EQ(SyncOpenDB("Other", 0, o, kOpenModeReadWrite), kSyncErrNone);
    ASSERT_NE(m, o);
    RecordBlock rm(m), ro(o);
    ASSERT_EQ(SyncReadNextModifiedRec(rm.raw), kSyncErrNone);
    ASSERT_EQ(SyncReadNextModifiedRec(ro.raw), kSyncErrNone);
    EXPECT_EQ(ro.Data(), "o1");
    ASSERT_EQ(SyncReadNextModifiedRec(rm.raw), kSyncErrNone);
    EXPECT_EQ(rm.Data(), "m2");
    EXPECT_EQ(SyncReadNextModifiedRec(ro.raw), kSyncErrNotFound);
}

TEST_F(MemoryHandheldTest, ReadByIndexReturnsEveryRecordDeletedOnesIncluded) {
    hh.AddRecord(Memo(), std::string("alpha\0", 6), 0, 1);
    hh.AddRecord(Memo(), "gone", kRecAttrDeleted, 2);
    hh.AddRecord(Memo(), "old", kRecAttrArchived | kRecAttrDeleted, 15);
    const uint8_t h = OpenMemo();
    RecordBlock rec(h);
    for (uint16_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        rec.raw.recordIndex = i;
        ASSERT_EQ(SyncReadRecordByIndex(rec.raw), kSyncErrNone);
        const HandheldRecord& want = Memo().records[i];
        EXPECT_EQ(rec.Data(), want.data);
        EXPECT_EQ(tervano::test::Unpacked(rec.raw.dataSize), want.data.size());
        EXPECT_EQ(tervano::test::Unpacked(rec.raw.recordId), want.id);
        EXPECT_EQ(rec.raw.attributes, want.attributes);
        EXPECT_EQ(tervano::test::Unpacked(rec.raw.category), want.category);
        EXPECT_EQ(tervano::test::Unpacked(rec.raw.recordIndex), i);
    }
    rec.raw.recordIndex = 3;
    EXPECT_EQ(SyncReadRecordByIndex(rec.raw), kSyncErrNotFound);
    EXPECT_EQ(hh.RecordsRead(), 3);
}

TEST_F(MemoryHandheldTest, ReadByIdFindsTheRecordAndItsIndex) {
    hh.AddRecord(Memo(), "a", 0, 0);
    const uint32_t id = hh.AddRecord(Memo(), "b", kRecAttrDirty, 4);
    const uint8_t h = OpenMemo();
    RecordBlock rec(h);
    rec.raw.recordId = id;
    ASSERT_EQ(SyncReadRecordById(rec.raw), kSyncErrNone);
    EXPECT_EQ(rec.Data(), "b");
    EXPECT_EQ(tervano::test::Unpacked(rec.raw.recordIndex), 1);
    EXPECT_EQ(tervano::test::Unpacked(rec.raw.category), 4);
    rec.raw.recordId = id + 100;
    EXPECT_EQ(SyncReadRecordById(rec.raw), kSyncErrNotFound);
}

TEST_F(MemoryHandheldTest, ReadsThatCannotFillTheBufferLeaveItUntouched) {
    const uint32_t id = hh.AddRecord(Memo(), std::string(100, 'x'), kRecAttrDirty, 1);
    const uint8_t h = OpenMemo();
    using Read = int32_t (*)(RawRecord&);
    struct Case { const char* name; Read read; };
    const Case cases[] = {
        {"by index", SyncReadRecordByIndex},
        {"by id", SyncReadRecordById},
        {"next modified", SyncReadNextModifiedRec},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordBlock small(h, 99);
        std::memset(small.raw.buffer, '#', 99);
        small.raw.recordId = id;
        small.raw.dataSize = 7;
        EXPECT_EQ(c.read(small.raw), kSyncErrTooSmall);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(small.raw.buffer), 99), std::string(99, '#'));
        EXPECT_EQ(tervano::test::Unpacked(small.raw.dataSize), 7u);

        RecordBlock none(h, 0);
        none.raw.recordId = id;
        EXPECT_EQ(c.read(none.raw), kSyncErrBadArgument);
    }
    // The record that did not fit is still the next modified one.
    RecordBlock big(h, 100);
    EXPECT_EQ(SyncReadNextModifiedRec(big.raw), kSyncErrNone);
    EXPECT_EQ(tervano::test::Unpacked(big.raw.dataSize), 100u);
}

TEST_F(MemoryHandheldTest, DeleteAndPurgesRemoveTheRightRecords) {
    const uint32_t plain = hh.AddRecord(Memo(), "plain", 0, 0);
    hh.AddRecord(Memo(), "deleted", kRecAttrDeleted, 0);
    hh.AddRecord(Memo(), "archived", kRecAttrArchived | kRecAttrDeleted, 0);
    hh.AddRecord(Memo(), "dirty", kRecAttrDirty, 0);
    const uint32_t last = hh.AddRecord(Memo(), "last", 0, 0);
    const uint8_t h = OpenMemo();

    ASSERT_EQ(SyncPurgeDeletedRecs(h), kSyncErrNone);
    EXPECT_EQ(Texts(Memo()), (std::vector<std::string>{"plain", "dirty", "last"}));

    RecordBlock rec(h);
    rec.raw.recordId = last;
    ASSERT_EQ(SyncDeleteRec(rec.raw), kSyncErrNone);
    EXPECT_EQ(Texts(Memo()), (std::vector<std::string>{"plain", "dirty"}));
    EXPECT_EQ(SyncDeleteRec(rec.raw), kSyncErrNotFound);
    rec.raw.recordId = 0;
    EXPECT_EQ(SyncDeleteRec(rec.raw), kSyncErrNotFound);
    EXPECT_EQ(Ids(Memo()).front(), plain);

    uint16_t count = 99;
    ASSERT_EQ(SyncGetDBRecordCount(h, count), kSyncErrNone);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(SyncPurgeAllRecs(h), kSyncErrNone);
    ASSERT_EQ(SyncGetDBRecordCount(h, count), kSyncErrNone);
    EXPECT_EQ(count, 0);
}

TEST_F(MemoryHandheldTest, RecordCountIncludesDeletedRecords) {
    hh.AddRecord(Memo(), "a", 0, 0);
    hh.AddRecord(Memo(), "b", kRecAttrDeleted, 0);
    uint16_t count = 0;
    ASSERT_EQ(SyncGetDBRecordCount(OpenMemo(), count), kSyncErrNone);
    EXPECT_EQ(count, 2);
}

TEST_F(MemoryHandheldTest, AppInfoWriteStoresLengthOrBufferSizeBytes) {
    const uint8_t h = OpenMemo();
    std::array<uint8_t, 32> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    struct Case { const char* name; uint16_t bufferSize; uint16_t length; bool nullBuffer; int32_t code; size_t stored; };
    const Case cases[] = {
        {"length given", 32, 10, false, kSyncErrNone, 10},
        {"length 0 stores the whole buffer", 20, 0, false, kSyncErrNone, 20},
        {"length beyond the buffer is refused", 8, 9, false, kSyncErrBadArgument, 0},
        {"no buffer is refused", 8, 0, true, kSyncErrBadArgument, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Memo().appInfo.reset();
        AppInfoBlock block{};
        std::strcpy(block.dbName, "MemoDB");
        block.bufferSize = c.bufferSize;
        block.length = c.length;
        block.buffer = c.nullBuffer ? nullptr : bytes.data();
        EXPECT_EQ(SyncWriteDBAppInfoBlock(h, block), c.code);
        if (c.code == kSyncErrNone) {
            ASSERT_TRUE(Memo().appInfo.has_value());
            EXPECT_EQ(*Memo().appInfo, std::string(reinterpret_cast<char*>(bytes.data()), c.stored));
        } else {
            EXPECT_FALSE(Memo().appInfo.has_value());
        }
    }
}

TEST_F(MemoryHandheldTest, AppInfoReadCopiesUpToTheBufferAndSetsLength) {
    const uint8_t h = OpenMemo();
    std::array<uint8_t, 16> buffer{};
    AppInfoBlock block{};
    block.buffer = buffer.data();
    block.bufferSize = static_cast<uint16_t>(buffer.size());
    EXPECT_EQ(SyncReadDBAppInfoBlock(h, block), kSyncErrNotFound);  // no block yet
    EXPECT_EQ(tervano::test::Unpacked(block.length), 0);

    struct Case { const char* name; std::string stored; uint16_t bufferSize; std::string expected; };
    const Case cases[] = {
        {"fits", std::string("cat\0gory", 8), 16, std::string("cat\0gory", 8)},
        {"larger than the buffer is cut", "0123456789ABCDEFGHIJ", 16, "0123456789ABCDEF"},
        {"empty block", "", 16, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        buffer.fill('#');
        Memo().appInfo = c.stored;
        block.bufferSize = c.bufferSize;
        ASSERT_EQ(SyncReadDBAppInfoBlock(h, block), kSyncErrNone);
        EXPECT_EQ(tervano::test::Unpacked(block.length), c.expected.size());
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), tervano::test::Unpacked(block.length)), c.expected);
        if (c.expected.size() < buffer.size()) {
            EXPECT_EQ(buffer[c.expected.size()], '#');
        }
    }
    block.buffer = nullptr;
    EXPECT_EQ(SyncReadDBAppInfoBlock(h, block), kSyncErrBadArgument);
}

TEST_F(MemoryHandheldTest, PositionMapIsBigEndianAndBounded) {
    const uint32_t ids[] = {0x010203, 0x0A0B0C, 0xFFFFFE, 0x000001, 0x123456};
    for (uint32_t id : ids) Memo().records.push_back(HandheldRecord{id, 0, 0, "r"});
    const uint8_t h = OpenMemo();
    struct Case { const char* name; uint16_t first; uint16_t wanted; uint16_t bufferSize; size_t count; };
    const Case cases[] = {
        {"all", 0, 5, 20, 5},
        {"more wanted than there are", 0, 100, 400, 5},
        {"bounded by entries wanted", 0, 3, 40, 3},
        {"bounded by the buffer size", 0, 5, 11, 2},
        {"from a later position", 2, 5, 40, 3},
        {"from past the end", 9, 5, 40, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::array<uint32_t, 8> out;
        out.fill(0xEEEEEEEE);
        PositionMap map{};
        map.dbHandle = h;
        map.firstPosition = c.first;
        map.entriesWanted = c.wanted;
        map.bufferSize = c.bufferSize;
        map.ids = out.data();
        map.entriesReturned = 77;
        ASSERT_EQ(SyncReadPositionXMap(map), kSyncErrNone);
        EXPECT_EQ(tervano::test::Unpacked(map.entriesReturned), c.count);
        const auto* bytes = reinterpret_cast<const uint8_t*>(out.data());
        for (size_t i = 0; i < c.count; ++i) {
            const uint32_t id = ids[c.first + i];
            const uint8_t expected[4] = {static_cast<uint8_t>(id >> 24), static_cast<uint8_t>(id >> 16),
                                         static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
            EXPECT_EQ(std::memcmp(bytes + 4 * i, expected, 4), 0) << "entry " << i;
        }
        for (size_t i = c.count; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEEEEEEEEu) << "entry " << i;
    }
    PositionMap none{};
    none.dbHandle = h;
    none.entriesWanted = 5;
    none.bufferSize = 20;
    EXPECT_EQ(SyncReadPositionXMap(none), kSyncErrBadArgument);
}

TEST_F(MemoryHandheldTest, ChangeCategoryMovesOnlyThatCategoryAndKeepsFlags) {
    hh.AddRecord(Memo(), "a", kRecAttrDirty, 5);
    hh.AddRecord(Memo(), "b", 0, 6);
    hh.AddRecord(Memo(), "c", kRecAttrPrivate, 5);
    const uint8_t h = OpenMemo();
    ASSERT_EQ(SyncChangeCategory(h, 5, 0), kSyncErrNone);
    const auto& r = Memo().records;
    EXPECT_EQ(r[0].category, 0);
    EXPECT_EQ(r[1].category, 6);
    EXPECT_EQ(r[2].category, 0);
    EXPECT_EQ(r[0].attributes, kRecAttrDirty);
    EXPECT_EQ(r[1].attributes, 0);
    EXPECT_EQ(r[2].attributes, kRecAttrPrivate);
    EXPECT_EQ(SyncChangeCategory(h, 16, 0), kSyncErrBadArgument);
    EXPECT_EQ(r[1].category, 6);
}

TEST_F(MemoryHandheldTest, ResetSyncFlagsClearsOnlyTheDirtyBit) {
    const uint8_t attrs[] = {kRecAttrDirty, kRecAttrDirty | kRecAttrPrivate, kRecAttrDeleted | kRecAttrDirty, 0};
    for (uint8_t a : attrs) hh.AddRecord(Memo(), "r", a, 0);
    ASSERT_EQ(SyncResetSyncFlags(OpenMemo()), kSyncErrNone);
    for (size_t i = 0; i < std::size(attrs); ++i) {
        EXPECT_EQ(Memo().records[i].attributes, attrs[i] & ~kRecAttrDirty) << "record " << i;
    }
}

TEST_F(MemoryHandheldTest, OpenCreateAndCloseDatabases) {
    uint8_t h = 0xAB;
    EXPECT_EQ(SyncOpenDB("NoSuchDB", 0, h, kOpenModeReadWrite), kSyncErrNotFound);
    EXPECT_EQ(h, 0xAB);

    ASSERT_EQ(SyncOpenDB("MemoDB", 0, h, kOpenModeReadWrite), kSyncErrNone);
    EXPECT_GE(h, 1);
    uint8_t again = 0;
    EXPECT_EQ(SyncOpenDB("MemoDB", 0, again, kOpenModeReadWrite), kSyncErrAlreadyOpen);

    DbCreateBlock block{};
    block.creator = 0x12345678;
    block.type = 0x41424344;
    block.flags = 0x10;
    block.cardByte = 0x5A;
    std::memcpy(block.name, "Second", 7);
    ASSERT_EQ(SyncCreateDB(block), kSyncErrNone);
    EXPECT_GE(block.dbHandle, 1);
    EXPECT_NE(block.dbHandle, h);
    const HandheldDatabase* created = hh.FindDatabase("Second");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->creator, 0x12345678u);
    EXPECT_EQ(created->type, 0x41424344u);
    EXPECT_EQ(created->flags, 0x10u);
    EXPECT_EQ(created->cardByte, 0x5A);
    EXPECT_TRUE(created->records.empty());
    EXPECT_FALSE(created->appInfo.has_value());

    DbCreateBlock duplicate = block;
    duplicate.dbHandle = 0;
    EXPECT_EQ(SyncCreateDB(duplicate), kSyncErrExists);
    EXPECT_EQ(duplicate.dbHandle, 0);

    ASSERT_EQ(hh.Openings().size(), 2u);
    EXPECT_EQ(hh.Openings()[0].name, "MemoDB");
    EXPECT_EQ(hh.Openings()[0].mode, kOpenModeReadWrite);
    EXPECT_EQ(hh.Openings()[0].cardNumber, 0);
    EXPECT_FALSE(hh.Openings()[0].created);
    EXPECT_TRUE(hh.Openings()[1].created);
    EXPECT_EQ(hh.Openings()[1].dbHandle, block.dbHandle);

    EXPECT_EQ(hh.OpenCount(), 2u);
    ASSERT_EQ(SyncCloseDB(h), kSyncErrNone);
    EXPECT_EQ(SyncCloseDB(h), kSyncErrBadHandle);
    uint16_t count = 0;
    EXPECT_EQ(SyncGetDBRecordCount(h, count), kSyncErrBadHandle);
    ASSERT_EQ(SyncCloseDB(block.dbHandle), kSyncErrNone);
    EXPECT_EQ(hh.OpenCount(), 0u);
}

TEST_F(MemoryHandheldTest, CreateBlockNameNeedNotBeTerminated) {
    DbCreateBlock block{};
    std::memset(block.name, 'N', sizeof block.name);
    block.type = 0xFFFFFFFF;  // right after the name: must not become part of it
    ASSERT_EQ(SyncCreateDB(block), kSyncErrNone);
    EXPECT_NE(hh.FindDatabase(std::string(32, 'N')), nullptr);
}

TEST_F(MemoryHandheldTest, EveryHandleFrom1To255CanBeInUse) {
    std::vector<uint8_t> handles;
    for (int i = 0; i < 256; ++i) {
        DbCreateBlock block{};
        std::snprintf(block.name, sizeof block.name, "db%d", i);
        const int32_t result = SyncCreateDB(block);
        if (i < 255) {
            ASSERT_EQ(result, kSyncErrNone) << i;
            handles.push_back(block.dbHandle);
        } else {
            EXPECT_EQ(result, kSyncErrFailed);  // no handle left: not created either
            EXPECT_EQ(hh.FindDatabase("db255"), nullptr);
        }
    }
    std::sort(handles.begin(), handles.end());
    EXPECT_EQ(handles.front(), 1);
    EXPECT_EQ(handles.back(), 255);
    EXPECT_EQ(std::adjacent_find(handles.begin(), handles.end()), handles.end());
}

TEST_F(MemoryHandheldTest, RegistrationAndSystemInfo) {
    ConduitHandle handle = 0;
    ASSERT_EQ(SyncRegisterConduit(handle), kSyncErrNone);
    EXPECT_TRUE(hh.Registered());
    ConduitHandle second = 0;
    EXPECT_EQ(SyncRegisterConduit(second), kSyncErrFailed);
    EXPECT_EQ(SyncUnRegisterConduit(handle + 1), kSyncErrNotRegistered);
    EXPECT_EQ(SyncUnRegisterConduit(handle), kSyncErrNone);
    EXPECT_FALSE(hh.Registered());
    EXPECT_EQ(SyncUnRegisterConduit(handle), kSyncErrNotRegistered);

    hh.SetRomVersion(0x01003000);
    hh.SetProductId("PRODUCT-ID");
    uint8_t product[6];
    std::memset(product, '#', sizeof product);
    HandheldSystemInfo info{};
    info.productId = product;
    info.productIdSize = 4;
    ASSERT_EQ(SyncReadSystemInfo(info), kSyncErrNone);
    EXPECT_EQ(tervano::test::Unpacked(info.romSoftVersion), 0x01003000u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(product), 6), "PROD##");

    EXPECT_EQ(SyncYieldCycles(1), kSyncErrNone);
}

}  // namespace
