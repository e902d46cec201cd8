// The memos of a device image and of a desktop memo file, edited the way the handheld's Memo Pad
// and the desktop application edit them (dirty bits, statuses, name-dirty categories), for the
// `tervano handheld` and `tervano desktop` commands and the demo. Texts here are UTF-8 with LF
// line ends; conversion to the stored form happens inside.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/UserPaths.h"
#include "synckit/DeviceImage.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/Table.h"

namespace tools {

// A memo holds at most this many bytes of text (the handheld's record keeps its NUL as well).
inline constexpr size_t kMaxMemoBytes = 4095;
// Category names hold at most 15 bytes.
inline constexpr size_t kMaxCategoryBytes = 15;

struct CategoryView {
    int index = 0;
    int id = 0;
    std::string name;  // UTF-8
    bool nameDirty = false;
};

struct MemoView {
    uint32_t row = 0;        // desktop: 1-based position in the table; handheld: 0
    uint32_t id = 0;         // handheld record id (desktop: 0 until the row reached the handheld)
    int category = 0;
    std::string categoryName;
    // handheld: the attribute names ("dirty", "deleted", "archived", "private");
    // desktop: the status ("none", "added", "modified", "deleted", "pending") then "archived", "private"
    std::vector<std::string> flags;
    std::string status;      // desktop only
    bool deleted = false;    // deleted or archived: hidden from the list without --all
    bool archived = false;
    bool isPrivate = false;
    std::string text;        // UTF-8, LF
};

// Every editing call returns "" on success or what is wrong (nothing changed then).

// A device image opened for reading and editing, locked (device.lock) while the object lives.
class HandheldMemos {
public:
    static std::unique_ptr<HandheldMemos> Open(const std::filesystem::path& folder, std::string& error);

    std::vector<CategoryView> Categories() const;
    std::vector<MemoView> Memos() const;  // in handheld order, deleted and archived included
    std::string Find(uint32_t id, MemoView& memo) const;
    // The index of the category named (exact, then without regard to case); -1 when none.
    int CategoryIndex(const std::string& name) const;

    std::string Add(const std::string& text, int category, bool isPrivate, uint32_t& id);
    std::string Edit(uint32_t id, const std::string& text);
    std::string Delete(uint32_t id);
    std::string Archive(uint32_t id);
    std::string Move(uint32_t id, int category);
    std::string AddCategory(const std::string& name, int& index);
    std::string RenameCategory(const std::string& name, const std::string& newName);
    std::string DeleteCategory(const std::string& name);

    std::string Save();
    const synckit::DeviceInfo& Info() const { return image_.Info(); }

private:
    HandheldMemos() = default;
    synckit::HandheldDatabase* Memo();  // the memo database, made when missing
    synckit::HandheldRecord* Record(uint32_t id, std::string& error);

    std::filesystem::path folder_;
    host::FileLock lock_;
    synckit::MemoryHandheld handheld_;
    synckit::DeviceImage image_;
};

// A desktop memo file opened for reading and editing. For editing it takes the lock beside the
// file that a HotSync holds, so an edit and a sync never overlap.
class DesktopMemos {
public:
    // path is a Windows path. A missing file is an empty table (it is made by Save).
    static std::unique_ptr<DesktopMemos> Open(const std::string& path, bool forEditing, std::string& error);

    std::vector<CategoryView> Categories() const;
    std::vector<MemoView> Memos() const;  // in table order
    // key: a row number as listed, or "id=N" for the row with that handheld record id.
    std::string Find(const std::string& key, MemoView& memo) const;
    int CategoryIndex(const std::string& name) const;

    std::string Add(const std::string& text, int category, bool isPrivate, uint32_t& row);
    std::string Edit(const std::string& key, const std::string& text);
    std::string Delete(const std::string& key);
    std::string Archive(const std::string& key);
    std::string Move(const std::string& key, int category);
    std::string AddCategory(const std::string& name, int& index);
    std::string RenameCategory(const std::string& name, const std::string& newName);
    std::string DeleteCategory(const std::string& name);

    std::string Save();
    const std::string& Path() const { return path_; }

private:
    DesktopMemos() = default;
    std::string Bind(const std::string& key, CMemoRecord& cursor, uint32_t* row = nullptr) const;
    // Marks an edited row: modified, unless it is new (added) since the last HotSync.
    static void MarkChanged(CMemoRecord& cursor);

    std::string path_;
    host::FileLock lock_;
    std::unique_ptr<CMemoTable> table_;
};

// The text of a memo given on the command line: UTF-8, checked to fit (kMaxMemoBytes once in
// Windows-1252). "" or what is wrong.
std::string CheckMemoText(const std::string& utf8);

}  // namespace tools
