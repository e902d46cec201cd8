// The memo session: the generic session with the memo database's operations and the mail exchange.
#pragma once

#include "session/SyncMonitor.h"

// Memo operations (conduit/memo/MemoDatabases.cpp) and the memo passes (conduit/session/FastSync.cpp,
// SlowSync.cpp). Construction: the base part, then a CMemoConverter owned by the session, and the
// database count and index set again to 1 and 0. Destruction adds nothing to the base's.
class CMemoMonitor : public CSyncMonitor {
public:
    CMemoMonitor(ProgressCallback progress, const HotSyncProperties& properties, win::HMODULE module);
    ~CMemoMonitor() override;

    // Opens the handheld database named by the current database-name entry (mode 0xE0), creating it
    // when absent unless the sync type is 2, and makes the record factory table.
    // 0, a Sync Manager code (16387 for a missing database with sync type 2), or 4100.
    int32_t OpenHandheldDatabase() override;
    // Makes the desktop, archive and (sync types 0, 1) backup tables, loads the desktop file (not for
    // sync type 2; a missing file is an empty table) and sets the archive extension ".MPA". 0 or 4101.
    int32_t OpenDesktopTables() override;
    // A copy of the record's row appended to the table: 0 or 4103.
    int32_t AppendRecordToTable(CBaseRecord& record, CBaseTable* table) override;
    // 0, a Sync Manager code, 4104 (no buffer) or 4111 (not convertible); the new id goes to the row.
    int32_t WriteNewHandheldRecord(CBaseRecord& record) override;
    // 0, a Sync Manager code, 4105 (no buffer) or 4111 (not convertible).
    int32_t WriteChangedHandheldRecord(CBaseRecord& record) override;
    int32_t CopyHandheldToDesktop() override;
    int32_t CopyDesktopToHandheld() override;
    // The fast pass runs the mail exchange first, then the handheld's modified records.
    int32_t FastSync() override;
    int32_t SlowSync() override;
    // A new empty memo table: 0, or -1 with a null table.
    int32_t CreateTable(CBaseTable*& table) override;
    // Seven blanks and at most the first 70 characters of the memo text, NUL-terminated.
    void LogRecordData(CBaseRecord& record, char* buffer, size_t size) override;
    // String resource 3303, "Memo Pad", cut to the buffer.
    void GetDisplayName(char* buffer, size_t size) override;
};
