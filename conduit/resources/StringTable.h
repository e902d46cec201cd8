// The conduit's string resources: the display name and every HotSync log text of the memo sync,
// registered under the conduit's module handle and read with win::LoadString.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win/Module.h"

// Resource ids.
inline constexpr uint32_t kStrConduitName = 3303;          // "Memo Pad"
inline constexpr uint32_t kStrCheckConnections = 3311;
inline constexpr uint32_t kStrHandheldMayBeFull = 3312;
inline constexpr uint32_t kStrDesktopMayBeFull = 3313;
inline constexpr uint32_t kStrDesktop = 3314;              // "Desktop", a side name
inline constexpr uint32_t kStrCopyToHandheldFailed = 3315;
inline constexpr uint32_t kStrPurgeHandheldFailed = 3316;
inline constexpr uint32_t kStrDeleteOnHandheldFailed = 3317;
inline constexpr uint32_t kStrModifyOnHandheldFailed = 3318;
inline constexpr uint32_t kStrCopyToDesktopFailed = 3319;
inline constexpr uint32_t kStrMoveToUnfiledFailed = 3320;  // followed by the category name
inline constexpr uint32_t kStrMoveToUnfiledFailedEnd = 3321;
inline constexpr uint32_t kStrReadNextFailed = 3322;
inline constexpr uint32_t kStrTooManyCategories = 3323;
inline constexpr uint32_t kStrTooManyCategoriesMoved = 3324;
inline constexpr uint32_t kStrCategory = 3325;
inline constexpr uint32_t kStrCategoryDeleted = 3326;
inline constexpr uint32_t kStrCategoryDeletedMoved = 3327;
inline constexpr uint32_t kStrBothModified = 3328;
inline constexpr uint32_t kStrBothModifiedDuplicated = 3329;
inline constexpr uint32_t kStrBothModifiedDelete = 3330;
inline constexpr uint32_t kStrBothModifiedArchive = 3331;
inline constexpr uint32_t kStrBothModifiedArchiveDuplicated = 3332;
inline constexpr uint32_t kStrBothModifiedArchiveDelete = 3333;
inline constexpr uint32_t kStrModifiedAndDeleted = 3334;
inline constexpr uint32_t kStrModifiedAndDeletedKept = 3335;
inline constexpr uint32_t kStrHandheldRecordsNotCopied = 3338;
inline constexpr uint32_t kStrHandheldRecordsNotCopiedWhy = 3339;
inline constexpr uint32_t kStrHandheldRecordsNotCopiedFix = 3340;
inline constexpr uint32_t kStrDesktopRecordsNotCopied = 3341;
inline constexpr uint32_t kStrDesktopRecordsNotCopiedFix = 3342;
inline constexpr uint32_t kStrOrderNotApplied = 3345;
inline constexpr uint32_t kStrArchiveFailed = 3346;
inline constexpr uint32_t kStrSaveFailed = 3347;

// Every string resource is loaded into a buffer of this many characters.
inline constexpr int kStringBufferSize = 128;

// The table of {id, text}; it lives as long as the program.
const win::StringResource* ConduitStrings();
size_t ConduitStringCount();
