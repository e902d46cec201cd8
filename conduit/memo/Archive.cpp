// Archiving: the rows of the archive table go into per-category archive files beside the desktop
// memo file, each file loaded, purged, extended and saved once per HotSync.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "session/ResultCodes.h"
#include "session/SyncMonitor.h"

namespace {

constexpr char kUnfiledFileName[] = "Unfiled";

// What became of one row of the archive table during the run.
struct RowState {
    bool visited = false;       // its category was read (and then set to 0)
    int32_t category = 0;       // the category it had before
    bool inSavedFile = false;   // it is in an archive file that was saved
};

}  // namespace

int32_t CSyncMonitor::ArchiveRecords() {
    int32_t result = 0;
    if (archiveTable_ == nullptr || archiveTable_->GetRecordCount() == 0) return 0;

    CBaseIterator walk(*archiveTable_);
    CBaseRecord row(*archiveTable_, 1);
    // Grouped by category, so that each archive file is loaded and saved once. The walk keeps this
    // order although the rows' categories are set to 0 as it goes.
    walk.SortByCatId();

    // Directory and extension are read within their fields, terminated or not.
    const std::string directory(properties_.desktopDirectory,
                                strnlen(properties_.desktopDirectory, sizeof properties_.desktopDirectory));
    const std::string extension(archiveExtension_, strnlen(archiveExtension_, sizeof archiveExtension_));

    std::vector<RowState> rows(static_cast<size_t>(archiveTable_->GetRecordCount()));
    std::vector<size_t> group;  // rows appended to the archive-file table being filled
    int32_t currentCategory = -1;
    std::string path;
    std::unique_ptr<CBaseTable> file;  // the archive file being filled

    auto saveGroup = [&]() -> int32_t {
        const int32_t saved = file->SaveTo(path.c_str());
        if (saved == 0) {
            for (size_t position : group) rows[position].inSavedFile = true;
        }
        group.clear();
        return saved;
    };

    for (int32_t more = walk.FindFirst(row, 0); more == 0 && result == 0; more = walk.FindNext(row, 0)) {
        int32_t category = 0;
        row.GetCategoryId(category);
        long position = -1;
        walk.GetCurrentRowPosition(position);
        const bool tracked = position >= 0 && static_cast<size_t>(position) < rows.size();
        if (tracked) rows[position] = RowState{true, category, false};
        if (category < 0 || category >= kCategoryCount) category = 0;

        if (category != currentCategory) {
            if (currentCategory != -1 && file) {
                result = saveGroup();
                if (result != 0) break;
            }
            CCategory* entry = nullptr;
            if (desktopCategories_ != nullptr) desktopCategories_->FindIndex(category, entry);
            path = directory + (entry != nullptr ? entry->GetFileName() : std::string(kUnfiledFileName)) + extension;

            file.reset();
            CBaseTable* made = nullptr;
            const int32_t created = CreateTable(made);
            file.reset(made);
            // Without a table this category's rows have nowhere to go; the archiving ends as after
            // a failed load, with CreateTable's code (-1 when it gives none).
            if (created != 0 || !file) {
                file.reset();
                result = created != 0 ? created : kNotSupported;
                break;
            }
            // A missing file starts empty. A file that could not be read leaves the table empty
            // and ends the archiving, so that it is never overwritten with the new rows alone.
            const int32_t loaded = file->OpenFrom(path.c_str(), 0);
            if (loaded != kTableNoSuchFile) {
                file->PurgeDeletedRecords();
                if (loaded != 0) result = loaded;
            }
            currentCategory = category;
        }

        row.SetCategoryId(0);
        if (result == 0) {
            const int32_t appended = AppendRecordToTable(row, file.get());
            if (appended != 0) {
                result = appended;
            } else if (tracked) {
                group.push_back(static_cast<size_t>(position));
            }
        }
    }

    if (file) {
        if (result == 0) result = saveGroup();
        file.reset();
    }

    // The records of the archive table have already left both sides (the handheld record is
    // deleted, the desktop row purged), so a record that is in no saved archive file would be lost
    // with the archive table. It goes back into the desktop table as it was, marked for archiving
    // and without a handheld id: the next HotSync archives it again without any handheld call.
    if (result != 0 && desktopTable_ != nullptr) {
        CBaseIterator all(*archiveTable_);
        CBaseRecord kept(*archiveTable_, 0);
        size_t position = 0;
        for (int32_t more = all.FindFirst(kept, 0); more == 0; more = all.FindNext(kept, 0), ++position) {
            if (position < rows.size()) {
                if (rows[position].inSavedFile) continue;
                if (rows[position].visited) kept.SetCategoryId(rows[position].category);
            }
            kept.SetRecordId(0);
            kept.SetStatus(kStatusNone);
            kept.SetArchiveBit(1);
            AppendRecordToTable(kept, desktopTable_);
        }
    }
    return result;
}
