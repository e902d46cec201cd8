// The in-memory handheld: databases and records kept in vectors, every call counted, recorded and
// checked against the fault plan before it may touch anything.
#include "synckit/MemoryHandheld.h"

#include <algorithm>
#include <cstring>

#include "synckit/SyncMgr.h"

namespace synckit {
namespace {

constexpr uint32_t kUniqueIdMask = 0x00FFFFFF;
constexpr uint8_t kModifiedBits = kRecAttrDirty | kRecAttrDeleted | kRecAttrArchived;
constexpr uint8_t kCategoryCount = 16;

// Copies a record out as a read delivers it; the caller has checked the buffer.
void FillRawRecord(RawRecord& out, const HandheldRecord& rec, size_t index) {
    std::memcpy(out.buffer, rec.data.data(), rec.data.size());
    out.recordId = rec.id;
    out.recordIndex = static_cast<uint16_t>(index);
    out.attributes = rec.attributes;
    out.category = rec.category;
    out.dataSize = static_cast<uint32_t>(rec.data.size());
}

// Whether a read of this record may fill the record block: 0, or the code the read answers.
int32_t CheckReadBuffer(const RawRecord& out, const HandheldRecord& rec) {
    if (out.buffer == nullptr) return kSyncErrBadArgument;
    if (rec.data.size() > out.bufferSize) return kSyncErrTooSmall;
    return kSyncErrNone;
}

void StoreBigEndian(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

}  // namespace

MemoryHandheld::MemoryHandheld() = default;

HandheldDatabase& MemoryHandheld::AddDatabase(const std::string& name, uint32_t creator, uint32_t type) {
    HandheldDatabase& db = databases_.emplace_back();
    db.name = name;
    db.creator = creator;
    db.type = type;
    return db;
}

HandheldDatabase* MemoryHandheld::FindDatabase(const std::string& name) {
    for (HandheldDatabase& db : databases_) {
        if (db.name == name) return &db;
    }
    return nullptr;
}

uint32_t MemoryHandheld::AddRecord(HandheldDatabase& db, std::string data, uint8_t attributes, uint8_t category) {
    const uint32_t id = AssignUniqueId();
    db.records.push_back(HandheldRecord{id, attributes, static_cast<uint8_t>(category & 0x0F), std::move(data)});
    return id;
}

size_t MemoryHandheld::CountCalls(SyncOp op) const {
    return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(),
                                             [op](const RecordedCall& c) { return c.op == op; }));
}

bool MemoryHandheld::Connected() const {
    if (dropped_) return false;
    return faults_.dropConnectionAfter < 0 || callCount_ < faults_.dropConnectionAfter;
}

bool MemoryHandheld::IdInUse(uint32_t id) const {
    for (const HandheldDatabase& db : databases_) {
        for (const HandheldRecord& rec : db.records) {
            if (rec.id == id) return true;
        }
    }
    return false;
}

uint32_t MemoryHandheld::AssignUniqueId() {
    // Bounded by the number of 24-bit ids, so a full id space cannot loop forever.
    for (uint32_t tries = 0; tries <= kUniqueIdMask; ++tries) {
        const uint32_t id = nextUniqueId_ & kUniqueIdMask;
        nextUniqueId_ = id >= kUniqueIdMask ? 1 : id + 1;
        if (id != 0 && !IdInUse(id)) return id;
    }
    return 0;
}

int32_t MemoryHandheld::Enter(SyncOp op, uint8_t dbHandle, uint32_t recordId) {
    ++callCount_;
    const int64_t nthOfOp = ++callsPerOp_[op];
    calls_.push_back(RecordedCall{op, dbHandle, recordId, 0});

    if (dropped_ || (faults_.dropConnectionAfter >= 0 && callCount_ > faults_.dropConnectionAfter)) {
        dropped_ = true;  // a broken link stays broken, whatever the plan says later
        return kSyncErrLinkLost;
    }
    for (const FaultPlan::NthCall& f : faults_.nthCalls) {
        if (f.n == callCount_) return f.code;
    }
    for (const FaultPlan::NthCallOf& f : faults_.nthCallsOf) {
        if (f.op == op && f.n == nthOfOp) return f.code;
    }
    for (const FaultPlan::EveryCallOf& f : faults_.everyCallOf) {
        if (f.op == op) return f.code;
    }
    return kSyncErrNone;
}

int32_t MemoryHandheld::Leave(int32_t result) {
    calls_.back().result = result;
    return result;
}

HandheldDatabase* MemoryHandheld::Open(uint8_t dbHandle, OpenDatabase** state) {
    auto it = open_.find(dbHandle);
    if (it == open_.end()) return nullptr;
    if (state != nullptr) *state = &it->second;
    return &databases_[it->second.databaseIndex];
}

template <typename Pred>
void MemoryHandheld::RemoveRecords(size_t databaseIndex, Pred remove) {
    std::vector<HandheldRecord>& records = databases_[databaseIndex].records;
    // kept[i]: how many records before position i survive; an open read position moves with them.
    std::vector<size_t> kept(records.size() + 1, 0);
    std::vector<HandheldRecord> survivors;
    for (size_t i = 0; i < records.size(); ++i) {
        const bool goes = remove(records[i]);
        kept[i + 1] = kept[i] + (goes ? 0 : 1);
        if (!goes) survivors.push_back(std::move(records[i]));
    }
    for (auto& [handle, state] : open_) {
        if (state.databaseIndex == databaseIndex) {
            state.nextModifiedPosition = kept[std::min(state.nextModifiedPosition, records.size())];
        }
    }
    records = std::move(survivors);
}

int32_t MemoryHandheld::OpenDatabaseAs(size_t databaseIndex, uint8_t& dbHandle, DatabaseOpening opening) {
    for (const auto& [handle, state] : open_) {
        if (state.databaseIndex == databaseIndex) return kSyncErrAlreadyOpen;
    }
    // Handles run 1..255 and are reused once closed.
    for (int tries = 0; tries < 255; ++tries) {
        const uint8_t handle = nextHandle_;
        nextHandle_ = handle == 255 ? 1 : static_cast<uint8_t>(handle + 1);
        if (open_.count(handle) != 0) continue;
        open_.emplace(handle, OpenDatabase{databaseIndex, 0});
        opening.dbHandle = handle;
        opening.name = databases_[databaseIndex].name;
        openings_.push_back(std::move(opening));
        calls_.back().dbHandle = handle;
        dbHandle = handle;
        return kSyncErrNone;
    }
    return kSyncErrFailed;
}

// --- Handheld operations ---

int32_t MemoryHandheld::RegisterConduit(uint32_t& handle) {
    if (int32_t fault = Enter(SyncOp::RegisterConduit)) return Leave(fault);
    if (registered_) return Leave(kSyncErrFailed);
    registered_ = true;
    handle = ++conduitHandle_;
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::UnRegisterConduit(uint32_t handle) {
    if (int32_t fault = Enter(SyncOp::UnRegisterConduit)) return Leave(fault);
    if (!registered_ || handle != conduitHandle_) return Leave(kSyncErrNotRegistered);
    registered_ = false;
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::ReadSystemInfo(HandheldSystemInfo& info) {
    if (int32_t fault = Enter(SyncOp::ReadSystemInfo)) return Leave(fault);
    if (info.productId == nullptr && info.productIdSize > 0) return Leave(kSyncErrBadArgument);
    info.romSoftVersion = romSoftVersion_;
    const size_t n = std::min<size_t>(info.productIdSize, productId_.size());
    if (n > 0) std::memcpy(info.productId, productId_.data(), n);
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::OpenDB(const char* name, int32_t cardNumber, uint8_t& dbHandle, uint8_t mode) {
    if (int32_t fault = Enter(SyncOp::OpenDB)) return Leave(fault);
    if (name == nullptr) return Leave(kSyncErrBadArgument);
    for (size_t i = 0; i < databases_.size(); ++i) {
        if (databases_[i].name == name) {
            return Leave(OpenDatabaseAs(i, dbHandle, DatabaseOpening{0, {}, cardNumber, mode, false}));
        }
    }
    return Leave(kSyncErrNotFound);
}

int32_t MemoryHandheld::CreateDB(DbCreateBlock& block) {
    if (int32_t fault = Enter(SyncOp::CreateDB)) return Leave(fault);
    // The name field need not be terminated: it is read within its 32 bytes.
    const std::string name(block.name, strnlen(block.name, sizeof block.name));
    if (name.empty()) return Leave(kSyncErrBadArgument);
    if (FindDatabase(name) != nullptr) return Leave(kSyncErrExists);
    HandheldDatabase& db = AddDatabase(name, block.creator, block.type);
    db.flags = block.flags;
    db.cardByte = block.cardByte;
    uint8_t handle = 0;
    const int32_t result =
        OpenDatabaseAs(databases_.size() - 1, handle, DatabaseOpening{0, {}, block.cardByte, 0, true});
    if (result != kSyncErrNone) {
        databases_.pop_back();  // no handle left: the create is refused as a whole
        return Leave(result);
    }
    block.dbHandle = handle;
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::CloseDB(uint8_t dbHandle) {
    if (int32_t fault = Enter(SyncOp::CloseDB, dbHandle)) return Leave(fault);
    if (open_.erase(dbHandle) == 0) return Leave(kSyncErrBadHandle);
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::ResetSyncFlags(uint8_t dbHandle) {
    if (int32_t fault = Enter(SyncOp::ResetSyncFlags, dbHandle)) return Leave(fault);
    HandheldDatabase* db = Open(dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    for (HandheldRecord& rec : db->records) rec.attributes &= static_cast<uint8_t>(~kRecAttrDirty);
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::GetDBRecordCount(uint8_t dbHandle, uint16_t& count) {
    if (int32_t fault = Enter(SyncOp::GetDBRecordCount, dbHandle)) return Leave(fault);
    HandheldDatabase* db = Open(dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    count = static_cast<uint16_t>(std::min<size_t>(db->records.size(), 0xFFFF));
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::ReadRecordByIndex(RawRecord& record) {
    if (int32_t fault = Enter(SyncOp::ReadRecordByIndex, record.dbHandle)) return Leave(fault);
    HandheldDatabase* db = Open(record.dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    if (record.recordIndex >= db->records.size()) return Leave(kSyncErrNotFound);
    const HandheldRecord& rec = db->records[record.recordIndex];
    if (int32_t bad = CheckReadBuffer(record, rec)) return Leave(bad);
    FillRawRecord(record, rec, record.recordIndex);
    ++recordsRead_;
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::ReadRecordById(RawRecord& record) {
    if (int32_t fault = Enter(SyncOp::ReadRecordById, record.dbHandle, record.recordId)) return Leave(fault);
    HandheldDatabase* db = Open(record.dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    for (size_t i = 0; i < db->records.size(); ++i) {
        const HandheldRecord& rec = db->records[i];
        if (rec.id != record.recordId) continue;
        if (int32_t bad = CheckReadBuffer(record, rec)) return Leave(bad);
        FillRawRecord(record, rec, i);
        ++recordsRead_;
        return Leave(kSyncErrNone);
    }
    return Leave(kSyncErrNotFound);
}

int32_t MemoryHandheld::ReadNextModifiedRec(RawRecord& record) {
    if (int32_t fault = Enter(SyncOp::ReadNextModifiedRec, record.dbHandle)) return Leave(fault);
    OpenDatabase* state = nullptr;
    HandheldDatabase* db = Open(record.dbHandle, &state);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    for (size_t i = state->nextModifiedPosition; i < db->records.size(); ++i) {
        const HandheldRecord& rec = db->records[i];
        if ((rec.attributes & kModifiedBits) == 0) continue;
        // A record that does not fit is not passed over: a read with a larger buffer gets it.
        if (int32_t bad = CheckReadBuffer(record, rec)) return Leave(bad);
        FillRawRecord(record, rec, i);
        state->nextModifiedPosition = i + 1;
        ++recordsRead_;
        return Leave(kSyncErrNone);
    }
    state->nextModifiedPosition = db->records.size();
    return Leave(kSyncErrNotFound);
}

int32_t MemoryHandheld::WriteRec(RawRecord& record) {
    if (int32_t fault = Enter(SyncOp::WriteRec, record.dbHandle, record.recordId)) return Leave(fault);
    HandheldDatabase* db = Open(record.dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    if (record.buffer == nullptr || record.dataSize > record.bufferSize) return Leave(kSyncErrBadArgument);
    if (record.recordId > kUniqueIdMask) return Leave(kSyncErrBadArgument);

    HandheldRecord incoming{0, record.attributes, static_cast<uint8_t>(record.category & 0x0F),
                            std::string(reinterpret_cast<const char*>(record.buffer), record.dataSize)};
    if (record.recordId != 0) {
        for (HandheldRecord& rec : db->records) {
            if (rec.id == record.recordId) {
                incoming.id = rec.id;
                rec = std::move(incoming);  // replaced in place: the record keeps its position
                ++recordsWritten_;
                return Leave(kSyncErrNone);
            }
        }
    }
    // A new record. An id the handheld holds nowhere is kept; otherwise the handheld assigns one,
    // so ids stay unique across all databases.
    uint32_t id = record.recordId;
    if (id == 0 || IdInUse(id)) id = AssignUniqueId();
    if (id == 0) return Leave(kSyncErrNoSpace);
    incoming.id = id;
    db->records.push_back(std::move(incoming));
    record.recordId = id;
    ++recordsWritten_;
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::DeleteRec(RawRecord& record) {
    if (int32_t fault = Enter(SyncOp::DeleteRec, record.dbHandle, record.recordId)) return Leave(fault);
    HandheldDatabase* db = Open(record.dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    const uint32_t id = record.recordId;
    const bool present = std::any_of(db->records.begin(), db->records.end(),
                                     [id](const HandheldRecord& r) { return r.id == id; });
    if (id == 0 || !present) return Leave(kSyncErrNotFound);
    RemoveRecords(open_.at(record.dbHandle).databaseIndex, [id](const HandheldRecord& r) { return r.id == id; });
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::PurgeDeletedRecs(uint8_t dbHandle) {
    if (int32_t fault = Enter(SyncOp::PurgeDeletedRecs, dbHandle)) return Leave(fault);
    if (Open(dbHandle) == nullptr) return Leave(kSyncErrBadHandle);
    // Archived records carry the deleted bit as well, so they go too.
    RemoveRecords(open_.at(dbHandle).databaseIndex,
                  [](const HandheldRecord& r) { return (r.attributes & kRecAttrDeleted) != 0; });
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::PurgeAllRecs(uint8_t dbHandle) {
    if (int32_t fault = Enter(SyncOp::PurgeAllRecs, dbHandle)) return Leave(fault);
    if (Open(dbHandle) == nullptr) return Leave(kSyncErrBadHandle);
    RemoveRecords(open_.at(dbHandle).databaseIndex, [](const HandheldRecord&) { return true; });
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::ReadAppInfo(uint8_t dbHandle, AppInfoBlock& block) {
    if (int32_t fault = Enter(SyncOp::ReadAppInfo, dbHandle)) return Leave(fault);
    HandheldDatabase* db = Open(dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    if (!db->appInfo) return Leave(kSyncErrNotFound);
    if (block.buffer == nullptr) return Leave(kSyncErrBadArgument);
    const size_t n = std::min<size_t>(block.bufferSize, db->appInfo->size());
    std::memcpy(block.buffer, db->appInfo->data(), n);
    block.length = static_cast<uint16_t>(n);
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::WriteAppInfo(uint8_t dbHandle, const AppInfoBlock& block) {
    if (int32_t fault = Enter(SyncOp::WriteAppInfo, dbHandle)) return Leave(fault);
    HandheldDatabase* db = Open(dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    if (block.buffer == nullptr) return Leave(kSyncErrBadArgument);
    const uint16_t n = block.length != 0 ? block.length : block.bufferSize;
    // A length beyond the buffer would read past it.
    if (n > block.bufferSize) return Leave(kSyncErrBadArgument);
    db->appInfo = std::string(reinterpret_cast<const char*>(block.buffer), n);
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::ChangeCategory(uint8_t dbHandle, uint8_t fromIndex, uint8_t toIndex) {
    if (int32_t fault = Enter(SyncOp::ChangeCategory, dbHandle)) return Leave(fault);
    HandheldDatabase* db = Open(dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    if (fromIndex >= kCategoryCount || toIndex >= kCategoryCount) return Leave(kSyncErrBadArgument);
    for (HandheldRecord& rec : db->records) {
        if (rec.category == fromIndex) rec.category = toIndex;
    }
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::ReadPositionMap(PositionMap& map) {
    if (int32_t fault = Enter(SyncOp::ReadPositionMap, map.dbHandle)) return Leave(fault);
    HandheldDatabase* db = Open(map.dbHandle);
    if (db == nullptr) return Leave(kSyncErrBadHandle);
    if (map.ids == nullptr) return Leave(kSyncErrBadArgument);
    const size_t available = map.firstPosition < db->records.size() ? db->records.size() - map.firstPosition : 0;
    const size_t n = std::min<size_t>({available, map.entriesWanted, map.bufferSize / 4u});
    // The ids go out in the handheld's byte order, whatever the host's is.
    auto* out = reinterpret_cast<uint8_t*>(map.ids);
    for (size_t i = 0; i < n; ++i) StoreBigEndian(out + 4 * i, db->records[map.firstPosition + i].id);
    map.entriesReturned = static_cast<uint16_t>(n);
    return Leave(kSyncErrNone);
}

int32_t MemoryHandheld::YieldCycles(uint16_t /*maxMilliseconds*/) {
    if (int32_t fault = Enter(SyncOp::YieldCycles)) return Leave(fault);
    return Leave(kSyncErrNone);
}

}  // namespace synckit
