// The conduit's own result codes and the two classifications of result codes the session relies on.
// 0 is success; Sync Manager codes (above 16384) pass through unchanged.
#pragma once

#include <cstdint>

inline constexpr int32_t kNotSupported = -1;               // not supported at this level; sync types 4, 5, 7
inline constexpr int32_t kErrRecordFactory = 4100;         // record factory table missing, not made, or no record from it
inline constexpr int32_t kErrDesktopTable = 4101;          // a desktop-side table not made, or the desktop file not loaded
inline constexpr int32_t kErrAppendRecord = 4103;          // a record could not be appended to a desktop-side table
inline constexpr int32_t kErrNewRecordBuffer = 4104;       // no record buffer for writing a new handheld record
inline constexpr int32_t kErrChangedRecordBuffer = 4105;   // no record buffer for writing a changed handheld record
inline constexpr int32_t kErrRecordBuffer = 4106;          // AllocRecordBuffer failed
inline constexpr int32_t kErrSortByStatus = 4107;          // the desktop records could not be sorted by status
inline constexpr int32_t kErrHandheldCategories = 4108;    // the handheld category list or its buffer not made
inline constexpr int32_t kErrAppInfoWriteBuffer = 4109;    // no buffer to build the handheld application information
inline constexpr int32_t kErrAppInfoReadBuffer = 4110;     // no application information to read categories from
inline constexpr int32_t kErrToHandheldRecord = 4111;      // a desktop record could not be converted for the handheld
inline constexpr int32_t kErrToDesktopRecord = 4112;       // a handheld record could not be converted for the desktop
inline constexpr int32_t kErrPurgeBeforeCopy = 4113;       // handheld records not purged before a desktop-to-handheld copy
inline constexpr int32_t kErrUnsupportedSyncType = 4114;   // sync type 6 or outside 0-7

static_assert(kErrRecordBuffer == 4106);  // the same code AllocRecordBuffer answers

// A broken connection: the handheld can no longer be reached. -1 has every bit set and is not one.
constexpr bool IsCommsError(int32_t code) { return code != -1 && (code & 0x2000) != 0; }
// The handheld is full (storage or memory): archive and save still run.
constexpr bool IsHandheldFull(int32_t code) { return code == 16403 || code == 16404; }
