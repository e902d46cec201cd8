// Table files: round trips of every field, missing and refused files (left untouched, the table
// left as it was), failed saves and a crash between write and rename.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "TableStore.h"
#include "TableTestSupport.h"
#include "TempPrefix.h"
#include "synckit/Table.h"

namespace {

namespace fs = std::filesystem;
using tervano::test::AddMemo;
using tervano::test::AllMemos;
using tervano::test::MemoFields;
using tervano::test::TempPrefix;

constexpr const char* kMemoFile = "C:\\Pilot\\Dana\\memopad\\memopad.dat";

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::set<std::string> ListFolder(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

struct CategoryFields {
    int32_t index, id;
    std::string name;
    int32_t dirty;
    bool operator==(const CategoryFields&) const = default;
};

std::ostream& operator<<(std::ostream& os, const CategoryFields& c) {
    return os << "{index " << c.index << ", id " << c.id << ", name \"" << c.name << "\", dirty " << c.dirty << "}";
}

void AddCategory(CBaseTable& table, const CategoryFields& c) {
    auto* category = new CCategory;
    category->SetIndex(c.index);
    category->SetID(c.id);
    category->SetName(c.name);
    category->SetNameDirty(c.dirty);
    ASSERT_EQ(table.GetCategoryManager()->Add(category), CAT_OK);
}

std::vector<CategoryFields> AllCategories(CBaseTable& table) {
    std::vector<CategoryFields> out;
    CCategoryMgr* mgr = table.GetCategoryManager();
    CCategory* c = nullptr;
    for (CatError rc = mgr->FindFirst(c); rc == CAT_OK; rc = mgr->FindNext(c)) {
        out.push_back({c->GetIndex(), c->GetID(), c->GetName(), c->GetNameDirty()});
    }
    return out;
}

std::string EveryByte() {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    return all;
}

// The fields the round trip must keep, at their edges.
const std::vector<MemoFields>& SampleMemos() {
    static const std::vector<MemoFields> memos = {
        {0, kStatusAdded, false, false, 0, 0, "new on the desktop"},
        {0x00FFFFFF, kStatusNone, true, true, 15, 16382, "archived\r\nand private"},
        {0xFFFFFFFF, kStatusModified, false, true, 17, -1, EveryByte()},
        {42, kStatusDeleted, false, false, 3, 7, ""},
        {43, kStatusPending, true, false, -5, 2147483647, std::string(5000, 'x')},
    };
    return memos;
}

const std::vector<CategoryFields>& SampleCategories() {
    static const std::vector<CategoryFields> categories = {
        {0, 0, "Unfiled", 0}, {1, 1, "Business", 1}, {7, 200, "Caf\xE9 \x80\x81", 0}, {15, 255, "", 1},
    };
    return categories;
}

void Fill(CBaseTable& table) {
    for (const MemoFields& m : SampleMemos()) AddMemo(table, m);
    for (const CategoryFields& c : SampleCategories()) AddCategory(table, c);
}

class TableFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = prefix_.MakeDir("drive_c/Pilot/Dana/memopad");
        file_ = folder_ / "memopad.dat";
    }
    void TearDown() override { synckit::gBeforeRenameHook = nullptr; }

    // Saves a table of `count` memos as the memo file and returns its bytes.
    std::string SaveOurs(int count) {
        CMemoTable table;
        for (int i = 0; i < count; ++i) {
            AddMemo(table, {static_cast<uint32_t>(i + 1), kStatusNone, false, false, i % 16, i,
                            "memo " + std::to_string(i) + std::string(200, 'm')});
        }
        AddCategory(table, {0, 0, "Unfiled", 0});
        EXPECT_EQ(table.SaveTo(kMemoFile), 0);
        return ReadBytes(file_);
    }

    // Writes an SQLite file with the given SQL at the memo file's place.
    void MakeSqliteFile(const std::string& sql) {
        fs::remove(file_);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file_.c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
        const std::string message = error != nullptr ? error : "";
        sqlite3_free(error);
        ASSERT_EQ(sqlite3_close(db), SQLITE_OK);
        ASSERT_EQ(rc, SQLITE_OK) << message;
    }

    TempPrefix prefix_;
    fs::path folder_;
    fs::path file_;
};

// Our file layout, as another desktop tool would write it.
const std::string kOurSchema =
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value);"
    "INSERT INTO meta VALUES('format', 'Tervano memo table'), ('schema_version', 1);"
    "CREATE TABLE categories(idx INTEGER PRIMARY KEY, id INTEGER NOT NULL, name TEXT NOT NULL,"
    " name_dirty INTEGER NOT NULL);"
    "CREATE TABLE memos(position INTEGER PRIMARY KEY, record_id INTEGER NOT NULL, status INTEGER NOT NULL,"
    " archived INTEGER NOT NULL, private INTEGER NOT NULL, category INTEGER NOT NULL,"
    " placement INTEGER NOT NULL, text TEXT NOT NULL);";

TEST_F(TableFile, SaveAndOpenKeepEveryFieldEveryByteAndTheCategories) {
    CMemoTable saved;
    Fill(saved);
    ASSERT_EQ(saved.SaveTo(kMemoFile), 0);
    EXPECT_EQ(ListFolder(folder_), std::set<std::string>{"memopad.dat"});  // no temporary left

    const std::string bytes = ReadBytes(file_);
    CMemoTable loaded;
    AddMemo(loaded, {9, kStatusNone, false, false, 0, 0, "replaced by the load"});
    // Windows names: another case finds the same file.
    ASSERT_EQ(loaded.OpenFrom("c:\\PILOT\\dana\\MemoPad\\MEMOPAD.DAT", 0), 0);
    EXPECT_EQ(AllMemos(loaded), SampleMemos());
    EXPECT_EQ(AllCategories(loaded), SampleCategories());
    // Reading changed nothing on disk: no journal, no lock file, the same bytes.
    EXPECT_EQ(ReadBytes(file_), bytes);
    EXPECT_EQ(ListFolder(folder_), std::set<std::string>{"memopad.dat"});
}

TEST_F(TableFile, TextsAreUtf8InTheFileForOtherTools) {
    CMemoTable table;
    AddMemo(table, {1, kStatusNone, false, false, 0, 0, "Caf\xE9 \x80"});
    AddCategory(table, {1, 1, "Priv\xE9", 0});
    ASSERT_EQ(table.SaveTo(kMemoFile), 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    auto single = [db](const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        std::string value(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                          static_cast<std::size_t>(sqlite3_column_bytes(stmt, 0)));
        sqlite3_finalize(stmt);
        return value;
    };
    EXPECT_EQ(single("SELECT text FROM memos"), "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(single("SELECT name FROM categories"), "Priv\xC3\xA9");
    EXPECT_EQ(single("SELECT value FROM meta WHERE key = 'format'"), "Tervano memo table");
    sqlite3_close(db);
}

TEST_F(TableFile, ForeignTextThatWindows1252CannotHoldLoadsWithQuestionMarks) {
    MakeSqliteFile(kOurSchema +
                   "INSERT INTO categories VALUES(1, 9, 'Sixteen or more chars', 0), (2, 10, 'Ny\xC3\xA5 \xE4\xB8\xAD', 1);"
                   "INSERT INTO memos VALUES(5, 77, 0, 0, 0, 1, 0, 'smile \xF0\x9F\x98\x80 caf\xC3\xA9');");
    CMemoTable table;
    ASSERT_EQ(table.OpenFrom(kMemoFile, 0), 0);
    EXPECT_EQ(AllMemos(table), (std::vector<MemoFields>{{77, kStatusNone, false, false, 1, 0, "smile ? caf\xE9"}}));
    EXPECT_EQ(AllCategories(table), (std::vector<CategoryFields>{{1, 9, "Sixteen or more", 0}, {2, 10, "Ny\xE5 ?", 1}}));
}

// Another tool may keep the file in WAL mode; once it has closed the file cleanly, the file loads.
TEST_F(TableFile, FileLeftInWalModeByAnotherToolLoads) {
    MakeSqliteFile("PRAGMA journal_mode=WAL;" + kOurSchema + "INSERT INTO memos VALUES(0, 5, 2, 0, 1, 3, 0, 'from WAL');");
    ASSERT_FALSE(fs::exists(folder_ / "memopad.dat-wal"));
    const std::string before = ReadBytes(file_);
    CMemoTable table;
    ASSERT_EQ(table.OpenFrom(kMemoFile, 0), 0);
    EXPECT_EQ(AllMemos(table), (std::vector<MemoFields>{{5, kStatusModified, false, true, 3, 0, "from WAL"}}));
    EXPECT_EQ(ReadBytes(file_), before);
    EXPECT_EQ(ListFolder(folder_), std::set<std::string>{"memopad.dat"});
}

TEST_F(TableFile, MissingFileGivesNoSuchFileAndAnEmptyTable) {
    CMemoTable table;
    Fill(table);
    EXPECT_EQ(table.OpenFrom(kMemoFile, 0), kTableNoSuchFile);
    EXPECT_EQ(table.GetRecordCount(), 0);
    EXPECT_EQ(table.GetCategoryManager()->GetCount(), 0);
    EXPECT_EQ(table.OpenFrom("C:\\No\\Such\\Folder\\memopad.dat", 0), kTableNoSuchFile);
    EXPECT_FALSE(fs::exists(prefix_.DriveC() / "No"));
    EXPECT_EQ(table.OpenFrom(nullptr, 0), kTableBadArgument);
    EXPECT_EQ(table.SaveTo(""), kTableBadArgument);
}

// A file that is not a whole table of ours: refused with the exact code, the table as it was, the
// file and its folder byte for byte as they were.
TEST_F(TableFile, RefusedFilesLeaveTableAndFileUntouched) {
    const std::string ours = SaveOurs(200);
    ASSERT_GT(ours.size(), 8u * 4096u);
    std::string middlePageSmashed = ours;
    for (std::size_t i = 4096 * 3; i < 4096 * 4; ++i) middlePageSmashed[i] = '\xA5';

    struct Case {
        const char* what;
        std::string bytes;  // the file's bytes, or empty with sql set
        std::string sql;    // an SQLite file made with this SQL
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {"garbage", "This is a text file, not a memo table.\n" + std::string(5000, 'g'), "", kTableDamaged},
        {"empty file", "", "", kTableDamaged},
        {"SQLite magic only", std::string("SQLite format 3\0", 16), "", kTableDamaged},
        {"cut inside the header", ours.substr(0, 60), "", kTableDamaged},
        {"cut after the header", ours.substr(0, 100), "", kTableDamaged},
        {"cut to the first page", ours.substr(0, 4096), "", kTableDamaged},
        {"cut in half", ours.substr(0, ours.size() / 2), "", kTableDamaged},
        {"last page missing", ours.substr(0, ours.size() - 4096), "", kTableDamaged},
        {"last byte missing", ours.substr(0, ours.size() - 1), "", kTableDamaged},
        {"a page overwritten", middlePageSmashed, "", kTableDamaged},
        {"SQLite file of another program", "", "CREATE TABLE contacts(name TEXT); INSERT INTO contacts VALUES('x');",
         kTableDamaged},
        {"empty SQLite file", "", "PRAGMA user_version = 3;", kTableDamaged},
        {"another marker", "", kOurSchema + "UPDATE meta SET value = 'Memo table' WHERE key = 'format';", kTableDamaged},
        {"newer schema version", "", kOurSchema + "UPDATE meta SET value = 2 WHERE key = 'schema_version';",
         kTableDamaged},
        {"version as text", "", kOurSchema + "UPDATE meta SET value = '1' WHERE key = 'schema_version';", kTableDamaged},
        {"no version", "", kOurSchema + "DELETE FROM meta WHERE key = 'schema_version';", kTableDamaged},
        {"memos table missing", "", kOurSchema + "DROP TABLE memos;", kTableDamaged},
        {"invalid status 3", "", kOurSchema + "INSERT INTO memos VALUES(0, 1, 3, 0, 0, 0, 0, 'x');", kTableDamaged},
        {"invalid status 16", "", kOurSchema + "INSERT INTO memos VALUES(0, 1, 16, 0, 0, 0, 0, 'x');", kTableDamaged},
        {"archive flag 2", "", kOurSchema + "INSERT INTO memos VALUES(0, 1, 0, 2, 0, 0, 0, 'x');", kTableDamaged},
        {"negative record id", "", kOurSchema + "INSERT INTO memos VALUES(0, -1, 0, 0, 0, 0, 0, 'x');", kTableDamaged},
        {"record id above 32 bits", "", kOurSchema + "INSERT INTO memos VALUES(0, 4294967296, 0, 0, 0, 0, 0, 'x');",
         kTableDamaged},
        {"text stored as a blob", "", kOurSchema + "INSERT INTO memos VALUES(0, 1, 0, 0, 0, 0, 0, x'4142');",
         kTableDamaged},
        {"status as text", "", kOurSchema + "INSERT INTO memos VALUES(0, 1, 'none', 0, 0, 0, 0, 'x');", kTableDamaged},
        {"category index 16", "", kOurSchema + "INSERT INTO categories VALUES(16, 1, 'x', 0);", kTableDamaged},
        {"category id 256", "", kOurSchema + "INSERT INTO categories VALUES(1, 256, 'x', 0);", kTableDamaged},
        {"two categories at one index", "",
         "CREATE TABLE meta(key, value); INSERT INTO meta VALUES('format', 'Tervano memo table'), ('schema_version', 1);"
         "CREATE TABLE categories(idx, id, name, name_dirty); INSERT INTO categories VALUES(1, 1, 'a', 0), (1, 2, 'b', 0);"
         "CREATE TABLE memos(position, record_id, status, archived, private, category, placement, text);",
         kTableDamaged},
        {"two memos at one position", "",
         "CREATE TABLE meta(key, value); INSERT INTO meta VALUES('format', 'Tervano memo table'), ('schema_version', 1);"
         "CREATE TABLE categories(idx, id, name, name_dirty);"
         "CREATE TABLE memos(position, record_id, status, archived, private, category, placement, text);"
         "INSERT INTO memos VALUES(1, 1, 0, 0, 0, 0, 0, 'a'), (1, 2, 0, 0, 0, 0, 0, 'b');",
         kTableDamaged},
        {"NULL text", "",
         "CREATE TABLE meta(key, value); INSERT INTO meta VALUES('format', 'Tervano memo table'), ('schema_version', 1);"
         "CREATE TABLE categories(idx, id, name, name_dirty);"
         "CREATE TABLE memos(position, record_id, status, archived, private, category, placement, text);"
         "INSERT INTO memos VALUES(1, 1, 0, 0, 0, 0, 0, NULL);",
         kTableDamaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.sql.empty()) {
            WriteBytes(file_, c.bytes);
        } else {
            MakeSqliteFile(c.sql);
        }
        const std::string before = ReadBytes(file_);
        const std::set<std::string> listing = ListFolder(folder_);

        CMemoTable table;
        Fill(table);
        CMemoRecord cursor(table, 0);
        CMemoIterator it(table);
        ASSERT_EQ(it.FindFirst(cursor, 0), 0);
        EXPECT_EQ(table.OpenFrom(kMemoFile, 0), c.expected);
        EXPECT_TRUE(cursor.IsBound());  // nothing was replaced
        EXPECT_EQ(AllMemos(table), SampleMemos());
        EXPECT_EQ(AllCategories(table), SampleCategories());
        EXPECT_EQ(ReadBytes(file_), before);
        EXPECT_EQ(ListFolder(folder_), listing);
    }
}

// A journal beside the file means another program was in the middle of writing it. Rolling it
// back would change the file, ignoring it would read half a change: the file is refused as it is.
TEST_F(TableFile, FileWithAnotherProgramsJournalIsRefusedAndLeftAlone) {
    const std::string ours = SaveOurs(3);
    for (const char* suffix : {"-journal", "-wal"}) {
        SCOPED_TRACE(suffix);
        fs::path journal = file_;
        journal += suffix;
        const std::string journalBytes(2048, '\x5A');
        WriteBytes(journal, journalBytes);
        CMemoTable table;
        Fill(table);
        EXPECT_EQ(table.OpenFrom(kMemoFile, 0), kTableIoError);
        EXPECT_EQ(AllMemos(table), SampleMemos());
        EXPECT_EQ(ReadBytes(file_), ours);
        EXPECT_EQ(ReadBytes(journal), journalBytes);
        fs::remove(journal);
    }
}

TEST_F(TableFile, FolderInPlaceOfTheFileIsAnIoError) {
    fs::create_directory(file_);
    CMemoTable table;
    Fill(table);
    EXPECT_EQ(table.OpenFrom(kMemoFile, 0), kTableIoError);
    EXPECT_EQ(AllMemos(table), SampleMemos());
}

// Every way a save can fail leaves the old file whole and no temporary file behind.
TEST_F(TableFile, FailedSaveLeavesOldFileAndRemovesTheNewOne) {
    const std::string old = SaveOurs(5);
    struct Case {
        const char* what;
        const char* path;
        bool failAtRename;
    };
    const Case cases[] = {
        {"failure just before the rename", kMemoFile, true},
        {"rename onto a folder", "C:\\Pilot\\Dana\\memopad\\folder", false},
        {"folder missing", "C:\\Pilot\\Dana\\nowhere\\memopad.dat", false},
    };
    fs::create_directory(folder_ / "folder");
    fs::create_directory(folder_ / "folder" / "inside");  // a folder that is not empty
    const std::set<std::string> listing = ListFolder(folder_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        static bool sawNewFile;
        sawNewFile = false;
        synckit::gBeforeRenameHook = c.failAtRename ? +[](const fs::path& temp, const fs::path&) {
            sawNewFile = fs::exists(temp);
            return false;
        } : nullptr;
        CMemoTable table;
        Fill(table);
        EXPECT_EQ(table.SaveTo(c.path), kTableIoError);
        EXPECT_EQ(sawNewFile, c.failAtRename);
        EXPECT_EQ(ReadBytes(file_), old);
        EXPECT_EQ(ListFolder(folder_), listing);
        EXPECT_FALSE(fs::exists(prefix_.DriveC() / "Pilot" / "Dana" / "nowhere"));
    }
    synckit::gBeforeRenameHook = nullptr;
    CMemoTable reread;
    EXPECT_EQ(reread.OpenFrom(kMemoFile, 0), 0);
    EXPECT_EQ(reread.GetRecordCount(), 5);
}

// A crash leaves the new file of a save beside the target; the next save removes those of processes
// that are gone and leaves those of a live one (a save in progress) and every other file alone.
TEST_F(TableFile, SaveRemovesTheNewFilesACrashLeftBehind) {
    SaveOurs(2);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string gone = ".memopad.dat.tmp-" + std::to_string(child) + "-0";
    const std::string live = ".memopad.dat.tmp-" + std::to_string(::getppid()) + "-3";
    const std::vector<std::string> kept = {live, ".memopad.dat.tmp-x-1", ".other.dat.tmp-" + std::to_string(child) + "-0",
                                           "notes.txt"};
    for (const std::string& name : kept) std::ofstream(folder_ / name) << "x";
    std::ofstream(folder_ / gone) << "half a file";

    CMemoTable table;
    Fill(table);
    ASSERT_EQ(table.SaveTo(kMemoFile), 0);
    EXPECT_FALSE(fs::exists(folder_ / gone));
    for (const std::string& name : kept) EXPECT_TRUE(fs::exists(folder_ / name)) << name;
}

TEST_F(TableFile, SaveReplacesTheFileAndKeepsItsPermissions) {
    SaveOurs(2);
    ASSERT_EQ(::chmod(file_.c_str(), 0600), 0);
    CMemoTable table;
    Fill(table);
    ASSERT_EQ(table.SaveTo(kMemoFile), 0);
    struct stat st;
    ASSERT_EQ(::stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    CMemoTable reread;
    ASSERT_EQ(reread.OpenFrom(kMemoFile, 0), 0);
    EXPECT_EQ(AllMemos(reread), SampleMemos());
}

// A crash after the new file is written and before it is renamed: a child process saves and is
// killed at the rename point. The memo file must still be the old one, whole, and load; the next
// save must succeed although the dead process's temporary file is still there.
TEST_F(TableFile, CrashBetweenWriteAndRenameLeavesTheOldFileWhole) {
    const std::string old = SaveOurs(50);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        synckit::gBeforeRenameHook = +[](const fs::path&, const fs::path&) {
            ::raise(SIGKILL);
            return true;
        };
        CMemoTable table;
        Fill(table);
        table.SaveTo(kMemoFile);
        ::_exit(3);  // not reached when the hook ran
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child did not die at the rename point";

    EXPECT_EQ(ReadBytes(file_), old);
    CMemoTable reread;
    ASSERT_EQ(reread.OpenFrom(kMemoFile, 0), 0);
    EXPECT_EQ(reread.GetRecordCount(), 50);

    // The leftover is the complete new file the child wrote: the crash really came after the write.
    std::vector<fs::path> leftovers;
    for (const auto& entry : fs::directory_iterator(folder_)) {
        if (entry.path().filename() != "memopad.dat") leftovers.push_back(entry.path());
    }
    ASSERT_EQ(leftovers.size(), 1u);
    synckit::TableRows rows;
    CCategoryMgr categories;
    EXPECT_EQ(synckit::LoadTableFile(leftovers[0], rows, categories), 0);
    EXPECT_EQ(rows.Count(), SampleMemos().size());

    CMemoTable next;
    Fill(next);
    ASSERT_EQ(next.SaveTo(kMemoFile), 0);
    ASSERT_EQ(reread.OpenFrom(kMemoFile, 0), 0);
    EXPECT_EQ(AllMemos(reread), SampleMemos());
}

// Two saves of one target overlap: the second starts while the first one's new file waits for its
// rename. Each needs a new file of its own; both succeed and the later rename wins.
TEST_F(TableFile, OverlappingSavesIntoOneFolderDoNotMeet) {
    CMemoTable a, b;
    AddMemo(a, {1, kStatusNone, false, false, 0, 0, "table A"});
    AddMemo(b, {2, kStatusNone, false, false, 0, 0, "table B"});
    static CMemoTable* inner;
    static int32_t innerResult;
    inner = &b;
    innerResult = -1;
    synckit::gBeforeRenameHook = +[](const fs::path&, const fs::path&) {
        if (inner == nullptr) return true;
        CMemoTable* table = inner;
        inner = nullptr;
        innerResult = table->SaveTo(kMemoFile);
        return true;
    };
    ASSERT_EQ(a.SaveTo(kMemoFile), 0);
    synckit::gBeforeRenameHook = nullptr;
    EXPECT_EQ(innerResult, 0);
    EXPECT_EQ(ListFolder(folder_), std::set<std::string>{"memopad.dat"});
    CMemoTable reread;
    ASSERT_EQ(reread.OpenFrom(kMemoFile, 0), 0);
    EXPECT_EQ(AllMemos(reread), (std::vector<MemoFields>{{1, kStatusNone, false, false, 0, 0, "table A"}}));
}

}  // namespace
