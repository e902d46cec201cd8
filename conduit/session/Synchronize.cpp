// The session routine: one HotSync of the handheld database, step by step, with the count repair,
// the desktop-file save and its ".bak" copy.
#include "session/SyncMonitor.h"

#include <cstring>

#include "memo/MemoConverter.h"
#include "session/LogKinds.h"
#include "synckit/SyncMgr.h"
#include "win/Files.h"

namespace {

// True when a desktop row still carries a change the handheld has not taken: added, modified, or
// marked for archiving.
bool HasUnsentChanges(CMemoTable* table) {
    if (table == nullptr) return false;
    CBaseIterator walk(*table);
    CBaseRecord row(*table, 0);
    for (int32_t more = walk.FindFirst(row, 0); more == 0; more = walk.FindNext(row, 0)) {
        if (row.IsAdded() || row.IsModified() || row.IsArchived()) return true;
    }
    return false;
}

}  // namespace

int32_t CSyncMonitor::Synchronize() {
    ConduitHandle conduit = 0;
    int32_t result = SyncRegisterConduit(conduit);
    if (result != 0) return result;

    AddLogEntry("", kLogSyncStart);
    int32_t completionKind = kLogSyncDone;
    delete[] appInfo_.buffer;  // never set at this point; freed rather than lost should it be
    std::memset(&appInfo_, 0, sizeof appInfo_);

    // The first failure of an iteration. The count check takes the count query's code as the result
    // (so that a failed pass still lets the desktop file be saved); the failure is kept here so that
    // it is still what the session reports.
    int32_t firstFailure = 0;

    for (; currentDatabase_ < databaseCount_; ++currentDatabase_) {
        if (result != 0) break;
        const int32_t syncType = properties_.syncType;

        handheldEmptiedByBrokenCopy_ = false;
        result = OpenHandheldDatabase();
        if (result == 0) result = OpenDesktopTables();
        if (result == 0) {
            ResetForNewHandheld();
            result = ReadHandheldCategories();
            if (result == 0) {
                if (converter_ != nullptr) {
                    converter_->AfterAppInfoRead(appInfo_, desktopTable_, syncType, properties_.firstSyncIndicator);
                }
                result = ReconcileCategories();
            }
        }
        // Without both sides open and their categories agreed nothing below may touch them: the
        // desktop table may be empty for want of a loadable file (saving it would overwrite the
        // user's file) and the handheld's changes have not been read (resetting its flags would lose them).
        const bool prepared = result == 0;

        if (prepared) {
            switch (syncType) {
                case 2: result = CopyHandheldToDesktop(); break;
                case 3: result = CopyDesktopToHandheld(); break;
                case 0: result = FastSync(); break;
                case 1: result = SlowSync(); break;
                default: result = kErrUnsupportedSyncType; break;
            }
        }

        // Repair by counts: a two-way sync that leaves the sides with different numbers of records
        // is followed by a whole copy from the side that has more.
        if (result == 0 && (syncType == 0 || syncType == 1)) {
            const int32_t desktopCount = DesktopRecordCount();
            uint16_t handheldCount = 0;
            result = SyncGetDBRecordCount(dbHandle_, handheldCount);
            if (result == 0 && desktopCount > handheldCount) {
                result = CopyDesktopToHandheld();
            } else if (result == 0 && desktopCount < handheldCount && !HasUnsentChanges(desktopTable_)) {
                // Emptying the desktop table would drop the rows whose change the handheld refused in
                // this pass (a full handheld keeps them added or modified for the next sync); with such
                // rows the counts are left to the count check, and the next sync sends them again.
                if (desktopTable_ != nullptr) desktopTable_->PurgeAllRecords();
                result = CopyHandheldToDesktop();
            }
        }
        if (result != 0) firstFailure = result;

        // Count check: the query's code replaces the result, so that a pass failure short of a
        // broken connection still lets the order, archive and save steps run.
        if (prepared && (result == 0 || !IsCommsError(result))) {
            const int32_t desktopCount = DesktopRecordCount();
            uint16_t handheldCount = 0;
            result = SyncGetDBRecordCount(dbHandle_, handheldCount);
            // Compared only when the query answered: an unanswered count is not a count of 0.
            if (result == 0 && desktopCount < handheldCount) {
                LogHandheldRecordsNotCopied(desktopCount, handheldCount);
                completionKind = kLogSyncFailed;
            } else if (result == 0 && desktopCount > handheldCount) {
                LogDesktopRecordsNotCopied(desktopCount, handheldCount);
                completionKind = kLogSyncFailed;
            }
        }

        if (prepared && (result == 0 || !IsCommsError(result))) {
            if (ApplyHandheldOrder() != 0) LogOrderNotApplied();
        }

        // Archive and save. A desktop-to-handheld copy that broke off after emptying the handheld
        // left the only whole copy in the desktop table, so it is saved whatever the result.
        if (prepared && (result == 0 || IsHandheldFull(result) || handheldEmptiedByBrokenCopy_)) {
            if (ArchiveRecords() != 0) LogArchiveFailed();
            const std::string desktopPath = DesktopPath();
            const std::string backupPath = BackupPath();
            if (SaveDesktopTable(desktopPath.c_str()) != 0) {
                completionKind = kLogSyncFailed;  // the ".bak" copy keeps the last good save
            } else {
                // After a failed pass the handheld keeps its change flags, so that the records it
                // did not get to are read again at the next sync.
                if (firstFailure == 0 && SyncResetSyncFlags(dbHandle_) != 0) completionKind = kLogSyncFailed;
                win::DeleteFile(backupPath.c_str());
                win::CopyFile(desktopPath.c_str(), backupPath.c_str(), false);
            }
        }

        if (!IsCommsError(result)) SyncCloseDB(dbHandle_);
    }

    // A failure stays the session's result unless the connection broke later on.
    if (firstFailure != 0 && !IsCommsError(result)) result = firstFailure;
    if (result != 0) completionKind = kLogSyncFailed;

    char name[40] = {};
    GetDisplayName(name, sizeof name);
    name[sizeof name - 1] = '\0';
    AddLogEntry(name, completionKind);

    if (!IsCommsError(result)) SyncUnRegisterConduit(conduit);
    return result;
}
