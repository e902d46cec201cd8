// The fast two-way pass (sync type 0): the handheld's modified records settled one by one against the
// desktop table, then the desktop's changes carried to the handheld.
#include "session/MemoMonitor.h"
#include "session/PassSupport.h"
#include "synckit/SyncMgr.h"

int32_t CMemoMonitor::FastSync() {
    if (desktopTable_ == nullptr) return kErrDesktopTable;

    // Step 1: the scratch records. A fast sync compares with no earlier state: its backup table is
    // empty, and an empty stand-in serves when there is none at all.
    CMemoTable emptyBackup;
    CMemoTable& backupTable = backupTable_ != nullptr ? *backupTable_ : emptyBackup;
    CMemoRecord desktop(*desktopTable_, 0);
    CMemoRecord backup(backupTable, 0);

    // Step 2, the mail exchange: incoming mail is written into the handheld's inbox category and the
    // handheld's outbox memos are sent, before the modified records are read, so that the categories
    // are already reconciled and both databases are open while mail moves. The mail exchange runs
    // here once the mail driver exists; its result never stops or fails the sync.

    // Step 3: the record block and the object that receives each handheld record.
    syncpass::PassRecord pass(dbHandle_);
    RawRecord& raw = pass.Raw();
    if (factoryTable_ == nullptr) return kErrRecordFactory;
    CMemoRecord handheld(*factoryTable_, 0);
    if (factoryTable_->CreateRecord(handheld) != 0) return kErrRecordFactory;

    // Step 4.
    if (const int32_t allocated = pass.Allocate(); allocated != 0) return allocated;

    // Step 5: every modified record, until the handheld has no more or a record cannot be settled.
    int32_t error = 0;
    int32_t read = 0;
    while (error == 0) {
        syncpass::YieldToHost();
        read = SyncReadNextModifiedRec(raw);
        if (read == 0) {
            if (syncpass::ConvertHandheldRecord(converter_, raw, handheld) != 0) {
                error = kErrToDesktopRecord;
            } else {
                error = SyncRecord(handheld, desktop, backup);
            }
        }
        pass.ClearBuffer();
        if (read != 0) break;
    }

    // Step 6: 16387 is the normal end; any other read failure is reported.
    const bool readFailed = read != 0 && read != kSyncErrNotFound;
    if (readFailed) LogReadNextFailed();

    // Step 7.
    pass.Free();

    // Step 8. After a failed read the handheld's changes are known only in part: the desktop half
    // would write desktop edits over handheld edits not yet read, and a successful pass would have
    // the session clear the handheld's change flags, so the unread records would never be read.
    // The desktop half waits for the next sync and the read failure is the pass's result.
    if (error != 0) return error;
    if (readFailed) return read;
    CMemoRecord scratch(*desktopTable_, 0);
    return SendDesktopChanges(scratch);
}
