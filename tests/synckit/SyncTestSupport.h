// Small helpers for the synckit tests: a record block with its own buffer, and views of a database.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "synckit/MemoryHandheld.h"
#include "synckit/SyncMgr.h"

namespace synckit_test {

// A RawRecord with an allocated data buffer, freed on destruction.
struct RecordBlock {
    RawRecord raw{};
    explicit RecordBlock(uint8_t dbHandle, uint16_t bufferSize = kRecordBufferSize) {
        raw.dbHandle = dbHandle;
        AllocRecordBuffer(raw, bufferSize);
    }
    ~RecordBlock() { FreeRecordBuffer(raw); }
    RecordBlock(const RecordBlock&) = delete;
    RecordBlock& operator=(const RecordBlock&) = delete;

    std::string Data() const { return std::string(reinterpret_cast<const char*>(raw.buffer), raw.dataSize); }
    void SetData(std::string_view data) {
        std::memcpy(raw.buffer, data.data(), data.size());
        raw.dataSize = static_cast<uint32_t>(data.size());
    }
};

inline std::vector<std::string> Texts(const synckit::HandheldDatabase& db) {
    std::vector<std::string> out;
    for (const auto& rec : db.records) out.push_back(rec.data);
    return out;
}

inline std::vector<uint32_t> Ids(const synckit::HandheldDatabase& db) {
    std::vector<uint32_t> out;
    for (const auto& rec : db.records) out.push_back(rec.id);
    return out;
}

// Everything a sync can change in a database, for comparing two handhelds.
inline bool SameContent(const synckit::HandheldDatabase& a, const synckit::HandheldDatabase& b) {
    if (a.name != b.name || a.appInfo != b.appInfo || a.records.size() != b.records.size()) return false;
    for (size_t i = 0; i < a.records.size(); ++i) {
        const auto& x = a.records[i];
        const auto& y = b.records[i];
        if (x.id != y.id || x.attributes != y.attributes || x.category != y.category || x.data != y.data) return false;
    }
    return true;
}

}  // namespace synckit_test
