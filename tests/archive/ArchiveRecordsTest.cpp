// Archiving over a real memo session: the archive table's rows distributed into one archive file per
// category beside the desktop memo file, each file loaded, purged of deleted rows, extended and saved
// once; failures that leave the files as they were and keep the records that were not archived.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../tables/TableTestSupport.h"
#include "AppInfoBuilder.h"
#include "MemoSessionSupport.h"
#include "session/Conduit.h"
#include "synckit/HotSyncLog.h"
#include "synckit/MemoryHandheld.h"

namespace {

using tervano::test::AddMemo;
using tervano::test::AllMemos;
using tervano::test::CategoryFields;
using tervano::test::MemoFields;
using tervano::test::OpenMemoMonitor;
using Memos = std::vector<MemoFields>;

constexpr char kDesktopDir[] = "C:\\Users\\Ann\\memopad\\";

// A row as the archive table holds it: AppendRecord has set status none and cleared the flag.
MemoFields Archived(const std::string& text, int32_t category, uint32_t id = 0) {
    MemoFields m;
    m.id = id;
    m.category = category;
    m.text = text;
    return m;
}
// The same row as an archive file stores it.
MemoFields Stored(const std::string& text, uint32_t id = 0) { return Archived(text, 0, id); }

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ArchiveFixture : public session_test::SessionFixture {
protected:
    ArchiveFixture() : session(session_test::MemoProperties(0)) {
        session.Open();
        tervano::test::AddCategories(*session.desktopCategories_,
                                     {{0, 0, "Unfiled"}, {2, 12, "Business"}, {5, 15, "Personal"}});
    }

    void AddArchived(const Memos& rows) {
        for (const MemoFields& m : rows) AddMemo(*session.archiveTable_, m);
    }
    std::filesystem::path HostFile(const std::string& name) const {
        return prefix.DriveC() / "Users/Ann/memopad" / name;
    }
    // The rows of an archive file of the desktop folder, loaded by the table library.
    Memos ArchiveFile(const std::string& name) {
        CMemoTable table;
        EXPECT_EQ(table.OpenFrom((kDesktopDir + name).c_str(), 0), 0) << name;
        return AllMemos(table);
    }
    std::vector<std::string> FolderFiles() const {
        std::vector<std::string> out;
        for (const auto& entry : std::filesystem::directory_iterator(prefix.DriveC() / "Users/Ann/memopad")) {
            out.push_back(entry.path().filename().string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    // Writes an archive file of the desktop folder with these rows.
    void WriteArchiveFile(const std::string& name, const Memos& rows) {
        CMemoTable table;
        for (const MemoFields& m : rows) AddMemo(table, m);
        ASSERT_EQ(table.SaveTo((kDesktopDir + name).c_str()), 0);
    }

    OpenMemoMonitor session;
};

TEST_F(ArchiveFixture, EmptyArchiveTableTouchesNoFile) {
    WriteArchiveFile("Business.MPA", {Stored("old")});
    const std::string before = ReadBytes(HostFile("Business.MPA"));

    EXPECT_EQ(session.ArchiveRecords(), 0);
    EXPECT_EQ(session.createTableCalls, 0);
    EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"Business.MPA"}));
    EXPECT_EQ(ReadBytes(HostFile("Business.MPA")), before);
}

TEST_F(ArchiveFixture, RowsGoToTheFileOfTheirCategoryEachFileOnce) {
    AddArchived({Archived("p1", 5, 0x400001), Archived("b1", 2), Archived("p2", 5), Archived("b2", 2)});

    EXPECT_EQ(session.ArchiveRecords(), 0);
    EXPECT_EQ(session.createTableCalls, 2);  // one table, loaded once and saved once, per file
    EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"Business.MPA", "Personal.MPA"}));
    EXPECT_EQ(ArchiveFile("Business.MPA"), (Memos{Stored("b1"), Stored("b2")}));
    EXPECT_EQ(ArchiveFile("Personal.MPA"), (Memos{Stored("p1", 0x400001), Stored("p2")}));
    EXPECT_EQ(session.desktopTable_->GetRecordCount(), 0);
}

TEST_F(ArchiveFixture, CategoryIndexChoosesTheFileName) {
    struct Case {
        const char* name;
        int32_t category;
        bool desktopHasUnfiled;
        const char* file;
    } cases[] = {
        {"index 0", 0, true, "Unfiled.MPA"},
        {"index above 15 counts as 0", 17, true, "Unfiled.MPA"},
        {"negative index counts as 0", -3, true, "Unfiled.MPA"},
        {"index missing from the desktop list", 9, true, "Unfiled.MPA"},
        {"index 0 missing from the desktop list", 0, false, "Unfiled.MPA"},
        {"named category", 2, true, "Business.MPA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(HostFile(""));
        prefix.MakeDir("drive_c/Users/Ann/memopad");
        session.archiveTable_->PurgeAllRecords();
        if (!c.desktopHasUnfiled) session.desktopCategories_->Delete(0);
        AddArchived({Archived("memo", c.category)});

        EXPECT_EQ(session.ArchiveRecords(), 0);
        EXPECT_EQ(FolderFiles(), (std::vector<std::string>{c.file}));
        EXPECT_EQ(ArchiveFile(c.file), (Memos{Stored("memo")}));
    }
}

TEST_F(ArchiveFixture, OutOfRangeIndexJoinsTheRowsOfIndexZero) {
    AddArchived({Archived("zero", 0), Archived("seventeen", 17), Archived("business", 2)});

    EXPECT_EQ(session.ArchiveRecords(), 0);
    const Memos unfiled = ArchiveFile("Unfiled.MPA");
    EXPECT_EQ(unfiled.size(), 2u);
    EXPECT_NE(std::find(unfiled.begin(), unfiled.end(), Stored("zero")), unfiled.end());
    EXPECT_NE(std::find(unfiled.begin(), unfiled.end(), Stored("seventeen")), unfiled.end());
    EXPECT_EQ(ArchiveFile("Business.MPA"), (Memos{Stored("business")}));
}

TEST_F(ArchiveFixture, ExistingFileLosesItsDeletedRowsAndKeepsTheOthers) {
    MemoFields gone = Stored("old deleted");
    gone.status = kStatusDeleted;
    MemoFields kept = Stored("old kept");
    kept.isPrivate = true;
    WriteArchiveFile("Business.MPA", {kept, gone, Stored("old too")});
    AddArchived({Archived("new", 2)});

    EXPECT_EQ(session.ArchiveRecords(), 0);
    EXPECT_EQ(ArchiveFile("Business.MPA"), (Memos{kept, Stored("old too"), Stored("new")}));
}

// ---- Failures ----

TEST_F(ArchiveFixture, DamagedArchiveFileIsLeftByteForByteAndEndsTheArchiving) {
    // Groups in category order: Business (2) is saved, Personal (5) cannot be loaded, 7 is not reached.
    {
        std::ofstream(HostFile("Personal.MPA"), std::ios::binary) << "not an archive file of ours";
    }
    const std::string damaged = ReadBytes(HostFile("Personal.MPA"));
    AddArchived({Archived("p1", 5, 0x400007), Archived("b1", 2), Archived("seven", 7), Archived("p2", 5)});

    EXPECT_EQ(session.ArchiveRecords(), kTableDamaged);
    EXPECT_EQ(ReadBytes(HostFile("Personal.MPA")), damaged);
    EXPECT_EQ(ArchiveFile("Business.MPA"), (Memos{Stored("b1")}));
    EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"Business.MPA", "Personal.MPA"}));
}

// The records of the archive table have left both sides by the time it is archived. Those that reach
// no saved archive file go back into the desktop table, in their category, marked for archiving and
// without a handheld id, so that the next HotSync archives them; those already saved do not.
TEST_F(ArchiveFixture, RecordsNotArchivedAreKeptOnTheDesktopForTheNextHotSync) {
    struct Case {
        const char* name;
        bool damagePersonal;
        int failCreateFrom;
        int32_t expected;
    } cases[] = {
        {"damaged archive file", true, 0, kTableDamaged},
        {"no table for the second file", false, 2, kNotSupported},
        {"no table for the first file", false, 1, kNotSupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(HostFile(""));
        prefix.MakeDir("drive_c/Users/Ann/memopad");
        if (c.damagePersonal) std::ofstream(HostFile("Personal.MPA"), std::ios::binary) << "damaged";
        session.archiveTable_->PurgeAllRecords();
        session.desktopTable_->PurgeAllRecords();
        session.createTableCalls = 0;
        session.failCreateFrom = c.failCreateFrom;
        MemoFields privateOne = Archived("p1", 5, 0x400007);
        privateOne.isPrivate = true;
        AddArchived({privateOne, Archived("b1", 2, 0x400008), Archived("seven", 7), Archived("p2", 5)});

        EXPECT_EQ(session.ArchiveRecords(), c.expected);

        Memos expectedKept;
        for (MemoFields m : {privateOne, Archived("b1", 2), Archived("seven", 7), Archived("p2", 5)}) {
            if (c.failCreateFrom != 1 && m.text == "b1") continue;  // its file was saved
            m.id = 0;
            m.archived = true;
            expectedKept.push_back(m);
        }
        EXPECT_EQ(AllMemos(*session.desktopTable_), expectedKept);
        if (c.failCreateFrom != 1) {
            EXPECT_EQ(ArchiveFile("Business.MPA"), (Memos{Stored("b1", 0x400008)}));
        } else {
            EXPECT_TRUE(FolderFiles().empty());
        }
    }
}

// The whole HotSync: a memo marked for archiving (on the handheld, or on the desktop) while its
// archive file cannot be read has already left the handheld and the desktop rows, as the sync rules
// say, when archiving fails. It must still be in the saved desktop file, and the next HotSync, with
// the archive file mended, archives it without any handheld call.
struct HotSyncCase {
    const char* name;
    uint8_t handheldAttributes;  // of the memo's handheld record
    bool archivedOnDesktop;
};

void PrintTo(const HotSyncCase& c, std::ostream* os) { *os << c.name; }

class ArchiveHotSync : public ::testing::TestWithParam<HotSyncCase> {};

TEST_P(ArchiveHotSync, MemoMarkedForArchivingSurvivesAFailedArchiving) {
    const HotSyncCase& c = GetParam();
    tervano::test::TempPrefix prefix;
    prefix.MakeDir("drive_c/Users/Ann/memopad");
    const std::filesystem::path folder = prefix.DriveC() / "Users/Ann/memopad";
    synckit::MemoryHandheld handheld;
    synckit::HotSyncLog log;
    synckit::ScopedHandheld attachHandheld(handheld);
    synckit::ScopedHotSyncLog attachLog(log);
    ConduitModuleInit();

    const std::vector<CategoryFields> categories{{0, 0, "Unfiled"}, {2, 12, "Business"}};
    synckit::HandheldDatabase& db = handheld.AddDatabase("MemoDB", session_test::kMemoCreator, session_test::kMemoType);
    db.appInfo = tervano::test::BuildAppInfo(categories);
    const uint32_t id = handheld.AddRecord(db, std::string("Keep me\0", 8), c.handheldAttributes, 2);
    {
        CMemoTable desktop;
        tervano::test::AddCategories(*desktop.GetCategoryManager(), categories);
        MemoFields row = Archived("Keep me", 2, id);
        row.archived = c.archivedOnDesktop;
        AddMemo(desktop, row);
        ASSERT_EQ(desktop.SaveTo("C:\\Users\\Ann\\memopad\\memopad.dat"), 0);
    }
    std::ofstream(folder / "Business.MPA", std::ios::binary) << "damaged";
    const std::string damaged = ReadBytes(folder / "Business.MPA");

    HotSyncProperties first = session_test::MemoProperties(0);
    ConduitOpen(session_test::QuietProgress, first);

    EXPECT_TRUE(handheld.FindDatabase("MemoDB")->records.empty());
    EXPECT_EQ(ReadBytes(folder / "Business.MPA"), damaged);
    bool archiveFailureLogged = false;
    for (const auto& e : log.Entries()) {
        if (e.text == "   - Some or all of your deleted records were not archived." && e.kind == 16) archiveFailureLogged = true;
    }
    EXPECT_TRUE(archiveFailureLogged);
    MemoFields kept = Archived("Keep me", 2);
    kept.archived = true;
    for (const char* file : {"memopad.dat", "memopad.bak"}) {
        SCOPED_TRACE(file);
        CMemoTable desktop;
        ASSERT_EQ(desktop.OpenFrom((std::string(kDesktopDir) + file).c_str(), 0), 0);
        EXPECT_EQ(AllMemos(desktop), (Memos{kept}));
    }

    // The next HotSync, with the damaged file moved away.
    std::filesystem::rename(folder / "Business.MPA", folder / "Business.damaged");
    handheld.ClearCalls();
    log.Clear();
    HotSyncProperties second = session_test::MemoProperties(0);
    EXPECT_EQ(ConduitOpen(session_test::QuietProgress, second), 0);

    EXPECT_EQ(handheld.CountCalls(synckit::SyncOp::DeleteRec), 0u);
    {
        CMemoTable archive;
        ASSERT_EQ(archive.OpenFrom("C:\\Users\\Ann\\memopad\\Business.MPA", 0), 0);
        EXPECT_EQ(AllMemos(archive), (Memos{Stored("Keep me")}));
        CMemoTable desktop;
        ASSERT_EQ(desktop.OpenFrom("C:\\Users\\Ann\\memopad\\memopad.dat", 0), 0);
        EXPECT_EQ(desktop.GetRecordCount(), 0);
    }
    EXPECT_TRUE(handheld.FindDatabase("MemoDB")->records.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArchiveHotSync,
    ::testing::Values(HotSyncCase{"ArchivedOnHandheld", kRecAttrDeleted | kRecAttrArchived | kRecAttrDirty, false},
                      HotSyncCase{"ArchivedOnDesktop", 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
