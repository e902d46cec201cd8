// Builds the memo database's application-info block from a list of categories, and reads one back,
// for tests that put categories on the in-memory handheld or check what a sync wrote there.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tervano::test {

// One category as either side holds it.
struct CategoryFields {
    int32_t index = 0;
    int32_t id = 0;
    std::string name;
    bool nameDirty = false;

    bool operator==(const CategoryFields&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const CategoryFields& c) {
    return os << "{" << c.index << ", id " << c.id << ", \"" << c.name << "\"" << (c.nameDirty ? ", dirty" : "") << "}";
}

// Block layout: 16-bit big-endian name-dirty bits; 16 name slots of 16 bytes; 16 id bytes; the rest
// is the application's own and is filled with tailFill so a test can see it is left alone.
inline constexpr size_t kBlockNamesOffset = 2;
inline constexpr size_t kBlockIdsOffset = 258;
inline constexpr size_t kBlockCategoryEnd = 274;

inline std::string BuildAppInfo(const std::vector<CategoryFields>& categories, size_t size = 276,
                                char tailFill = '\x5A') {
    std::string block(size, '\0');
    for (size_t i = kBlockCategoryEnd; i < size; ++i) block[i] = tailFill;
    uint16_t dirty = 0;
    for (const CategoryFields& c : categories) {
        if (c.nameDirty) dirty = static_cast<uint16_t>(dirty | (1u << c.index));
        block.replace(kBlockNamesOffset + 16 * c.index, c.name.size(), c.name.substr(0, 15));
        block[kBlockIdsOffset + c.index] = static_cast<char>(c.id);
    }
    block[0] = static_cast<char>(dirty >> 8);
    block[1] = static_cast<char>(dirty & 0xFF);
    return block;
}

// The categories the block holds (non-empty name slots), in index order.
inline std::vector<CategoryFields> ParseAppInfo(const std::string& block) {
    std::vector<CategoryFields> out;
    if (block.size() < kBlockCategoryEnd) return out;
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(block[i]); };
    const uint16_t dirty = static_cast<uint16_t>(byte(0) << 8 | byte(1));
    for (int32_t i = 0; i < 16; ++i) {
        const std::string slot = block.substr(kBlockNamesOffset + 16 * i, 16);
        const std::string name = slot.substr(0, slot.find('\0'));
        if (name.empty()) continue;
        out.push_back({i, byte(kBlockIdsOffset + i), name, ((dirty >> i) & 1) != 0});
    }
    return out;
}

}  // namespace tervano::test
