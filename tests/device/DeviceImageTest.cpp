// The device image folder: loading into and saving from a MemoryHandheld, the archived-record
// convention, damaged files refused and left alone, and a crash before the rename.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "PdbBuilder.h"
#include "synckit/DeviceImage.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/SyncMgr.h"

using namespace synckit;
using namespace device_test;

namespace {

constexpr char kIni[] = "[Device]\nUserName=Ann Smith\nRomVersion=4.1\nLastSyncDesktopId=12345\n";

class DeviceImageTest : public ::testing::Test {
protected:
    TempDir dir;
    fs::path Pdb() const { return dir / "MemoDB.pdb"; }
    fs::path Ini() const { return dir / "device.ini"; }

    void WriteDevice(const std::string& pdb, const std::string& ini = kIni) {
        WriteBytes(Pdb(), pdb);
        WriteBytes(Ini(), ini);
    }
    // Loads the folder into `into`; fails the test when the load is refused.
    DeviceImage LoadOk(MemoryHandheld& into) {
        DeviceLoadResult r = DeviceImage::Load(dir.Path(), into);
        EXPECT_TRUE(r.ok()) << r.error;
        return std::move(r.image);
    }
    static uint32_t RomOf(MemoryHandheld& hh) {
        HandheldSystemInfo info{};
        EXPECT_EQ(hh.ReadSystemInfo(info), kSyncErrNone);
        return info.romSoftVersion;
    }
};

TEST_F(DeviceImageTest, InitMakesAnEmptyMemoPadThatLoads) {
    ASSERT_TRUE(DeviceImage::Init(dir.Path(), "Ann Smith", "4.1").ok());
    const std::string pdb = ReadBytes(Pdb());
    EXPECT_EQ(pdb.substr(0, 7), std::string("MemoDB\0", 7));
    EXPECT_EQ(pdb.substr(60, 8), "DATAmemo");
    EXPECT_EQ(Get16(pdb, 76), 0u);
    EXPECT_EQ(Get32(pdb, 52), 80u);  // right after the header and the 2-byte gap
    EXPECT_EQ(pdb.substr(80), DefaultMemoAppInfo());

    MemoryHandheld hh;
    DeviceImage image = LoadOk(hh);
    EXPECT_EQ(image.Info(), (DeviceInfo{"Ann Smith", "4.1", 0}));
    EXPECT_EQ(RomOf(hh), 0x04103000u);
    const HandheldDatabase* memo = hh.FindDatabase("MemoDB");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->creator, kMemoDbCreator);
    EXPECT_EQ(memo->type, kMemoDbType);
    EXPECT_TRUE(memo->records.empty());
    EXPECT_EQ(memo->appInfo, DefaultMemoAppInfo());

    // A second Init never overwrites a device.
    const FileState before = StateOf(Pdb());
    const DeviceSaveResult again = DeviceImage::Init(dir.Path(), "Bob");
    EXPECT_EQ(again.error, (dir / "device.ini").string() + ": the folder already holds a device image");
    EXPECT_EQ(StateOf(Pdb()), before);
    EXPECT_EQ(DeviceImage::Init(dir.Path() / "new", "Bob", "3.x").error, "ROM version '3.x' is not a version like 3.5");
    EXPECT_FALSE(fs::exists(dir.Path() / "new"));
}

TEST_F(DeviceImageTest, LoadFillsTheHandheldAsTheFileKeepsIt) {
    PdbBuilder builder = SampleMemoDb();
    builder.uniqueIdSeed = 0x00400100;
    WriteDevice(builder.Build());
    MemoryHandheld hh;
    DeviceImage image = LoadOk(hh);
    EXPECT_EQ(image.Info(), (DeviceInfo{"Ann Smith", "4.1", 12345}));
    EXPECT_EQ(RomOf(hh), 0x04103000u);
    EXPECT_EQ(hh.NextUniqueId(), 0x00400100u);  // the header's seed, above every record id

    const HandheldDatabase* memo = hh.FindDatabase("MemoDB");
    ASSERT_NE(memo, nullptr);
    EXPECT_EQ(memo->flags, 0x0008u);
    const std::vector<HandheldRecord> expected = {
        {0x400001, 0x40, 1, Memo("Shopping\nmilk")},
        {0x400002, 0x10, 2, Memo("secret")},
        {0x400003, 0x80 | 0x40 | 0x08, 3, Memo("archived one")},  // delete bit with data: archived
        {0x400004, 0x80 | 0x40, 0, ""},                            // delete bit, no data: deleted
        {0x400005, 0x00, 0, Memo("last")},
    };
    ASSERT_EQ(memo->records.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_EQ(memo->records[i].id, expected[i].id);
        EXPECT_EQ(memo->records[i].attributes, expected[i].attributes);
        EXPECT_EQ(memo->records[i].category, expected[i].category);
        EXPECT_EQ(memo->records[i].data, expected[i].data);
    }

    // A seed below the record ids: ids go on above the highest one.
    builder.uniqueIdSeed = 0;
    WriteDevice(builder.Build());
    MemoryHandheld low;
    LoadOk(low);
    EXPECT_EQ(low.NextUniqueId(), 0x00400006u);
}

TEST_F(DeviceImageTest, LoadedAndSavedUnchangedGivesTheSameBytes) {
    PdbBuilder builder = SampleMemoDb();
    builder.sortInfo = "sorted";
    const std::string pdb = builder.Build();
    const std::string ini = std::string("; kept\r\n") + "[Device]\r\nUserName=Ann\r\nColour=blue\r\n";
    WriteDevice(pdb, ini);
    MemoryHandheld hh;
    DeviceImage image = LoadOk(hh);
    ASSERT_TRUE(image.Save(dir.Path(), hh).ok());
    EXPECT_EQ(ReadBytes(Pdb()), pdb);
    EXPECT_EQ(ReadBytes(Ini()), "; kept\r\n[Device]\r\nUserName=Ann\r\nColour=blue\r\nRomVersion=3.5\r\nLastSyncDesktopId=0\r\n");

    // Loaded and saved again: the same bytes once more, and nothing left beside the files.
    const std::string savedIni = ReadBytes(Ini());
    MemoryHandheld again;
    DeviceImage second = LoadOk(again);
    ASSERT_TRUE(second.Save(dir.Path(), again).ok());
    EXPECT_EQ(ReadBytes(Pdb()), pdb);
    EXPECT_EQ(ReadBytes(Ini()), savedIni);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.Path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"MemoDB.pdb", "device.ini"}));
}

TEST_F(DeviceImageTest, SavedHandheldLoadsBackTheSame) {
    // The handheld after a sync: records of every kind, an 800-byte block as a conduit writes it,
    // a second database, and a moved id counter.
    MemoryHandheld hh;
    hh.SetNextUniqueId(0x00500000);
    HandheldDatabase& memo = hh.AddDatabase("MemoDB", kMemoDbCreator, kMemoDbType);
    std::string block = DefaultMemoAppInfo();
    block[2 + 16 * 5] = 'W';  // category 5 "W"
    block[258 + 5] = static_cast<char>(130);
    block[1] = 0x20;          // renamed bit of category 5
    memo.appInfo = block + std::string(800 - 282, '\0');
    hh.AddRecord(memo, Memo("plain"), 0x00, 0);
    hh.AddRecord(memo, Memo("dirty private in 5"), 0x40 | 0x10, 5);
    hh.AddRecord(memo, Memo("archived in 15"), 0x80 | 0x08 | 0x40, 15);
    hh.AddRecord(memo, "", 0x80, 4);
    hh.AddRecord(memo, Memo(std::string(4000, 'x')), 0x20, 7);
    HandheldDatabase& other = hh.AddDatabase("ToDoDB", 0x746F646F, kMemoDbType);
    hh.AddRecord(*hh.FindDatabase("ToDoDB"), "raw\x01\x02", 0x40, 1);
    (void)other;

    DeviceImage image;
    image.Info() = DeviceInfo{"Ann", "3.5", 99};
    ASSERT_TRUE(image.Save(dir.Path(), hh).ok());

    MemoryHandheld back;
    DeviceImage loaded = LoadOk(back);
    EXPECT_EQ(loaded.Info(), image.Info());
    EXPECT_EQ(back.NextUniqueId(), hh.NextUniqueId());
    ASSERT_EQ(back.Databases().size(), 2u);
    for (const HandheldDatabase& want : hh.Databases()) {
        SCOPED_TRACE(want.name);
        const HandheldDatabase* got = back.FindDatabase(want.name);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->creator, want.creator);
        EXPECT_EQ(got->type, want.type);
        ASSERT_EQ(got->records.size(), want.records.size());
        for (size_t i = 0; i < want.records.size(); ++i) {
            SCOPED_TRACE("record " + std::to_string(i));
            EXPECT_EQ(got->records[i].id, want.records[i].id);
            EXPECT_EQ(got->records[i].attributes, want.records[i].attributes);
            EXPECT_EQ(got->records[i].category, want.records[i].category);
            EXPECT_EQ(got->records[i].data, want.records[i].data);
        }
    }
    // The conduit's zero tail is dropped; every category byte is kept.
    EXPECT_EQ(back.FindDatabase("MemoDB")->appInfo, block);
    const std::string pdb = ReadBytes(Pdb());
    EXPECT_EQ(Get32(pdb, 68), 0x00500006u);  // the seed: the handheld's next id
}

// The archived convention, both ways: link attributes and data -> the file's byte and data -> back.
TEST(DeviceRecordTest, ArchivedIsDeleteBitWithDataAndDeletedKeepsNoData) {
    struct Case {
        const char* what;
        uint8_t linkAttrs;
        uint8_t category;
        const char* data;
        uint8_t fileAttrs;
        bool fileKeepsData;
        uint8_t backAttrs;
    };
    const Case cases[] = {
        {"live, dirty", 0x40, 3, "text", 0x43, true, 0x40},
        {"private and busy", 0x30, 0, "text", 0x30, true, 0x30},
        {"archived and dirty", 0x80 | 0x08 | 0x40, 5, "text", 0xC5, true, 0xC8},
        {"archived, clean", 0x88, 15, "text", 0x8F, true, 0x88},
        {"archived without the delete bit reads back with it", 0x08, 2, "text", 0x82, true, 0x88},
        {"deleted and dirty: the data goes", 0xC0, 2, "text", 0xC2, false, 0xC0},
        {"deleted, private", 0x90, 0, "text", 0x90, false, 0x90},
        {"every bit", 0xF8, 9, "text", 0xF9, true, 0xF8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const HandheldRecord rec{0x400001, c.linkAttrs, c.category, c.data};
        const PdbRecord file = RecordToFile(rec);
        EXPECT_EQ(file.attributes, c.fileAttrs);
        EXPECT_EQ(file.data, c.fileKeepsData ? c.data : "");
        EXPECT_EQ(file.uniqueId, rec.id);
        const HandheldRecord back = RecordFromFile(file);
        EXPECT_EQ(back.attributes, c.backAttrs);
        EXPECT_EQ(back.category, c.category);
        EXPECT_EQ(back.data, file.data);
    }
}

TEST_F(DeviceImageTest, SavedFileKeepsArchivedDataAndDropsDeletedData) {
    MemoryHandheld hh;
    HandheldDatabase& memo = hh.AddDatabase("MemoDB", kMemoDbCreator, kMemoDbType);
    memo.appInfo = DefaultMemoAppInfo();
    memo.records = {{1, 0x80 | 0x08 | 0x40, 6, Memo("kept")},
                    {2, 0x80 | 0x40, 6, Memo("dropped")},
                    {3, 0x80 | 0x08, 1, ""},   // an archived memo without data: still archived
                    {4, 0x00, 2, "no NUL"}};   // written with its NUL so the file loads
    DeviceImage image;
    ASSERT_TRUE(image.Save(dir.Path(), hh).ok());
    const std::string pdb = ReadBytes(Pdb());
    const uint32_t dataAt = 78 + 4 * 8 + 2 + 282;
    const uint32_t expectedOffsets[] = {dataAt, dataAt + 5, dataAt + 5, dataAt + 6};
    const uint8_t expectedAttrs[] = {0xC6, 0xC6, 0x81, 0x02};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_EQ(Get32(pdb, 78 + 8 * i), expectedOffsets[i]);
        EXPECT_EQ(static_cast<uint8_t>(pdb[78 + 8 * i + 4]), expectedAttrs[i]);
    }
    EXPECT_EQ(pdb.substr(dataAt), Memo("kept") + std::string(1, '\0') + Memo("no NUL"));

    MemoryHandheld back;
    LoadOk(back);
    const auto& recs = back.FindDatabase("MemoDB")->records;
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[0].attributes, 0xC8);
    EXPECT_EQ(recs[1].attributes, 0xC0);
    EXPECT_EQ(recs[1].data, "");
    EXPECT_EQ(recs[2].attributes, 0x88);
    EXPECT_EQ(recs[3].data, Memo("no NUL"));
}

TEST_F(DeviceImageTest, ChangedDatabaseGetsANewModificationNumberAndDate) {
    WriteDevice(SampleMemoDb().Build());
    MemoryHandheld hh;
    DeviceImage image = LoadOk(hh);
    const uint32_t before = PdbDateFromUnix(std::time(nullptr));

    // Unchanged: the header stays as it was.
    ASSERT_TRUE(image.Save(dir.Path(), hh).ok());
    std::string pdb = ReadBytes(Pdb());
    EXPECT_EQ(Get32(pdb, 48), 7u);
    EXPECT_EQ(Get32(pdb, 40), 0xB5C3F500u);

    // A changed category byte is a change; so is a new record, which moves the seed too.
    (*hh.FindDatabase("MemoDB")->appInfo)[2] = 'u';
    ASSERT_TRUE(image.Save(dir.Path(), hh).ok());
    pdb = ReadBytes(Pdb());
    EXPECT_EQ(Get32(pdb, 48), 8u);
    EXPECT_GE(Get32(pdb, 40), before);
    EXPECT_EQ(Get32(pdb, 36), 0xB5C3F400u);  // creation date kept
    EXPECT_EQ(Get32(pdb, 68), 0x00400010u);

    const uint32_t id = hh.AddRecord(*hh.FindDatabase("MemoDB"), Memo("new"), 0x40, 0);
    EXPECT_EQ(id, 0x00400010u);
    ASSERT_TRUE(image.Save(dir.Path(), hh).ok());
    pdb = ReadBytes(Pdb());
    EXPECT_EQ(Get32(pdb, 48), 9u);
    EXPECT_EQ(Get32(pdb, 68), 0x00400011u);
    EXPECT_EQ(Get16(pdb, 76), 6u);

    // Saved again with nothing changed since: no new modification.
    ASSERT_TRUE(image.Save(dir.Path(), hh).ok());
    EXPECT_EQ(ReadBytes(Pdb()), pdb);
}

TEST_F(DeviceImageTest, AppInfoTrimOnlyWhenTheTailIsZero) {
    struct Case {
        const char* what;
        size_t length;
        size_t nonZeroAt;  // 0: none
        size_t written;
    };
    const Case cases[] = {
        {"conduit buffer, zero tail", 800, 0, 282},
        {"conduit buffer, byte at 282", 800, 282, 800},
        {"conduit buffer, last byte", 800, 799, 800},
        {"exactly the block", 282, 0, 282},
        {"one zero byte over", 283, 0, 282},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryHandheld hh;
        HandheldDatabase& memo = hh.AddDatabase("MemoDB", kMemoDbCreator, kMemoDbType);
        std::string block = DefaultMemoAppInfo();
        block.resize(c.length, '\0');
        if (c.nonZeroAt != 0) block[c.nonZeroAt] = 'z';
        memo.appInfo = block;
        DeviceImage image;
        ASSERT_TRUE(image.Save(dir.Path(), hh).ok());
        const std::string pdb = ReadBytes(Pdb());
        EXPECT_EQ(Get32(pdb, 52), 80u);
        EXPECT_EQ(pdb.size() - 80, c.written);
        EXPECT_EQ(pdb.substr(80), block.substr(0, c.written));
    }
}

// Every prefix of a sound file is refused, and the file is left as it was.
TEST_F(DeviceImageTest, EveryTruncatedPrefixIsRefusedAndLeftAlone) {
    const std::string whole = SampleMemoDb().Build();
    WriteDevice(whole);
    {
        MemoryHandheld hh;
        LoadOk(hh);
    }
    size_t refused = 0;
    for (size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        WriteBytes(Pdb(), whole.substr(0, length));
        const FileState before = StateOf(Pdb());
        MemoryHandheld hh;
        const DeviceLoadResult r = DeviceImage::Load(dir.Path(), hh);
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error.rfind(Pdb().string() + ": ", 0), 0u) << r.error;
        EXPECT_TRUE(hh.Databases().empty());
        EXPECT_EQ(StateOf(Pdb()), before);
        refused += r.ok() ? 0 : 1;
    }
    EXPECT_EQ(refused, whole.size());
}

TEST_F(DeviceImageTest, DamagedFilesAreRefusedNamingTheFile) {
    struct Case {
        const char* what;
        void (*damage)(const fs::path& dir);
        const char* file;     // the file the message names
        const char* message;  // after "<path>: "
    };
    const Case cases[] = {
        {"bad type",
         [](const fs::path& d) { PdbBuilder b = SampleMemoDb(); b.type = "TEXt"; WriteBytes(d / "MemoDB.pdb", b.Build()); },
         "MemoDB.pdb", "type is 'TEXt', expected 'DATA'"},
        {"record offset beyond the file",
         [](const fs::path& d) { std::string b = SampleMemoDb().Build(); Set32(b, 78 + 8 * 4, 5000); WriteBytes(d / "MemoDB.pdb", b); },
         "MemoDB.pdb", "record 4 offset 5000 is beyond the end of the file (441 bytes)"},
        {"no device.ini", [](const fs::path& d) { fs::remove(d / "device.ini"); }, "device.ini",
         "cannot open: No such file or directory"},
        {"damaged device.ini", [](const fs::path& d) { WriteBytes(d / "device.ini", "[Device]\nRomVersion=x\n"); },
         "device.ini", "line 2: RomVersion 'x' is not a version like 3.5"},
        {"database named unlike its file",
         [](const fs::path& d) { PdbBuilder b; b.name = "AddressDB"; WriteBytes(d / "Other.pdb", b.Build()); },
         "Other.pdb", "database name is 'AddressDB', expected 'Other' as the file is named"},
        {"unique id used by another file",
         [](const fs::path& d) { PdbBuilder b; b.name = "Other"; b.Add(0, 0x400003, "x"); WriteBytes(d / "Other.pdb", b.Build()); },
         "Other.pdb", "record 0 has unique id 4194307, which MemoDB.pdb uses already"},
        {"a folder named like a database", [](const fs::path& d) { fs::create_directory(d / "Zed.pdb"); }, "Zed.pdb",
         "not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir folder;
        WriteBytes(folder / "MemoDB.pdb", SampleMemoDb().Build());
        WriteBytes(folder / "device.ini", kIni);
        c.damage(folder.Path());
        std::vector<FileState> before;
        for (const char* name : {"MemoDB.pdb", "device.ini", "Other.pdb"}) before.push_back(StateOf(folder / name));

        MemoryHandheld hh;
        hh.SetNextUniqueId(77);
        const DeviceLoadResult r = DeviceImage::Load(folder.Path(), hh);
        EXPECT_EQ(r.error, (folder / c.file).string() + ": " + c.message);
        EXPECT_TRUE(hh.Databases().empty());
        EXPECT_EQ(hh.NextUniqueId(), 77u);
        std::vector<FileState> after;
        for (const char* name : {"MemoDB.pdb", "device.ini", "Other.pdb"}) after.push_back(StateOf(folder / name));
        EXPECT_EQ(after, before);
    }
}

TEST_F(DeviceImageTest, LoadRefusesAHandheldThatHoldsTheDatabaseAlready) {
    WriteDevice(SampleMemoDb().Build());
    MemoryHandheld hh;
    hh.AddDatabase("MemoDB", kMemoDbCreator, kMemoDbType).records.push_back({9, 0, 0, Memo("mine")});
    const DeviceLoadResult r = DeviceImage::Load(dir.Path(), hh);
    EXPECT_EQ(r.error, Pdb().string() + ": the handheld already holds a database named 'MemoDB'");
    ASSERT_EQ(hh.Databases().size(), 1u);
    EXPECT_EQ(hh.Databases()[0].records.size(), 1u);
}

TEST_F(DeviceImageTest, SaveRefusesBeforeWritingAnything) {
    WriteDevice(SampleMemoDb().Build());
    MemoryHandheld hh;
    DeviceImage image = LoadOk(hh);
    const FileState pdbBefore = StateOf(Pdb()), iniBefore = StateOf(Ini());
    hh.FindDatabase("MemoDB")->records.push_back({0x400099, 0x40, 0, Memo("changed")});

    struct Case {
        const char* what;
        void (*spoil)(MemoryHandheld&, DeviceImage&);
        std::string message;
    };
    const std::string folder = dir.Path().string();
    const Case cases[] = {
        {"database name with a slash", [](MemoryHandheld& h, DeviceImage&) { h.AddDatabase("a/b", 1, 2); },
         folder + "/a/b.pdb: the database name cannot name a file"},
        {"database name too long for the file",
         [](MemoryHandheld& h, DeviceImage&) { h.AddDatabase(std::string(40, 'L'), 1, 2); },
         folder + "/" + std::string(40, 'L') + ".pdb: database name '" + std::string(40, 'L') + "' is longer than 31 bytes"},
        {"user name with a line break", [](MemoryHandheld&, DeviceImage& i) { i.Info().userName = "a\nb"; },
         folder + "/device.ini: user name holds a line break or a NUL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryHandheld copy = hh;
        DeviceImage img = image;
        c.spoil(copy, img);
        EXPECT_EQ(img.Save(dir.Path(), copy).error, c.message);
        EXPECT_EQ(StateOf(Pdb()), pdbBefore);
        EXPECT_EQ(StateOf(Ini()), iniBefore);
    }
    EXPECT_EQ(image.Save(dir.Path() / "missing", hh).error, (dir.Path() / "missing").string() + ": not a folder");
}

// A crash after the new file is written and before it is renamed into place leaves the old file
// whole; the next load ignores the leftover, and the next save clears it away.
TEST_F(DeviceImageTest, CrashBeforeRenameLeavesTheOldFileWhole) {
    const std::string old = SampleMemoDb().Build();
    WriteDevice(old);
    const std::string oldIni = ReadBytes(Ini());

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        MemoryHandheld hh;
        DeviceLoadResult r = DeviceImage::Load(dir.Path(), hh);
        if (!r.ok()) ::_exit(3);
        hh.FindDatabase("MemoDB")->records.clear();
        r.image.SetBeforeRenameForTest([](const fs::path&) { ::raise(SIGKILL); });
        r.image.Save(dir.Path(), hh);
        ::_exit(4);  // not reached: the process dies before the rename
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGKILL);

    EXPECT_EQ(ReadBytes(Pdb()), old);
    EXPECT_EQ(ReadBytes(Ini()), oldIni);
    size_t leftovers = 0;
    for (const auto& e : fs::directory_iterator(dir.Path())) {
        const std::string name = e.path().filename().string();
        if (name.rfind(".MemoDB.pdb.new-", 0) == 0) {
            ++leftovers;
            EXPECT_EQ(Get16(ReadBytes(e.path()), 76), 0u);  // the new contents that never landed
        }
    }
    EXPECT_EQ(leftovers, 1u);

    MemoryHandheld hh;
    DeviceImage image = LoadOk(hh);
    EXPECT_EQ(hh.FindDatabase("MemoDB")->records.size(), 5u);
    ASSERT_TRUE(image.Save(dir.Path(), hh).ok());
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.Path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"MemoDB.pdb", "device.ini"}));
}

TEST_F(DeviceImageTest, MissingMemoDatabaseIsCreatedBySyncAndWrittenBack) {
    // A handheld without a memo database: the conduit creates it through the Sync Manager and
    // writes its block; the image then holds it as a new file.
    WriteBytes(Ini(), kIni);
    MemoryHandheld hh;
    DeviceImage image = LoadOk(hh);
    EXPECT_TRUE(hh.Databases().empty());
    {
        ScopedHandheld attach(hh);
        DbCreateBlock create{};
        create.creator = kMemoDbCreator;
        create.type = kMemoDbType;
        std::memcpy(create.name, "MemoDB", 7);
        ASSERT_EQ(SyncCreateDB(create), kSyncErrNone);
        std::vector<uint8_t> buffer(800, 0);
        const std::string block = DefaultMemoAppInfo();
        std::memcpy(buffer.data(), block.data(), block.size());
        AppInfoBlock app{};
        std::memcpy(app.dbName, "MemoDB", 7);
        app.bufferSize = 800;
        app.buffer = buffer.data();
        ASSERT_EQ(SyncWriteDBAppInfoBlock(create.dbHandle, app), kSyncErrNone);
        ASSERT_EQ(SyncCloseDB(create.dbHandle), kSyncErrNone);
    }
    const uint32_t before = PdbDateFromUnix(std::time(nullptr));
    image.Info().lastSyncDesktopId = 4242;
    ASSERT_TRUE(image.Save(dir.Path(), hh).ok());
    const std::string pdb = ReadBytes(Pdb());
    EXPECT_GE(Get32(pdb, 36), before);  // created now
    EXPECT_EQ(pdb.size(), 80u + 282u);
    MemoryHandheld back;
    EXPECT_EQ(LoadOk(back).Info().lastSyncDesktopId, 4242u);
    EXPECT_EQ(back.FindDatabase("MemoDB")->appInfo, DefaultMemoAppInfo());
}

}  // namespace
