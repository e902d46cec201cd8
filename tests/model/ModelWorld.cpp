// The model test's world: the in-memory handheld with "MemoDB", the desktop folder in a temporary
// prefix, readable views of both sides and of the archive files, snapshots, and one HotSync.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ModelHarness.h"
#include "../session/SessionTestSupport.h"
#include "TableStore.h"
#include "session/Conduit.h"
#include "session/MemoMonitor.h"
#include "synckit/Category.h"

namespace fs = std::filesystem;

namespace model {
namespace {

constexpr char kDesktopDirWin[] = "C:\\Users\\Ann\\memopad\\";
constexpr char kDesktopPathWin[] = "C:\\Users\\Ann\\memopad\\memopad.dat";
constexpr char kBackupPathWin[] = "C:\\Users\\Ann\\memopad\\memopad.bak";

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ToLf(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    return out;
}

// The desktop-save fault of the running sync, seen by the table library's save seam.
struct SaveSeam {
    Fault fault = Fault::kNone;
    bool desktopReached = false;
};
SaveSeam gSeam;

bool BeforeRename(const fs::path& /*temp*/, const fs::path& target) {
    const std::string name = target.filename().string();
    if (name == "memopad.dat") {
        gSeam.desktopReached = true;
        return gSeam.fault != Fault::kDesktopSave;
    }
    if (target.extension() == ".MPA") return gSeam.fault != Fault::kArchiveSave;
    return true;
}

std::vector<tervano::test::CategoryFields> CategoriesOf(const CCategoryMgr& categories) {
    std::vector<tervano::test::CategoryFields> out;
    categories.ForEachCategory([&](const CCategory& c) {
        out.push_back({c.GetIndex(), c.GetID(), c.GetName(), c.GetNameDirty() != 0});
    });
    return out;
}

}  // namespace

const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::kNone: return "none";
        case Fault::kFailOnce: return "call fails once";
        case Fault::kFailFromThenOn: return "operation fails from then on";
        case Fault::kHandheldFull: return "handheld full";
        case Fault::kDrop: return "connection dropped";
        case Fault::kDesktopSave: return "desktop save fails";
        case Fault::kArchiveSave: return "archive save fails";
    }
    return "?";
}

World::World() {
    prefix_.MakeDir("drive_c/Users/Ann/memopad");
    synckit::HandheldDatabase& db =
        handheld_.AddDatabase("MemoDB", session_test::kMemoCreator, session_test::kMemoType);
    db.appInfo = tervano::test::BuildAppInfo({{0, 0, "Unfiled"}, {1, 1, "Business"}, {2, 2, "Personal"},
                                              {3, 3, "QuickList"}},
                                             276, '\0');
    attachHandheld_ = new synckit::ScopedHandheld(handheld_);
    attachLog_ = new synckit::ScopedHotSyncLog(log_);
    ConduitModuleInit();
}

World::~World() {
    synckit::gBeforeRenameHook = nullptr;
    delete attachLog_;
    delete attachHandheld_;
}

const char* World::DesktopPath() { return kDesktopPathWin; }

std::string World::HostDir() const { return (prefix_.DriveC() / "Users/Ann/memopad").string(); }

synckit::HandheldDatabase& World::Db() { return *handheld_.FindDatabase("MemoDB"); }

std::vector<Memo> World::HandheldMemos() {
    std::vector<Memo> out;
    for (const synckit::HandheldRecord& r : Db().records) {
        Memo m;
        m.id = r.id;
        m.text = r.data.substr(0, r.data.find('\0'));
        m.category = r.category;
        m.isPrivate = (r.attributes & kRecAttrPrivate) != 0;
        m.attributes = r.attributes;
        out.push_back(m);
    }
    return out;
}

bool World::DesktopMemos(std::vector<Memo>& out, std::string* why) {
    out.clear();
    CMemoTable table;
    const int32_t opened = table.OpenFrom(kDesktopPathWin, 0);
    if (opened != 0 && opened != kTableNoSuchFile) {
        if (why) *why = "the desktop file does not open (" + std::to_string(opened) + ")";
        return false;
    }
    CBaseIterator walk(table);
    CMemoRecord row(table, 0);
    for (int32_t more = walk.FindFirst(row, 0); more == 0; more = walk.FindNext(row, 0)) {
        Memo m;
        row.GetRecordId(m.id);
        std::string text;
        row.GetMemo(text);
        m.text = ToLf(text);
        row.GetCategoryId(m.category);
        m.isPrivate = row.IsPrivate() != 0;
        row.GetStatus(m.status);
        m.archived = row.IsArchived() != 0;
        out.push_back(m);
    }
    return true;
}

std::vector<tervano::test::CategoryFields> World::HandheldCategories() {
    const auto& block = Db().appInfo;
    return block ? tervano::test::ParseAppInfo(*block) : std::vector<tervano::test::CategoryFields>{};
}

bool World::DesktopCategories(std::vector<tervano::test::CategoryFields>& out) {
    CMemoTable table;
    const int32_t opened = table.OpenFrom(kDesktopPathWin, 0);
    if (opened != 0 && opened != kTableNoSuchFile) return false;
    out = CategoriesOf(*table.GetCategoryManager());
    return true;
}

bool World::ArchiveTexts(std::vector<std::string>& out, std::string* why) {
    out.clear();
    for (const auto& entry : fs::directory_iterator(HostDir())) {
        if (entry.path().extension() != ".MPA") continue;
        const std::string path = std::string(kDesktopDirWin) + entry.path().filename().string();
        CMemoTable table;
        const int32_t opened = table.OpenFrom(path.c_str(), 0);
        if (opened != 0) {
            if (why) *why = "archive file " + entry.path().filename().string() + " does not open (" +
                            std::to_string(opened) + ")";
            return false;
        }
        CBaseIterator walk(table);
        CMemoRecord row(table, 0);
        for (int32_t more = walk.FindFirst(row, 0); more == 0; more = walk.FindNext(row, 0)) {
            std::string text;
            row.GetMemo(text);
            out.push_back(ToLf(text));
        }
    }
    return true;
}

int32_t World::OpenBackup() {
    CMemoTable table;
    return table.OpenFrom(kBackupPathWin, 0);
}

std::string World::DesktopBytes() const { return ReadBytes(fs::path(HostDir()) / "memopad.dat"); }
std::string World::BackupBytes() const { return ReadBytes(fs::path(HostDir()) / "memopad.bak"); }

World::Snapshot World::Take() const {
    Snapshot s;
    s.databases = handheld_.Databases();
    s.nextId = handheld_.NextUniqueId();
    for (const auto& entry : fs::directory_iterator(HostDir())) {
        if (entry.is_regular_file()) s.files[entry.path().filename().string()] = ReadBytes(entry.path());
    }
    return s;
}

void World::Restore(const Snapshot& s) {
    handheld_ = synckit::MemoryHandheld();
    handheld_.Databases() = s.databases;
    handheld_.SetNextUniqueId(s.nextId);
    const fs::path dir = HostDir();
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& [name, bytes] : s.files) std::ofstream(dir / name, std::ios::binary) << bytes;
}

SyncRun World::Sync(int32_t syncType, const synckit::FaultPlan& plan, Fault desktopFault) {
    // Each HotSync is a new connection: the handheld keeps its databases and its id counter.
    std::vector<synckit::HandheldDatabase> databases = std::move(handheld_.Databases());
    const uint32_t nextId = handheld_.NextUniqueId();
    handheld_ = synckit::MemoryHandheld();
    handheld_.Databases() = std::move(databases);
    handheld_.SetNextUniqueId(nextId);
    handheld_.Faults() = plan;
    log_.Clear();

    gSeam = SaveSeam{desktopFault, false};
    synckit::gBeforeRenameHook = &BeforeRename;
    SyncRun run;
    {
        CMemoMonitor session(session_test::QuietProgress, session_test::MemoProperties(syncType), ConduitModule());
        run.result = RunSession(session);
    }
    synckit::gBeforeRenameHook = nullptr;
    run.desktopSaveReached = gSeam.desktopReached;
    run.desktopSaved = gSeam.desktopReached && desktopFault != Fault::kDesktopSave;
    run.calls = handheld_.Calls();
    run.log = log_.Entries();
    run.completionKind = run.log.empty() ? -99 : run.log.back().kind;
    return run;
}

bool World::LoadDesktop(CMemoTable& table) {
    const int32_t opened = table.OpenFrom(kDesktopPathWin, 0);
    return opened == 0 || opened == kTableNoSuchFile;
}

bool World::SaveDesktop(CMemoTable& table) { return table.SaveTo(kDesktopPathWin) == 0; }

}  // namespace model
