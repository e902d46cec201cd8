// The decision table of SyncRecord: one row per rule, each settling one handheld record against a
// desktop table (and, where the rule looks at it, the backup table) on a memo session.
#include <gtest/gtest.h>

#include <optional>

#include "SyncFixture.h"
#include "session/PassSupport.h"

using namespace sync_test;

namespace {

constexpr uint32_t kId = 0x400007;
constexpr uint32_t kOtherId = 0x400099;

// A memo session whose tables the test builds itself.
class RulesMonitor : public CMemoMonitor {
public:
    explicit RulesMonitor(int32_t syncType)
        : CMemoMonitor(QuietProgress, MemoProperties(syncType), ConduitModule()) {
        desktopTable_ = new CMemoTable();
        archiveTable_ = new CMemoTable();
        backupTable_ = new CMemoTable();
        factoryTable_ = new CMemoTable();
    }
    CMemoTable& Desktop() { return *desktopTable_; }
    CMemoTable& Archive() { return *archiveTable_; }
    CMemoTable& Backup() { return *backupTable_; }
    CMemoTable& Factory() { return *factoryTable_; }

    std::vector<long> addedToDesktop;  // rows given to OnRecordAddedToDesktop
    std::vector<long> updated;         // rows given to OnDesktopRecordUpdated
    int32_t OnRecordAddedToDesktop(CBaseRecord&, long row) override {
        addedToDesktop.push_back(row);
        return 0;
    }
    int32_t OnDesktopRecordUpdated(CBaseRecord&, long row) override {
        updated.push_back(row);
        return 0;
    }
};

struct DesktopSide {
    int32_t status;
    bool archived;
    const char* text;
};

struct RuleCase {
    const char* rule;
    int32_t syncType;
    uint8_t attributes;  // of the handheld record, as the handheld sends it
    const char* handheldText;
    std::optional<DesktopSide> desktop;  // the desktop row with the handheld id, or none
    const char* backupText;              // the backup row with the handheld id, or null for none
    // Expected afterwards.
    std::vector<Row> desktopRows;        // the whole desktop table, in table order
    std::vector<std::string> archived;   // texts in the archive table
    std::vector<std::string> logLines;   // entry texts after the header
    long addedRow = -1;                  // row given to OnRecordAddedToDesktop, -1 for no call
    long updatedRow = -1;                // row given to OnDesktopRecordUpdated, -1 for no call
};

const std::string kData = "       ";  // the blanks that start a record-data line

std::vector<std::string> BothModified(const std::string& text) {
    return {"   - The following record was modified on both Pilot and the Desktop:", kData + text,
            "     This record will be duplicated on each platform.", "     Delete the unwanted record and HotSync again."};
}
std::vector<std::string> BothModifiedArchive(const std::string& text) {
    return {"   - The following record was modified on both Pilot and the Desktop:", kData + text,
            "     This record will be duplicated on each platform. The Pilot record marked to",
            "     be archived was not archived.  Delete the unwanted record and HotSync again."};
}
std::vector<std::string> ModifiedAndDeleted(const std::string& text) {
    return {"   - The following record was modified on one platform and deleted on the other.",
            "     The modified version will appear on both platforms.", kData + text};
}

constexpr uint8_t kArchived = kRecAttrArchived | kRecAttrDeleted;  // as the handheld marks an archived record
constexpr uint8_t kDeleted = kRecAttrDeleted;
constexpr uint8_t kDirty = kRecAttrDirty;

const RuleCase kRules[] = {
    // --- Archived on the handheld ---
    {"archived, not on the desktop: archived", 0, kArchived, "hh", std::nullopt, nullptr,
     {{kOtherId, 0, false, "other"}}, {"hh"}, {}},
    {"archived, desktop unchanged: archived, desktop row pending and unmarked", 0, kArchived, "hh",
     DesktopSide{kStatusNone, true, "hh"}, nullptr,
     {{kId, kStatusPending, false, "hh"}, {kOtherId, 0, false, "other"}}, {"hh"}, {}},
    {"archived and modified, desktop modified alike: archived, desktop row pending", 0,
     kRecAttrArchived | kDirty, "same", DesktopSide{kStatusModified, false, "same"}, nullptr,
     {{kId, kStatusPending, false, "same"}, {kOtherId, 0, false, "other"}}, {"same"}, {}},
    {"archived and modified, desktop modified differently: both kept, 3331", 0, kRecAttrArchived | kDirty, "hh",
     DesktopSide{kStatusModified, true, "dt"}, nullptr,
     {{0, kStatusAdded, false, "dt"}, {kOtherId, 0, false, "other"}, {kId, kStatusModified, false, "hh"}}, {},
     BothModifiedArchive("hh")},
    {"archived unchanged, desktop modified: desktop version stays, 3334, handheld text archived", 0, kArchived,
     "old", DesktopSide{kStatusModified, false, "dt edit"}, nullptr,
     {{kId, kStatusModified, false, "dt edit"}, {kOtherId, 0, false, "other"}}, {"old"},
     ModifiedAndDeleted("dt edit")},
    {"archived unchanged, desktop modified to the same text: 3334, nothing archived", 0, kArchived, "same",
     DesktopSide{kStatusModified, false, "same"}, nullptr,
     {{kId, kStatusModified, false, "same"}, {kOtherId, 0, false, "other"}}, {}, ModifiedAndDeleted("same")},
    // The backup check in the archived rows: only for an unchanged record, only in a slow sync.
    {"slow: archived, unchanged since the backup, desktop modified: 3334", 1, kRecAttrArchived, "old",
     DesktopSide{kStatusModified, false, "old"}, "old",
     {{kId, kStatusModified, false, "old"}, {kOtherId, 0, false, "other"}}, {}, ModifiedAndDeleted("old")},
    {"slow: archived, differs from the backup, same as desktop: archived", 1, kRecAttrArchived, "new",
     DesktopSide{kStatusModified, false, "new"}, "old",
     {{kId, kStatusPending, false, "new"}, {kOtherId, 0, false, "other"}}, {"new"}, {}},
    {"fast: archived, unchanged, no backup check: 3334", 0, kRecAttrArchived, "new",
     DesktopSide{kStatusModified, false, "new"}, nullptr,
     {{kId, kStatusModified, false, "new"}, {kOtherId, 0, false, "other"}}, {}, ModifiedAndDeleted("new")},

    // --- Deleted on the handheld ---
    {"deleted, not on the desktop: nothing", 0, kDeleted, "hh", std::nullopt, nullptr,
     {{kOtherId, 0, false, "other"}}, {}, {}},
    {"deleted, desktop archived: desktop row archived and pending", 0, kDeleted, "hh",
     DesktopSide{kStatusModified, true, "dt"}, nullptr,
     {{kId, kStatusPending, false, "dt"}, {kOtherId, 0, false, "other"}}, {"dt"}, {}},
    {"deleted, desktop modified: 3334, desktop row stays modified", 0, kDeleted | kDirty, "hh",
     DesktopSide{kStatusModified, false, "dt edit"}, nullptr,
     {{kId, kStatusModified, false, "dt edit"}, {kOtherId, 0, false, "other"}}, {}, ModifiedAndDeleted("dt edit")},
    {"deleted, desktop unchanged: pending", 0, kDeleted, "hh", DesktopSide{kStatusNone, false, "dt"}, nullptr,
     {{kId, kStatusPending, false, "dt"}, {kOtherId, 0, false, "other"}}, {}, {}},

    // --- Neither archived nor deleted ---
    {"new on the handheld: added to the desktop", 0, kDirty, "hh new", std::nullopt, nullptr,
     {{kOtherId, 0, false, "other"}, {kId, kStatusNone, false, "hh new"}}, {}, {}, 1},
    {"modified alike, desktop archived: archived, desktop row deleted", 0, kDirty, "same",
     DesktopSide{kStatusModified, true, "same"}, nullptr,
     {{kId, kStatusDeleted, false, "same"}, {kOtherId, 0, false, "other"}}, {"same"}, {}},
    {"modified alike: desktop row unchanged from now on, no message", 0, kDirty, "same",
     DesktopSide{kStatusModified, false, "same"}, nullptr,
     {{kId, kStatusNone, false, "same"}, {kOtherId, 0, false, "other"}}, {}, {}},
    {"modified differently: duplicated, 3328 with the handheld version", 0, kDirty, "hh edit",
     DesktopSide{kStatusModified, true, "dt edit"}, nullptr,
     {{0, kStatusAdded, false, "dt edit"}, {kOtherId, 0, false, "other"}, {kId, kStatusNone, false, "hh edit"}}, {},
     BothModified("hh edit"), 2},
    {"modified, desktop unchanged: desktop takes the handheld version", 0, kDirty, "hh edit",
     DesktopSide{kStatusNone, false, "old"}, nullptr,
     {{kId, kStatusNone, false, "hh edit"}, {kOtherId, 0, false, "other"}}, {}, {}, -1, 0},
    {"modified, desktop deleted: 3334 with the handheld version, which the desktop takes", 0, kDirty, "hh edit",
     DesktopSide{kStatusDeleted, false, "old"}, nullptr,
     {{kId, kStatusNone, false, "hh edit"}, {kOtherId, 0, false, "other"}}, {}, ModifiedAndDeleted("hh edit"), -1, 0},
    {"modified, desktop archived unchanged: 3334, desktop takes the handheld version unarchived", 0, kDirty,
     "hh edit", DesktopSide{kStatusNone, true, "old"}, nullptr,
     {{kId, kStatusNone, false, "hh edit"}, {kOtherId, 0, false, "other"}}, {}, ModifiedAndDeleted("hh edit"), -1, 0},
    // Unchanged records pass the backup check first, in every sync type.
    {"unchanged, desktop archived: archived, desktop row deleted", 1, 0, "same",
     DesktopSide{kStatusNone, true, "same"}, "same",
     {{kId, kStatusDeleted, false, "same"}, {kOtherId, 0, false, "other"}}, {"same"}, {}},
    {"unchanged, desktop pending: claimed, status none", 1, 0, "same", DesktopSide{kStatusPending, false, "same"},
     "same", {{kId, kStatusNone, false, "same"}, {kOtherId, 0, false, "other"}}, {}, {}},
    {"unchanged, desktop modified: nothing", 1, 0, "same", DesktopSide{kStatusModified, false, "dt edit"}, "same",
     {{kId, kStatusModified, false, "dt edit"}, {kOtherId, 0, false, "other"}}, {}, {}},
    {"unchanged but not in the backup: counts as modified, desktop takes it", 0, 0, "hh",
     DesktopSide{kStatusPending, false, "dt"}, nullptr,
     {{kId, kStatusNone, false, "hh"}, {kOtherId, 0, false, "other"}}, {}, {}, -1, 0},
    {"unchanged but differs from the backup: counts as modified, duplicated", 1, 0, "hh",
     DesktopSide{kStatusModified, false, "dt"}, "old",
     {{0, kStatusAdded, false, "dt"}, {kOtherId, 0, false, "other"}, {kId, kStatusNone, false, "hh"}}, {},
     BothModified("hh"), 2},
};

class SyncRecordTest : public SyncFixture {};

TEST_F(SyncRecordTest, DecisionTable) {
    for (const RuleCase& c : kRules) {
        SCOPED_TRACE(c.rule);
        log.Clear();
        RulesMonitor session(c.syncType);
        if (c.desktop) AppendRow(session.Desktop(), {kId, c.desktop->status, c.desktop->archived, c.desktop->text});
        AppendRow(session.Desktop(), {kOtherId, kStatusNone, false, "other"});
        if (c.backupText != nullptr) AppendRow(session.Backup(), {kId, kStatusNone, false, c.backupText});
        AppendRow(session.Backup(), {kOtherId, kStatusNone, false, "other"});

        // The handheld record arrives as the passes deliver it: converted from the raw record into
        // an object of the record factory table, which held another memo before.
        CMemoRecord handheld(session.Factory(), 0);
        ASSERT_EQ(session.Factory().CreateRecord(handheld), 0);
        handheld.SetMemo("text of the record read before");
        std::string data = std::string(c.handheldText) + std::string(1, '\0');
        RawRecord raw{};
        raw.recordId = kId;
        raw.attributes = c.attributes;
        raw.buffer = reinterpret_cast<uint8_t*>(data.data());
        raw.bufferSize = static_cast<uint16_t>(data.size());
        raw.dataSize = static_cast<uint32_t>(data.size());
        ASSERT_EQ(syncpass::ConvertHandheldRecord(session.Converter(), raw, handheld), 0);

        CMemoRecord desktop(session.Desktop(), 0);
        CMemoRecord backup(session.Backup(), 0);
        EXPECT_EQ(session.SyncRecord(handheld, desktop, backup), 0);

        EXPECT_EQ(RowsOf(session.Desktop()), c.desktopRows);
        std::vector<std::string> archived;
        for (const Row& row : RowsOf(session.Archive())) {
            archived.push_back(row.text);
            EXPECT_EQ(row.status, kStatusNone);  // archive copies are plain
            EXPECT_FALSE(row.archived);
        }
        EXPECT_EQ(archived, c.archived);
        std::vector<std::string> expectedLog;
        if (!c.logLines.empty()) expectedLog.push_back("-- Memo Pad");
        expectedLog.insert(expectedLog.end(), c.logLines.begin(), c.logLines.end());
        EXPECT_EQ(LogTexts(), expectedLog);

        // The hooks hear of a row added to the desktop and of a row that took the handheld version.
        EXPECT_EQ(session.addedToDesktop, c.addedRow >= 0 ? std::vector<long>{c.addedRow} : std::vector<long>{});
        EXPECT_EQ(session.updated, c.updatedRow >= 0 ? std::vector<long>{c.updatedRow} : std::vector<long>{});
    }
}

}  // namespace
