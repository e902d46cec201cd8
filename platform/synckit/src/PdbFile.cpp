// Reading and writing the handheld's database file: every offset and length of the outside bytes
// is checked before it is used, and the writer produces the one layout the reader reads back.
#include "synckit/PdbFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace synckit {
namespace {

uint16_t Get16(std::string_view b, size_t at) {
    return static_cast<uint16_t>((static_cast<uint8_t>(b[at]) << 8) | static_cast<uint8_t>(b[at + 1]));
}

uint32_t Get32(std::string_view b, size_t at) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(b[at])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3]));
}

void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
}

void Put32(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v >> 24));
    out.push_back(static_cast<char>(v >> 16));
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
}

std::string N(uint64_t v) { return std::to_string(v); }

PdbParseResult Refuse(std::string what) { return PdbParseResult{std::nullopt, std::move(what)}; }

// Where the header and record list end, for messages.
std::string ListEndText(size_t listEnd) {
    return "inside the header or record list (which end at byte " + N(listEnd) + ")";
}

// Checks one block offset (application or sort info); "" when sound.
std::string CheckBlockOffset(const char* what, uint32_t offset, size_t listEnd, size_t fileSize) {
    if (offset < listEnd) return std::string(what) + " offset " + N(offset) + " lies " + ListEndText(listEnd);
    if (offset >= fileSize) {
        return std::string(what) + " offset " + N(offset) + " is at or beyond the end of the file (" +
               N(fileSize) + " bytes)";
    }
    return "";
}

bool EndsWithNul(const std::string& data) { return !data.empty() && data.back() == '\0'; }

// A record whose delete bit is set and that keeps no data is a deleted record; every other memo
// record keeps a NUL-terminated text.
bool KeepsNoData(const PdbRecord& rec) { return (rec.attributes & kPdbRecDelete) != 0 && rec.data.empty(); }

}  // namespace

uint32_t PdbDateFromUnix(std::time_t unixTime) {
    const int64_t t = static_cast<int64_t>(unixTime) + kPdbEpochToUnixEpoch;
    if (t < 0) return 0;
    if (t > static_cast<int64_t>(std::numeric_limits<uint32_t>::max())) return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(t);
}

std::string FourCharText(uint32_t code) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<uint8_t>(code >> shift);
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '\'') {
            out.push_back(static_cast<char>(c));
        } else {
            out += "\\x";
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

PdbParseResult ParsePdb(std::string_view bytes) {
    const size_t size = bytes.size();
    if (size < kPdbHeaderSize) {
        return Refuse("file is " + N(size) + " bytes, shorter than the " + N(kPdbHeaderSize) + "-byte header");
    }
    PdbDatabase db;
    const size_t nameLength = std::find(bytes.begin(), bytes.begin() + kPdbNameSize, '\0') - bytes.begin();
    if (nameLength == kPdbNameSize) return Refuse("database name is not NUL-terminated within its 32 bytes");
    if (nameLength == 0) return Refuse("database name is empty");
    db.name.assign(bytes.data(), nameLength);
    db.attributes = Get16(bytes, 32);
    db.version = Get16(bytes, 34);
    db.creationDate = Get32(bytes, 36);
    db.modificationDate = Get32(bytes, 40);
    db.backupDate = Get32(bytes, 44);
    db.modificationNumber = Get32(bytes, 48);
    const uint32_t appInfoOffset = Get32(bytes, 52);
    const uint32_t sortInfoOffset = Get32(bytes, 56);
    db.type = Get32(bytes, 60);
    db.creator = Get32(bytes, 64);
    db.uniqueIdSeed = Get32(bytes, 68);
    const uint32_t nextRecordListId = Get32(bytes, 72);
    const uint16_t count = Get16(bytes, 76);

    if ((db.attributes & kPdbAttrResource) != 0) return Refuse("file is a resource database, not a record database");
    if (nextRecordListId != 0) {
        return Refuse("next record list id is " + N(nextRecordListId) + "; chained record lists are not supported");
    }
    const size_t listEnd = kPdbHeaderSize + kPdbRecordEntrySize * count;
    if (listEnd > size) {
        return Refuse("record count " + N(count) + " needs a record list ending at byte " + N(listEnd) +
                      ", beyond the end of the file (" + N(size) + " bytes)");
    }

    std::vector<uint32_t> offsets(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = kPdbHeaderSize + kPdbRecordEntrySize * i;
        offsets[i] = Get32(bytes, entry);
        if (offsets[i] > size) {
            return Refuse("record " + N(i) + " offset " + N(offsets[i]) + " is beyond the end of the file (" +
                          N(size) + " bytes)");
        }
        if (offsets[i] < listEnd) return Refuse("record " + N(i) + " offset " + N(offsets[i]) + " lies " + ListEndText(listEnd));
        if (i > 0 && offsets[i] < offsets[i - 1]) {
            return Refuse("record " + N(i) + " offset " + N(offsets[i]) + " is below the offset " + N(offsets[i - 1]) +
                          " of record " + N(i - 1));
        }
    }
    // Where the blocks must end: the first record's data, or the end of the file.
    const size_t dataStart = count > 0 ? offsets[0] : size;

    if (appInfoOffset != 0) {
        std::string bad = CheckBlockOffset("application-info", appInfoOffset, listEnd, size);
        if (!bad.empty()) return Refuse(std::move(bad));
        if (appInfoOffset >= dataStart) {
            return Refuse("application-info offset " + N(appInfoOffset) + " is not before the first record offset " +
                          N(dataStart));
        }
    }
    if (sortInfoOffset != 0) {
        std::string bad = CheckBlockOffset("sort-info", sortInfoOffset, listEnd, size);
        if (!bad.empty()) return Refuse(std::move(bad));
        if (sortInfoOffset >= dataStart) {
            return Refuse("sort-info offset " + N(sortInfoOffset) + " is not before the first record offset " +
                          N(dataStart));
        }
        if (appInfoOffset != 0 && sortInfoOffset <= appInfoOffset) {
            return Refuse("sort-info offset " + N(sortInfoOffset) + " is not after the application-info offset " +
                          N(appInfoOffset));
        }
    }
    if (appInfoOffset != 0) {
        const size_t end = sortInfoOffset != 0 ? sortInfoOffset : dataStart;
        db.appInfo = std::string(bytes.substr(appInfoOffset, end - appInfoOffset));
    }
    if (sortInfoOffset != 0) db.sortInfo = std::string(bytes.substr(sortInfoOffset, dataStart - sortInfoOffset));

    std::unordered_map<uint32_t, size_t> seen;
    seen.reserve(count);
    db.records.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = kPdbHeaderSize + kPdbRecordEntrySize * i;
        PdbRecord& rec = db.records[i];
        rec.attributes = static_cast<uint8_t>(bytes[entry + 4]);
        rec.uniqueId = Get32(bytes, entry + 4) & kPdbMaxUniqueId;
        if (rec.uniqueId == 0) return Refuse("record " + N(i) + " has unique id 0");
        const auto [it, fresh] = seen.emplace(rec.uniqueId, i);
        if (!fresh) {
            return Refuse("records " + N(it->second) + " and " + N(i) + " share unique id " + N(rec.uniqueId));
        }
        const size_t end = i + 1 < count ? offsets[i + 1] : size;
        rec.data.assign(bytes.data() + offsets[i], end - offsets[i]);
    }
    return PdbParseResult{std::move(db), ""};
}

PdbSerializeResult SerializePdb(const PdbDatabase& db) {
    auto refuse = [](std::string what) { return PdbSerializeResult{"", std::move(what)}; };
    if (db.name.empty()) return refuse("database name is empty");
    if (db.name.size() >= kPdbNameSize) {
        return refuse("database name '" + db.name + "' is longer than 31 bytes");
    }
    if (db.name.find('\0') != std::string::npos) return refuse("database name holds a NUL");
    if ((db.attributes & kPdbAttrResource) != 0) return refuse("resource databases cannot be written");
    if (db.records.size() > 0xFFFF) return refuse("database holds " + N(db.records.size()) + " records, more than 65535");
    std::unordered_map<uint32_t, size_t> seen;
    seen.reserve(db.records.size());
    for (size_t i = 0; i < db.records.size(); ++i) {
        const uint32_t id = db.records[i].uniqueId;
        if (id == 0 || id > kPdbMaxUniqueId) return refuse("record " + N(i) + " has unique id " + N(id) + ", not a 24-bit id above 0");
        const auto [it, fresh] = seen.emplace(id, i);
        if (!fresh) return refuse("records " + N(it->second) + " and " + N(i) + " share unique id " + N(id));
    }

    const bool hasAppInfo = db.appInfo && !db.appInfo->empty();
    const bool hasSortInfo = db.sortInfo && !db.sortInfo->empty();
    const uint64_t listEnd = kPdbHeaderSize + kPdbRecordEntrySize * db.records.size();
    const uint64_t appInfoOffset = listEnd + kPdbGapSize;
    const uint64_t sortInfoOffset = appInfoOffset + (hasAppInfo ? db.appInfo->size() : 0);
    uint64_t total = sortInfoOffset + (hasSortInfo ? db.sortInfo->size() : 0);
    const uint64_t dataStart = total;
    for (const PdbRecord& rec : db.records) total += rec.data.size();
    // Every offset must fit in 32 bits; a last record may end exactly at 4 GiB.
    if (total > std::numeric_limits<uint32_t>::max()) return refuse("database of " + N(total) + " bytes exceeds 4 GiB");

    std::string out;
    out.reserve(static_cast<size_t>(total));
    out.append(db.name);
    out.append(kPdbNameSize - db.name.size(), '\0');
    Put16(out, db.attributes);
    Put16(out, db.version);
    Put32(out, db.creationDate);
    Put32(out, db.modificationDate);
    Put32(out, db.backupDate);
    Put32(out, db.modificationNumber);
    Put32(out, hasAppInfo ? static_cast<uint32_t>(appInfoOffset) : 0);
    Put32(out, hasSortInfo ? static_cast<uint32_t>(sortInfoOffset) : 0);
    Put32(out, db.type);
    Put32(out, db.creator);
    Put32(out, db.uniqueIdSeed);
    Put32(out, 0);  // next record list id: the whole list is in this file
    Put16(out, static_cast<uint16_t>(db.records.size()));
    uint64_t offset = dataStart;
    for (const PdbRecord& rec : db.records) {
        Put32(out, static_cast<uint32_t>(offset));
        // Attribute byte, then the 24-bit id: together one big-endian 32-bit word.
        Put32(out, (static_cast<uint32_t>(rec.attributes) << 24) | rec.uniqueId);
        offset += rec.data.size();
    }
    out.append(kPdbGapSize, '\0');
    if (hasAppInfo) out.append(*db.appInfo);
    if (hasSortInfo) out.append(*db.sortInfo);
    for (const PdbRecord& rec : db.records) out.append(rec.data);
    return PdbSerializeResult{std::move(out), ""};
}

std::string DefaultMemoAppInfo() {
    std::string block(kMemoAppInfoSize, '\0');
    static const char* const kNames[] = {"Unfiled", "Business", "Personal"};
    for (size_t i = 0; i < std::size(kNames); ++i) {
        std::memcpy(block.data() + kCategoryNamesOffset + i * kCategoryNameSize, kNames[i], std::strlen(kNames[i]));
    }
    for (size_t i = 0; i < kCategoryCount; ++i) block[kCategoryIdsOffset + i] = static_cast<char>(i);
    block[kCategoryLastIdOffset] = static_cast<char>(kCategoryCount - 1);
    return block;
}

std::string CheckMemoDatabase(const PdbDatabase& db) {
    if (db.name != kMemoDbName) return "database name is '" + db.name + "', expected '" + kMemoDbName + "'";
    if (db.type != kMemoDbType) return "type is '" + FourCharText(db.type) + "', expected 'DATA'";
    if (db.creator != kMemoDbCreator) return "creator is '" + FourCharText(db.creator) + "', expected 'memo'";
    if (!db.appInfo) return "there is no application-info block (the category block)";
    if (db.appInfo->size() < kCategoryBlockSize) {
        return "application-info block is " + N(db.appInfo->size()) + " bytes, shorter than the " +
               N(kCategoryBlockSize) + "-byte category block";
    }
    for (size_t i = 0; i < db.records.size(); ++i) {
        const PdbRecord& rec = db.records[i];
        if (!KeepsNoData(rec) && !EndsWithNul(rec.data)) {
            return "record " + N(i) + " (unique id " + N(rec.uniqueId) + ") does not end with the NUL of a memo text";
        }
    }
    return "";
}

void NormalizeMemoDatabase(PdbDatabase& db) {
    if (!db.appInfo || db.appInfo->empty()) {
        db.appInfo = DefaultMemoAppInfo();
    } else if (db.appInfo->size() < kMemoAppInfoSize) {
        db.appInfo->resize(kMemoAppInfoSize, '\0');
    } else if (db.appInfo->size() > kMemoAppInfoSize &&
               std::all_of(db.appInfo->begin() + kMemoAppInfoSize, db.appInfo->end(), [](char c) { return c == '\0'; })) {
        db.appInfo->resize(kMemoAppInfoSize);
    }
    for (PdbRecord& rec : db.records) {
        if (!KeepsNoData(rec) && !EndsWithNul(rec.data)) rec.data.push_back('\0');
    }
}

}  // namespace synckit
