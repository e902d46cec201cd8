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

// How a walk over the handheld records by index ended.
struct IndexWalk {
    int32_t error = 0;  // the first nonzero answer of the conversion (4112) or of the step
    int32_t read = 0;   // the read that ended the walk: 16387 past the last record, another code on failure
    // A read failure other than the normal end, in a walk not ended by an error of its own.
    bool ReadFailed() const { return error == 0 && read != 0 && read != kSyncErrNotFound; }
};

// Reads the handheld records by index 0, 1, 2, ... into the record object and hands each to step,
// while the error stays 0 and the reads succeed; the buffer is zeroed after every record.
template <class Step>
IndexWalk WalkRecordsByIndex(CRecordConverter* converter, syncpass::PassRecord& pass, CBaseRecord& handheld,
                             Step step) {
    IndexWalk walk;
    RawRecord& raw = pass.Raw();
    for (int32_t index = 0; walk.error == 0 && index <= syncpass::kMaxRecordIndex; ++index) {
        syncpass::YieldToHost();
        raw.recordIndex = static_cast<uint16_t>(index);
        walk.read = SyncReadRecordByIndex(raw);
        if (walk.read != 0) break;
        walk.error = syncpass::ConvertHandheldRecord(converter, raw, handheld) != 0 ? kErrToDesktopRecord : step();
        pass.ClearBuffer();
    }
    return walk;
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
    if (const int32_t allocated = pass.Allocate(); allocated != 0) return allocated;

    // Step 4: every unchanged desktop record waits for a handheld record to claim it. One that no
    // handheld record claims was deleted and purged on the handheld, and leaves the desktop.
    for (int32_t found = walk.FindFirst(desktop, 1); found == 0; found = walk.FindNext(desktop, 1)) {
        if (!desktop.IsArchived() && desktop.IsNone()) desktop.SetStatus(kStatusPending);
    }

    // Step 5: every handheld record, by index.
    const IndexWalk byIndex =
        WalkRecordsByIndex(converter_, pass, handheld, [&] { return SyncRecord(handheld, desktop, backup); });

    // Step 6: a loop ended by a failure of its own logs no read failure.
    if (byIndex.ReadFailed()) LogReadNextFailed();

    // Step 7.
    pass.Free();

    // Step 8. After a failed read the handheld records from that index on were never seen: the
    // desktop half would drop their desktop rows as unclaimed and write desktop edits over handheld
    // edits not yet read. It waits for the next sync, the marks go back to status none (every
    // handheld record is read again then) and the read failure is the pass's result.
    if (byIndex.error != 0) return byIndex.error;
    if (byIndex.ReadFailed()) {
        for (int32_t found = walk.FindFirst(desktop, 1); found == 0; found = walk.FindNext(desktop, 1)) {
            if (desktop.IsPending()) desktop.SetStatus(kStatusNone);
        }
        return byIndex.read;
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
    if (const int32_t allocated = pass.Allocate(); allocated != 0) return allocated;

    // Step 2: archived records go to the archive table, deleted ones are left out, every other one
    // joins the desktop unchanged.
    const IndexWalk byIndex = WalkRecordsByIndex(converter_, pass, handheld, [&] {
        if (handheld.IsArchived()) return AppendRecord(handheld, archiveTable_);
        if (!handheld.IsDeleted()) return AppendRecord(handheld, desktopTable_);
        return 0;
    });

    // Step 3.
    if (byIndex.ReadFailed()) LogReadNextFailed();

    // Step 4.
    pass.Free();

    // Step 5. After a failed read the records from that index on were never read: purging would
    // throw away the archived ones among them, whose only copy is still on the handheld. They wait
    // for the next sync, and the read failure is the pass's result, so the handheld keeps its change
    // flags. Once the purge has taken the archived records off the handheld, the archive table is
    // their only copy and goes into the archive files at once. The purge's failure is reported but
    // does not change the result.
    if (byIndex.ReadFailed()) return byIndex.read;
    if (byIndex.error == 0) {
        if (SyncPurgeDeletedRecs(dbHandle_) != 0) {
            LogPurgeHandheldFailed();
        } else {
            ArchiveBeforeAnythingElseCanFail();
        }
    }

    // Step 6.
    return byIndex.error;
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

