// The memo session's database operations against the in-memory handheld and a temporary prefix:
// opening or creating the handheld database, the desktop-side tables, copying rows, writing rows to
// the handheld, and the log texts for a record and for the conduit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "TempPrefix.h"
#include "memo/MemoConverter.h"
#include "resources/StringTable.h"
#include "session/MemoMonitor.h"
#include "session/ResultCodes.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/SyncMgr.h"
#include "synckit/Table.h"
#include "win/Module.h"
#include "win/Paths.h"

namespace {

using namespace std::string_literals;
using synckit::MemoryHandheld;
using synckit::SyncOp;

constexpr uint32_t kMemoCreator = 0x6D656D6F;  // 'memo'
constexpr uint32_t kDataType = 0x44415441;     // 'DATA'

// The session with its members in reach of the test.
class TestMonitor : public CMemoMonitor {
public:
    using CMemoMonitor::CMemoMonitor;
    using CSyncMonitor::archiveExtension_;
    using CSyncMonitor::archiveTable_;
    using CSyncMonitor::backupTable_;
    using CSyncMonitor::dbHandle_;
    using CSyncMonitor::desktopTable_;
    using CSyncMonitor::factoryTable_;
};

class MemoDatabasesTest : public ::testing::Test {
protected:
    MemoDatabasesTest() : attach_(handheld_) {}

    // Properties as the sync host fills them from the conduit's registration.
    HotSyncProperties Properties(int32_t syncType, const char* databaseName = "MemoDB") {
        HotSyncProperties p{};
        p.syncType = syncType;
        std::strcpy(p.desktopDirectory, "C:\\Pilot\\User\\memopad\\");
        std::strcpy(p.desktopFileName, "memopad.dat");
        databaseName_ = databaseName;
        p.databaseNames[0] = databaseName_.data();
        p.creator = kMemoCreator;
        p.creationByte = 0x1280;  // only its low byte goes into the create block
        p.databaseType = kDataType;
        return p;
    }
    std::unique_ptr<TestMonitor> Monitor(int32_t syncType, const char* databaseName = "MemoDB") {
        return std::make_unique<TestMonitor>(nullptr, Properties(syncType, databaseName), &moduleTag_);
    }
    static std::string DesktopFile() { return "C:\\Pilot\\User\\memopad\\memopad.dat"; }
    // A desktop memo file with the given texts, written through the table library.
    void WriteDesktopFile(std::initializer_list<const char*> texts) {
        std::filesystem::create_directories(win::HostPath("C:\\Pilot\\User\\memopad"));
        CMemoTable table;
        for (const char* text : texts) {
            CMemoRecord row(table, 0);
            ASSERT_EQ(table.CreateRecord(row), 0);
            row.SetMemo(text);
        }
        ASSERT_EQ(table.SaveTo(DesktopFile().c_str()), 0);
    }

    tervano::test::TempPrefix prefix_;
    MemoryHandheld handheld_;
    synckit::ScopedHandheld attach_;
    std::string databaseName_;
    static inline const char moduleTag_ = 0;  // the session's module handle in these tests
};

// --- OpenHandheldDatabase ---

TEST_F(MemoDatabasesTest, OpensAnExistingDatabaseReadWriteOnCardZero) {
    handheld_.AddDatabase("MemoDB", kMemoCreator, kDataType);
    for (int32_t syncType : {0, 1, 2, 3}) {
        SCOPED_TRACE(syncType);
        handheld_.ClearCalls();
        auto monitor = Monitor(syncType);
        ASSERT_EQ(monitor->OpenHandheldDatabase(), 0);
        ASSERT_FALSE(handheld_.Openings().empty());
        const synckit::DatabaseOpening& opening = handheld_.Openings().back();
        EXPECT_EQ(opening.name, "MemoDB");
        EXPECT_EQ(opening.cardNumber, 0);
        EXPECT_EQ(opening.mode, kOpenModeReadWrite);
        EXPECT_FALSE(opening.created);
        EXPECT_EQ(monitor->dbHandle_, opening.dbHandle);
        EXPECT_NE(monitor->factoryTable_, nullptr);
        EXPECT_EQ(handheld_.CountCalls(SyncOp::CreateDB), 0u);
        ASSERT_EQ(SyncCloseDB(monitor->dbHandle_), 0);
    }
}

// A copy from the handheld must not invent a handheld database: it answers 16387 and creates none.
TEST_F(MemoDatabasesTest, HandheldToDesktopWithoutDatabaseCreatesNothing) {
    auto monitor = Monitor(2);
    EXPECT_EQ(monitor->OpenHandheldDatabase(), kSyncErrNotFound);
    EXPECT_EQ(handheld_.CountCalls(SyncOp::OpenDB), 1u);
    EXPECT_EQ(handheld_.CountCalls(SyncOp::CreateDB), 0u);
    EXPECT_TRUE(handheld_.Databases().empty());
    EXPECT_EQ(monitor->factoryTable_, nullptr);
}

// Every other sync type creates the missing database from the properties.
TEST_F(MemoDatabasesTest, MissingDatabaseIsCreatedFromTheProperties) {
    struct Case {
        int32_t syncType;
        const char* name;
        const char* created;  // the name the handheld receives
    };
    const Case cases[] = {
        {3, "MemoDB", "MemoDB"},
        {0, "MemoDB", "MemoDB"},
        {1, "MemoDB", "MemoDB"},
        // The create block holds 31 characters and the NUL.
        {3, "A database name of forty characters long", "A database name of forty charac"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.syncType) + " " + c.name);
        handheld_.Databases().clear();
        handheld_.ClearCalls();
        auto monitor = Monitor(c.syncType, c.name);
        ASSERT_EQ(monitor->OpenHandheldDatabase(), 0);
        EXPECT_EQ(handheld_.CountCalls(SyncOp::CreateDB), 1u);
        const synckit::HandheldDatabase* db = handheld_.FindDatabase(c.created);
        ASSERT_NE(db, nullptr);
        EXPECT_EQ(db->creator, kMemoCreator);
        EXPECT_EQ(db->flags, 0u);
        EXPECT_EQ(db->cardByte, 0x80);
        EXPECT_EQ(db->type, kDataType);
        ASSERT_FALSE(handheld_.Openings().empty());
        EXPECT_TRUE(handheld_.Openings().back().created);
        EXPECT_EQ(monitor->dbHandle_, handheld_.Openings().back().dbHandle);
        EXPECT_NE(monitor->factoryTable_, nullptr);
        ASSERT_EQ(SyncCloseDB(monitor->dbHandle_), 0);
    }
}

TEST_F(MemoDatabasesTest, OpenAndCreateFailuresPassThrough) {
    struct Case {
        const char* name;
        bool exists;
        SyncOp failing;
        int32_t code;
        size_t creates;
    };
    const Case cases[] = {
        {"Create refused", false, SyncOp::CreateDB, kSyncErrNoSpace, 1},
        {"Open fails otherwise, no create", true, SyncOp::OpenDB, kSyncErrLinkLost, 0},
        {"Open fails on a missing database with another code", false, SyncOp::OpenDB, kSyncErrFailed, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        handheld_.Databases().clear();
        if (c.exists) handheld_.AddDatabase("MemoDB", kMemoCreator, kDataType);
        handheld_.ClearCalls();
        handheld_.Faults() = {};
        handheld_.Faults().everyCallOf.push_back({c.failing, c.code});
        auto monitor = Monitor(3);
        EXPECT_EQ(monitor->OpenHandheldDatabase(), c.code);
        EXPECT_EQ(handheld_.CountCalls(SyncOp::CreateDB), c.creates);
        EXPECT_EQ(handheld_.OpenCount(), 0u);
        EXPECT_EQ(monitor->factoryTable_, nullptr);
    }
}

// --- OpenDesktopTables ---

TEST_F(MemoDatabasesTest, TablesPerSyncTypeWithoutDesktopFile) {
    struct Case {
        int32_t syncType;
        bool backup;
    };
    for (const Case c : {Case{0, true}, Case{1, true}, Case{2, false}, Case{3, false}}) {
        SCOPED_TRACE(c.syncType);
        auto monitor = Monitor(c.syncType);
        // No desktop file yet: the load answers "no such file" and the table starts empty.
        ASSERT_EQ(monitor->OpenDesktopTables(), 0);
        ASSERT_NE(monitor->desktopTable_, nullptr);
        EXPECT_EQ(monitor->desktopTable_->GetRecordCount(), 0);
        ASSERT_NE(monitor->archiveTable_, nullptr);
        EXPECT_EQ(monitor->archiveTable_->GetRecordCount(), 0);
        EXPECT_STREQ(monitor->archiveExtension_, ".MPA");
        EXPECT_EQ(monitor->backupTable_ != nullptr, c.backup);
        if (c.backup) {
            EXPECT_EQ(monitor->backupTable_->GetRecordCount(), 0);
        }
    }
}

TEST_F(MemoDatabasesTest, DesktopFileIsLoadedExceptForHandheldToDesktop) {
    WriteDesktopFile({"first", "second"});
    for (const auto& [syncType, rows] : {std::pair{0, 2}, std::pair{1, 2}, std::pair{3, 2}, std::pair{2, 0}}) {
        SCOPED_TRACE(syncType);
        auto monitor = Monitor(syncType);
        ASSERT_EQ(monitor->OpenDesktopTables(), 0);
        EXPECT_EQ(monitor->desktopTable_->GetRecordCount(), rows);
    }
    // The file sits at the directory followed directly by the file name.
    EXPECT_TRUE(std::filesystem::exists(prefix_.DriveC() / "Pilot/User/memopad/memopad.dat"));
}

TEST_F(MemoDatabasesTest, DamagedDesktopFileIsRefused) {
    const std::filesystem::path dir = prefix_.MakeDir("drive_c/Pilot/User/memopad");
    std::ofstream(dir / "memopad.dat") << "not a memo file at all, just text";
    auto monitor = Monitor(0);
    EXPECT_EQ(monitor->OpenDesktopTables(), kErrDesktopTable);
    EXPECT_EQ(monitor->archiveTable_, nullptr);
    EXPECT_EQ(monitor->backupTable_, nullptr);

    // A handheld-to-desktop copy never reads the file, so it is not refused.
    auto copy = Monitor(2);
    EXPECT_EQ(copy->OpenDesktopTables(), 0);
}

// --- AppendRecordToTable and CreateTable ---

TEST_F(MemoDatabasesTest, AppendCopiesTheRowIntoTheTable) {
    auto monitor = Monitor(0);
    CMemoTable source;
    CMemoRecord row(source, 0);
    ASSERT_EQ(source.CreateRecord(row), 0);
    row.SetMemo("to the archive");
    row.SetRecordId(0x4711);
    row.SetCategoryId(4);

    CBaseTable* target = nullptr;
    ASSERT_EQ(monitor->CreateTable(target), 0);
    ASSERT_NE(target, nullptr);
    std::unique_ptr<CBaseTable> owned(target);
    EXPECT_EQ(target->GetRecordCount(), 0);

    ASSERT_EQ(monitor->AppendRecordToTable(row, target), 0);
    ASSERT_EQ(target->GetRecordCount(), 1);
    CBaseIterator walk(*target);
    CMemoRecord copy(*target, 0);
    ASSERT_EQ(walk.FindFirst(copy, 0), 0);
    EXPECT_NE(copy.HasSameContent(row), 0);
    uint32_t id = 0;
    copy.GetRecordId(id);
    EXPECT_EQ(id, 0x4711u);
    EXPECT_EQ(source.GetRecordCount(), 1);  // the source row stays

    EXPECT_EQ(monitor->AppendRecordToTable(row, nullptr), kErrAppendRecord);
    CMemoRecord unbound(source, 0);  // bound to no row: the table refuses the copy
    EXPECT_EQ(monitor->AppendRecordToTable(unbound, target), kErrAppendRecord);
    EXPECT_EQ(target->GetRecordCount(), 1);
}

// --- Writing rows to the handheld ---

class MemoWriteTest : public MemoDatabasesTest {
protected:
    void SetUp() override {
        handheld_.AddDatabase("MemoDB", kMemoCreator, kDataType);
        monitor_ = Monitor(0);
        ASSERT_EQ(monitor_->OpenHandheldDatabase(), 0);
        ASSERT_EQ(monitor_->OpenDesktopTables(), 0);
        handheld_.ClearCalls();
    }
    CMemoRecord Row(const std::string& text, int32_t status, uint32_t id = 0) {
        CMemoRecord row(*monitor_->desktopTable_, 0);
        EXPECT_EQ(monitor_->desktopTable_->CreateRecord(row), 0);
        row.SetMemo(text);
        row.SetStatus(status);
        row.SetRecordId(id);
        return row;
    }
    static uint32_t IdOf(const CMemoRecord& row) {
        uint32_t id = 0xFFFFFFFF;
        row.GetRecordId(id);
        return id;
    }
    synckit::HandheldDatabase& Db() { return *handheld_.FindDatabase("MemoDB"); }

    std::unique_ptr<TestMonitor> monitor_;
};

TEST_F(MemoWriteTest, NewRecordTakesTheHandheldAssignedId) {
    handheld_.SetNextUniqueId(0x00700001);
    CMemoRecord row = Row("a\r\nb", kStatusAdded);
    row.SetCategoryId(2);
    ASSERT_EQ(monitor_->WriteNewHandheldRecord(row), 0);
    EXPECT_EQ(IdOf(row), 0x00700001u);
    ASSERT_EQ(Db().records.size(), 1u);
    const synckit::HandheldRecord& written = Db().records[0];
    EXPECT_EQ(written.id, 0x00700001u);
    EXPECT_EQ(written.data, "a\nb\0"s);
    EXPECT_EQ(written.attributes & 0xD8, kRecAttrDirty);
    EXPECT_EQ(written.category, 2);
}

TEST_F(MemoWriteTest, FailedWritesLeaveTheRowAsItWas) {
    struct Case {
        const char* name;
        bool changed;  // WriteChangedHandheldRecord, else WriteNewHandheldRecord
        uint32_t id;
    };
    const Case cases[] = {{"New record", false, 0}, {"Changed record", true, 0x00400123}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        handheld_.Faults() = {};
        handheld_.Faults().everyCallOf.push_back({SyncOp::WriteRec, kSyncErrMemoryFull});
        CMemoRecord row = Row("text", c.changed ? kStatusModified : kStatusAdded, c.id);
        const int32_t result =
            c.changed ? monitor_->WriteChangedHandheldRecord(row) : monitor_->WriteNewHandheldRecord(row);
        EXPECT_EQ(result, kSyncErrMemoryFull);
        EXPECT_EQ(IdOf(row), c.id);
        EXPECT_TRUE(Db().records.empty());
    }
}

TEST_F(MemoWriteTest, ChangedRecordReplacesTheHandheldRecord) {
    const uint32_t id = handheld_.AddRecord(Db(), "old\0"s, 0, 0);
    const uint32_t other = handheld_.AddRecord(Db(), "other\0"s, 0, 0);
    CMemoRecord row = Row("new\r\ntext", kStatusModified, id);
    ASSERT_EQ(monitor_->WriteChangedHandheldRecord(row), 0);
    EXPECT_EQ(IdOf(row), id);
    ASSERT_EQ(Db().records.size(), 2u);
    for (const synckit::HandheldRecord& record : Db().records) {
        if (record.id == id) {
            EXPECT_EQ(record.data, "new\ntext\0"s);
        } else {
            EXPECT_EQ(record.id, other);
            EXPECT_EQ(record.data, "other\0"s);
        }
    }
    ASSERT_EQ(handheld_.CountCalls(SyncOp::WriteRec), 1u);
    EXPECT_EQ(handheld_.Calls().back().recordId, id);
}

// A memo whose handheld form does not fit a record buffer is given up with 4111: nothing reaches
// the handheld, and the row keeps its text, status and id for the next sync.
TEST_F(MemoWriteTest, OverlongMemoIsNotWritten) {
    const std::string text(kRecordBufferSize, 'x');  // 4480 characters and a NUL do not fit
    for (bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "changed" : "new");
        const uint32_t id = changed ? 0x00400200 : 0;
        CMemoRecord row = Row(text, changed ? kStatusModified : kStatusAdded, id);
        const int32_t result =
            changed ? monitor_->WriteChangedHandheldRecord(row) : monitor_->WriteNewHandheldRecord(row);
        EXPECT_EQ(result, kErrToHandheldRecord);
        EXPECT_EQ(handheld_.CountCalls(SyncOp::WriteRec), 0u);
        EXPECT_TRUE(Db().records.empty());
        std::string kept;
        row.GetMemo(kept);
        EXPECT_EQ(kept, text);
        int32_t status = -1;
        row.GetStatus(status);
        EXPECT_EQ(status, changed ? kStatusModified : kStatusAdded);
        EXPECT_EQ(IdOf(row), id);
    }
    // One character less fits exactly.
    CMemoRecord fits = Row(std::string(kRecordBufferSize - 1, 'y'), kStatusAdded);
    ASSERT_EQ(monitor_->WriteNewHandheldRecord(fits), 0);
    ASSERT_EQ(Db().records.size(), 1u);
    EXPECT_EQ(Db().records[0].data.size(), kRecordBufferSize);
}

// --- Texts for the log ---

TEST_F(MemoDatabasesTest, RecordDataLineIsSevenBlanksAndSeventyBytes) {
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred.push_back(static_cast<char>('0' + i % 10));
    struct Case {
        const char* name;
        std::string memo;
        size_t size;
        std::string expected;
    };
    const Case cases[] = {
        {"A memo of 100 characters", hundred, 128, "       " + hundred.substr(0, 70)},
        {"Short memo, line break kept", "a\r\nb", 128, "       a\r\nb"},
        {"Empty memo", "", 128, "       "},
        {"Small buffer", hundred, 10, "       01"},
    };
    auto monitor = Monitor(0);
    CMemoTable table;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoRecord row(table, 0);
        ASSERT_EQ(table.CreateRecord(row), 0);
        row.SetMemo(c.memo);
        char buffer[128];
        std::memset(buffer, 'Z', sizeof buffer);
        monitor->LogRecordData(row, buffer, c.size);
        EXPECT_EQ(std::string(buffer), c.expected);
        // Nothing after the NUL is touched: at most 78 bytes of the 128 are used.
        for (size_t i = c.expected.size() + 1; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 'Z') << "byte " << i;
    }
}

TEST_F(MemoDatabasesTest, DisplayNameComesFromTheModulesStrings) {
    win::RegisterStringTable(&moduleTag_, ConduitStrings(), ConduitStringCount());
    auto monitor = Monitor(0);
    struct Case {
        size_t size;
        const char* expected;
    };
    // The size counts with its low 16 bits only.
    for (const Case c : {Case{40, "Memo Pad"}, Case{5, "Memo"}, Case{0x10000 + 5, "Memo"}}) {
        SCOPED_TRACE(c.size);
        char buffer[64];
        std::memset(buffer, 'Z', sizeof buffer);
        monitor->GetDisplayName(buffer, c.size);
        EXPECT_STREQ(buffer, c.expected);
    }
    win::UnregisterStringTable(&moduleTag_);
}

}  // namespace
