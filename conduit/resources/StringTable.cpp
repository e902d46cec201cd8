// The conduit's string resources, as the table the module registers when it is loaded.
#include "resources/StringTable.h"

#include <array>

namespace {

constexpr std::array<win::StringResource, 34> kStrings{{
    {kStrConduitName, "Memo Pad"},
    {kStrCheckConnections, "     Please check your connections and try again."},
    {kStrHandheldMayBeFull, "     Your Pilot may be full.  Check the Pilot's Memory Application."},
    {kStrDesktopMayBeFull, "     Your Desktop disk may be full.  Check the disk space and HotSync again."},
    {kStrDesktop, "Desktop"},
    {kStrCopyToHandheldFailed, "   - Could not copy the following record to Pilot:"},
    {kStrPurgeHandheldFailed, "   - Could not purge the deleted records on Pilot."},
    {kStrDeleteOnHandheldFailed, "   - Could not delete the following record on Pilot:"},
    {kStrModifyOnHandheldFailed, "   - Could not modify the following record on Pilot:"},
    {kStrCopyToDesktopFailed, "   - Could not copy the following record to the Desktop:"},
    {kStrMoveToUnfiledFailed, "   - Could not move the Pilot records in category '"},
    {kStrMoveToUnfiledFailedEnd, "' to 'Unfiled'."},
    {kStrReadNextFailed, "   - Could not read the next Pilot record."},
    {kStrTooManyCategories, "   - Only 15 categories are allowed.  All records in category"},
    {kStrTooManyCategoriesMoved, "     were changed to 'Unfiled'."},
    {kStrCategory, "category"},
    {kStrCategoryDeleted, "has been deleted and all of"},
    {kStrCategoryDeletedMoved, "     the records in this category have been moved to 'Unfiled'."},
    {kStrBothModified, "   - The following record was modified on both Pilot and the Desktop:"},
    {kStrBothModifiedDuplicated, "     This record will be duplicated on each platform."},
    {kStrBothModifiedDelete, "     Delete the unwanted record and HotSync again."},
    {kStrBothModifiedArchive, "   - The following record was modified on both Pilot and the Desktop:"},
    {kStrBothModifiedArchiveDuplicated,
     "     This record will be duplicated on each platform. The Pilot record marked to"},
    {kStrBothModifiedArchiveDelete,
     "     be archived was not archived.  Delete the unwanted record and HotSync again."},
    {kStrModifiedAndDeleted, "   - The following record was modified on one platform and deleted on the other."},
    {kStrModifiedAndDeletedKept, "     The modified version will appear on both platforms."},
    {kStrHandheldRecordsNotCopied, "   - Some Pilot records were not copied to the Desktop. Your computer may be"},
    {kStrHandheldRecordsNotCopiedWhy,
     "     full or you may have reached the maximum allowed records on the desktop."},
    {kStrHandheldRecordsNotCopiedFix, "     To correct this situation, delete some records and HotSync again."},
    {kStrDesktopRecordsNotCopied, "   - Some Desktop records were not copied to Pilot. Your Pilot may be full."},
    {kStrDesktopRecordsNotCopiedFix, "     To correct this situation, delete some records and HotSync again."},
    {kStrOrderNotApplied, "   - Records may not be sorted correctly on the Desktop."},
    {kStrArchiveFailed, "   - Some or all of your deleted records were not archived."},
    {kStrSaveFailed, "   - Could not save the Desktop file."},
}};

// Every text must fit the 128-character buffer it is loaded into, or a log line would be cut.
constexpr bool AllFitTheBuffer() {
    for (const auto& s : kStrings) {
        size_t n = 0;
        while (s.text[n] != '\0') ++n;
        if (n + 1 > static_cast<size_t>(kStringBufferSize)) return false;
    }
    return true;
}
static_assert(AllFitTheBuffer());

}  // namespace

const win::StringResource* ConduitStrings() { return kStrings.data(); }
size_t ConduitStringCount() { return kStrings.size(); }
