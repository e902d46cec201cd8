// The generic session: construction and destruction, the operations this level answers for every
// kind of record, and the paths of the desktop file and its ".bak" copy.
#include "session/SyncMonitor.h"

#include <cstring>
#include <new>

#include "memo/MemoConverter.h"
#include "synckit/HotSyncLog.h"

namespace {
constexpr uint8_t kProductIdBufferSize = 255;
}  // namespace

CSyncMonitor::CSyncMonitor(ProgressCallback progress, const HotSyncProperties& properties, win::HMODULE module)
    : progress_(progress), properties_(properties), module_(module) {
    databaseCount_ = 1;
    currentDatabase_ = 0;
    std::memset(&appInfo_, 0, sizeof appInfo_);
    std::memset(&systemInfo_, 0, sizeof systemInfo_);
    systemInfo_.productId = new (std::nothrow) uint8_t[kProductIdBufferSize]();
    // Without a buffer the size must say so, or the system-information read would write through null.
    systemInfo_.productIdSize = systemInfo_.productId != nullptr ? kProductIdBufferSize : 0;
}

CSyncMonitor::~CSyncMonitor() {
    delete converter_;
    delete archiveTable_;
    delete desktopTable_;
    delete backupTable_;
    delete factoryTable_;
    delete handheldCategories_;
    delete[] appInfo_.buffer;
    delete[] systemInfo_.productId;
}

int32_t CSyncMonitor::OpenHandheldDatabase() { return kNotSupported; }
int32_t CSyncMonitor::OpenDesktopTables() { return kNotSupported; }

int32_t CSyncMonitor::SaveDesktopTable(const char* path) {
    const int32_t result = desktopTable_ != nullptr ? desktopTable_->SaveTo(path) : kErrDesktopTable;
    if (result != 0) LogSaveFailed();
    return result;
}

int32_t CSyncMonitor::PurgeDeletedDesktopRecords() {
    return desktopTable_ != nullptr ? desktopTable_->PurgeDeletedRecords() : 0;
}

int32_t CSyncMonitor::DesktopRecordCount() { return desktopTable_ != nullptr ? desktopTable_->GetRecordCount() : 0; }

int32_t CSyncMonitor::AppendRecordToTable(CBaseRecord&, CBaseTable*) { return kNotSupported; }
int32_t CSyncMonitor::WriteNewHandheldRecord(CBaseRecord&) { return kNotSupported; }
int32_t CSyncMonitor::WriteChangedHandheldRecord(CBaseRecord&) { return kNotSupported; }
int32_t CSyncMonitor::CopyHandheldToDesktop() { return kNotSupported; }
int32_t CSyncMonitor::CopyDesktopToHandheld() { return kNotSupported; }
int32_t CSyncMonitor::FastSync() { return kNotSupported; }
int32_t CSyncMonitor::SlowSync() { return kNotSupported; }

int32_t CSyncMonitor::CreateTable(CBaseTable*& table) {
    table = nullptr;
    return kNotSupported;
}

int32_t CSyncMonitor::ResetForNewHandheld() {
    const uint32_t romMajor = systemInfo_.romSoftVersion >> 24;
    if (properties_.firstSyncIndicator != 2 || desktopTable_ == nullptr || romMajor >= 2) return 0;
    // An old handheld new to this desktop holds none of the desktop's records: send them all as new.
    CBaseIterator walk(*desktopTable_);
    CBaseRecord row(*desktopTable_, 0);
    for (int32_t found = walk.FindFirst(row, 0); found == 0; found = walk.FindNext(row, 0)) {
        row.SetRecordId(0);
        if (!row.IsDeleted()) row.SetStatus(kStatusAdded);
    }
    return 0;
}

int32_t CSyncMonitor::OnRecordAddedToDesktop(CBaseRecord&, long) { return 0; }
int32_t CSyncMonitor::OnDesktopRecordUpdated(CBaseRecord&, long) { return 0; }
int32_t CSyncMonitor::OnRecordAddedToHandheld(CBaseRecord&, long) { return 0; }
int32_t CSyncMonitor::HandleSyncType4Or7() { return kNotSupported; }
int32_t CSyncMonitor::HandleSyncType5() { return kNotSupported; }
void CSyncMonitor::LogRecordData(CBaseRecord&, char*, size_t) {}
void CSyncMonitor::GetDisplayName(char*, size_t) {}

std::string BackupPathFor(const std::string& desktopPath) {
    const size_t dot = desktopPath.rfind('.');
    return (dot == std::string::npos ? desktopPath : desktopPath.substr(0, dot)) + ".bak";
}

std::string CSyncMonitor::DesktopPath() const {
    // Both fields are read within their 256 bytes, whether or not the host terminated them.
    const char* dir = properties_.desktopDirectory;
    const char* file = properties_.desktopFileName;
    return std::string(dir, strnlen(dir, sizeof properties_.desktopDirectory)) +
           std::string(file, strnlen(file, sizeof properties_.desktopFileName));
}

std::string CSyncMonitor::BackupPath() const { return BackupPathFor(DesktopPath()); }

const char* CSyncMonitor::CurrentDatabaseName() const {
    if (currentDatabase_ < 0 || currentDatabase_ >= kMaxDatabaseNames) return "";
    const char* name = properties_.databaseNames[currentDatabase_];
    return name != nullptr ? name : "";
}

int CSyncMonitor::LoadText(uint32_t id, char* buffer, int size) const {
    return win::LoadString(module_, id, buffer, size);
}

void CSyncMonitor::AddLogEntry(const char* text, int32_t kind) { LogAddEntry(text, kind, 0); }
