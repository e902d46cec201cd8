// The memo sync's HotSync log messages: the conduit header, then one entry per line, the first with
// the message's log kind and the others with -1, every entry with time-stamp flag 0.
#include <cstdio>
#include <string>

#include "resources/StringTable.h"
#include "session/LogKinds.h"
#include "session/SyncMonitor.h"
#include "synckit/HotSyncLog.h"

namespace {

constexpr const char kHeaderPrefix[] = "-- ";
constexpr const char* kHandheldSide = kHandheldSideName;
constexpr const char kCountsFormat[] = "     %s = %ld, %s = %ld";

}  // namespace

std::string CSyncMonitor::Text(uint32_t id) const {
    char text[kStringBufferSize];
    LoadText(id, text, sizeof text);
    return text;
}

void CSyncMonitor::LogConduitHeader() {
    // The log answers nonzero once anything, this header included, has been written, so the header
    // appears once above the conduit's messages.
    if (LogGetEntryCount() != 0) return;
    char name[kStringBufferSize] = {};
    GetDisplayName(name, sizeof name);
    name[sizeof name - 1] = '\0';
    AddLogEntry((std::string(kHeaderPrefix) + name).c_str(), kLogContinuation);
}

void CSyncMonitor::LogLines(int32_t kind, CBaseRecord* record, std::initializer_list<uint32_t> lines) {
    LogConduitHeader();
    for (uint32_t line : lines) {
        if (line == kRecordDataLine && record != nullptr) {
            char data[128] = {};
            LogRecordData(*record, data, sizeof data);
            data[sizeof data - 1] = '\0';
            AddLogEntry(data, kind);
        } else {
            AddLogEntry(Text(line).c_str(), kind);
        }
        kind = kLogContinuation;
    }
}

void CSyncMonitor::LogCopyToHandheldFailed(CBaseRecord& record) {
    LogLines(kLogCopyToHandheldFailed, &record, {kStrCopyToHandheldFailed, kRecordDataLine, kStrHandheldMayBeFull});
}

void CSyncMonitor::LogPurgeHandheldFailed() {
    LogLines(kLogPurgeHandheldFailed, nullptr, {kStrPurgeHandheldFailed, kStrCheckConnections});
}

void CSyncMonitor::LogDeleteOnHandheldFailed(CBaseRecord& record) {
    LogLines(kLogDeleteOnHandheldFailed, &record, {kStrDeleteOnHandheldFailed, kRecordDataLine, kStrCheckConnections});
}

void CSyncMonitor::LogModifyOnHandheldFailed(CBaseRecord& record) {
    LogLines(kLogModifyOnHandheldFailed, &record, {kStrModifyOnHandheldFailed, kRecordDataLine, kStrCheckConnections});
}

void CSyncMonitor::LogCopyToDesktopFailed(CBaseRecord& record) {
    LogLines(kLogCopyToDesktopFailed, &record, {kStrCopyToDesktopFailed, kRecordDataLine});
}

void CSyncMonitor::LogMoveToUnfiledFailed(const char* categoryName) {
    LogConduitHeader();
    const std::string line = Text(kStrMoveToUnfiledFailed) + (categoryName != nullptr ? categoryName : "") +
                             Text(kStrMoveToUnfiledFailedEnd);
    AddLogEntry(line.c_str(), kLogMoveToUnfiledFailed);
    AddLogEntry(Text(kStrCheckConnections).c_str(), kLogContinuation);
}

void CSyncMonitor::LogReadNextFailed() {
    LogLines(kLogReadNextFailed, nullptr, {kStrReadNextFailed, kStrCheckConnections});
}

void CSyncMonitor::LogOrderNotApplied() {
    LogLines(kLogOrderNotApplied, nullptr, {kStrOrderNotApplied, kStrCheckConnections});
}

void CSyncMonitor::LogArchiveFailed() {
    LogLines(kLogArchiveFailed, nullptr, {kStrArchiveFailed, kStrDesktopMayBeFull});
}

void CSyncMonitor::LogSaveFailed() {
    LogLines(kLogSaveFailed, nullptr, {kStrSaveFailed, kStrDesktopMayBeFull});
}

void CSyncMonitor::LogTooManyCategories(const char* categoryName) {
    LogConduitHeader();
    const std::string line =
        Text(kStrTooManyCategories) + " '" + (categoryName != nullptr ? categoryName : "") + "'";
    AddLogEntry(line.c_str(), kLogTooManyCategories);
    AddLogEntry(Text(kStrTooManyCategoriesMoved).c_str(), kLogContinuation);
}

void CSyncMonitor::LogCategoryDeleted(const char* categoryName, const char* side) {
    LogConduitHeader();
    const std::string line = std::string("   - ") + (side != nullptr ? side : "") + " " + Text(kStrCategory) + " '" +
                             (categoryName != nullptr ? categoryName : "") + "' " + Text(kStrCategoryDeleted);
    AddLogEntry(line.c_str(), kLogCategoryDeleted);
    AddLogEntry(Text(kStrCategoryDeletedMoved).c_str(), kLogContinuation);
}

void CSyncMonitor::LogBothModified(CBaseRecord& record) {
    LogLines(kLogBothModified, &record,
             {kStrBothModified, kRecordDataLine, kStrBothModifiedDuplicated, kStrBothModifiedDelete});
}

void CSyncMonitor::LogBothModifiedArchive(CBaseRecord& record) {
    LogLines(kLogBothModifiedArchive, &record,
             {kStrBothModifiedArchive, kRecordDataLine, kStrBothModifiedArchiveDuplicated,
              kStrBothModifiedArchiveDelete});
}

void CSyncMonitor::LogModifiedAndDeleted(CBaseRecord& record) {
    LogLines(kLogModifiedAndDeleted, &record, {kStrModifiedAndDeleted, kStrModifiedAndDeletedKept, kRecordDataLine});
}

namespace {

// "     Desktop = 12, Pilot = 14": the counts line of the two records-not-copied messages.
std::string CountsLine(const std::string& desktopSide, int32_t desktopCount, int32_t handheldCount) {
    char line[kStringBufferSize * 2];
    std::snprintf(line, sizeof line, kCountsFormat, desktopSide.c_str(), static_cast<long>(desktopCount),
                  kHandheldSide, static_cast<long>(handheldCount));
    return line;
}

}  // namespace

void CSyncMonitor::LogHandheldRecordsNotCopied(int32_t desktopCount, int32_t handheldCount) {
    LogLines(kLogRecordsNotCopied, nullptr,
             {kStrHandheldRecordsNotCopied, kStrHandheldRecordsNotCopiedWhy, kStrHandheldRecordsNotCopiedFix});
    AddLogEntry(CountsLine(Text(kStrDesktop), desktopCount, handheldCount).c_str(), kLogContinuation);
}

void CSyncMonitor::LogDesktopRecordsNotCopied(int32_t desktopCount, int32_t handheldCount) {
    LogLines(kLogRecordsNotCopied, nullptr, {kStrDesktopRecordsNotCopied, kStrDesktopRecordsNotCopiedFix});
    AddLogEntry(CountsLine(Text(kStrDesktop), desktopCount, handheldCount).c_str(), kLogContinuation);
}
