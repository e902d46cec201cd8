// The database file format on its own: the written layout byte by byte, round trips, and each
// corruption refused with its exact message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PdbBuilder.h"
#include "synckit/PdbFile.h"

using namespace synckit;
using namespace device_test;

namespace {

TEST(PdbFileTest, WrittenFileHasTheStandardHeaderAndRecordListLayout) {
    PdbDatabase db;
    db.name = "MemoDB";
    db.attributes = 0x0008;
    db.version = 0x0102;
    db.creationDate = 0x11223344;
    db.modificationDate = 0x55667788;
    db.backupDate = 0x99AABBCC;
    db.modificationNumber = 0x0000002A;
    db.type = kMemoDbType;
    db.creator = kMemoDbCreator;
    db.uniqueIdSeed = 0x00400007;
    db.appInfo = std::string(10, 'A');
    db.sortInfo = std::string(3, 'S');
    db.records = {{0x43, 0x400001, "one"}, {0x80, 0x400002, ""}, {0x95, 0xABCDEF, "three!"}};

    const PdbSerializeResult out = SerializePdb(db);
    ASSERT_EQ(out.error, "");
    const std::string& b = out.bytes;
    const size_t listEnd = 78 + 3 * 8;
    const size_t appAt = listEnd + 2, sortAt = appAt + 10, dataAt = sortAt + 3;
    ASSERT_EQ(b.size(), dataAt + 3 + 0 + 6);

    EXPECT_EQ(b.substr(0, 32), std::string("MemoDB") + std::string(26, '\0'));
    EXPECT_EQ(Get16(b, 32), 0x0008u);
    EXPECT_EQ(Get16(b, 34), 0x0102u);
    EXPECT_EQ(Get32(b, 36), 0x11223344u);
    EXPECT_EQ(Get32(b, 40), 0x55667788u);
    EXPECT_EQ(Get32(b, 44), 0x99AABBCCu);
    EXPECT_EQ(Get32(b, 48), 0x2Au);
    EXPECT_EQ(Get32(b, 52), appAt);
    EXPECT_EQ(Get32(b, 56), sortAt);
    EXPECT_EQ(b.substr(60, 4), "DATA");
    EXPECT_EQ(b.substr(64, 4), "memo");
    EXPECT_EQ(Get32(b, 68), 0x00400007u);
    EXPECT_EQ(Get32(b, 72), 0u);
    EXPECT_EQ(Get16(b, 76), 3u);
    // Record entries at 78 + 8i: offset, attribute byte, 3-byte id.
    const uint32_t offsets[] = {static_cast<uint32_t>(dataAt), static_cast<uint32_t>(dataAt + 3),
                                static_cast<uint32_t>(dataAt + 3)};
    const uint8_t attrs[] = {0x43, 0x80, 0x95};
    const uint32_t ids[] = {0x400001, 0x400002, 0xABCDEF};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_EQ(Get32(b, 78 + 8 * i), offsets[i]);
        EXPECT_EQ(static_cast<uint8_t>(b[78 + 8 * i + 4]), attrs[i]);
        EXPECT_EQ(Get32(b, 78 + 8 * i + 4) & 0xFFFFFF, ids[i]);
    }
    EXPECT_EQ(b.substr(listEnd, 2), std::string(2, '\0'));
    EXPECT_EQ(b.substr(appAt, 10), std::string(10, 'A'));
    EXPECT_EQ(b.substr(sortAt, 3), "SSS");
    EXPECT_EQ(b.substr(dataAt), "onethree!");
}

TEST(PdbFileTest, BuilderFileParsesAndWritesBackTheSameBytes) {
    PdbBuilder builder = SampleMemoDb();
    builder.sortInfo = std::string("\x01\x02", 2);
    const std::string bytes = builder.Build();
    const PdbParseResult parsed = ParsePdb(bytes);
    ASSERT_TRUE(parsed.database) << parsed.error;
    const PdbDatabase& db = *parsed.database;
    EXPECT_EQ(db.name, "MemoDB");
    EXPECT_EQ(db.type, kMemoDbType);
    EXPECT_EQ(db.creator, kMemoDbCreator);
    EXPECT_EQ(db.modificationNumber, 7u);
    EXPECT_EQ(db.uniqueIdSeed, 0x00400010u);
    EXPECT_EQ(db.appInfo, DefaultMemoAppInfo());
    EXPECT_EQ(db.sortInfo, std::string("\x01\x02", 2));
    ASSERT_EQ(db.records.size(), builder.records.size());
    for (size_t i = 0; i < db.records.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_EQ(db.records[i].attributes, builder.records[i].attributes);
        EXPECT_EQ(db.records[i].uniqueId, builder.records[i].uniqueId);
        EXPECT_EQ(db.records[i].data, builder.records[i].data);
    }
    const PdbSerializeResult again = SerializePdb(db);
    ASSERT_EQ(again.error, "");
    EXPECT_EQ(again.bytes, bytes);
}

TEST(PdbFileTest, BoundaryDatabasesRoundTrip) {
    struct Case {
        const char* what;
        PdbDatabase db;
    };
    PdbDatabase empty;
    empty.name = "X";
    PdbDatabase longest;
    longest.name = std::string(31, 'n');
    longest.appInfo = std::string(1, '\xFF');
    longest.records = {{0xFF, kPdbMaxUniqueId, std::string(300, '\0')}, {0x00, 1, ""}};  // last record empty
    PdbDatabase onlySort;
    onlySort.name = "S";
    onlySort.sortInfo = "sort";
    onlySort.records = {{0x00, 5, "x"}};
    const Case cases[] = {{"no blocks, no records", empty}, {"31-byte name, extreme ids", longest},
                          {"sort info without application info", onlySort}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PdbSerializeResult out = SerializePdb(c.db);
        ASSERT_EQ(out.error, "");
        const PdbParseResult back = ParsePdb(out.bytes);
        ASSERT_TRUE(back.database) << back.error;
        EXPECT_EQ(*back.database, c.db);
        EXPECT_EQ(SerializePdb(*back.database).bytes, out.bytes);
    }
}

TEST(PdbFileTest, EmptyBlocksAreWrittenAsAbsent) {
    PdbDatabase db;
    db.name = "E";
    db.appInfo = "";
    db.sortInfo = "";
    const PdbSerializeResult out = SerializePdb(db);
    ASSERT_EQ(out.error, "");
    EXPECT_EQ(Get32(out.bytes, 52), 0u);
    EXPECT_EQ(Get32(out.bytes, 56), 0u);
    const PdbParseResult back = ParsePdb(out.bytes);
    ASSERT_TRUE(back.database);
    EXPECT_FALSE(back.database->appInfo);
    EXPECT_FALSE(back.database->sortInfo);
}

// Each corruption of an otherwise sound file, and the exact text it is refused with.
TEST(PdbFileTest, CorruptionsAreRefusedWithWhatIsWrong) {
    struct Case {
        const char* what;
        void (*corrupt)(PdbBuilder&, std::string&);
        const char* message;
    };
    // SampleMemoDb: 5 records, list ends at 118, app info at 120 (282 bytes), record data at 402,
    // 416, 423, 436 and 436 (the deleted record keeps none), 441 bytes in all.
    const Case cases[] = {
        {"record offset beyond the file", [](PdbBuilder&, std::string& b) { Set32(b, 78 + 8 * 2, 100000); },
         "record 2 offset 100000 is beyond the end of the file (441 bytes)"},
        {"record offsets descending", [](PdbBuilder&, std::string& b) { Set32(b, 78 + 8 * 1, 430); },
         "record 2 offset 423 is below the offset 430 of record 1"},
        {"record count too large", [](PdbBuilder&, std::string& b) { Set16(b, 76, 60); },
         "record count 60 needs a record list ending at byte 558, beyond the end of the file (441 bytes)"},
        {"record offset inside the record list", [](PdbBuilder&, std::string& b) { Set32(b, 78, 100); },
         "record 0 offset 100 lies inside the header or record list (which end at byte 118)"},
        {"header cut short", [](PdbBuilder&, std::string& b) { b.resize(77); },
         "file is 77 bytes, shorter than the 78-byte header"},
        {"name without NUL", [](PdbBuilder&, std::string& b) { b.replace(0, 32, std::string(32, 'M')); },
         "database name is not NUL-terminated within its 32 bytes"},
        {"empty name", [](PdbBuilder&, std::string& b) { b[0] = '\0'; }, "database name is empty"},
        {"resource database", [](PdbBuilder&, std::string& b) { Set16(b, 32, 0x0001); },
         "file is a resource database, not a record database"},
        {"chained record list", [](PdbBuilder&, std::string& b) { Set32(b, 72, 9); },
         "next record list id is 9; chained record lists are not supported"},
        {"application info inside the list", [](PdbBuilder&, std::string& b) { Set32(b, 52, 90); },
         "application-info offset 90 lies inside the header or record list (which end at byte 118)"},
        {"application info beyond the file", [](PdbBuilder&, std::string& b) { Set32(b, 52, 441); },
         "application-info offset 441 is at or beyond the end of the file (441 bytes)"},
        {"application info after the first record", [](PdbBuilder&, std::string& b) { Set32(b, 52, 402); },
         "application-info offset 402 is not before the first record offset 402"},
        {"sort info before application info", [](PdbBuilder&, std::string& b) { Set32(b, 56, 119); },
         "sort-info offset 119 is not after the application-info offset 120"},
        {"sort info beyond the first record", [](PdbBuilder&, std::string& b) { Set32(b, 56, 420); },
         "sort-info offset 420 is not before the first record offset 402"},
        {"unique id 0", [](PdbBuilder&, std::string& b) { Set32(b, 78 + 8 * 3 + 4, 0x80000000); },
         "record 3 has unique id 0"},
        {"duplicate unique id", [](PdbBuilder&, std::string& b) { Set32(b, 78 + 8 * 4 + 4, 0x00400002); },
         "records 1 and 4 share unique id 4194306"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PdbBuilder builder = SampleMemoDb();
        std::string bytes = builder.Build();
        ASSERT_TRUE(ParsePdb(bytes).database) << "the uncorrupted file must be sound";
        ASSERT_EQ(bytes.size(), 441u);
        c.corrupt(builder, bytes);
        const PdbParseResult r = ParsePdb(bytes);
        EXPECT_FALSE(r.database);
        EXPECT_EQ(r.error, c.message);
    }
}

TEST(PdbFileTest, WriterRefusesWhatTheFileCannotHold) {
    struct Case {
        const char* what;
        void (*change)(PdbDatabase&);
        const char* message;
    };
    const Case cases[] = {
        {"empty name", [](PdbDatabase& d) { d.name.clear(); }, "database name is empty"},
        {"32-byte name", [](PdbDatabase& d) { d.name = std::string(32, 'x'); },
         "database name 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx' is longer than 31 bytes"},
        {"name with NUL", [](PdbDatabase& d) { d.name = std::string("a\0b", 3); }, "database name holds a NUL"},
        {"resource attribute", [](PdbDatabase& d) { d.attributes = 0x0001; }, "resource databases cannot be written"},
        {"id 0", [](PdbDatabase& d) { d.records[1].uniqueId = 0; }, "record 1 has unique id 0, not a 24-bit id above 0"},
        {"id above 24 bits", [](PdbDatabase& d) { d.records[0].uniqueId = 0x1000000; },
         "record 0 has unique id 16777216, not a 24-bit id above 0"},
        {"shared id", [](PdbDatabase& d) { d.records[1].uniqueId = d.records[0].uniqueId; },
         "records 0 and 1 share unique id 7"},
        {"too many records", [](PdbDatabase& d) { d.records.resize(65536); for (size_t i = 0; i < d.records.size(); ++i) d.records[i].uniqueId = static_cast<uint32_t>(i + 1); },
         "database holds 65536 records, more than 65535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PdbDatabase db;
        db.name = "D";
        db.records = {{0, 7, "a"}, {0, 8, "b"}};
        c.change(db);
        const PdbSerializeResult r = SerializePdb(db);
        EXPECT_EQ(r.error, c.message);
        EXPECT_EQ(r.bytes, "");
    }
}

TEST(PdbFileTest, DefaultMemoBlockHoldsTheThreeStandardCategories) {
    const std::string block = DefaultMemoAppInfo();
    ASSERT_EQ(block.size(), 282u);
    EXPECT_EQ(Get16(block, 0), 0u);  // nothing renamed
    const char* names[16] = {"Unfiled", "Business", "Personal"};
    for (size_t i = 0; i < 16; ++i) {
        SCOPED_TRACE("slot " + std::to_string(i));
        std::string slot = block.substr(2 + 16 * i, 16);
        std::string expected = names[i] != nullptr ? names[i] : "";
        expected.resize(16, '\0');
        EXPECT_EQ(slot, expected);
        EXPECT_EQ(static_cast<uint8_t>(block[258 + i]), i);
    }
    EXPECT_EQ(static_cast<uint8_t>(block[274]), 15u);
    EXPECT_EQ(block.substr(275), std::string(282 - 275, '\0'));
}

TEST(PdbFileTest, MemoDatabaseChecks) {
    struct Case {
        const char* what;
        void (*change)(PdbBuilder&);
        const char* message;  // "" : sound
    };
    const Case cases[] = {
        {"sound", [](PdbBuilder&) {}, ""},
        {"other type", [](PdbBuilder& b) { b.type = "TEXt"; }, "type is 'TEXt', expected 'DATA'"},
        {"unprintable type", [](PdbBuilder& b) { b.type = std::string("DA\x01T", 4); }, "type is 'DA\\x01T', expected 'DATA'"},
        {"other creator", [](PdbBuilder& b) { b.creator = "addr"; }, "creator is 'addr', expected 'memo'"},
        {"other name", [](PdbBuilder& b) { b.name = "MemoDB2"; }, "database name is 'MemoDB2', expected 'MemoDB'"},
        {"no application info", [](PdbBuilder& b) { b.appInfo.reset(); },
         "there is no application-info block (the category block)"},
        {"short application info", [](PdbBuilder& b) { b.appInfo->resize(275); },
         "application-info block is 275 bytes, shorter than the 276-byte category block"},
        {"live memo without NUL", [](PdbBuilder& b) { b.records[0].data = "no end"; },
         "record 0 (unique id 4194305) does not end with the NUL of a memo text"},
        {"live memo with no data", [](PdbBuilder& b) { b.records[4].data = ""; },
         "record 4 (unique id 4194309) does not end with the NUL of a memo text"},
        {"archived memo without NUL", [](PdbBuilder& b) { b.records[2].data = "arch"; },
         "record 2 (unique id 4194307) does not end with the NUL of a memo text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PdbBuilder builder = SampleMemoDb();
        c.change(builder);
        const PdbParseResult parsed = ParsePdb(builder.Build());
        ASSERT_TRUE(parsed.database) << parsed.error;
        EXPECT_EQ(CheckMemoDatabase(*parsed.database), c.message);
    }
}

TEST(PdbFileTest, NormalizingAMemoDatabaseKeepsEveryByteItMayKeep) {
    const std::string zeroTail = DefaultMemoAppInfo() + std::string(800 - 282, '\0');
    std::string busyTail = zeroTail;
    busyTail[799] = 1;
    struct Case {
        const char* what;
        std::optional<std::string> appInfo;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"conduit's 800-byte buffer, zero beyond 282: cut", zeroTail, DefaultMemoAppInfo()},
        {"a byte set beyond 282: kept whole", busyTail, busyTail},
        {"exactly 282: kept", DefaultMemoAppInfo(), DefaultMemoAppInfo()},
        {"short: zero-filled to 282", std::string(100, 'c'), std::string(100, 'c') + std::string(182, '\0')},
        {"missing: the default block", std::nullopt, DefaultMemoAppInfo()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PdbDatabase db;
        db.name = kMemoDbName;
        db.type = kMemoDbType;
        db.creator = kMemoDbCreator;
        db.appInfo = c.appInfo;
        NormalizeMemoDatabase(db);
        EXPECT_EQ(db.appInfo, c.expected);
        EXPECT_EQ(CheckMemoDatabase(db), "");
    }

    PdbDatabase db;
    db.name = kMemoDbName;
    db.type = kMemoDbType;
    db.creator = kMemoDbCreator;
    db.appInfo = DefaultMemoAppInfo();
    db.records = {{0x00, 1, "no end"}, {0x00, 2, ""}, {0x80, 3, ""}, {0x80, 4, "archived"}, {0x00, 5, Memo("ok")}};
    NormalizeMemoDatabase(db);
    EXPECT_EQ(db.records[0].data, Memo("no end"));
    EXPECT_EQ(db.records[1].data, Memo(""));   // a live memo always has its NUL
    EXPECT_EQ(db.records[2].data, "");         // a deleted record keeps no data
    EXPECT_EQ(db.records[3].data, Memo("archived"));
    EXPECT_EQ(db.records[4].data, Memo("ok"));
    EXPECT_EQ(CheckMemoDatabase(db), "");
}

TEST(PdbFileTest, DatesCountFrom1904) {
    EXPECT_EQ(PdbDateFromUnix(0), 2082844800u);
    EXPECT_EQ(PdbDateFromUnix(-2082844800LL), 0u);
    EXPECT_EQ(PdbDateFromUnix(-2082844801LL), 0u);  // before 1904: clamped
    EXPECT_EQ(PdbDateFromUnix(static_cast<std::time_t>(4294967295LL - 2082844800LL + 10)), 4294967295u);
}

}  // namespace
