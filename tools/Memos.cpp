// Memo Pad edits on a device image and desktop-application edits on a desktop memo file.
#include "Memos.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "Text.h"
#include "synckit/PdbFile.h"
#include "win/Paths.h"

namespace fs = std::filesystem;

namespace tools {
namespace {

constexpr uint8_t kFlagMask = kRecAttrDeleted | kRecAttrDirty | kRecAttrPrivate | kRecAttrArchived;

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A category name given on the command line, in Windows-1252; "" with error set when unfit.
std::string CategoryBytes(const std::string& utf8, std::string& error) {
    const std::string bytes = Utf8ToCp1252(utf8);
    if (bytes.empty()) error = "a category name cannot be empty";
    else if (bytes.size() > kMaxCategoryBytes) error = "a category name holds at most 15 characters: \"" + utf8 + "\"";
    else if (bytes.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) error = "a category name is one line";
    return error.empty() ? bytes : std::string();
}

// The handheld's Memo Pad text of a command-line text: Windows-1252, LF line ends.
std::string HandheldText(const std::string& utf8) { return Utf8ToCp1252(ToLf(utf8)); }
// The desktop's text: Windows-1252, CR LF line ends.
std::string DesktopText(const std::string& utf8) { return Utf8ToCp1252(ToCrLf(utf8)); }

// ---- The category block of the memo database's application-info block ----

std::string SlotName(const std::string& block, int index) {
    std::string name;
    const size_t slot = synckit::kCategoryNamesOffset + synckit::kCategoryNameSize * static_cast<size_t>(index);
    for (size_t k = 0; k < kMaxCategoryBytes && slot + k < block.size() && block[slot + k] != '\0'; ++k)
        name.push_back(block[slot + k]);
    return name;
}

void SetSlotName(std::string& block, int index, const std::string& name) {
    const size_t slot = synckit::kCategoryNamesOffset + synckit::kCategoryNameSize * static_cast<size_t>(index);
    for (size_t k = 0; k < synckit::kCategoryNameSize; ++k) block[slot + k] = k < name.size() ? name[k] : '\0';
}

uint16_t RenamedBits(const std::string& block) {
    return static_cast<uint16_t>((static_cast<uint8_t>(block[0]) << 8) | static_cast<uint8_t>(block[1]));
}

void SetRenamedBit(std::string& block, int index, bool on) {
    uint16_t bits = RenamedBits(block);
    bits = static_cast<uint16_t>(on ? bits | (1u << index) : bits & ~(1u << index));
    block[0] = static_cast<char>(bits >> 8);
    block[1] = static_cast<char>(bits & 0xFF);
}

uint8_t SlotId(const std::string& block, int index) {
    return static_cast<uint8_t>(block[synckit::kCategoryIdsOffset + static_cast<size_t>(index)]);
}

std::string StatusName(int32_t status) {
    switch (status) {
        case kStatusNone: return "none";
        case kStatusAdded: return "added";
        case kStatusModified: return "modified";
        case kStatusDeleted: return "deleted";
        case kStatusPending: return "pending";
        default: return "status " + std::to_string(status);
    }
}

}  // namespace

std::string CheckMemoText(const std::string& utf8) {
    size_t unmapped = 0;
    const std::string bytes = Utf8ToCp1252(ToLf(utf8), &unmapped);
    if (bytes.find('\0') != std::string::npos) return "a memo text cannot hold a NUL character";
    if (bytes.size() > kMaxMemoBytes)
        return "a memo holds at most " + std::to_string(kMaxMemoBytes) + " characters (this one has " +
               std::to_string(bytes.size()) + ")";
    return {};
}

// ================= Handheld =================

std::unique_ptr<HandheldMemos> HandheldMemos::Open(const fs::path& folder, std::string& error) {
    std::unique_ptr<HandheldMemos> memos(new HandheldMemos);
    memos->folder_ = folder;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = folder.string() + ": no device image folder (make one with `tervano handheld --device DIR init`)";
        return nullptr;
    }
    if (error = memos->lock_.Try(folder / "device.lock"); !error.empty()) return nullptr;
    synckit::DeviceLoadResult loaded = synckit::DeviceImage::Load(folder, memos->handheld_);
    if (!loaded.ok()) {
        error = "the device image is refused: " + loaded.error;
        return nullptr;
    }
    memos->image_ = std::move(loaded.image);
    return memos;
}

synckit::HandheldDatabase* HandheldMemos::Memo() {
    synckit::HandheldDatabase* db = handheld_.FindDatabase(synckit::kMemoDbName);
    if (db == nullptr) db = &handheld_.AddDatabase(synckit::kMemoDbName, synckit::kMemoDbCreator, synckit::kMemoDbType);
    if (!db->appInfo || db->appInfo->size() < synckit::kCategoryBlockSize) {
        std::string block = synckit::DefaultMemoAppInfo();
        if (db->appInfo) std::copy(db->appInfo->begin(), db->appInfo->end(), block.begin());
        db->appInfo = block;
    }
    return db;
}

std::vector<CategoryView> HandheldMemos::Categories() const {
    std::vector<CategoryView> categories;
    const synckit::HandheldDatabase* db = const_cast<synckit::MemoryHandheld&>(handheld_).FindDatabase(synckit::kMemoDbName);
    const std::string block = db != nullptr && db->appInfo && db->appInfo->size() >= synckit::kCategoryBlockSize
                                  ? *db->appInfo
                                  : synckit::DefaultMemoAppInfo();
    for (int i = 0; i < static_cast<int>(synckit::kCategoryCount); ++i) {
        const std::string name = SlotName(block, i);
        if (name.empty()) continue;
        categories.push_back({i, SlotId(block, i), Cp1252ToUtf8(name), ((RenamedBits(block) >> i) & 1) != 0});
    }
    return categories;
}

int HandheldMemos::CategoryIndex(const std::string& name) const {
    const std::vector<CategoryView> categories = Categories();
    for (const CategoryView& c : categories)
        if (c.name == name) return c.index;
    for (const CategoryView& c : categories)
        if (EqualNoCase(c.name, name)) return c.index;
    return -1;
}

std::vector<MemoView> HandheldMemos::Memos() const {
    std::vector<MemoView> memos;
    const synckit::HandheldDatabase* db = const_cast<synckit::MemoryHandheld&>(handheld_).FindDatabase(synckit::kMemoDbName);
    if (db == nullptr) return memos;
    std::vector<std::string> names(synckit::kCategoryCount, "Unfiled");
    for (const CategoryView& c : Categories()) names[static_cast<size_t>(c.index)] = c.name;
    for (const synckit::HandheldRecord& record : db->records) {
        MemoView memo;
        memo.id = record.id;
        memo.category = record.category & 0x0F;
        memo.categoryName = names[static_cast<size_t>(memo.category)];
        const uint8_t a = record.attributes;
        if (a & kRecAttrDirty) memo.flags.push_back("dirty");
        if (a & kRecAttrDeleted) memo.flags.push_back("deleted");
        if (a & kRecAttrArchived) memo.flags.push_back("archived");
        if (a & kRecAttrPrivate) memo.flags.push_back("private");
        memo.deleted = (a & (kRecAttrDeleted | kRecAttrArchived)) != 0;
        memo.archived = (a & kRecAttrArchived) != 0;
        memo.isPrivate = (a & kRecAttrPrivate) != 0;
        std::string text = record.data;
        if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
        memo.text = Cp1252ToUtf8(text);
        memos.push_back(std::move(memo));
    }
    return memos;
}

std::string HandheldMemos::Find(uint32_t id, MemoView& memo) const {
    for (MemoView& m : Memos()) {
        if (m.id == id) {
            memo = std::move(m);
            return {};
        }
    }
    return "no memo with id " + std::to_string(id) + " on the handheld";
}

synckit::HandheldRecord* HandheldMemos::Record(uint32_t id, std::string& error) {
    synckit::HandheldDatabase* db = handheld_.FindDatabase(synckit::kMemoDbName);
    if (db != nullptr) {
        for (synckit::HandheldRecord& record : db->records) {
            if (record.id != id) continue;
            if (record.attributes & (kRecAttrDeleted | kRecAttrArchived)) {
                error = "memo " + std::to_string(id) + " is deleted or archived already";
                return nullptr;
            }
            return &record;
        }
    }
    error = "no memo with id " + std::to_string(id) + " on the handheld";
    return nullptr;
}

std::string HandheldMemos::Add(const std::string& text, int category, bool isPrivate, uint32_t& id) {
    if (std::string bad = CheckMemoText(text); !bad.empty()) return bad;
    if (category < 0 || category >= static_cast<int>(synckit::kCategoryCount)) return "no such category";
    synckit::HandheldDatabase* db = Memo();
    const uint8_t attributes = static_cast<uint8_t>(kRecAttrDirty | (isPrivate ? kRecAttrPrivate : 0));
    id = handheld_.AddRecord(*db, HandheldText(text) + std::string(1, '\0'), attributes, static_cast<uint8_t>(category));
    return id == 0 ? "the handheld has no free record id" : std::string();
}

std::string HandheldMemos::Edit(uint32_t id, const std::string& text) {
    if (std::string bad = CheckMemoText(text); !bad.empty()) return bad;
    std::string error;
    synckit::HandheldRecord* record = Record(id, error);
    if (record == nullptr) return error;
    record->data = HandheldText(text) + std::string(1, '\0');
    record->attributes |= kRecAttrDirty;
    return {};
}

std::string HandheldMemos::Delete(uint32_t id) {
    std::string error;
    synckit::HandheldRecord* record = Record(id, error);
    if (record == nullptr) return error;
    // Deleted: the record stays (so the next HotSync deletes the desktop copy) without its data.
    record->attributes = static_cast<uint8_t>((record->attributes & kFlagMask) | kRecAttrDeleted | kRecAttrDirty);
    record->data.clear();
    return {};
}

std::string HandheldMemos::Archive(uint32_t id) {
    std::string error;
    synckit::HandheldRecord* record = Record(id, error);
    if (record == nullptr) return error;
    // Archived: deleted and dirty, with its data kept for the desktop's archive file.
    record->attributes |= kRecAttrDeleted | kRecAttrArchived | kRecAttrDirty;
    return {};
}

std::string HandheldMemos::Move(uint32_t id, int category) {
    if (category < 0 || category >= static_cast<int>(synckit::kCategoryCount)) return "no such category";
    std::string error;
    synckit::HandheldRecord* record = Record(id, error);
    if (record == nullptr) return error;
    record->category = static_cast<uint8_t>(category);
    record->attributes |= kRecAttrDirty;
    return {};
}

std::string HandheldMemos::AddCategory(const std::string& name, int& index) {
    std::string error;
    const std::string bytes = CategoryBytes(name, error);
    if (!error.empty()) return error;
    if (CategoryIndex(name) >= 0) return "the handheld has a category \"" + name + "\" already";
    std::string& block = *Memo()->appInfo;
    index = -1;
    for (int i = 1; i < static_cast<int>(synckit::kCategoryCount) && index < 0; ++i)
        if (SlotName(block, i).empty()) index = i;
    if (index < 0) return "the handheld has no free category (16 at most, Unfiled included)";
    // The handheld gives its new categories ids from 128 up, after the last one it gave out, so
    // they never meet the ids a desktop gives out (below 128).
    std::set<int> used;
    for (int i = 0; i < static_cast<int>(synckit::kCategoryCount); ++i)
        if (!SlotName(block, i).empty()) used.insert(SlotId(block, i));
    const int last = static_cast<uint8_t>(block[synckit::kCategoryLastIdOffset]);
    int id = std::max(last, 127) + 1;
    if (id > 255 || used.count(id) != 0) {
        id = -1;
        for (int candidate = 128; candidate <= 255 && id < 0; ++candidate)
            if (used.count(candidate) == 0) id = candidate;
    }
    SetSlotName(block, index, bytes);
    block[synckit::kCategoryIdsOffset + static_cast<size_t>(index)] = static_cast<char>(id);
    block[synckit::kCategoryLastIdOffset] = static_cast<char>(id);
    SetRenamedBit(block, index, true);
    return {};
}

std::string HandheldMemos::RenameCategory(const std::string& name, const std::string& newName) {
    const int index = CategoryIndex(name);
    if (index < 0) return "the handheld has no category \"" + name + "\"";
    if (index == 0) return "Unfiled cannot be renamed";
    std::string error;
    const std::string bytes = CategoryBytes(newName, error);
    if (!error.empty()) return error;
    if (const int other = CategoryIndex(newName); other >= 0 && other != index)
        return "the handheld has a category \"" + newName + "\" already";
    std::string& block = *Memo()->appInfo;
    SetSlotName(block, index, bytes);
    SetRenamedBit(block, index, true);
    return {};
}

std::string HandheldMemos::DeleteCategory(const std::string& name) {
    const int index = CategoryIndex(name);
    if (index < 0) return "the handheld has no category \"" + name + "\"";
    if (index == 0) return "Unfiled cannot be deleted";
    synckit::HandheldDatabase* db = Memo();
    std::string& block = *db->appInfo;
    SetSlotName(block, index, "");
    block[synckit::kCategoryIdsOffset + static_cast<size_t>(index)] = 0;
    SetRenamedBit(block, index, false);
    // Its memos go to Unfiled and are marked changed, as the Memo Pad does.
    for (synckit::HandheldRecord& record : db->records) {
        if ((record.category & 0x0F) != index) continue;
        record.category = 0;
        if ((record.attributes & kRecAttrDeleted) == 0) record.attributes |= kRecAttrDirty;
    }
    return {};
}

std::string HandheldMemos::Save() {
    const synckit::DeviceSaveResult saved = image_.Save(folder_, handheld_);
    return saved.ok() ? std::string() : "the device image was not written: " + saved.error;
}

// ================= Desktop =================

std::unique_ptr<DesktopMemos> DesktopMemos::Open(const std::string& path, bool forEditing, std::string& error) {
    std::unique_ptr<DesktopMemos> memos(new DesktopMemos);
    memos->path_ = path;
    const fs::path hostPath = win::HostPath(path);
    if (forEditing) {
        std::error_code ec;
        fs::create_directories(hostPath.parent_path(), ec);
        if (ec) {
            error = hostPath.parent_path().string() + ": cannot be made: " + ec.message();
            return nullptr;
        }
        if (std::string busy = memos->lock_.Try(host::DesktopLockPath(path)); !busy.empty()) {
            error = "the desktop file " + hostPath.string() + " is in use by a HotSync; try again when it is done (" + busy + ")";
            return nullptr;
        }
    }
    memos->table_ = std::make_unique<CMemoTable>();
    const int32_t opened = memos->table_->OpenFrom(path.c_str(), 0);
    if (opened != 0 && opened != kTableNoSuchFile) {
        error = hostPath.string() + (opened == kTableDamaged ? ": not a desktop memo file, or damaged"
                                                             : ": cannot be read (code " + std::to_string(opened) + ")");
        return nullptr;
    }
    return memos;
}

std::vector<CategoryView> DesktopMemos::Categories() const {
    std::vector<CategoryView> categories;
    table_->GetCategoryManager()->ForEachCategory([&](const CCategory& c) {
        categories.push_back({c.GetIndex(), c.GetID(), Cp1252ToUtf8(c.GetName()), c.GetNameDirty() != 0});
    });
    return categories;
}

int DesktopMemos::CategoryIndex(const std::string& name) const {
    const std::vector<CategoryView> categories = Categories();
    for (const CategoryView& c : categories)
        if (c.name == name) return c.index;
    for (const CategoryView& c : categories)
        if (EqualNoCase(c.name, name)) return c.index;
    if (EqualNoCase(name, "Unfiled")) return 0;
    return -1;
}

std::vector<MemoView> DesktopMemos::Memos() const {
    std::vector<MemoView> memos;
    std::vector<std::string> names(16, "Unfiled");
    for (const CategoryView& c : Categories())
        if (c.index >= 0 && c.index < 16) names[static_cast<size_t>(c.index)] = c.name;
    CBaseIterator walk(*table_);
    CMemoRecord cursor(*table_, 0);
    uint32_t row = 0;
    for (int32_t found = walk.FindFirst(cursor, 0); found == 0; found = walk.FindNext(cursor, 0)) {
        MemoView memo;
        memo.row = ++row;
        cursor.GetRecordId(memo.id);
        int32_t category = 0;
        cursor.GetCategoryId(category);
        memo.category = category;
        memo.categoryName = category >= 0 && category < 16 ? names[static_cast<size_t>(category)] : "Unfiled";
        int32_t status = 0;
        cursor.GetStatus(status);
        memo.status = StatusName(status);
        memo.flags.push_back(memo.status);
        memo.archived = cursor.IsArchived() != 0;
        memo.isPrivate = cursor.IsPrivate() != 0;
        if (memo.archived) memo.flags.push_back("archived");
        if (memo.isPrivate) memo.flags.push_back("private");
        memo.deleted = memo.archived || status == kStatusDeleted || status == kStatusPending;
        std::string text;
        cursor.GetMemo(text);
        memo.text = ToLf(Cp1252ToUtf8(text));
        memos.push_back(std::move(memo));
    }
    return memos;
}

std::string DesktopMemos::Bind(const std::string& key, CMemoRecord& cursor, uint32_t* rowOut) const {
    const bool byId = key.rfind("id=", 0) == 0;
    const std::string digits = byId ? key.substr(3) : key;
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return "not a row number or id=N: \"" + key + "\"";
    const uint32_t wanted = static_cast<uint32_t>(std::stoul(digits));
    CBaseIterator walk(*table_);
    uint32_t row = 0;
    for (int32_t found = walk.FindFirst(cursor, 0); found == 0; found = walk.FindNext(cursor, 0)) {
        ++row;
        uint32_t id = 0;
        cursor.GetRecordId(id);
        if (byId ? (id == wanted && wanted != 0) : row == wanted) {
            if (rowOut != nullptr) *rowOut = row;
            return {};
        }
    }
    return byId ? "no desktop memo with id " + digits : "no desktop memo in row " + digits;
}

std::string DesktopMemos::Find(const std::string& key, MemoView& memo) const {
    CMemoRecord cursor(*table_, 0);
    uint32_t row = 0;
    if (std::string error = Bind(key, cursor, &row); !error.empty()) return error;
    memo = Memos()[row - 1];
    return {};
}

void DesktopMemos::MarkChanged(CMemoRecord& cursor) {
    if (!cursor.IsAdded()) cursor.SetStatus(kStatusModified);
}

std::string DesktopMemos::Add(const std::string& text, int category, bool isPrivate, uint32_t& row) {
    if (std::string bad = CheckMemoText(text); !bad.empty()) return bad;
    CMemoRecord cursor(*table_, 0);
    if (table_->CreateRecord(cursor) != 0) return "the desktop table refused a new row";
    cursor.SetRecordId(0);
    cursor.SetStatus(kStatusAdded);
    cursor.SetCategoryId(category);
    cursor.SetPrivate(isPrivate ? 1 : 0);
    cursor.SetMemo(DesktopText(text));
    row = static_cast<uint32_t>(table_->GetRecordCount());
    return {};
}

namespace {
std::string RefuseGone(CMemoRecord& cursor, const std::string& key) {
    if (cursor.IsDeleted() || cursor.IsPending() || cursor.IsArchived())
        return "desktop memo " + key + " is deleted or archived already";
    return {};
}
}  // namespace

std::string DesktopMemos::Edit(const std::string& key, const std::string& text) {
    if (std::string bad = CheckMemoText(text); !bad.empty()) return bad;
    CMemoRecord cursor(*table_, 0);
    if (std::string error = Bind(key, cursor); !error.empty()) return error;
    if (std::string gone = RefuseGone(cursor, key); !gone.empty()) return gone;
    cursor.SetMemo(DesktopText(text));
    MarkChanged(cursor);
    return {};
}

std::string DesktopMemos::Delete(const std::string& key) {
    CMemoRecord cursor(*table_, 0);
    if (std::string error = Bind(key, cursor); !error.empty()) return error;
    if (std::string gone = RefuseGone(cursor, key); !gone.empty()) return gone;
    cursor.SetStatus(kStatusDeleted);
    return {};
}

std::string DesktopMemos::Archive(const std::string& key) {
    CMemoRecord cursor(*table_, 0);
    if (std::string error = Bind(key, cursor); !error.empty()) return error;
    if (std::string gone = RefuseGone(cursor, key); !gone.empty()) return gone;
    // The archive flag, with the row marked changed, is what the next HotSync acts on: it moves the
    // row into its category's archive file and deletes the handheld's copy.
    cursor.SetArchiveBit(1);
    MarkChanged(cursor);
    return {};
}

std::string DesktopMemos::Move(const std::string& key, int category) {
    CMemoRecord cursor(*table_, 0);
    if (std::string error = Bind(key, cursor); !error.empty()) return error;
    if (std::string gone = RefuseGone(cursor, key); !gone.empty()) return gone;
    cursor.SetCategoryId(category);
    MarkChanged(cursor);
    return {};
}

std::string DesktopMemos::AddCategory(const std::string& name, int& index) {
    std::string error;
    const std::string bytes = CategoryBytes(name, error);
    if (!error.empty()) return error;
    if (CategoryIndex(name) >= 0) return "the desktop has a category \"" + name + "\" already";
    CCategoryMgr& categories = *table_->GetCategoryManager();
    index = categories.GetFreeIndex();
    if (index < 0) return "the desktop has no free category (16 at most, Unfiled included)";
    // A desktop gives its new categories ids below 128, above the highest it holds, so they never
    // meet the ids the handheld gives out (from 128 up).
    std::set<int> used;
    int highest = 15;
    categories.ForEachCategory([&](const CCategory& c) {
        used.insert(c.GetID());
        if (c.GetID() < 128) highest = std::max(highest, c.GetID());
    });
    int id = highest + 1;
    if (id > 127 || used.count(id) != 0) {
        id = -1;
        for (int candidate = 16; candidate <= 127 && id < 0; ++candidate)
            if (used.count(candidate) == 0) id = candidate;
    }
    if (id < 0) return "the desktop has no free category id";
    auto category = std::make_unique<CCategory>();
    category->SetIndex(index);
    category->SetID(id);
    category->SetName(bytes);
    category->SetNameDirty(1);
    if (categories.Add(category.get()) != CAT_OK) return "the desktop refused the category";
    category.release();
    return {};
}

std::string DesktopMemos::RenameCategory(const std::string& name, const std::string& newName) {
    const int index = CategoryIndex(name);
    if (index < 0) return "the desktop has no category \"" + name + "\"";
    if (index == 0) return "Unfiled cannot be renamed";
    std::string error;
    const std::string bytes = CategoryBytes(newName, error);
    if (!error.empty()) return error;
    if (const int other = CategoryIndex(newName); other >= 0 && other != index)
        return "the desktop has a category \"" + newName + "\" already";
    CCategory* category = nullptr;
    if (table_->GetCategoryManager()->FindIndex(index, category) != CAT_OK || category == nullptr)
        return "the desktop has no category \"" + name + "\"";
    category->SetName(bytes);
    category->SetNameDirty(1);
    return {};
}

std::string DesktopMemos::DeleteCategory(const std::string& name) {
    const int index = CategoryIndex(name);
    if (index < 0) return "the desktop has no category \"" + name + "\"";
    if (index == 0) return "Unfiled cannot be deleted";
    if (table_->GetCategoryManager()->Delete(index) != CAT_OK) return "the desktop has no category \"" + name + "\"";
    CBaseIterator walk(*table_);
    CMemoRecord cursor(*table_, 0);
    for (int32_t found = walk.FindFirst(cursor, 0); found == 0; found = walk.FindNext(cursor, 0)) {
        int32_t category = 0;
        cursor.GetCategoryId(category);
        if (category != index) continue;
        cursor.SetCategoryId(0);
        if (!cursor.IsDeleted() && !cursor.IsPending()) MarkChanged(cursor);
    }
    return {};
}

std::string DesktopMemos::Save() {
    const int32_t saved = table_->SaveTo(path_.c_str());
    return saved == 0 ? std::string()
                      : win::HostPath(path_).string() + ": cannot be written (code " + std::to_string(saved) + ")";
}

}  // namespace tools
