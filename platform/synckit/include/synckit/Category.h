// Categories of a desktop table or of the handheld: 16 indices (0 is "Unfiled"), one-byte unique ids,
// names of at most 15 characters, a name-dirty flag each.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

enum CatError : int32_t {
    CAT_OK = 0,
    CAT_INDEX_IN_USE = 1,   // Add: another category holds the index
    CAT_BAD_INDEX = 2,      // Add: index outside 0-15
    CAT_NOT_FOUND = 4,
};

inline constexpr int kCategoryCount = 16;
inline constexpr int kCategoryNameMax = 15;

class CCategory {
public:
    CCategory() = default;
    virtual ~CCategory() = default;

    int32_t GetID() const { return id_; }
    void SetID(int32_t id) { id_ = id; }
    int32_t GetIndex() const { return index_; }
    void SetIndex(int32_t index) { index_ = index; }
    const std::string& GetName() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    int32_t GetNameDirty() const { return nameDirty_; }
    void SetNameDirty(int32_t dirty) { nameDirty_ = dirty ? 1 : 0; }
    // Base name of the category's archive file: the name with the characters a Windows file name
    // cannot hold (\ / : * ? " < > |, control characters) replaced by '_'; "Unfiled" for an empty name.
    std::string GetFileName() const;

private:
    int32_t id_ = 0;
    int32_t index_ = 0;
    std::string name_;
    int32_t nameDirty_ = 0;
};

// A list of categories keyed by index. Walks (FindFirst/FindNext) go in ascending index order;
// deleting the current category keeps the walk valid. The Find calls set the out pointer to the
// category (owned by the manager) and return CAT_OK, or set it to null and return CAT_NOT_FOUND.
class CCategoryMgr {
public:
    CCategoryMgr() = default;
    virtual ~CCategoryMgr() = default;
    CCategoryMgr(const CCategoryMgr&) = delete;
    CCategoryMgr& operator=(const CCategoryMgr&) = delete;

    // CAT_OK: the manager owns the category. Otherwise the caller keeps (and deletes) it:
    // CAT_BAD_INDEX for a null category or an index outside 0-15, CAT_INDEX_IN_USE when another
    // category holds the index.
    CatError Add(CCategory* category);
    CatError Delete(int32_t index);  // CAT_NOT_FOUND when no category holds the index
    CatError DeleteAllCategories(int32_t flag);  // always CAT_OK; the flag changes nothing
    CatError FindFirst(CCategory*& out);  // the lowest index; starts a walk
    CatError FindNext(CCategory*& out);   // the next index above the walk's current one
    CatError FindName(const std::string& name, CCategory*& out);  // exact name match, lowest index
    CatError FindID(int32_t id, CCategory*& out);  // lowest index with that id
    CatError FindIndex(int32_t index, CCategory*& out);
    // The lowest free index from 1 to 15; -1 when all of them are taken. Index 0 is "Unfiled" and
    // is never handed out for a new category.
    int32_t GetFreeIndex() const;
    int32_t GetCount() const { return static_cast<int32_t>(categories_.size()); }

    // Exchanges the categories of two managers (a table load); both walks start over.
    void Swap(CCategoryMgr& other) noexcept;
    // Calls f(const CCategory&) for each category in ascending index order, without touching the walk.
    template <class F>
    void ForEachCategory(F&& f) const {
        for (const auto& entry : categories_) f(*entry.second);
    }

private:
    std::map<int32_t, std::unique_ptr<CCategory>> categories_;
    int32_t walkIndex_ = -1;  // index of the walk's current category
};
