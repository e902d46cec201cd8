// An in-memory handheld: databases of records with handheld-assigned ids, application-info blocks,
// record order, modified tracking and purges, a fault plan, and a record of every call.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "synckit/Handheld.h"

namespace synckit {

// One record as the handheld keeps it. attributes uses the link bits of SyncBlocks.h
// (deleted 0x80, dirty 0x40, busy 0x20, private 0x10, archived 0x08).
struct HandheldRecord {
    uint32_t id = 0;          // 24-bit unique id
    uint8_t attributes = 0;
    uint8_t category = 0;     // 0-15
    std::string data;         // raw bytes, the memo text's NUL included
};

struct HandheldDatabase {
    std::string name;
    uint32_t creator = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    uint8_t cardByte = 0;
    std::vector<HandheldRecord> records;  // in handheld order
    std::optional<std::string> appInfo;   // absent: the database has no application-info block
};

// One Sync Manager call as it reached the handheld.
struct RecordedCall {
    SyncOp op;
    uint8_t dbHandle = 0;     // when the call names a database
    uint32_t recordId = 0;    // record calls: the id passed in (reads by id, writes, deletes)
    int32_t result = 0;
};

// What goes wrong, and when. Calls are counted from 1 across all operations, YieldCycles included.
// A faulted call answers its code and changes nothing on the handheld, its out-parameters included.
// A planned code may be anything, 0 excepted (0 means "no fault").
struct FaultPlan {
    struct NthCall { int64_t n; int32_t code; };
    struct EveryCallOf { SyncOp op; int32_t code; };
    struct NthCallOf { SyncOp op; int64_t n; int32_t code; };   // the nth call of that operation
    std::vector<NthCall> nthCalls;
    std::vector<EveryCallOf> everyCallOf;
    std::vector<NthCallOf> nthCallsOf;
    int64_t dropConnectionAfter = -1;   // after this many calls, every later call answers kSyncErrLinkLost
};

// One successful open or create of a database, kept after the database is closed again.
struct DatabaseOpening {
    uint8_t dbHandle = 0;
    std::string name;
    int32_t cardNumber = 0;   // create: the create block's card byte
    uint8_t mode = 0;         // create: 0 (a created database is open for reading and writing)
    bool created = false;
};

class MemoryHandheld : public Handheld {
public:
    MemoryHandheld();

    // --- Set-up and inspection (not Sync Manager calls; not recorded, never faulted) ---
    // Adds an empty database (the caller makes sure the name is new). References and pointers to
    // databases stay valid only until the next database is added (AddDatabase or a CreateDB call);
    // look them up again with FindDatabase after that.
    HandheldDatabase& AddDatabase(const std::string& name, uint32_t creator, uint32_t type);
    HandheldDatabase* FindDatabase(const std::string& name);  // null when there is none
    const std::vector<HandheldDatabase>& Databases() const { return databases_; }
    std::vector<HandheldDatabase>& Databases() { return databases_; }
    // Appends a record with a newly assigned id (the way the handheld itself makes one); returns it.
    uint32_t AddRecord(HandheldDatabase& db, std::string data, uint8_t attributes, uint8_t category);
    // The next id the handheld will assign; ids are 24-bit, unique within the handheld, never 0.
    // Assignment starts at the seed and moves up (after 0xFFFFFF it goes on at 1), skipping ids in use.
    uint32_t NextUniqueId() const { return nextUniqueId_; }
    void SetNextUniqueId(uint32_t seed) { nextUniqueId_ = seed; }

    void SetRomVersion(uint32_t romSoftVersion) { romSoftVersion_ = romSoftVersion; }
    void SetProductId(std::string productId) { productId_ = std::move(productId); }

    FaultPlan& Faults() { return faults_; }
    const std::vector<RecordedCall>& Calls() const { return calls_; }
    size_t CountCalls(SyncOp op) const;
    void ClearCalls() { calls_.clear(); }
    int64_t CallCount() const { return callCount_; }
    // False once the planned drop has been reached: dropConnectionAfter calls have been made.
    bool Connected() const;
    bool Registered() const { return registered_; }
    // Every successful open and create, in order; and how many databases are open now.
    const std::vector<DatabaseOpening>& Openings() const { return openings_; }
    size_t OpenCount() const { return open_.size(); }
    // Records read and written so far through the Sync Manager (for progress display).
    int64_t RecordsRead() const { return recordsRead_; }
    int64_t RecordsWritten() const { return recordsWritten_; }

    // --- Handheld ---
    // The contracts of SyncMgr.h, with these choices of the in-memory handheld:
    // - an unknown handle answers kSyncErrBadHandle; a database open already, kSyncErrAlreadyOpen;
    //   all 255 handles in use, kSyncErrFailed; registering twice, kSyncErrFailed; unregistering
    //   with another handle or unregistered, kSyncErrNotRegistered;
    // - a write keeps the low 4 bits of the category; record ids above 24 bits and data larger than
    //   bufferSize answer kSyncErrBadArgument, as does a null buffer; a write whose unknown id is
    //   held by a record of another database makes the record with a newly assigned id, returned in
    //   recordId; a category index above 15 given to ChangeCategory is kSyncErrBadArgument;
    // - the application-info write refuses a length above bufferSize (kSyncErrBadArgument);
    // - a failed call leaves the record, block and buffer it was given as they were.
    int32_t RegisterConduit(uint32_t& handle) override;
    int32_t UnRegisterConduit(uint32_t handle) override;
    int32_t ReadSystemInfo(HandheldSystemInfo& info) override;
    int32_t OpenDB(const char* name, int32_t cardNumber, uint8_t& dbHandle, uint8_t mode) override;
    int32_t CreateDB(DbCreateBlock& block) override;
    int32_t CloseDB(uint8_t dbHandle) override;
    int32_t ResetSyncFlags(uint8_t dbHandle) override;
    int32_t GetDBRecordCount(uint8_t dbHandle, uint16_t& count) override;
    int32_t ReadRecordByIndex(RawRecord& record) override;
    int32_t ReadRecordById(RawRecord& record) override;
    int32_t ReadNextModifiedRec(RawRecord& record) override;
    int32_t WriteRec(RawRecord& record) override;
    int32_t DeleteRec(RawRecord& record) override;
    int32_t PurgeDeletedRecs(uint8_t dbHandle) override;
    int32_t PurgeAllRecs(uint8_t dbHandle) override;
    int32_t ReadAppInfo(uint8_t dbHandle, AppInfoBlock& block) override;
    int32_t WriteAppInfo(uint8_t dbHandle, const AppInfoBlock& block) override;
    int32_t ChangeCategory(uint8_t dbHandle, uint8_t fromIndex, uint8_t toIndex) override;
    int32_t ReadPositionMap(PositionMap& map) override;
    int32_t YieldCycles(uint16_t maxMilliseconds) override;

private:
    struct OpenDatabase {
        size_t databaseIndex;
        size_t nextModifiedPosition = 0;
    };
    // Counts and records the call; returns the planned fault code for it, or 0.
    int32_t Enter(SyncOp op, uint8_t dbHandle = 0, uint32_t recordId = 0);
    int32_t Leave(int32_t result);
    HandheldDatabase* Open(uint8_t dbHandle, OpenDatabase** state = nullptr);
    uint32_t AssignUniqueId();  // 0 when every 24-bit id is in use
    bool IdInUse(uint32_t id) const;
    // Removes the records of one database that match, keeping every open read position on the
    // record it pointed at.
    template <typename Pred> void RemoveRecords(size_t databaseIndex, Pred remove);
    int32_t OpenDatabaseAs(size_t databaseIndex, uint8_t& dbHandle, DatabaseOpening opening);

    std::vector<HandheldDatabase> databases_;
    std::map<uint8_t, OpenDatabase> open_;
    std::vector<DatabaseOpening> openings_;
    uint8_t nextHandle_ = 1;
    uint32_t nextUniqueId_ = 0x00400001;
    uint32_t romSoftVersion_ = 0x03503000;  // ROM 3.5
    std::string productId_;
    bool registered_ = false;
    uint32_t conduitHandle_ = 0;
    FaultPlan faults_;
    std::vector<RecordedCall> calls_;
    int64_t callCount_ = 0;
    std::map<SyncOp, int64_t> callsPerOp_;
    bool dropped_ = false;
    int64_t recordsRead_ = 0;
    int64_t recordsWritten_ = 0;
};

}  // namespace synckit
