// Test fixtures for device images: a PDB file builder with overridable fields (instead of binary
// blobs), byte readers for layout checks, and a temporary folder.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "synckit/PdbFile.h"

namespace device_test {

namespace fs = std::filesystem;

inline void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
}
inline void Put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
}
inline uint32_t Get16(const std::string& b, size_t at) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(b.at(at))) << 8) | static_cast<uint8_t>(b.at(at + 1));
}
inline uint32_t Get32(const std::string& b, size_t at) {
    return (Get16(b, at) << 16) | Get16(b, at + 2);
}
inline void Set32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<char>(v >> (24 - 8 * i));
}
inline void Set16(std::string& b, size_t at, uint16_t v) {
    b.at(at) = static_cast<char>(v >> 8);
    b.at(at + 1) = static_cast<char>(v);
}

// A memo text as the handheld keeps it: its bytes and the NUL.
inline std::string Memo(const std::string& text) { return text + std::string(1, '\0'); }

// Builds a record database file field by field, laid out the customary way (header, record list,
// 2-byte gap, application info, sort info, records). Offsets are computed unless overridden, so a
// test can break exactly one thing.
struct PdbBuilder {
    struct Record {
        uint8_t attributes = 0;
        uint32_t uniqueId = 0;
        std::string data;
        std::optional<uint32_t> offset;  // override
    };

    std::string name = "MemoDB";
    uint16_t attributes = 0x0008;  // backup bit, as Memo Pad's database carries
    uint16_t version = 0;
    uint32_t creationDate = 0xB5C3F400;
    uint32_t modificationDate = 0xB5C3F500;
    uint32_t backupDate = 0;
    uint32_t modificationNumber = 7;
    std::string type = "DATA";
    std::string creator = "memo";
    uint32_t uniqueIdSeed = 0x00400010;
    uint32_t nextRecordListId = 0;
    std::optional<uint16_t> recordCount;  // override; else records.size()
    std::optional<std::string> appInfo = synckit::DefaultMemoAppInfo();
    std::optional<std::string> sortInfo;
    std::optional<uint32_t> appInfoOffset;   // override
    std::optional<uint32_t> sortInfoOffset;  // override
    std::vector<Record> records;

    PdbBuilder& Add(uint8_t attr, uint32_t id, std::string data) {
        records.push_back(Record{attr, id, std::move(data), std::nullopt});
        return *this;
    }

    std::string Build() const {
        std::string out = name;
        out.resize(32, '\0');
        Put16(out, attributes);
        Put16(out, version);
        Put32(out, creationDate);
        Put32(out, modificationDate);
        Put32(out, backupDate);
        Put32(out, modificationNumber);
        const uint32_t listEnd = static_cast<uint32_t>(78 + 8 * records.size());
        const uint32_t appAt = listEnd + 2;
        const uint32_t sortAt = appAt + static_cast<uint32_t>(appInfo ? appInfo->size() : 0);
        uint32_t dataAt = sortAt + static_cast<uint32_t>(sortInfo ? sortInfo->size() : 0);
        Put32(out, appInfoOffset.value_or(appInfo ? appAt : 0));
        Put32(out, sortInfoOffset.value_or(sortInfo ? sortAt : 0));
        out += type.substr(0, 4);
        out += creator.substr(0, 4);
        Put32(out, uniqueIdSeed);
        Put32(out, nextRecordListId);
        Put16(out, recordCount.value_or(static_cast<uint16_t>(records.size())));
        for (const Record& r : records) {
            Put32(out, r.offset.value_or(dataAt));
            out.push_back(static_cast<char>(r.attributes));
            out.push_back(static_cast<char>(r.uniqueId >> 16));
            out.push_back(static_cast<char>(r.uniqueId >> 8));
            out.push_back(static_cast<char>(r.uniqueId));
            dataAt += static_cast<uint32_t>(r.data.size());
        }
        out.append(2, '\0');
        if (appInfo) out += *appInfo;
        if (sortInfo) out += *sortInfo;
        for (const Record& r : records) out += r.data;
        return out;
    }
};

// A small memo database of every record kind: live, private in another category, archived,
// deleted (no data), and a live one last.
inline PdbBuilder SampleMemoDb() {
    PdbBuilder b;
    b.Add(0x40 | 1, 0x400001, Memo("Shopping\nmilk"))
        .Add(0x10 | 2, 0x400002, Memo("secret"))
        .Add(0x80 | 0x40 | 3, 0x400003, Memo("archived one"))
        .Add(0x80 | 0x40, 0x400004, "")
        .Add(0, 0x400005, Memo("last"));
    return b;
}

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A file's bytes and modification time, to show it was left as it was.
struct FileState {
    std::string bytes;
    int64_t mtimeNs = 0;
    bool operator==(const FileState&) const = default;
};
inline FileState StateOf(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return FileState{ReadBytes(path), static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// A temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tervano-device-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return path_; }
    fs::path operator/(const char* name) const { return path_ / name; }

private:
    fs::path path_;
};

}  // namespace device_test
