// The generic sync session: the tables and buffers of one HotSync of a handheld database, the order
// of its steps (Synchronize), the steps that do not depend on the record kind, and the log messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "session/ResultCodes.h"
#include "synckit/Category.h"
#include "synckit/SyncBlocks.h"
#include "synckit/Table.h"
#include "win/Module.h"

class CRecordConverter;  // conduit/memo/MemoConverter.h

// The progress callback HotSync Manager hands to OpenConduit. The session stores it and never calls it.
using ProgressCallback = int32_t (*)(const char* text);

// One session per OpenConduit call. Everything that depends on the kind of record is a virtual
// operation that this level answers with -1 (not supported); CMemoMonitor supplies them for memos.
//
// Ownership: the session owns the converter, the four tables, the handheld category list, the
// application-information data buffer and the product-id buffer, and destroys them in its destructor
// (converter, archive, desktop, backup, record factory table, handheld category list, application-
// information buffer, product-id buffer). The desktop category list is borrowed from the desktop table.
// Pointers are null while a part does not exist; whoever replaces one deletes the old one first.
//
// The order of the virtual operations below is the session's operation table; keep it.
class CSyncMonitor {
public:
    // Base part of the session: no converter, no tables, no category lists; the properties copied
    // whole; database count 1, index 0; the application-information block zeroed; the module stored;
    // the system-information block zeroed with a new 255-byte product-id buffer (size byte 255; if the
    // buffer cannot be allocated the pointer stays null and the size byte 0).
    CSyncMonitor(ProgressCallback progress, const HotSyncProperties& properties, win::HMODULE module);
    CSyncMonitor(const CSyncMonitor&) = delete;
    CSyncMonitor& operator=(const CSyncMonitor&) = delete;

    // ---- The operation table ----

    // Opens (or creates) the handheld database and makes the record factory table. -1 here.
    virtual int32_t OpenHandheldDatabase();
    // Makes the desktop, archive and backup tables and loads the desktop file. -1 here.
    virtual int32_t OpenDesktopTables();
    // Saves the desktop table to the path: 0, or the table library's code after LogSaveFailed.
    // Without a desktop table nothing is saved and the answer is kErrDesktopTable (logged the same way).
    virtual int32_t SaveDesktopTable(const char* path);
    // Drops the desktop records with status deleted: the table library's code; 0 without a table.
    virtual int32_t PurgeDeletedDesktopRecords();
    // Records of the desktop table; 0 when there is none.
    virtual int32_t DesktopRecordCount();
    // Appends a copy of the record's row to the table: 0, or 4103 (also for a null table). -1 here.
    virtual int32_t AppendRecordToTable(CBaseRecord& record, CBaseTable* table);
    // Writes the row to the handheld as a new record and gives the row the new id. -1 here.
    virtual int32_t WriteNewHandheldRecord(CBaseRecord& record);
    // Writes the row over the handheld record with the row's id. -1 here.
    virtual int32_t WriteChangedHandheldRecord(CBaseRecord& record);
    virtual int32_t CopyHandheldToDesktop();  // sync type 2 and count repair; -1 here
    virtual int32_t CopyDesktopToHandheld();  // sync type 3 and count repair; -1 here
    virtual int32_t FastSync();               // sync type 0; -1 here
    virtual int32_t SlowSync();               // sync type 1; -1 here
    // Makes a new empty table into the out parameter: 0, or -1 with a null table. -1 (null) here.
    virtual int32_t CreateTable(CBaseTable*& table);
    // The desktop half of a two-way sync; scratch is a cursor on the desktop table.
    virtual int32_t SendDesktopChanges(CBaseRecord& scratch);
    // Copies the handheld's record order onto the desktop rows. Only a failed position-map request
    // is reported (its code); every other outcome is 0.
    virtual int32_t ApplyHandheldOrder();
    // Brings the handheld and desktop category lists to the same content; nonzero stops the sync.
    virtual int32_t ReconcileCategories();
    // Handheld new to this desktop (first-sync indicator 2), a desktop table and ROM major below 2:
    // every desktop row gets id 0 and every row not deleted status added. Always 0.
    virtual int32_t ResetForNewHandheld();
    // Moves the archive table's rows into the per-category archive files: 0 or the first failure.
    virtual int32_t ArchiveRecords();
    // Hooks for a specialisation; they do nothing here and answer 0. row is the row position in the
    // desktop table.
    virtual int32_t OnRecordAddedToDesktop(CBaseRecord& record, long row);
    virtual int32_t OnDesktopRecordUpdated(CBaseRecord& record, long row);
    virtual int32_t OnRecordAddedToHandheld(CBaseRecord& record, long row);
    // The session routine for sync types 0-3: register, log the start, open both sides, reconcile
    // categories, run the pass, repair and check the counts, apply the order, archive, save the
    // desktop file and its ".bak" copy, reset the handheld's flags, close, log the completion and
    // unregister. Returns the session's result (a register failure at once, with nothing logged).
    virtual int32_t Synchronize();
    virtual int32_t HandleSyncType4Or7();  // -1
    virtual int32_t HandleSyncType5();     // -1
    // The record's text for a log line, into a buffer of size bytes (NUL-terminated when size > 0).
    // Writes nothing here.
    virtual void LogRecordData(CBaseRecord& record, char* buffer, size_t size);
    // The conduit's display name into a buffer of size bytes (its low 16 bits count). Writes nothing here.
    virtual void GetDisplayName(char* buffer, size_t size);
    virtual ~CSyncMonitor();

    // ---- Steps that are not part of the operation table ----

    // Reads the handheld application information into a new handheld category list (the previous
    // list and buffer are freed first). 0, 4108, a Sync Manager code, or the converter's
    // ReadCategories result.
    int32_t ReadHandheldCategories();
    // Writes the categories into the application-information buffer and the block to the handheld:
    // the write's result, or the converter's WriteCategories code.
    int32_t WriteHandheldCategories(CCategoryMgr& categories);
    // Empties the target list and fills it with copies of the source's categories (name-dirty clear). 0.
    int32_t CopyCategories(CCategoryMgr& source, CCategoryMgr& target);
    // Settles one handheld record (handheld) against the desktop table; desktop and backup are
    // scratch cursors on the desktop and backup tables. 0 or the first failing code.
    int32_t SyncRecord(CBaseRecord& handheld, CBaseRecord& desktop, CBaseRecord& backup);
    // Status none, archive flag clear, then AppendRecordToTable; on failure LogCopyToDesktopFailed
    // and 4103.
    int32_t AppendRecord(CBaseRecord& record, CBaseTable* table);
    // Used by SendDesktopChanges once the handheld's purge has removed the archived records: moves
    // the archive table's rows into the archive files now (LogArchiveFailed when that fails) and
    // empties the table, so that a later failure of the sync cannot lose them.
    void ArchiveBeforeAnythingElseCanFail();

    // Desktop directory followed directly by the desktop file name.
    std::string DesktopPath() const;
    // The desktop path cut before its last "." (anywhere in the path) followed by ".bak".
    std::string BackupPath() const;

    // ---- HotSync log messages (each after LogConduitHeader; first line its kind, the rest -1) ----

    // "-- " and the display name, kind -1, only when the log holds no entry yet.
    void LogConduitHeader();
    void LogCopyToHandheldFailed(CBaseRecord& record);
    void LogPurgeHandheldFailed();
    void LogDeleteOnHandheldFailed(CBaseRecord& record);
    void LogModifyOnHandheldFailed(CBaseRecord& record);
    void LogCopyToDesktopFailed(CBaseRecord& record);
    void LogMoveToUnfiledFailed(const char* categoryName);
    void LogReadNextFailed();
    void LogOrderNotApplied();
    void LogArchiveFailed();
    void LogSaveFailed();
    void LogTooManyCategories(const char* categoryName);
    // side: "Pilot" (deleted on the desktop) or the text "Desktop" (deleted on the handheld).
    void LogCategoryDeleted(const char* categoryName, const char* side);
    void LogBothModified(CBaseRecord& record);
    void LogBothModifiedArchive(CBaseRecord& record);
    void LogModifiedAndDeleted(CBaseRecord& record);
    void LogHandheldRecordsNotCopied(int32_t desktopCount, int32_t handheldCount);
    void LogDesktopRecordsNotCopied(int32_t desktopCount, int32_t handheldCount);

    // ---- Read access for the mail exchange and the entry points ----

    const HotSyncProperties& Properties() const { return properties_; }
    int32_t SyncType() const { return properties_.syncType; }
    HandheldSystemInfo& SystemInfo() { return systemInfo_; }
    uint8_t DatabaseHandle() const { return dbHandle_; }
    CRecordConverter* Converter() const { return converter_; }
    CMemoTable* DesktopTable() const { return desktopTable_; }
    CMemoTable* RecordFactoryTable() const { return factoryTable_; }
    CCategoryMgr* HandheldCategories() const { return handheldCategories_; }
    win::HMODULE Module() const { return module_; }
    ProgressCallback Progress() const { return progress_; }
    int32_t DatabaseCount() const { return databaseCount_; }
    int32_t CurrentDatabaseIndex() const { return currentDatabase_; }
    // The current handheld database name ("" when the properties carry none).
    const char* CurrentDatabaseName() const;

protected:
    // Loads string resource id of the conduit's module into the buffer (cut to size - 1); the
    // number of characters copied, 0 when it is unknown.
    int LoadText(uint32_t id, char* buffer, int size) const;
    // Adds one log entry with time-stamp flag 0.
    static void AddLogEntry(const char* text, int32_t kind);
    // Header, then one entry per line in order: the first with kind, the rest with -1. A line is a
    // string resource id, or kRecordDataLine for the record's data line (LogRecordData into a
    // zeroed 128-character buffer).
    static constexpr uint32_t kRecordDataLine = 0;
    void LogLines(int32_t kind, CBaseRecord* record, std::initializer_list<uint32_t> lines);
    // The string resource as a text (loaded into a 128-character buffer).
    std::string Text(uint32_t id) const;

    CRecordConverter* converter_ = nullptr;       // owned
    ProgressCallback progress_ = nullptr;         // stored, never called
    CMemoTable* desktopTable_ = nullptr;          // owned: the desktop memo file's contents
    CMemoTable* archiveTable_ = nullptr;          // owned: records to archive in this sync
    CMemoTable* backupTable_ = nullptr;           // owned: the ".bak" file, loaded by SlowSync only
    CMemoTable* factoryTable_ = nullptr;          // owned: makes the records that receive handheld records
    HotSyncProperties properties_{};              // copy of the block given by HotSync Manager
    CCategoryMgr* desktopCategories_ = nullptr;   // borrowed from the desktop table
    CCategoryMgr* handheldCategories_ = nullptr;  // owned
    uint8_t dbHandle_ = 0;                        // the open handheld database
    char archiveExtension_[7] = {};               // ".MPA", set by OpenDesktopTables
    int32_t databaseCount_ = 1;
    int32_t currentDatabase_ = 0;
    AppInfoBlock appInfo_{};                      // its buffer is owned (new uint8_t[800], freed with delete[])
    win::HMODULE module_ = nullptr;               // source of every string resource
    HandheldSystemInfo systemInfo_{};             // its product-id buffer is owned (new uint8_t[255])
    // Set by a desktop-to-handheld copy that emptied the handheld and then broke off: the desktop
    // table is then the only whole copy and is saved even when the connection broke.
    bool handheldEmptiedByBrokenCopy_ = false;
};

// Builds the backup path from a desktop path: cut before its last "." (if there is one anywhere
// in the path, a folder's included) and ".bak" appended.
std::string BackupPathFor(const std::string& desktopPath);
