// The memo converter: desktop rows <-> raw handheld records (attributes, ids, text, bounds) and the
// application-info block <-> category list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "memo/MemoConverter.h"
#include "memo/MemoText.h"
#include "session/ResultCodes.h"
#include "synckit/Category.h"
#include "synckit/SyncBlocks.h"
#include "synckit/Table.h"
#include "Unpacked.h"

namespace {

using namespace std::string_literals;

// A raw record over a buffer the test owns; the bytes past bufferSize are a guard that a correct
// converter never reads or writes.
struct RawBuffer {
    explicit RawBuffer(size_t size, uint8_t fill = 0, size_t guard = 64)
        : bytes(size + guard, fill), size(size) {
        std::memset(bytes.data() + size, kGuard, guard);
        raw.buffer = bytes.data();
        raw.bufferSize = static_cast<uint16_t>(size);
    }
    bool GuardIntact() const {
        for (size_t i = size; i < bytes.size(); ++i)
            if (bytes[i] != kGuard) return false;
        return true;
    }
    std::string Data() const {
        return std::string(reinterpret_cast<const char*>(bytes.data()), raw.dataSize);
    }
    static constexpr uint8_t kGuard = 'G';
    std::vector<uint8_t> bytes;
    size_t size;
    RawRecord raw{};
};

struct DesktopRow {
    int32_t status = kStatusNone;
    bool archived = false;
    bool isPrivate = false;
};

class MemoConverterTest : public ::testing::Test {
protected:
    CMemoRecord NewRow(const std::string& text, DesktopRow state = {}) {
        CMemoRecord row(table_, 0);
        EXPECT_EQ(table_.CreateRecord(row), 0);
        row.SetMemo(text);
        row.SetStatus(state.status);
        row.SetArchiveBit(state.archived ? 1 : 0);
        row.SetPrivate(state.isPrivate ? 1 : 0);
        return row;
    }
    static std::string Memo(const CMemoRecord& row) {
        std::string text;
        EXPECT_EQ(row.GetMemo(text), 0);
        return text;
    }
    static int32_t Status(const CMemoRecord& row) {
        int32_t status = -99;
        EXPECT_EQ(row.GetStatus(status), 0);
        return status;
    }

    CMemoTable table_;
    CMemoConverter converter_;
};

// --- Desktop row -> raw record ---

struct AttributeCase {
    const char* name;
    DesktopRow row;
    uint8_t expected;
};

class ToRawAttributesTest : public MemoConverterTest,
                            public ::testing::WithParamInterface<AttributeCase> {};

TEST_P(ToRawAttributesTest, SetsOnlyTheDescribedBits) {
    const AttributeCase& c = GetParam();
    CMemoRecord row = NewRow("x", c.row);
    RawBuffer buffer(kRecordBufferSize);
    buffer.raw.attributes = 0xFF;  // whatever was there is replaced
    ASSERT_EQ(converter_.ToRawRecord(row, buffer.raw), 0);
    EXPECT_EQ(buffer.raw.attributes, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToRawAttributesTest,
    ::testing::Values(
        AttributeCase{"Unchanged", {kStatusNone, false, false}, 0x00},
        // Both new and edited rows carry the dirty bit to the handheld.
        AttributeCase{"Added", {kStatusAdded, false, false}, 0x40},
        AttributeCase{"Modified", {kStatusModified, false, false}, 0x40},
        AttributeCase{"DeletedArchived", {kStatusDeleted, true, false}, 0x88},
        AttributeCase{"Deleted", {kStatusDeleted, false, false}, 0x80},
        // Pending has no handheld bit of its own.
        AttributeCase{"Pending", {kStatusPending, false, false}, 0x00},
        AttributeCase{"Private", {kStatusNone, false, true}, 0x10},
        AttributeCase{"ModifiedPrivateArchived", {kStatusModified, true, true}, 0x58}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MemoConverterTest, ToRawCarriesIdAndCategory) {
    CMemoRecord row = NewRow("x");
    row.SetRecordId(0x00ABCDEF);
    row.SetCategoryId(7);
    RawBuffer buffer(kRecordBufferSize);
    ASSERT_EQ(converter_.ToRawRecord(row, buffer.raw), 0);
    EXPECT_EQ(tervano::test::Unpacked(buffer.raw.recordId), 0x00ABCDEFu);
    EXPECT_EQ(tervano::test::Unpacked(buffer.raw.category), 7);
}

struct ToRawTextCase {
    const char* name;
    std::string desktop;
    std::string data;  // raw data, NUL included
};

class ToRawTextTest : public MemoConverterTest, public ::testing::WithParamInterface<ToRawTextCase> {};

TEST_P(ToRawTextTest, WritesHandheldTextWithNul) {
    const ToRawTextCase& c = GetParam();
    CMemoRecord row = NewRow(c.desktop);
    // Filled with a non-zero byte, so the NUL must really be written, and nothing after it.
    RawBuffer buffer(kRecordBufferSize, 0xEE);
    ASSERT_EQ(converter_.ToRawRecord(row, buffer.raw), 0);
    EXPECT_EQ(tervano::test::Unpacked(buffer.raw.dataSize), c.data.size());
    EXPECT_EQ(buffer.Data(), c.data);
    EXPECT_EQ(buffer.bytes[c.data.size()], 0xEE) << "wrote past the text's NUL";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToRawTextTest,
    ::testing::Values(
        ToRawTextCase{"CrLf", "a\r\nb", "a\nb\0"s},
        ToRawTextCase{"EmptyMemoIsSizeOne", "", "\0"s},
        ToRawTextCase{"LoneCr", "a\rb", "ab\0"s},
        ToRawTextCase{"CrCrLf", "a\r\r\n", "a\r\n\0"s},
        ToRawTextCase{"NoCr", "plain", "plain\0"s}),
    [](const auto& info) { return std::string(info.param.name); });

// A memo whose handheld form does not fit the record buffer is refused whole: nothing is written,
// nothing is cut, and the buffer is never overrun. The limit is on the translated text, so CR LF
// pairs count once.
TEST_F(MemoConverterTest, ToRawRefusesTextThatDoesNotFitTheBuffer) {
    struct Case {
        const char* name;
        std::string desktop;
        size_t bufferSize;
        bool fits;
    };
    std::string crlfLines;
    for (int i = 0; i < 2000; ++i) crlfLines += "a\r\n";  // 6000 desktop bytes, 4000 on the handheld
    const Case cases[] = {
        {"Exactly fills 4480 with its NUL", std::string(4479, 'x'), kRecordBufferSize, true},
        {"One byte too long for 4480", std::string(4480, 'x'), kRecordBufferSize, false},
        {"Long desktop text, short handheld form", crlfLines, kRecordBufferSize, true},
        {"Too long only after counting its CRs out", std::string(4480, 'x') + "\r\n", kRecordBufferSize, false},
        {"Small buffer, fits", "abc", 4, true},
        {"Small buffer, NUL has no room", "abcd", 4, false},
        {"Zero-size buffer, even the empty memo", "", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoRecord row = NewRow(c.desktop, {kStatusModified, false, false});
        RawBuffer buffer(c.bufferSize, 0xEE);
        EXPECT_EQ(CMemoConverter::FitsHandheldRecord(c.desktop, c.bufferSize), c.fits);
        const int32_t result = converter_.ToRawRecord(row, buffer.raw);
        EXPECT_TRUE(buffer.GuardIntact());
        if (c.fits) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(tervano::test::Unpacked(buffer.raw.dataSize), memotext::HandheldTextLength(c.desktop) + 1);
            EXPECT_EQ(buffer.bytes[buffer.raw.dataSize - 1], 0);
        } else {
            EXPECT_EQ(result, kErrTextTooLong);
            EXPECT_EQ(tervano::test::Unpacked(buffer.raw.dataSize), 0u);
            for (size_t i = 0; i < c.bufferSize; ++i) ASSERT_EQ(buffer.bytes[i], 0xEE) << "byte " << i;
            // The row itself is left alone.
            EXPECT_EQ(Memo(row), c.desktop);
            EXPECT_EQ(Status(row), kStatusModified);
        }
    }
}

TEST_F(MemoConverterTest, ToRawWithoutBufferIsRefused) {
    CMemoRecord row = NewRow("a");
    RawRecord raw{};
    raw.bufferSize = kRecordBufferSize;  // a size but no buffer
    EXPECT_EQ(converter_.ToRawRecord(row, raw), kErrTextTooLong);
    EXPECT_EQ(tervano::test::Unpacked(raw.dataSize), 0u);
}

// --- Raw record -> desktop row ---

struct FromRawCase {
    const char* name;
    uint8_t attributes;
    int32_t status;
    bool archived;
    bool isPrivate;
    bool takesText;
};

class FromRawAttributesTest : public MemoConverterTest,
                              public ::testing::WithParamInterface<FromRawCase> {};

TEST_P(FromRawAttributesTest, SetsStatusFlagsAndText) {
    const FromRawCase& c = GetParam();
    // The row starts with every flag the other way, so each one must really be set.
    CMemoRecord row = NewRow("old text", {kStatusAdded, true, true});
    RawBuffer buffer(kRecordBufferSize);
    std::memcpy(buffer.bytes.data(), "a\nb", 4);
    buffer.raw.dataSize = 4;
    buffer.raw.attributes = c.attributes;
    buffer.raw.recordId = 0x123456;
    buffer.raw.category = 5;

    ASSERT_EQ(converter_.FromRawRecord(row, buffer.raw), 0);
    EXPECT_EQ(Status(row), c.status);
    EXPECT_EQ(row.IsArchived() != 0, c.archived);
    EXPECT_EQ(row.IsPrivate() != 0, c.isPrivate);
    EXPECT_EQ(Memo(row), c.takesText ? "a\r\nb" : "old text");
    uint32_t id = 0;
    int32_t category = -1;
    row.GetRecordId(id);
    row.GetCategoryId(category);
    EXPECT_EQ(id, 0x123456u);
    EXPECT_EQ(category, 5);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FromRawAttributesTest,
    ::testing::Values(
        FromRawCase{"Clean", 0x00, kStatusNone, false, false, true},
        // Busy and the low bits are never read.
        FromRawCase{"OnlyBusy", 0x20, kStatusNone, false, false, true},
        FromRawCase{"LowBits", 0x07, kStatusNone, false, false, true},
        FromRawCase{"Dirty", 0x40, kStatusModified, false, false, true},
        // A deleted record's text is not taken, dirty or not.
        FromRawCase{"Deleted", 0x80, kStatusDeleted, false, false, false},
        FromRawCase{"DeletedDirty", 0xC0, kStatusDeleted, false, false, false},
        FromRawCase{"Private", 0x10, kStatusNone, false, true, true},
        FromRawCase{"Archived", 0x08, kStatusNone, true, false, true},
        FromRawCase{"DeletedArchived", 0x88, kStatusDeleted, true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MemoConverterTest, FromRawSignExtendsTheCategory) {
    CMemoRecord row = NewRow("");
    RawBuffer buffer(8);
    buffer.raw.dataSize = 1;
    buffer.raw.category = -2;
    ASSERT_EQ(converter_.FromRawRecord(row, buffer.raw), 0);
    int32_t category = 0;
    row.GetCategoryId(category);
    EXPECT_EQ(category, -2);
}

TEST_F(MemoConverterTest, RoundTripThroughTheHandheld) {
    CMemoRecord source = NewRow("first\r\nsecond\r\n", {kStatusModified, false, true});
    source.SetCategoryId(3);
    RawBuffer buffer(kRecordBufferSize);
    ASSERT_EQ(converter_.ToRawRecord(source, buffer.raw), 0);
    EXPECT_EQ(buffer.Data(), "first\nsecond\n\0"s);

    CMemoRecord target = NewRow("");
    ASSERT_EQ(converter_.FromRawRecord(target, buffer.raw), 0);
    EXPECT_EQ(Memo(target), "first\r\nsecond\r\n");
    EXPECT_EQ(Status(target), kStatusModified);
    EXPECT_TRUE(target.IsPrivate());
}

// The raw data is read no further than dataSize and bufferSize, with or without a NUL.
TEST_F(MemoConverterTest, FromRawNeverReadsPastTheRecord) {
    struct Case {
        const char* name;
        size_t bufferSize;
        uint32_t dataSize;
        std::string expected;
    };
    const Case cases[] = {
        {"NUL-less data, dataSize is the end", 10, 5, "xxxxx"},
        {"dataSize beyond the buffer, the buffer is the end", 10, 100, "xxxxxxxxxx"},
        {"Nothing at all", 10, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawBuffer buffer(c.bufferSize, 'x');  // no NUL anywhere; the guard after it is 'G'
        buffer.raw.dataSize = c.dataSize;
        CMemoRecord row = NewRow("old");
        ASSERT_EQ(converter_.FromRawRecord(row, buffer.raw), 0);
        EXPECT_EQ(Memo(row), c.expected);
    }
}

// A handheld text whose desktop form does not fit the 8192-byte text buffer arrives whole.
TEST_F(MemoConverterTest, FromRawKeepsHandheldTextsLongerThanTheTextBuffer) {
    struct Case {
        const char* name;
        std::string handheld;
    };
    std::string lines;
    for (int i = 0; i < 3000; ++i) lines += "ab\n";  // 9000 bytes, 12000 on the desktop
    const Case cases[] = {
        // 4095 + 2 x 2048 = 8191 desktop bytes, 8192 with the NUL.
        {"Exactly fills the text buffer with its NUL", std::string(4095, 'y') + std::string(2048, '\n')},
        {"One byte more than the text buffer", std::string(4096, 'y') + std::string(2048, '\n')},
        {"Many lines", lines},
        {"Only line feeds", std::string(20000, '\n')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawBuffer buffer(c.handheld.size() + 1);
        std::memcpy(buffer.bytes.data(), c.handheld.c_str(), c.handheld.size() + 1);
        buffer.raw.dataSize = static_cast<uint32_t>(c.handheld.size() + 1);
        CMemoRecord row = NewRow("");
        ASSERT_EQ(converter_.FromRawRecord(row, buffer.raw), 0);
        const std::string memo = Memo(row);
        EXPECT_EQ(memo, memotext::ToDesktopText(c.handheld));
        EXPECT_EQ(memo.size(), memotext::DesktopTextLength(c.handheld));
    }
    // After a long text the text buffer serves a short one again, with nothing left over.
    RawBuffer shortRecord(8);
    std::memcpy(shortRecord.bytes.data(), "z\n", 3);
    shortRecord.raw.dataSize = 3;
    CMemoRecord row = NewRow("");
    ASSERT_EQ(converter_.FromRawRecord(row, shortRecord.raw), 0);
    EXPECT_EQ(Memo(row), "z\r\n");
}

// The converter also serves cursors of the base kind, reaching the same memo row.
TEST_F(MemoConverterTest, BaseCursorReachesTheMemoRow) {
    CMemoRecord memo = NewRow("a\r\nb", {kStatusNone, false, true});
    CBaseIterator walk(table_);
    CBaseRecord base(table_, 0);
    ASSERT_EQ(walk.FindFirst(base, 0), 0);
    RawBuffer buffer(kRecordBufferSize);
    ASSERT_EQ(converter_.ToRawRecord(base, buffer.raw), 0);
    EXPECT_EQ(buffer.Data(), "a\nb\0"s);
    EXPECT_EQ(buffer.raw.attributes, kRecAttrPrivate);
}

// --- Application info <-> categories ---

std::vector<uint8_t> AppInfo(size_t size = 800, uint8_t fill = 0) { return std::vector<uint8_t>(size, fill); }

void PutName(std::vector<uint8_t>& info, int index, const std::string& name) {
    std::memcpy(info.data() + kAppInfoNamesOffset + 16 * index, name.data(), name.size());
}

AppInfoBlock BlockOver(std::vector<uint8_t>& info) {
    AppInfoBlock block{};
    block.buffer = info.data();
    block.bufferSize = static_cast<uint16_t>(info.size());
    return block;
}

TEST(MemoConverterCategories, ReadTakesEachNamedSlot) {
    std::vector<uint8_t> info = AppInfo();
    info[0] = 0x80;  // bit 15, big-endian
    info[1] = 0x04;  // bit 2
    PutName(info, 0, "Unfiled");
    PutName(info, 1, "Business");
    PutName(info, 2, "Personal");
    info[kAppInfoIdsOffset + 3] = 0x33;  // slot 3 is empty: its id is not a category
    PutName(info, 4, "ABCDEFGHIJKLMNOP");  // 16 bytes, no NUL in the slot
    PutName(info, 15, "Last");
    for (int i = 0; i < 16; ++i)
        if (i != 3) info[kAppInfoIdsOffset + i] = static_cast<uint8_t>(i == 15 ? 0xFE : 10 + i);

    CMemoConverter converter;
    CCategoryMgr categories;
    AppInfoBlock block = BlockOver(info);
    ASSERT_EQ(converter.ReadCategories(block, categories), 0);

    struct Expected {
        int index;
        std::string name;
        int32_t id;
        int32_t dirty;
    };
    const Expected expected[] = {
        {0, "Unfiled", 10, 0}, {1, "Business", 11, 0}, {2, "Personal", 12, 1},
        {4, "ABCDEFGHIJKLMNO", 14, 0}, {15, "Last", 0xFE, 1},
    };
    EXPECT_EQ(categories.GetCount(), 5);
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.index);
        CCategory* category = nullptr;
        ASSERT_EQ(categories.FindIndex(e.index, category), CAT_OK);
        EXPECT_EQ(category->GetName(), e.name);
        EXPECT_EQ(category->GetID(), e.id);
        EXPECT_EQ(category->GetNameDirty(), e.dirty);
    }
    CCategory* none = nullptr;
    EXPECT_EQ(categories.FindIndex(3, none), CAT_NOT_FOUND);
}

TEST(MemoConverterCategories, ReadKeepsCategoryTheManagerAlreadyHolds) {
    std::vector<uint8_t> info = AppInfo();
    PutName(info, 1, "FromHandheld");
    PutName(info, 2, "Other");
    CCategoryMgr categories;
    auto* existing = new CCategory();
    existing->SetIndex(1);
    existing->SetName("Existing");
    ASSERT_EQ(categories.Add(existing), CAT_OK);

    CMemoConverter converter;
    AppInfoBlock block = BlockOver(info);
    ASSERT_EQ(converter.ReadCategories(block, categories), 0);
    CCategory* one = nullptr;
    ASSERT_EQ(categories.FindIndex(1, one), CAT_OK);
    EXPECT_EQ(one->GetName(), "Existing");
    EXPECT_EQ(categories.GetCount(), 2);
}

TEST(MemoConverterCategories, NoBufferIsReported) {
    CMemoConverter converter;
    CCategoryMgr categories;
    AppInfoBlock block{};
    block.bufferSize = 800;
    EXPECT_EQ(converter.ReadCategories(block, categories), kErrAppInfoReadBuffer);
    EXPECT_EQ(converter.WriteCategories(block, categories), kErrAppInfoWriteBuffer);
    EXPECT_EQ(categories.GetCount(), 0);
}

TEST(MemoConverterCategories, WriteRebuildsTheCategoryPartOnly) {
    std::vector<uint8_t> info = AppInfo(800, 0x5A);  // dirty bits, slots and ids all "set" before
    CCategoryMgr categories;
    struct Source {
        int index;
        std::string name;
        int32_t id;
    };
    const Source sources[] = {
        {0, "Unfiled", 0}, {2, "A twenty char name!!", 0x1FF}, {15, "Z", 15},
    };
    for (const Source& s : sources) {
        auto* category = new CCategory();
        category->SetIndex(s.index);
        category->SetName(s.name);
        category->SetID(s.id);
        category->SetNameDirty(1);  // written as 0 all the same
        ASSERT_EQ(categories.Add(category), CAT_OK);
    }

    CMemoConverter converter;
    AppInfoBlock block = BlockOver(info);
    ASSERT_EQ(converter.WriteCategories(block, categories), 0);

    EXPECT_EQ(info[0], 0);
    EXPECT_EQ(info[1], 0);
    auto slot = [&](int i) {
        return std::string(reinterpret_cast<const char*>(info.data() + kAppInfoNamesOffset + 16 * i), 16);
    };
    EXPECT_EQ(slot(0), "Unfiled"s + std::string(9, '\0'));
    EXPECT_EQ(slot(2), "A twenty char n"s + '\0');
    EXPECT_EQ(slot(15), "Z"s + std::string(15, '\0'));
    for (int i : {1, 3, 7, 14}) EXPECT_EQ(slot(i), std::string(16, '\0')) << "slot " << i;
    EXPECT_EQ(info[kAppInfoIdsOffset + 0], 0);
    EXPECT_EQ(info[kAppInfoIdsOffset + 1], 0);
    EXPECT_EQ(info[kAppInfoIdsOffset + 2], 0xFF);
    EXPECT_EQ(info[kAppInfoIdsOffset + 15], 15);
    for (size_t i = kAppInfoCategoryEnd; i < info.size(); ++i) ASSERT_EQ(info[i], 0x5A) << "byte " << i;

    // What was written reads back as the same categories, none name-dirty.
    CCategoryMgr readBack;
    ASSERT_EQ(converter.ReadCategories(block, readBack), 0);
    EXPECT_EQ(readBack.GetCount(), 3);
    CCategory* two = nullptr;
    ASSERT_EQ(readBack.FindIndex(2, two), CAT_OK);
    EXPECT_EQ(two->GetName(), "A twenty char n");
    EXPECT_EQ(two->GetID(), 0xFF);
    EXPECT_EQ(two->GetNameDirty(), 0);
}

// A block shorter than the category part is written only as far as its buffer goes.
TEST(MemoConverterCategories, WriteStaysInsideAShortBuffer) {
    std::vector<uint8_t> info = AppInfo(40, 0x5A);
    info.resize(80, 'G');
    CCategoryMgr categories;
    auto* category = new CCategory();
    category->SetIndex(3);  // slot 3 starts at offset 50, past the buffer
    category->SetName("Beyond");
    ASSERT_EQ(categories.Add(category), CAT_OK);
    CMemoConverter converter;
    AppInfoBlock block = BlockOver(info);
    block.bufferSize = 40;
    ASSERT_EQ(converter.WriteCategories(block, categories), 0);
    for (size_t i = 0; i < 40; ++i) ASSERT_EQ(info[i], 0) << "byte " << i;
    for (size_t i = 40; i < 80; ++i) ASSERT_EQ(info[i], 'G') << "byte " << i;
}

// --- Position map and the base converter ---

TEST(MemoConverterPositionMap, SwapsReturnedIdsWithinTheBuffer) {
    struct Case {
        const char* name;
        uint16_t entriesReturned;
        uint16_t bufferSize;
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"Two of three returned", 2, 12, {0x04030201, 0xDDCCBBAA, 0x11223344}},
        {"Count beyond the buffer", 5, 8, {0x04030201, 0xDDCCBBAA, 0x11223344}},
        {"None returned", 0, 12, {0x01020304, 0xAABBCCDD, 0x11223344}},
    };
    CRecordConverter converter;  // the base does this itself
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> ids = {0x01020304, 0xAABBCCDD, 0x11223344};
        PositionMap map{};
        map.ids = ids.data();
        map.entriesReturned = c.entriesReturned;
        map.bufferSize = c.bufferSize;
        EXPECT_EQ(converter.SwapPositionMap(map), 0);
        EXPECT_EQ(ids, c.expected);
    }
    PositionMap empty{};
    empty.entriesReturned = 3;
    EXPECT_EQ(converter.SwapPositionMap(empty), 0);
}

TEST(MemoConverterBase, RecordAndCategoryOperationsAreNotSupported) {
    CMemoTable table;
    CMemoRecord row(table, 0);
    ASSERT_EQ(table.CreateRecord(row), 0);
    row.SetMemo("kept");
    CRecordConverter converter;
    RawBuffer buffer(16, 0xEE);
    std::vector<uint8_t> info = AppInfo(800, 0x5A);
    AppInfoBlock block = BlockOver(info);
    CCategoryMgr categories;

    EXPECT_EQ(converter.ToRawRecord(row, buffer.raw), kNotSupported);
    EXPECT_EQ(converter.FromRawRecord(row, buffer.raw), kNotSupported);
    EXPECT_EQ(converter.ReadCategories(block, categories), kNotSupported);
    EXPECT_EQ(converter.WriteCategories(block, categories), kNotSupported);
    converter.AfterAppInfoRead(block, &table, 0, 0);
    EXPECT_EQ(buffer.bytes[0], 0xEE);
    EXPECT_EQ(info[0], 0x5A);
    std::string text;
    row.GetMemo(text);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(categories.GetCount(), 0);
}

}  // namespace
