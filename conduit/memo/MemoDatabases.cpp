// The memo session's database operations: opening or creating the handheld memo database, making
// the desktop-side tables and loading the desktop file, copying rows, writing rows to the handheld,
// and the texts the HotSync log shows for a record and for the conduit.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "memo/MemoConverter.h"
#include "memo/MemoText.h"
#include "resources/StringTable.h"
#include "session/MemoMonitor.h"
#include "session/ResultCodes.h"
#include "synckit/SyncMgr.h"
#include "win/Module.h"

namespace {

constexpr int32_t kSyncTypeHandheldToDesktop = 2;
constexpr char kArchiveExtension[] = ".MPA";
constexpr size_t kLogIndent = 7;        // blanks before the text of a record-data line
constexpr size_t kLogTextBytes = 70;    // at most this much of the memo text goes into the line

// Writes the row to the handheld through a zeroed raw record carrying recordId; the converter
// supplies the row's fields (its id included). On success the handheld's id is in assignedId.
int32_t WriteRow(CRecordConverter* converter, uint8_t dbHandle, uint32_t recordId, CBaseRecord& row,
                 int32_t noBufferCode, uint32_t& assignedId) {
    RawRecord raw{};
    raw.dbHandle = dbHandle;
    raw.recordId = recordId;
    if (AllocRecordBuffer(raw, kRecordBufferSize) != 0) return noBufferCode;

    int32_t result;
    if (converter == nullptr || converter->ToRawRecord(row, raw) != 0) {
        result = kErrToHandheldRecord;  // nothing is written
    } else {
        result = SyncWriteRec(raw);
        if (result == 0) assignedId = raw.recordId;
    }
    FreeRecordBuffer(raw);
    return result;
}

}  // namespace

int32_t CMemoMonitor::OpenHandheldDatabase() {
    uint8_t handle = 0;
    int32_t result = SyncOpenDB(CurrentDatabaseName(), 0, handle, kOpenModeReadWrite);
    if (result == kSyncErrNotFound && SyncType() != kSyncTypeHandheldToDesktop) {
        DbCreateBlock block;
        std::memset(&block, 0, sizeof block);
        block.creator = properties_.creator;
        block.flags = 0;
        block.cardByte = static_cast<uint8_t>(properties_.creationByte & 0xFF);
        // The name is cut to 31 characters so that it always ends with its NUL.
        const std::string_view name = CurrentDatabaseName();
        std::memcpy(block.name, name.data(), std::min(name.size(), sizeof block.name - 1));
        block.type = properties_.databaseType;
        result = SyncCreateDB(block);
        if (result != 0) return result;
        handle = block.dbHandle;
    } else if (result != 0) {
        return result;  // 16387 for sync type 2 included: the handheld side is not made up
    }
    dbHandle_ = handle;

    delete factoryTable_;
    factoryTable_ = new (std::nothrow) CMemoTable();
    if (factoryTable_ == nullptr) {
        SyncCloseDB(dbHandle_);
        return kErrRecordFactory;
    }
    return 0;
}

int32_t CMemoMonitor::OpenDesktopTables() {
    int32_t result = kErrDesktopTable;
    const std::string path = DesktopPath();

    delete desktopTable_;
    desktopCategories_ = nullptr;
    desktopTable_ = new (std::nothrow) CMemoTable();
    if (desktopTable_ != nullptr) {
        result = 0;
        desktopCategories_ = desktopTable_->GetCategoryManager();
        // For a handheld-to-desktop copy the handheld's records replace the file, so it is not read.
        if (SyncType() != kSyncTypeHandheldToDesktop) {
            const int32_t loaded = desktopTable_->OpenFrom(path.c_str(), 0);
            if (loaded != 0 && loaded != kTableNoSuchFile) result = kErrDesktopTable;
        }
    }

    delete archiveTable_;
    archiveTable_ = nullptr;
    if (result == 0) archiveTable_ = new (std::nothrow) CMemoTable();
    if (archiveTable_ == nullptr) return kErrDesktopTable;

    std::memcpy(archiveExtension_, kArchiveExtension, sizeof kArchiveExtension);
    static_assert(sizeof kArchiveExtension <= sizeof archiveExtension_);

    // Only the two-way syncs compare with the previous sync's state; the slow pass loads it.
    if (SyncType() == 0 || SyncType() == 1) {
        delete backupTable_;
        backupTable_ = new (std::nothrow) CMemoTable();
        if (backupTable_ == nullptr) result = kErrDesktopTable;
    }
    return result;
}

int32_t CMemoMonitor::AppendRecordToTable(CBaseRecord& record, CBaseTable* table) {
    if (table == nullptr) return kErrAppendRecord;
    CMemoRecord copy(*table, 0);
    return table->AddRecordCopy(record, copy, 1) != 0 ? kErrAppendRecord : 0;
}

int32_t CMemoMonitor::WriteNewHandheldRecord(CBaseRecord& record) {
    uint32_t assignedId = 0;
    const int32_t result = WriteRow(converter_, dbHandle_, 0, record, kErrNewRecordBuffer, assignedId);
    if (result == 0) record.SetRecordId(assignedId);
    return result;
}

int32_t CMemoMonitor::WriteChangedHandheldRecord(CBaseRecord& record) {
    uint32_t id = 0;
    record.GetRecordId(id);
    uint32_t writtenId = 0;  // the row keeps its own id whatever the handheld answers
    return WriteRow(converter_, dbHandle_, id, record, kErrChangedRecordBuffer, writtenId);
}

int32_t CMemoMonitor::CreateTable(CBaseTable*& table) {
    table = new (std::nothrow) CMemoTable();
    return table != nullptr ? 0 : kNotSupported;
}

void CMemoMonitor::LogRecordData(CBaseRecord& record, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return;
    std::string text;
    CMemoRecord memo(record.Table(), 0);
    memo.Bind(record.Row());
    memo.GetMemo(text);

    // Seven blanks and the first 70 bytes of the text, line breaks as they are: at most 78 bytes
    // with the NUL, and never more than the buffer holds.
    std::string line(kLogIndent, ' ');
    line.append(memotext::UpToNul(text).substr(0, kLogTextBytes));
    const size_t length = std::min(line.size(), size - 1);
    std::memcpy(buffer, line.data(), length);
    buffer[length] = '\0';
}

void CMemoMonitor::GetDisplayName(char* buffer, size_t size) {
    win::LoadString(module_, kStrConduitName, buffer, static_cast<int>(size & 0xFFFF));
}
