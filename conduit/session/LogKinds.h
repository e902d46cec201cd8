// The log kinds that accompany the memo sync's HotSync log entries.
#pragma once

#include <cstdint>

inline constexpr int32_t kLogContinuation = -1;      // the header line and every continuation line
inline constexpr int32_t kLogBothModified = 0;
inline constexpr int32_t kLogBothModifiedArchive = 1;
inline constexpr int32_t kLogModifiedAndDeleted = 2;
inline constexpr int32_t kLogTooManyCategories = 3;
inline constexpr int32_t kLogCategoryDeleted = 4;
inline constexpr int32_t kLogMoveToUnfiledFailed = 7;
inline constexpr int32_t kLogReadNextFailed = 8;
inline constexpr int32_t kLogCopyToHandheldFailed = 9;
inline constexpr int32_t kLogPurgeHandheldFailed = 10;
inline constexpr int32_t kLogModifyOnHandheldFailed = 11;
inline constexpr int32_t kLogDeleteOnHandheldFailed = 12;
inline constexpr int32_t kLogCopyToDesktopFailed = 13;
inline constexpr int32_t kLogRecordsNotCopied = 14;  // both LogHandheldRecordsNotCopied and LogDesktopRecordsNotCopied
inline constexpr int32_t kLogOrderNotApplied = 15;
inline constexpr int32_t kLogArchiveFailed = 16;
inline constexpr int32_t kLogSaveFailed = 17;
inline constexpr int32_t kLogSyncStart = 19;         // start of the conduit's sync, empty text
inline constexpr int32_t kLogSyncDone = 20;          // completion, display name: all went well
inline constexpr int32_t kLogSyncFailed = 21;        // completion, display name: something failed

// The side names of LogCategoryDeleted: the handheld is "Pilot"; the desktop is string 3314 "Desktop".
inline constexpr char kHandheldSideName[] = "Pilot";
