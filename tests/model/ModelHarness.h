// Model-based testing of the memo sync: a world of one in-memory handheld and one desktop folder, the
// user's edits made the way each side's application makes them, HotSyncs with one injected fault,
// a record of what the user asked for, and the invariants every sync must keep.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "AppInfoBuilder.h"
#include "TempPrefix.h"
#include "synckit/HotSyncLog.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/Table.h"

namespace model {

// One memo as a side shows it, texts with LF line ends on both sides (desktop CR LF undone).
struct Memo {
    uint32_t id = 0;
    std::string text;
    int32_t category = 0;
    bool isPrivate = false;
    // Handheld: the raw attribute byte. Desktop: status and archive flag.
    uint8_t attributes = 0;
    int32_t status = kStatusNone;
    bool archived = false;
};

// A failure the sync must survive. Handheld faults are planned on one call of the run (counted from 1
// as MemoryHandheld counts them); the desktop faults fail a table file's save at its rename.
enum class Fault : uint8_t {
    kNone,
    kFailOnce,        // that call answers kSyncErrFailed
    kFailFromThenOn,  // that call and every later call of the same operation answer kSyncErrFailed
    kHandheldFull,    // that call answers 16404, and so does every later record write
    kDrop,            // the connection breaks before that call
    kDesktopSave,     // the desktop file's save fails
    kArchiveSave,     // every archive file's save fails
};
const char* FaultName(Fault fault);
inline bool IsHandheldFault(Fault f) { return f != Fault::kNone && f != Fault::kDesktopSave && f != Fault::kArchiveSave; }

// What one HotSync did.
struct SyncRun {
    int32_t result = 0;
    int32_t completionKind = 0;
    bool desktopSaveReached = false;  // the desktop file's save got to its rename
    bool desktopSaved = false;        // ... and the rename was not failed by the desktop fault
    std::vector<synckit::RecordedCall> calls;
    std::vector<synckit::LogEntry> log;
};

// The handheld with "MemoDB", the desktop folder of a temporary prefix and the HotSync log, attached
// while the world lives. One world at a time (the prefix, handheld and log are process-wide).
class World {
public:
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    synckit::HandheldDatabase& Db();
    synckit::MemoryHandheld& Handheld() { return handheld_; }

    // Every record of the handheld database / row of the desktop file, in order.
    std::vector<Memo> HandheldMemos();
    // False (and a reason) when the desktop file is there but does not open.
    bool DesktopMemos(std::vector<Memo>& out, std::string* why = nullptr);
    std::vector<tervano::test::CategoryFields> HandheldCategories();
    bool DesktopCategories(std::vector<tervano::test::CategoryFields>& out);
    // Texts of every archive file beside the desktop file; false (and a reason) when one does not open.
    bool ArchiveTexts(std::vector<std::string>& out, std::string* why = nullptr);
    // 0 or kTableNoSuchFile when the ".bak" file opens (or is not there yet), else the table code.
    int32_t OpenBackup();

    // Raw bytes of the desktop file and of its ".bak" copy ("" when absent).
    std::string DesktopBytes() const;
    std::string BackupBytes() const;

    // The whole state of both sides, to run one sync twice from the same start.
    struct Snapshot {
        std::vector<synckit::HandheldDatabase> databases;
        uint32_t nextId = 0;
        std::map<std::string, std::string> files;
    };
    Snapshot Take() const;
    void Restore(const Snapshot& snapshot);

    // One HotSync of the given type through the session, as the entry point runs it, on a freshly
    // connected handheld (a broken connection of an earlier sync is mended), with the handheld fault
    // plan and the desktop fault.
    SyncRun Sync(int32_t syncType, const synckit::FaultPlan& plan, Fault desktopFault);

    // Desktop table of the desktop file, for the desktop application's edits.
    bool LoadDesktop(CMemoTable& table);
    bool SaveDesktop(CMemoTable& table);

    static const char* DesktopPath();

private:
    std::string HostDir() const;

    tervano::test::TempPrefix prefix_;
    synckit::MemoryHandheld handheld_;
    synckit::HotSyncLog log_;
    synckit::ScopedHandheld* attachHandheld_ = nullptr;
    synckit::ScopedHotSyncLog* attachLog_ = nullptr;
};

// ---- Scenarios ----

enum class Op : uint8_t {
    kHAdd, kHEdit, kHDelete, kHArchive, kHMove, kHPrivate, kHCatAdd, kHCatRename, kHCatDelete,
    kDAdd, kDEdit, kDDelete, kDArchive, kDMove, kDPrivate, kDCatAdd, kDCatRename, kDCatDelete,
    // One memo on both sides: edited differently, edited alike, edited on one side and deleted on the
    // other, edited on one side and archived on the other (a picks the side that edits).
    kBothEdit, kBothEditAlike, kEditAndDelete, kEditAndArchive,
    kSync,
};

struct Step {
    Op op = Op::kSync;
    uint32_t a = 0;  // picks the memo or category (modulo what there is)
    uint32_t b = 0;  // picks the new category, name, text, or the faulted call
    int32_t syncType = 0;
    Fault fault = Fault::kNone;
};

struct Scenario {
    uint64_t seed = 0;
    int initialMemos = 0;
    std::vector<Step> steps;
};

// A seeded scenario: initialMemos memos on the handheld brought to the desktop by a first slow sync,
// then `syncs` rounds of a few edits on either side and one sync of a random type, a third of them
// with one fault.
Scenario Generate(uint64_t seed, int syncs);

// What went wrong: the step (index into steps, -1 for the first sync) and the invariant's message.
struct Failure {
    int step = -1;
    std::string what;
};

struct RunOptions {
    std::string* trace = nullptr;  // when set, one line per step
};

// Runs the scenario in a new world and checks every invariant after every sync.
std::optional<Failure> Run(const Scenario& scenario, const RunOptions& options = {});

// Drops steps (and memos) while the scenario still fails; at most maxRuns reruns.
Scenario Shrink(const Scenario& failing, int maxRuns = 300);

// The seed, the failure and the step list of the scenario, as printed for a failing seed.
std::string Describe(const Scenario& scenario, const Failure& failure);

// Runs seeds first..first+count-1; prints every failing seed with its shrunk reproduction (the first
// maxReports of them). Returns the number of failing seeds.
int RunSeeds(uint64_t first, uint64_t count, int syncs, int maxReports, bool progress);

// ---- Invariants (also used by the fault loop) ----

// What the user asked for, over the whole scenario: texts edited away or deleted on each side.
struct Intents {
    std::set<std::string> deletedOnHandheld, deletedOnDesktop;
    std::set<std::string> editedOnHandheld, editedOnDesktop;
    std::set<std::string> known;          // every text ever made, LF form
    std::set<std::string> categoryNames;  // every category name ever used
    // The applications' counters: memo texts are numbered, category ids come from separate ranges.
    uint32_t serial = 0;
    int32_t nextHandheldCategoryId = 128;
    int32_t nextDesktopCategoryId = 16;
};

// Puts initialMemos memos on the handheld and runs the first (slow, fault-free) sync; "" or what failed.
std::string StartWorld(World& world, Intents& intents, uint64_t seed, int initialMemos, std::string* trace = nullptr);
// One user edit (any step but kSync); "" or why the application could not make it.
std::string ApplyEdit(World& world, Intents& intents, const Step& step, std::string* trace = nullptr);
// The fault plan for a handheld fault at call n (from 1) of a run whose fault-free calls are clean.
synckit::FaultPlan PlanFor(Fault fault, int64_t n, const std::vector<synckit::RecordedCall>& clean);

// The state before a sync, and what the invariants say of it.
struct Before {
    std::set<std::string> required;  // texts that must be on a side or archived afterwards
    std::string desktopBytes, backupBytes;
    // A whole copy: the texts of its source side, and which side that is.
    std::set<std::string> copied;
    bool copiedToHandheld = false;
};
Before Prepare(World& world, Intents& intents, int32_t syncType);
// After a whole copy that succeeded (and, into the desktop, whose desktop file was saved): the
// source side's texts are what the user kept, so the other side's edits and deletions of them no
// longer count. A copy that did not land leaves the other side's edits standing.
void Settle(Intents& intents, const Before& before, const SyncRun& run);

// Checks one finished sync. faultFree: no fault was injected. Returns "" or what is wrong.
std::string Check(World& world, const Intents& intents, const Before& before, const SyncRun& run,
                  int32_t syncType, Fault fault);

// Every log entry is one of the conduit's own texts; "" or the first stray entry.
std::string CheckLog(const std::vector<synckit::LogEntry>& log, const Intents& intents);

}  // namespace model
