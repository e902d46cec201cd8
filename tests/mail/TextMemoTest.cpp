// Writing a text as a new memo in the incoming category: the record's fields, the category lookup,
// the buffer bound, and how each write failure is reported.
#include "MailFixture.h"

#include "mail/MailLog.h"
#include "mail/TextMemo.h"

namespace {

using mailtest::MailFixture;

class WriteTextMemoTest : public MailFixture {
protected:
    void SetUp() override {
        Install("");
        ASSERT_EQ(ReadMailSettings(), 0);  // DefaultInboxName "Inbox", the HotSync texts
        db_ = OpenMemoDatabase();
        AddCategory(0, "Unfiled");
        AddCategory(3, "Inbox");
        AddCategory(4, "Inbox2");
    }
    MailMemoTarget Target() { return {&categories_, db_}; }
    uint8_t db_ = 0;
};

TEST_F(WriteTextMemoTest, WritesANewRecordWithoutCarriageReturns) {
    EXPECT_EQ(WriteTextMemo(Target(), "Line one\r\nLine two\r\n\rend"), 0);
    ASSERT_EQ(MemoDb().records.size(), 1u);
    const synckit::HandheldRecord& record = MemoDb().records[0];
    EXPECT_EQ(record.data, std::string("Line one\nLine two\nend") + '\0');  // size = length + 1
    EXPECT_EQ(record.category, 3);
    EXPECT_EQ(record.attributes, 0);
    EXPECT_NE(record.id, 0u);                 // id 0 asked for a new record
    EXPECT_EQ(Mail().InboxCategoryIndex, 3);
    ASSERT_EQ(handheld_.Calls().size(), 1u);
    EXPECT_EQ(handheld_.Calls()[0].op, synckit::SyncOp::WriteRec);
    EXPECT_EQ(handheld_.Calls()[0].dbHandle, db_);
    EXPECT_EQ(handheld_.Calls()[0].recordId, 0u);
    EXPECT_TRUE(log_.Entries().empty());
}

TEST_F(WriteTextMemoTest, KnownCategoryIndexIsNotLookedUpAgain) {
    Mail().InboxCategoryIndex = 4;  // set by a receive pass from InboxName
    EXPECT_EQ(WriteTextMemo(MailMemoTarget{nullptr, db_}, "text"), 0);
    ASSERT_EQ(MemoDb().records.size(), 1u);
    EXPECT_EQ(MemoDb().records[0].category, 4);
}

TEST_F(WriteTextMemoTest, NoIncomingCategoryWritesAndLogsNothing) {
    struct Case {
        const char* name;
        std::string defaultInboxName;
        bool withCategories;
    };
    const Case cases[] = {
        {"no category of that name", "Post", true},
        {"an empty name names no category", "", true},
        {"a prefix of a name is no match", "Inb", true},
        {"no category list", "Inbox", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Mail().InboxCategoryIndex = kCategoryIndexUnknown;
        Mail().texts.DefaultInboxName = c.defaultInboxName;
        MailMemoTarget target{c.withCategories ? &categories_ : nullptr, db_};
        EXPECT_EQ(WriteTextMemo(target, "text"), -1);
        EXPECT_EQ(Mail().InboxCategoryIndex, kCategoryIndexUnknown);
    }
    EXPECT_TRUE(log_.Entries().empty());
    EXPECT_TRUE(handheld_.Calls().empty());
}

TEST_F(WriteTextMemoTest, FailuresAreReportedByKind) {
    struct Case {
        const char* name;
        int32_t code;
        const char* logged;
    };
    const Case cases[] = {
        {"full handheld: the fixed text", kSyncErrMemoryFull,
         "Tervano Mail: Your Pilot is full.  Please free up some space and HotSync again."},
        {"other failure: the HotSync text of the string file", kSyncErrFailed, "Tervano Mail: Pilot refused (1)"},
        {"no storage: the HotSync text too", kSyncErrNoSpace, "Tervano Mail: "},  // key 19 is not in this file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log_.Clear();
        handheld_.Faults().everyCallOf = {{synckit::SyncOp::WriteRec, c.code}};
        EXPECT_EQ(WriteTextMemo(Target(), "text"), c.code);
        ASSERT_EQ(log_.Entries().size(), 1u);
        EXPECT_EQ(log_.Entries()[0], (synckit::LogEntry{c.logged, -1, 0}));
    }
    EXPECT_TRUE(MemoDb().records.empty());
}

// The record buffer is 4480 bytes for the default memo limit and as large as the limit above it;
// a longer text is cut so that it and its NUL fit, never written past the buffer.
TEST_F(WriteTextMemoTest, LongTextIsCutToTheRecordBuffer) {
    struct Case {
        int32_t memoLimit;
        size_t textLength;
        size_t storedLength;
    };
    const Case cases[] = {
        {4090, 4479, 4479},
        {4090, 4480, 4479},
        {4090, 9000, 4479},
        {28672, 20000, 20000},  // an incoming message of the large limit fits whole
        {28672, 30000, 28671},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.memoLimit) + " " + std::to_string(c.textLength));
        const size_t before = MemoDb().records.size();
        Mail().MemoLimit = c.memoLimit;
        EXPECT_EQ(WriteTextMemo(Target(), std::string(c.textLength, 'm')), 0);
        ASSERT_EQ(MemoDb().records.size(), before + 1);
        EXPECT_EQ(MemoDb().records.back().data, std::string(c.storedLength, 'm') + '\0');
    }
}

TEST_F(WriteTextMemoTest, CarriageReturnsDoNotCountAgainstTheBuffer) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "a\r";
    EXPECT_EQ(WriteTextMemo(Target(), text), 0);
    ASSERT_EQ(MemoDb().records.size(), 1u);
    EXPECT_EQ(MemoDb().records[0].data, std::string(3000, 'a') + '\0');
}

TEST_F(WriteTextMemoTest, TextEndsAtItsFirstNul) {
    EXPECT_EQ(WriteTextMemo(Target(), std::string_view("ab\0cd", 5)), 0);
    ASSERT_EQ(MemoDb().records.size(), 1u);
    EXPECT_EQ(MemoDb().records[0].data, std::string("ab") + '\0');
}

// A new exchange may see another handheld: the index found at the last one is not trusted.
TEST_F(WriteTextMemoTest, SessionScopeForgetsTheIndexOfTheLastExchange) {
    Mail().InboxCategoryIndex = 9;
    {
        MailSessionScope scope(Target());
        EXPECT_EQ(Mail().InboxCategoryIndex, kCategoryIndexUnknown);
        EXPECT_EQ(CurrentMailTarget()->dbHandle, db_);
        {
            MailSessionScope inner(MailMemoTarget{nullptr, 77});
            EXPECT_EQ(CurrentMailTarget()->dbHandle, 77);
        }
        EXPECT_EQ(CurrentMailTarget()->dbHandle, db_);
        EXPECT_EQ(WriteTextMemo(*CurrentMailTarget(), "x"), 0);
        EXPECT_EQ(MemoDb().records[0].category, 3);
    }
    EXPECT_EQ(CurrentMailTarget(), nullptr);
}

}  // namespace
