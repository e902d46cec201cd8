// Fuzz target: the handheld database file reader. Any bytes either are refused with a reason or
// read as a database that writes back in the canonical layout and reads back equal, and whose
// records pass between the file's and the handheld's attribute forms without change.
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "synckit/DeviceImage.h"
#include "synckit/PdbFile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    synckit::PdbParseResult parsed = synckit::ParsePdb(bytes);
    if (!parsed.database) {
        FUZZ_CHECK(!parsed.error.empty());
        return 0;
    }
    const synckit::PdbDatabase& db = *parsed.database;
    FUZZ_CHECK(!db.name.empty() && db.name.size() < synckit::kPdbNameSize);
    FUZZ_CHECK(db.name.find('\0') == std::string::npos);
    FUZZ_CHECK(!db.appInfo || !db.appInfo->empty());
    FUZZ_CHECK(!db.sortInfo || !db.sortInfo->empty());

    // Whatever was read can be written, reads back equal, and writes the same bytes again.
    synckit::PdbSerializeResult written = synckit::SerializePdb(db);
    FUZZ_CHECK(written.error.empty());
    synckit::PdbParseResult again = synckit::ParsePdb(written.bytes);
    FUZZ_CHECK(again.database.has_value());
    FUZZ_CHECK(*again.database == db);
    FUZZ_CHECK(synckit::SerializePdb(*again.database).bytes == written.bytes);

    for (const synckit::PdbRecord& record : db.records) {
        FUZZ_CHECK(record.uniqueId != 0 && record.uniqueId <= synckit::kPdbMaxUniqueId);
        FUZZ_CHECK(synckit::RecordToFile(synckit::RecordFromFile(record)) == record);
    }

    // The memo database checks; a MemoDB brought into shape passes them.
    std::string memoError = synckit::CheckMemoDatabase(db);
    if (db.name == synckit::kMemoDbName && db.type == synckit::kMemoDbType && db.creator == synckit::kMemoDbCreator) {
        synckit::PdbDatabase normalized = db;
        synckit::NormalizeMemoDatabase(normalized);
        FUZZ_CHECK(synckit::CheckMemoDatabase(normalized).empty());
        if (memoError.empty() && db.appInfo && db.appInfo->size() == synckit::kMemoAppInfoSize) {
            FUZZ_CHECK(normalized == db);  // a sound one of the handheld's own size is kept as it is
        }
    }
    return 0;
}
