// The record rules of the two-way sync: settling one handheld record against the desktop table
// (which side wins, what is duplicated, archived or logged), carrying the desktop's changes to the
// handheld, and copying the handheld's record order onto the desktop rows.
#include <algorithm>
#include <memory>
#include <new>

#include "memo/MemoConverter.h"
#include "session/PassSupport.h"
#include "session/SyncMonitor.h"
#include "synckit/SyncMgr.h"

namespace {

constexpr int32_t kSlowSyncType = 1;

}  // namespace

int32_t CSyncMonitor::AppendRecord(CBaseRecord& record, CBaseTable* table) {
    int32_t oldStatus = kStatusNone;
    record.GetStatus(oldStatus);
    const int32_t wasArchived = record.IsArchived();

    // The copy goes in unchanged and unarchived.
    record.SetStatus(kStatusNone);
    record.SetArchiveBit(0);
    if (AppendRecordToTable(record, table) != 0) {
        // Nothing was copied, so the record keeps what it was: a desktop row that could not be
        // archived stays archived (and is tried again) rather than being dropped as handled.
        record.SetStatus(oldStatus);
        record.SetArchiveBit(wasArchived != 0 ? 1 : 0);
        LogCopyToDesktopFailed(record);
        return kErrAppendRecord;
    }
    return 0;
}

int32_t CSyncMonitor::SyncRecord(CBaseRecord& handheld, CBaseRecord& desktop, CBaseRecord& backup) {
    CBaseIterator desktopWalk(desktop.Table());
    CBaseIterator backupWalk(backup.Table());
    const bool backupHasRecords = backup.Table().GetRecordCount() > 0;
    if (desktop.Table().GetRecordCount() > 0) {
        if (const int32_t sorted = desktopWalk.SortByRecordId(); sorted != 0) return sorted;
    }
    if (backupHasRecords) {
        if (const int32_t sorted = backupWalk.SortByRecordId(); sorted != 0) return sorted;
    }

    uint32_t id = 0;
    handheld.GetRecordId(id);
    // Not found leaves the scratch cursor where it was: it is not looked at then.
    const bool found = desktopWalk.FindByRecordId(id, desktop, 0) == 0;

    // A handheld record that is new since the previous sync, or differs from the state the desktop
    // file had after it, counts as modified.
    auto backupCheck = [&] {
        const bool inBackup = backupHasRecords && backupWalk.FindByRecordId(id, backup, 0) == 0;
        if (!inBackup || handheld.HasSameContent(backup) == 0) handheld.SetStatus(kStatusModified);
    };
    auto archive = [&](CBaseRecord& record) { return AppendRecord(record, archiveTable_); };
    auto addToDesktop = [&](CBaseRecord& record) {
        const int32_t appended = AppendRecord(record, desktopTable_);
        if (appended == 0) OnRecordAddedToDesktop(record, DesktopRecordCount() - 1);
        return appended;
    };

    // The archived mark is tested before the deleted status: a record with both is archived.
    if (handheld.IsArchived()) {
        if (!found) return archive(handheld);
        if (handheld.IsNone() && desktop.IsModified() && SyncType() == kSlowSyncType) backupCheck();

        if (!desktop.IsModified()) {
            if (const int32_t archived = archive(handheld); archived != 0) return archived;
            desktop.SetStatus(kStatusPending);
            desktop.SetArchiveBit(0);
            return 0;
        }
        if (handheld.IsModified()) {
            if (handheld.HasSameContent(desktop) != 0) {
                if (const int32_t archived = archive(handheld); archived != 0) return archived;
                desktop.SetStatus(kStatusPending);
                desktop.SetArchiveBit(0);
                return 0;
            }
            // Both sides changed the record differently: neither is archived; the desktop version
            // goes to the handheld as a new record and the handheld version joins the desktop.
            desktop.SetRecordId(0);
            desktop.SetStatus(kStatusAdded);
            desktop.SetArchiveBit(0);
            handheld.SetStatus(kStatusModified);
            handheld.SetArchiveBit(0);
            const int32_t appended = AppendRecordToTable(handheld, desktopTable_);
            if (appended != 0) LogCopyToDesktopFailed(handheld);
            LogBothModifiedArchive(handheld);
            return appended;
        }
        // Archived on the handheld, edited on the desktop: the desktop version stays and goes back to
        // the handheld. The handheld's text is kept in the archive when it differs, since a record
        // edited and then archived on the handheld would otherwise be gone from both sides.
        LogModifiedAndDeleted(desktop);
        if (handheld.HasSameContent(desktop) == 0) return archive(handheld);
        return 0;
    }

    if (handheld.IsDeleted()) {
        if (!found) return 0;
        if (desktop.IsArchived()) {
            if (const int32_t archived = archive(desktop); archived != 0) return archived;
            desktop.SetStatus(kStatusPending);
        } else if (desktop.IsModified()) {
            LogModifiedAndDeleted(desktop);  // the desktop's edit survives and is sent back
        } else {
            desktop.SetStatus(kStatusPending);
        }
        return 0;
    }

    // Neither archived nor deleted on the handheld.
    if (!found) return addToDesktop(handheld);
    if (handheld.IsNone()) backupCheck();

    if (handheld.IsModified()) {
        if (desktop.IsModified()) {
            if (handheld.HasSameContent(desktop) != 0) {
                if (desktop.IsArchived()) {
                    if (const int32_t archived = archive(desktop); archived != 0) return archived;
                    desktop.SetStatus(kStatusDeleted);
                } else if (!desktop.IsDeleted()) {
                    // (A status is a single value, so a modified record is never deleted as well.)
                    desktop.SetStatus(kStatusNone);
                }
                return 0;
            }
            // Modified on both sides with different content: both versions end on both sides.
            desktop.SetRecordId(0);
            desktop.SetStatus(kStatusAdded);
            desktop.SetArchiveBit(0);
            const int32_t added = addToDesktop(handheld);
            LogBothModified(handheld);
            return added;
        }
        if (desktop.IsDeleted() || desktop.IsArchived()) LogModifiedAndDeleted(handheld);
        handheld.SetStatus(kStatusNone);
        if (const int32_t copied = desktop.CopyContent(handheld); copied != 0) return copied;
        long row = 0;
        if (desktopWalk.GetCurrentRowPosition(row) == 0) OnDesktopRecordUpdated(desktop, row);
        return 0;
    }

    if (handheld.IsNone()) {
        if (desktop.IsArchived()) {
            if (const int32_t archived = archive(desktop); archived != 0) return archived;
            desktop.SetStatus(kStatusDeleted);
        } else if (desktop.IsPending()) {
            desktop.SetStatus(kStatusNone);  // claimed by an unchanged handheld record: it stays
        }
    }
    return 0;
}

// The records archived so far have just left the handheld with its purge; from here on the archive
// table is their only copy. A failure after this point (a broken connection, a failed count query)
// would make the session skip its archive step and save nothing, so they are put into the archive
// files now and the table is emptied, which leaves the session's archive step nothing to do.
void CSyncMonitor::ArchiveBeforeAnythingElseCanFail() {
    if (archiveTable_ == nullptr || archiveTable_->GetRecordCount() == 0) return;
    if (ArchiveRecords() != 0) LogArchiveFailed();  // rows not archived go back to the desktop table
    archiveTable_->PurgeAllRecords();
}

int32_t CSyncMonitor::SendDesktopChanges(CBaseRecord& record) {
    syncpass::PassRecord pass(dbHandle_);
    RawRecord& raw = pass.Raw();
    int32_t error = 0;

    CBaseIterator walk(record.Table());
    if (record.Table().GetRecordCount() > 0 && walk.SortByRecordStatus() != 0) return kErrSortByStatus;

    // Deletes the row's handheld record when it has one. A failure is logged; only a broken
    // connection stops the walk.
    auto deleteOnHandheld = [&] {
        uint32_t id = 0;
        record.GetRecordId(id);
        if (id == 0) return;
        syncpass::YieldToHost();
        raw.recordId = id;
        const int32_t deleted = SyncDeleteRec(raw);
        if (deleted != 0) {
            LogDeleteOnHandheldFailed(record);
            if (IsCommsError(deleted)) error = deleted;
        }
    };

    // First group: archived, deleted and pending rows (the status sort puts them first).
    bool onRecord = walk.FindFirst(record, 0) == 0;
    while (onRecord && error == 0 && (record.IsArchived() || record.IsDeleted() || record.IsPending())) {
        if (record.IsArchived()) {
            // A row that could not be put into the archive table keeps its archive mark and its
            // handheld record, so that it is not lost and is archived at the next sync.
            if (AppendRecord(record, archiveTable_) == 0) {
                deleteOnHandheld();
                record.SetStatus(kStatusDeleted);
            }
        } else if (record.IsDeleted()) {
            deleteOnHandheld();
        } else {
            record.SetStatus(kStatusDeleted);  // pending: leaves the desktop without a handheld call
        }
        onRecord = walk.FindNext(record, 0) == 0;
    }

    if (error == 0) {
        const int32_t purged = SyncPurgeDeletedRecs(dbHandle_);
        if (purged != 0) {
            error = purged;
            LogPurgeHandheldFailed();
        } else {
            ArchiveBeforeAnythingElseCanFail();
        }
    }

    // Second group: added and modified rows. A row whose write failed keeps its status, so the
    // next sync tries it again. A memo too long for a handheld record (4111, nothing written) is
    // logged and passed over: it must not hold back every record after it, sync after sync.
    while (onRecord && error == 0 && (record.IsAdded() || record.IsModified())) {
        int32_t status = kStatusNone;
        record.GetStatus(status);
        record.SetStatus(kStatusNone);
        syncpass::YieldToHost();
        if (status == kStatusAdded) {
            const int32_t written = WriteNewHandheldRecord(record);
            if (written != 0) {
                record.SetStatus(status);
                LogCopyToHandheldFailed(record);
                if (written != kErrToHandheldRecord) error = written;
            } else {
                long row = 0;
                if (walk.GetCurrentRowPosition(row) == 0) OnRecordAddedToHandheld(record, row);
            }
        } else {
            const int32_t written = WriteChangedHandheldRecord(record);
            if (written != 0) {
                record.SetStatus(status);
                LogModifyOnHandheldFailed(record);
                if (!IsHandheldFull(written) && written != kErrToHandheldRecord) error = written;
            }
        }
        onRecord = walk.FindNext(record, 0) == 0;
    }

    PurgeDeletedDesktopRecords();
    return error;
}

int32_t CSyncMonitor::ApplyHandheldOrder() {
    const int32_t count = DesktopRecordCount();
    if (count <= 0 || desktopTable_ == nullptr) return 0;

    // One position map covers at most 16383 records (its buffer size is 16 bits wide). A larger
    // desktop reads the order in several maps, each from where the last one ended, so every record
    // gets its position in the handheld's whole order.
    const size_t chunk = std::min<size_t>(static_cast<size_t>(count), kMaxPositionMapEntries);
    std::unique_ptr<uint32_t[]> ids(new (std::nothrow) uint32_t[chunk]);
    if (!ids) return 0;  // nothing was asked of the handheld; the order simply stays as it was

    CBaseIterator walk(*desktopTable_);
    CBaseRecord row(*desktopTable_, 1);
    bool placementCleared = false;
    size_t position = 0;
    while (position < static_cast<size_t>(count) && position <= 0xFFFF) {
        const size_t wanted = std::min(chunk, static_cast<size_t>(count) - position);
        PositionMap map{};
        map.dbHandle = dbHandle_;
        map.firstPosition = static_cast<uint16_t>(position);
        map.entriesWanted = static_cast<uint16_t>(wanted);
        map.entriesReturned = 0;
        map.bufferSize = static_cast<uint16_t>(wanted * sizeof(uint32_t));
        map.ids = ids.get();
        if (const int32_t read = SyncReadPositionXMap(map); read != 0) return read;

        // The ids come in the handheld's byte order (big-endian); the converter reverses each one,
        // which is host order on the little-endian machines the conduit runs on.
        if (converter_ == nullptr || converter_->SwapPositionMap(map) != 0) return 0;
        const size_t returned = std::min<size_t>(map.entriesReturned, wanted);

        if (!placementCleared) {
            desktopTable_->ClearPlacementField();
            placementCleared = true;
        }
        walk.SortByRecordId();
        if (walk.FindFirst(row, 1) == 0) {
            for (size_t i = 0; i < returned; ++i) {
                if (walk.FindByRecordId(ids[i], row, 1) == 0) row.SetPlacementPos(static_cast<int32_t>(position + i));
            }
        }
        if (returned == 0) break;  // the handheld holds no more records
        position += returned;
    }
    return 0;
}
