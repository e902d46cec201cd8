// Categories of a desktop table or of the handheld, and the archive file name of a category.
#include "synckit/Category.h"

#include <string_view>

namespace {

// Characters a Windows file name cannot hold.
constexpr std::string_view kNotInFileName = "\\/:*?\"<>|";

bool ValidIndex(int32_t index) { return index >= 0 && index < kCategoryCount; }

}  // namespace

std::string CCategory::GetFileName() const {
    if (name_.empty()) return "Unfiled";
    std::string out = name_;
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || kNotInFileName.find(c) != std::string_view::npos) c = '_';
    }
    return out;
}

CatError CCategoryMgr::Add(CCategory* category) {
    if (category == nullptr || !ValidIndex(category->GetIndex())) return CAT_BAD_INDEX;
    auto [it, inserted] = categories_.try_emplace(category->GetIndex());
    if (!inserted) return CAT_INDEX_IN_USE;
    it->second.reset(category);
    return CAT_OK;
}

CatError CCategoryMgr::Delete(int32_t index) {
    // The walk remembers an index, not an entry, so erasing its current category leaves it valid.
    return categories_.erase(index) == 1 ? CAT_OK : CAT_NOT_FOUND;
}

CatError CCategoryMgr::DeleteAllCategories(int32_t /*flag*/) {
    categories_.clear();
    walkIndex_ = -1;
    return CAT_OK;
}

CatError CCategoryMgr::FindFirst(CCategory*& out) {
    walkIndex_ = -1;
    return FindNext(out);
}

CatError CCategoryMgr::FindNext(CCategory*& out) {
    auto it = categories_.upper_bound(walkIndex_);
    if (it == categories_.end()) {
        out = nullptr;
        return CAT_NOT_FOUND;
    }
    walkIndex_ = it->first;
    out = it->second.get();
    return CAT_OK;
}

CatError CCategoryMgr::FindName(const std::string& name, CCategory*& out) {
    for (auto& [index, category] : categories_) {
        if (category->GetName() == name) {
            out = category.get();
            return CAT_OK;
        }
    }
    out = nullptr;
    return CAT_NOT_FOUND;
}

CatError CCategoryMgr::FindID(int32_t id, CCategory*& out) {
    for (auto& [index, category] : categories_) {
        if (category->GetID() == id) {
            out = category.get();
            return CAT_OK;
        }
    }
    out = nullptr;
    return CAT_NOT_FOUND;
}

CatError CCategoryMgr::FindIndex(int32_t index, CCategory*& out) {
    auto it = categories_.find(index);
    out = it != categories_.end() ? it->second.get() : nullptr;
    return out != nullptr ? CAT_OK : CAT_NOT_FOUND;
}

int32_t CCategoryMgr::GetFreeIndex() const {
    for (int32_t index = 1; index < kCategoryCount; ++index) {
        if (categories_.find(index) == categories_.end()) return index;
    }
    return -1;
}

void CCategoryMgr::Swap(CCategoryMgr& other) noexcept {
    categories_.swap(other.categories_);
    walkIndex_ = -1;
    other.walkIndex_ = -1;
}
