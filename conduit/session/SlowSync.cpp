// The slow two-way pass (sync type 1), which reads every handheld record and judges unchanged ones
// against the desktop file as it stood after the previous sync, and the two whole copies, handheld
// to desktop (sync type 2) and desktop to handheld (sync type 3).
#include <string>

#include "session/MemoMonitor.h"
#include "session/PassSupport.h"
#include "synckit/SyncMgr.h"

namespace {

// A desktop row whose handheld record the desktop-to-handheld copy purged without writing it again:
// it has no handheld record any more (id 0), and unless deleted or marked for archiving it is a new
// row that the next sync sends.
void KeepAsUnsent(CBaseRecord& record) {
    record.SetRecordId(0);
    if (!record.IsDeleted() && !record.IsArchived()) record.SetStatus(kStatusAdded);
}

}  // namespace

int32_t CMemoMonitor::SlowSync() {
    if (desktopTable_ == nullptr) return kErrDesktopTable;

    // Step 1.
    CMemoTable emptyBackup;
    CMemoTable& backupTable = backupTable_ != nullptr ? *backupTable_ : emptyBackup;
    CMemoRecord backup(backupTable, 0);
    CMemoRecord desktop(*desktopTable_, 0);
    CMemoIterator walk(*desktopTable_);

    // Step 2: the ".bak" file is the desktop file as saved at the end of the last good sync. Without
    // one (or with one that cannot be read) the backup table stays empty and every handheld record
    // counts as changed.
    const std::string backupPath = BackupPath();
    backupTable.OpenFrom(backupPath.c_str(), 0);

    // Step 3.
    if (factoryTable_ == nullptr) return kErrRecordFactory;
    CMemoRecord handheld(*factoryTable_, 0);
    if (factoryTable_->CreateRecord(handheld) != 0) return kErrRecordFactory;
    syncpass::PassRecord pass(dbHandle_);
    RawRecord& raw = pass.Raw();
    if (const int32_t allocated = pass.Allocate(); allocated != 0) return allocated;

    // Step 4: every unchanged desktop record waits for a handheld record to claim it. One that no
    // handheld record claims was deleted and purged on the handheld, and leaves the desktop.
    for (int32_t found = walk.FindFirst(desktop, 1); found == 0; found = walk.FindNext(desktop, 1)) {
        if (!desktop.IsArchived() && desktop.IsNone()) desktop.SetStatus(kStatusPending);
    }

    // Step 5: every handheld record, by index.
    int32_t error = 0;
    int32_t read = 0;
    for (int32_t index = 0; error == 0 && index <= syncpass::kMaxRecordIndex; ++index) {
        syncpass::YieldToHost();
        raw.recordIndex = static_cast<uint16_t>(index);
        read = SyncReadRecordByIndex(raw);
        if (read != 0) break;
        if (syncpass::ConvertHandheldRecord(converter_, raw, handheld) != 0) {
            error = kErrToDesktopRecord;
        } else {
            error = SyncRecord(handheld, desktop, backup);
        }
        pass.ClearBuffer();
    }

    // Step 6: a loop ended by a failure of its own logs no read failure.
    const bool readFailed = error == 0 && read != 0 && read != kSyncErrNotFound;
    if (readFailed) LogReadNextFailed();

    // Step 7.
    pass.Free();

    // Step 8. After a failed read the handheld records from that index on were never seen: the
    // desktop half would drop their desktop rows as unclaimed and write desktop edits over handheld
    // edits not yet read. It waits for the next sync, the marks go back to status none (every
    // handheld record is read again then) and the read failure is the pass's result.
    if (error != 0) return error;
    if (readFailed) {
        for (int32_t found = walk.FindFirst(desktop, 1); found == 0; found = walk.FindNext(desktop, 1)) {
            if (desktop.IsPending()) desktop.SetStatus(kStatusNone);
        }
        return read;
    }
    CMemoRecord scratch(*desktopTable_, 0);
    return SendDesktopChanges(scratch);
}

int32_t CMemoMonitor::CopyHandheldToDesktop() {
    // Step 1.
    if (factoryTable_ == nullptr) return kErrRecordFactory;
    CMemoRecord handheld(*factoryTable_, 0);
    if (factoryTable_->CreateRecord(handheld) != 0) return kErrRecordFactory;
    syncpass::PassRecord pass(dbHandle_);
    RawRecord& raw = pass.Raw();
    if (const int32_t allocated = pass.Allocate(); allocated != 0) return allocated;

    // Step 2: archived records go to the archive table, deleted ones are left out, every other one
    // joins the desktop unchanged.
    int32_t error = 0;
    int32_t read = 0;
    for (int32_t index = 0; error == 0 && index <= syncpass::kMaxRecordIndex; ++index) {
        syncpass::YieldToHost();
        raw.recordIndex = static_cast<uint16_t>(index);
        read = SyncReadRecordByIndex(raw);
        if (read != 0) break;
        if (syncpass::ConvertHandheldRecord(converter_, raw, handheld) != 0) {
            error = kErrToDesktopRecord;
        } else if (handheld.IsArchived()) {
            error = AppendRecord(handheld, archiveTable_);
        } else if (!handheld.IsDeleted()) {
            error = AppendRecord(handheld, desktopTable_);
        }
        pass.ClearBuffer();
    }

    // Step 3.
    const bool readFailed = error == 0 && read != 0 && read != kSyncErrNotFound;
    if (readFailed) LogReadNextFailed();

    // Step 4.
    pass.Free();

    // Step 5. After a failed read the records from that index on were never read: purging would
    // throw away the archived ones among them, whose only copy is still on the handheld. They wait
    // for the next sync, and the read failure is the pass's result, so the handheld keeps its change
    // flags. Once the purge has taken the archived records off the handheld, the archive table is
    // their only copy and goes into the archive files at once. The purge's failure is reported but
    // does not change the result.
    if (readFailed) return read;
    if (error == 0) {
        if (SyncPurgeDeletedRecs(dbHandle_) != 0) {
            LogPurgeHandheldFailed();
        } else {
            ArchiveBeforeAnythingElseCanFail();
        }
    }

    // Step 6.
    return error;
}

int32_t CMemoMonitor::CopyDesktopToHandheld() {
    if (desktopTable_ == nullptr) return kErrDesktopTable;

    // Step 1: the desktop table in its own order.
    CMemoRecord record(*desktopTable_, 0);
    CMemoIterator walk(*desktopTable_);

    // Step 2: the handheld is emptied first; if it cannot be, nothing else is done.
    if (SyncPurgeAllRecs(dbHandle_) != 0) return kErrPurgeBeforeCopy;

    // Step 3.
    int32_t error = 0;
    for (int32_t found = walk.FindFirst(record, 0); found == 0 && error == 0; found = walk.FindNext(record, 0)) {
        if (record.IsArchived()) {
            // Archived records go to the archive table, never to the handheld. One that cannot be put
            // there keeps its archive mark rather than being dropped as deleted.
            error = AppendRecord(record, archiveTable_);
            if (error == 0) record.SetStatus(kStatusDeleted);
        } else if (!record.IsDeleted()) {
            int32_t status = kStatusNone;
            record.GetStatus(status);
            record.SetStatus(kStatusNone);
            syncpass::YieldToHost();
            const int32_t written = WriteNewHandheldRecord(record);
            if (written != 0) {
                LogCopyToHandheldFailed(record);
                // A memo too long for a handheld record stays on the desktop, to be sent as a new
                // record once it fits, and the copy goes on with the others.
                KeepAsUnsent(record);
                if (written != kErrToHandheldRecord) error = written;
            }
        }
        if (error != 0) {
            // The handheld was emptied and the copy broke off: the rows from here on are on the
            // desktop only. Each becomes a new row for the next sync (a slow sync would otherwise
            // take a row of status none whose record is gone for one deleted on the handheld), and
            // the session saves the desktop file even when the connection broke.
            handheldEmptiedByBrokenCopy_ = true;
            while (walk.FindNext(record, 0) == 0) KeepAsUnsent(record);
        }
    }

    // Step 4.
    if (error == 0) return PurgeDeletedDesktopRecords();
    return error;
}

