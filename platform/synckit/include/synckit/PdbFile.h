// The handheld's database file (.pdb): bytes in, a database out, and back. Pure functions over
// bytes, no file access, so every caller (the device image, a fuzzer) sees the same checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace synckit {

// ---- File layout (all numbers big-endian) ----
// 0 name[32] NUL-padded | 32 attributes u16 | 34 version u16 | 36 creation date u32 |
// 40 modification date u32 | 44 backup date u32 | 48 modification number u32 |
// 52 application-info offset u32 | 56 sort-info offset u32 | 60 type[4] | 64 creator[4] |
// 68 unique-id seed u32 | 72 next record list id u32 | 76 record count u16 | 78 record entries,
// 8 bytes each: offset u32, attribute byte, unique id (3 bytes).
// Then, as written here: 2 zero bytes, the application-info block, the sort-info block, the
// records' data. A record's data runs from its offset to the next record's offset (the last one's
// to the end of the file); a block runs to the next block or the first record.
inline constexpr size_t kPdbHeaderSize = 78;
inline constexpr size_t kPdbRecordEntrySize = 8;
inline constexpr size_t kPdbNameSize = 32;
inline constexpr size_t kPdbGapSize = 2;
inline constexpr uint32_t kPdbMaxUniqueId = 0x00FFFFFF;

// Database attributes (header offset 32). Resource databases use another record list, which
// this code does not read or write.
inline constexpr uint16_t kPdbAttrResource = 0x0001;

// Record attribute byte as the file keeps it: four flag bits and the category in the low four.
inline constexpr uint8_t kPdbRecDelete = 0x80;
inline constexpr uint8_t kPdbRecDirty = 0x40;
inline constexpr uint8_t kPdbRecBusy = 0x20;
inline constexpr uint8_t kPdbRecSecret = 0x10;
inline constexpr uint8_t kPdbRecCategoryMask = 0x0F;

// Dates count seconds since 1 January 1904 (UTC).
inline constexpr uint32_t kPdbEpochToUnixEpoch = 2082844800u;
uint32_t PdbDateFromUnix(std::time_t unixTime);  // clamped to the u32 range

// A four-character code as the header stores it: "DATA" -> 0x44415441.
constexpr uint32_t FourCharCode(const char (&text)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3]));
}
// "DATA", or escapes (\xNN) for bytes outside printable ASCII; for messages.
std::string FourCharText(uint32_t code);

struct PdbRecord {
    uint8_t attributes = 0;  // the file's attribute byte (kPdbRec*, category in the low bits)
    uint32_t uniqueId = 0;   // 24 bits, never 0, unique within the file
    std::string data;
    bool operator==(const PdbRecord&) const = default;
};

struct PdbDatabase {
    std::string name;  // at most 31 bytes, no NUL
    uint16_t attributes = 0;
    uint16_t version = 0;
    uint32_t creationDate = 0;
    uint32_t modificationDate = 0;
    uint32_t backupDate = 0;
    uint32_t modificationNumber = 0;
    uint32_t type = 0;
    uint32_t creator = 0;
    uint32_t uniqueIdSeed = 0;
    // Absent: offset 0 in the header. A present block is never empty in a file; SerializePdb
    // writes an empty one as absent.
    std::optional<std::string> appInfo;
    std::optional<std::string> sortInfo;
    std::vector<PdbRecord> records;
    bool operator==(const PdbDatabase&) const = default;
};

// The outcome of ParsePdb: the database, or (database empty) the text of what is wrong, without
// the file's name (the caller that read the file names it).
struct PdbParseResult {
    std::optional<PdbDatabase> database;
    std::string error;
};

// Reads a record database. Refused, with the first fault found: a file shorter than the header, a
// name without its NUL or empty, a resource database, a chained record list (next record list id
// not 0), a record count whose list does not fit the file, record offsets inside the header and
// list, beyond the end of the file or descending, an application-info or sort-info offset inside
// the header and list, at or beyond the end of the file, not before the first record, or (sort
// info) not after the application info; unique ids 0 or shared by two records. Equal record
// offsets are allowed: a record may hold no data.
PdbParseResult ParsePdb(std::string_view bytes);

struct PdbSerializeResult {
    std::string bytes;  // the whole file; empty when error is set
    std::string error;
};

// Writes the canonical layout (header, record list, 2-byte gap, application info, sort info,
// records). Refused: a name empty, of 32 bytes or more or holding a NUL; the resource attribute;
// more than 65535 records; unique ids 0, above 24 bits or shared; a file over 4 GiB. Whatever it
// writes, ParsePdb reads back equal (empty blocks aside), and writing that again gives the same bytes.
PdbSerializeResult SerializePdb(const PdbDatabase& database);

// ---- The Memo Pad database ("MemoDB", type 'DATA', creator 'memo') ----
inline constexpr char kMemoDbName[] = "MemoDB";
inline constexpr uint32_t kMemoDbType = FourCharCode("DATA");
inline constexpr uint32_t kMemoDbCreator = FourCharCode("memo");

// Its application-info block starts with the category block: renamed bits u16, 16 names of 16
// bytes, 16 category ids, the last category id given out, a pad byte. Memo Pad's own bytes follow
// (reserved bytes and its sort flag), which this code keeps but does not interpret. The block as
// the Memo Pad keeps it is kMemoAppInfoSize bytes; longer blocks come from a conduit's buffer.
inline constexpr size_t kCategoryCount = 16;
inline constexpr size_t kCategoryNameSize = 16;
inline constexpr size_t kCategoryRenamedOffset = 0;
inline constexpr size_t kCategoryNamesOffset = 2;
inline constexpr size_t kCategoryIdsOffset = kCategoryNamesOffset + kCategoryCount * kCategoryNameSize;
inline constexpr size_t kCategoryLastIdOffset = kCategoryIdsOffset + kCategoryCount;
inline constexpr size_t kCategoryBlockSize = kCategoryLastIdOffset + 2;
inline constexpr size_t kMemoAppInfoSize = 282;
static_assert(kCategoryIdsOffset == 258 && kCategoryLastIdOffset == 274 && kCategoryBlockSize == 276);

// A new handheld's Memo Pad block: categories "Unfiled" (id 0), "Business" (1) and "Personal" (2),
// every slot's id equal to its index, last id 15, nothing renamed, the rest zero; 282 bytes.
std::string DefaultMemoAppInfo();

// Checks what the device image relies on in a parsed MemoDB, beyond the file format: its name,
// type and creator, an application-info block holding the whole category block, and every record
// that keeps data ending with the NUL of a memo text (a file cut inside its last record shows up
// here). Returns "" when sound, else what is wrong.
std::string CheckMemoDatabase(const PdbDatabase& database);

// Brings a MemoDB about to be written into the shape CheckMemoDatabase accepts, so that a device
// image written back after any sync loads again: a block longer than 282 bytes whose bytes beyond
// 282 are all zero is cut to 282 (the conduit writes its whole 800-byte buffer); a missing block
// becomes DefaultMemoAppInfo(), a short one is zero-filled to 282; a record that keeps data but
// whose data does not end with NUL gets one appended. Other bytes are kept as they are.
void NormalizeMemoDatabase(PdbDatabase& database);

}  // namespace synckit
