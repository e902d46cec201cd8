// Category reconciliation: reading the handheld's categories from its application-info block,
// bringing the handheld and desktop category lists to the same content, and writing them back.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "memo/MemoConverter.h"
#include "resources/StringTable.h"
#include "session/ResultCodes.h"
#include "session/SyncMonitor.h"
#include "synckit/SyncMgr.h"

namespace {

constexpr uint16_t kAppInfoBufferSize = 800;
constexpr int32_t kSyncTypeSlow = 1;
constexpr int32_t kSyncTypeHandheldToDesktop = 2;
constexpr int32_t kSyncTypeDesktopToHandheld = 3;
constexpr int32_t kFirstSyncHandheldWins = 1;  // every handheld category counts as changed
constexpr int32_t kFirstSyncNewHandheld = 2;   // every desktop category counts as changed
constexpr char kHandheldSide[] = "Pilot";

// Desktop rows whose category changes index: (old desktop index, new index) pairs, applied once
// after the desktop pass. The desktop list holds at most one category per index, so 16 pairs
// always suffice; a pair beyond them is dropped rather than written past the list.
struct RemapList {
    struct Pair {
        int32_t from;
        int32_t to;
        bool resend;  // the handheld files these memos elsewhere: the moved rows go to it again
    };
    int32_t count = 0;
    Pair pairs[kCategoryCount] = {};

    void Add(int32_t from, int32_t to, bool resend = false) {
        if (count < kCategoryCount) pairs[count++] = Pair{from, to, resend};
    }
    // The first pair for the index, or null.
    const Pair* Find(int32_t from) const {
        for (int32_t i = 0; i < count; ++i) {
            if (pairs[i].from == from) return &pairs[i];
        }
        return nullptr;
    }
};

// Sets the name-dirty flag of every category of the list.
void MarkAllNameDirty(CCategoryMgr& categories) {
    CCategory* category = nullptr;
    for (categories.FindFirst(category); category != nullptr; categories.FindNext(category)) {
        category->SetNameDirty(1);
    }
}

// Adds a new category with these fields to the list. False when it cannot be made or the list
// refuses it (the refused one is deleted).
bool AddCategory(CCategoryMgr& categories, int32_t index, int32_t id, const std::string& name) {
    std::unique_ptr<CCategory> category(new (std::nothrow) CCategory());
    if (!category) return false;
    category->SetIndex(index);
    category->SetID(id);
    category->SetName(name);
    category->SetNameDirty(0);
    if (categories.Add(category.get()) != CAT_OK) return false;
    category.release();  // the list owns it now
    return true;
}

}  // namespace

int32_t CSyncMonitor::ReadHandheldCategories() {
    delete handheldCategories_;
    handheldCategories_ = new (std::nothrow) CCategoryMgr();

    delete[] appInfo_.buffer;
    std::memset(&appInfo_, 0, sizeof appInfo_);
    appInfo_.bufferSize = kAppInfoBufferSize;
    // Zero-filled, so that a block shorter than the buffer is written back with zeros after it.
    appInfo_.buffer = new (std::nothrow) uint8_t[kAppInfoBufferSize]();
    // The name is cut to 31 characters so that the field always ends with its NUL.
    const char* name = CurrentDatabaseName();
    std::memcpy(appInfo_.dbName, name, strnlen(name, sizeof appInfo_.dbName - 1));

    if (appInfo_.buffer == nullptr || handheldCategories_ == nullptr) return kErrHandheldCategories;

    const int32_t read = SyncReadDBAppInfoBlock(dbHandle_, appInfo_);
    // A database without an application-info block (one the session has just created) has no
    // categories yet: go on with the empty, zero-filled block, which the reconciliation fills and
    // writes back. Stopping here would leave a new handheld unable ever to receive the desktop's memos.
    if (read == kSyncErrNotFound) {
        appInfo_.length = 0;
    } else if (read != 0) {
        return read;
    }
    if (converter_ == nullptr) return kNotSupported;
    return converter_->ReadCategories(appInfo_, *handheldCategories_);
}

int32_t CSyncMonitor::WriteHandheldCategories(CCategoryMgr& categories) {
    if (converter_ == nullptr) return kNotSupported;
    const int32_t written = converter_->WriteCategories(appInfo_, categories);
    if (written != 0) return written;
    return SyncWriteDBAppInfoBlock(dbHandle_, appInfo_);
}

int32_t CSyncMonitor::CopyCategories(CCategoryMgr& source, CCategoryMgr& target) {
    if (&source == &target) return 0;  // emptying the target first would lose the source
    target.DeleteAllCategories(1);
    CCategory* category = nullptr;
    for (source.FindFirst(category); category != nullptr; source.FindNext(category)) {
        // Only a category that cannot be allocated fails here (the target takes every index of a
        // list keyed by index); the sync then stops rather than save a desktop list with gaps.
        if (!AddCategory(target, category->GetIndex(), category->GetID(), category->GetName())) {
            return kErrHandheldCategories;
        }
    }
    return 0;
}

int32_t CSyncMonitor::ReconcileCategories() {
    if (desktopTable_ == nullptr) return kErrDesktopTable;
    if (handheldCategories_ == nullptr) return kErrHandheldCategories;
    desktopCategories_ = desktopTable_->GetCategoryManager();
    CCategoryMgr& handheld = *handheldCategories_;
    CCategoryMgr& desktop = *desktopCategories_;

    const int32_t syncType = properties_.syncType;
    if (syncType == kSyncTypeHandheldToDesktop) return CopyCategories(handheld, desktop);
    if (syncType == kSyncTypeDesktopToHandheld) {
        // The desktop list replaces the handheld's. Handheld records filed under an index that the
        // desktop list leaves empty go to "Unfiled" first: should the copy of the records break off
        // after this, they would otherwise stay filed under a category that no longer exists.
        CCategory* h = nullptr;
        CCategory* found = nullptr;
        for (handheld.FindFirst(h); h != nullptr; handheld.FindNext(h)) {
            const int32_t index = h->GetIndex();
            if (index == 0 || desktop.FindIndex(index, found) == CAT_OK) continue;
            if (SyncChangeCategory(dbHandle_, static_cast<uint8_t>(index), 0) != 0) {
                LogMoveToUnfiledFailed(h->GetName().c_str());
            }
        }
        return WriteHandheldCategories(desktop);
    }

    // A side whose every name counts as changed never loses a category in the passes below and
    // wins every name conflict.
    const int32_t firstSync = properties_.firstSyncIndicator;
    if (firstSync == kFirstSyncHandheldWins) {
        MarkAllNameDirty(handheld);
    } else if (firstSync == kFirstSyncNewHandheld) {
        MarkAllNameDirty(desktop);
    } else if (syncType == kSyncTypeSlow) {
        MarkAllNameDirty(handheld);
    }

    // Handheld pass: a handheld category unchanged on the handheld whose name and id the desktop
    // no longer knows was deleted on the desktop. Its handheld records go to "Unfiled" first; only
    // when that worked does the category leave the handheld list.
    CCategory* h = nullptr;
    CCategory* found = nullptr;
    for (handheld.FindFirst(h); h != nullptr; handheld.FindNext(h)) {
        if (h->GetNameDirty()) continue;
        if (desktop.FindName(h->GetName(), found) == CAT_OK) continue;
        if (desktop.FindID(h->GetID(), found) != CAT_NOT_FOUND) continue;
        const std::string name = h->GetName();
        const int32_t index = h->GetIndex();
        if (SyncChangeCategory(dbHandle_, static_cast<uint8_t>(index), 0) == 0) {
            LogCategoryDeleted(name.c_str(), kHandheldSide);
            handheld.Delete(index);  // the walk stays valid
        } else {
            LogMoveToUnfiledFailed(name.c_str());
        }
    }

    // Desktop pass: settle each desktop category against the handheld list, noting the desktop
    // rows that must change index.
    RemapList remap;
    const std::string desktopSide = Text(kStrDesktop);
    CCategory* d = nullptr;
    for (desktop.FindFirst(d); d != nullptr; desktop.FindNext(d)) {
        const int32_t index = d->GetIndex();
        if (handheld.FindName(d->GetName(), h) == CAT_OK) {
            // A desktop category renamed to the name of another handheld category joins that one.
            // The handheld still files the same memos under the category with this one's ID, so the
            // moved rows are sent to it again (as modified); otherwise both sides would file them
            // under different categories from now on.
            CCategory* same = nullptr;
            const bool resend = h->GetID() != d->GetID() && handheld.FindID(d->GetID(), same) == CAT_OK;
            if (h->GetIndex() != index) remap.Add(index, h->GetIndex(), resend);
        } else if (handheld.FindID(d->GetID(), h) == CAT_OK) {
            // Renamed: a desktop rename wins; the rows stay where the desktop has them.
            if (d->GetNameDirty()) {
                h->SetName(d->GetName());
            } else if (h->GetIndex() != index) {
                remap.Add(index, h->GetIndex());
            }
        } else if (!d->GetNameDirty()) {
            // Deleted on the handheld.
            remap.Add(index, 0);
            LogCategoryDeleted(d->GetName().c_str(), desktopSide.c_str());
        } else if (handheld.FindIndex(index, found) != CAT_OK) {
            // New on the desktop, at an index free on the handheld.
            AddCategory(handheld, index, d->GetID(), d->GetName());
        } else {
            // New on the desktop at a taken index: it moves to a free one, or its rows go to
            // "Unfiled" when every index is in use.
            const int32_t free = handheld.GetFreeIndex();
            if (free == -1) {
                remap.Add(index, 0);
                LogTooManyCategories(d->GetName().c_str());
            } else {
                remap.Add(index, free);
                AddCategory(handheld, free, d->GetID(), d->GetName());
            }
        }
    }

    // Each row is looked up once by the category it had before this step, so that pairs that
    // exchange two indices do not run into each other.
    if (remap.count > 0) {
        CBaseIterator walk(*desktopTable_);
        CBaseRecord row(*desktopTable_, 0);
        for (int32_t more = walk.FindFirst(row, 0); more == 0; more = walk.FindNext(row, 0)) {
            int32_t category = 0;
            if (row.GetCategoryId(category) != 0) continue;
            const RemapList::Pair* pair = remap.Find(category);
            if (pair == nullptr) continue;
            row.SetCategoryId(pair->to);
            if (pair->resend && row.IsNone() && !row.IsArchived()) row.SetStatus(kStatusModified);
        }
    }

    const int32_t copied = CopyCategories(handheld, desktop);
    if (copied != 0) return copied;
    return WriteHandheldCategories(handheld);
}
