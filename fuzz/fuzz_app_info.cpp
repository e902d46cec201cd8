// Fuzz target: the application-info block and the position map, as the handheld hands them over.
// The input is the block (its bufferSize the input's length, the buffer allocated to exactly that
// size): the categories read from it write back into a block and read back the same, and nothing is
// read or written past bufferSize. The same bytes then serve as a position map with the count and
// buffer size from its first four bytes: swapping touches only the ids the buffer holds.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "FuzzSupport.h"
#include "memo/MemoConverter.h"

namespace {

using CategoryList = std::vector<std::tuple<int32_t, int32_t, std::string>>;

CategoryList List(const CCategoryMgr& categories) {
    CategoryList list;
    categories.ForEachCategory([&](const CCategory& c) { list.emplace_back(c.GetIndex(), c.GetID(), c.GetName()); });
    return list;
}

void CheckCategories(const uint8_t* data, size_t size) {
    const uint16_t blockSize = static_cast<uint16_t>(std::min<size_t>(size, 0xFFFF));
    auto buffer = std::make_unique<uint8_t[]>(blockSize);
    std::memcpy(buffer.get(), data, blockSize);

    CMemoConverter converter;
    AppInfoBlock block{};
    block.bufferSize = blockSize;
    block.buffer = buffer.get();
    CCategoryMgr read;
    FUZZ_CHECK(converter.ReadCategories(block, read) == 0);
    FUZZ_CHECK(std::memcmp(buffer.get(), data, blockSize) == 0);  // reading changes nothing
    const CategoryList categories = List(read);
    for (const auto& [index, id, name] : categories) {
        FUZZ_CHECK(index >= 0 && index < kCategoryCount);
        FUZZ_CHECK(id >= 0 && id <= 0xFF);
        FUZZ_CHECK(!name.empty() && name.size() <= static_cast<size_t>(kCategoryNameMax));
        FUZZ_CHECK(name.find('\0') == std::string::npos);
    }

    // Written back into the same block: bytes from 274 on are kept, the categories read back equal
    // (as far as the block holds them) and no name is marked dirty.
    FUZZ_CHECK(converter.WriteCategories(block, read) == 0);
    if (blockSize > kAppInfoCategoryEnd) {
        FUZZ_CHECK(std::memcmp(buffer.get() + kAppInfoCategoryEnd, data + kAppInfoCategoryEnd,
                               blockSize - kAppInfoCategoryEnd) == 0);
    }
    CCategoryMgr reread;
    FUZZ_CHECK(converter.ReadCategories(block, reread) == 0);
    FUZZ_CHECK(List(reread) == categories);
    reread.ForEachCategory([](const CCategory& c) { FUZZ_CHECK(c.GetNameDirty() == 0); });

    // A full-size block written from these categories holds them all.
    std::vector<uint8_t> full(kAppInfoCategoryEnd + 8, 0xEE);
    AppInfoBlock fullBlock{};
    fullBlock.bufferSize = static_cast<uint16_t>(full.size());
    fullBlock.buffer = full.data();
    FUZZ_CHECK(converter.WriteCategories(fullBlock, read) == 0);
    for (size_t i = kAppInfoCategoryEnd; i < full.size(); ++i) FUZZ_CHECK(full[i] == 0xEE);
    CCategoryMgr fromFull;
    FUZZ_CHECK(converter.ReadCategories(fullBlock, fromFull) == 0);
    FUZZ_CHECK(List(fromFull) == categories);
}

void CheckPositionMap(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    PositionMap map{};
    map.entriesReturned = in.U16();
    map.bufferSize = in.U16();
    const std::string ids = in.Rest();
    auto buffer = std::make_unique<uint8_t[]>(map.bufferSize);  // exactly bufferSize bytes
    for (size_t i = 0; i < map.bufferSize; ++i) buffer[i] = ids.empty() ? static_cast<uint8_t>(i) : ids[i % ids.size()];
    const std::vector<uint8_t> before(buffer.get(), buffer.get() + map.bufferSize);
    map.ids = reinterpret_cast<uint32_t*>(buffer.get());

    CMemoConverter converter;
    FUZZ_CHECK(converter.SwapPositionMap(map) == 0);
    const size_t swapped = std::min<size_t>(map.entriesReturned, map.bufferSize / 4);
    for (size_t i = 0; i < map.bufferSize; ++i) {
        const size_t entry = i / 4;
        const uint8_t want = entry < swapped ? before[entry * 4 + (3 - i % 4)] : before[i];
        FUZZ_CHECK(buffer[i] == want);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckCategories(data, size);
    CheckPositionMap(data, size);
    return 0;
}
