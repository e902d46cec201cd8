// Blocks exchanged between the sync host and a conduit, with their fixed field order and widths.
// Every block is packed. Pointer fields are native pointers: on a 32-bit build every size and offset
// equals the one the conduit relies on, which the static_asserts below prove.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// Attribute bits of a record in transit (RawRecord::attributes).
inline constexpr uint8_t kRecAttrDeleted = 0x80;
inline constexpr uint8_t kRecAttrDirty = 0x40;
inline constexpr uint8_t kRecAttrBusy = 0x20;
inline constexpr uint8_t kRecAttrPrivate = 0x10;
inline constexpr uint8_t kRecAttrArchived = 0x08;

// Size of every record data buffer the conduit allocates.
inline constexpr uint16_t kRecordBufferSize = 4480;

// One handheld record in transit; zeroed before each use.
struct RawRecord {
    uint8_t dbHandle;
    uint32_t recordId;
    uint16_t recordIndex;
    uint8_t attributes;
    int16_t category;
    uint32_t unused;      // never set by the conduit
    uint32_t dataSize;    // bytes of data, the text's NUL included
    uint16_t bufferSize;  // bytes the buffer holds
    uint8_t* buffer;
    uint32_t reserved;
};

// The handheld's system information, filled by SyncReadSystemInfo.
struct HandheldSystemInfo {
    uint32_t romSoftVersion;  // most significant byte: ROM major version
    uint32_t localeId;
    uint8_t reserved8;
    uint8_t productIdSize;    // bytes the product-id buffer holds
    uint8_t* productId;
    uint32_t reserved;
};

inline constexpr int kMaxDatabaseNames = 34;

// The properties the sync host hands to OpenConduit.
struct HotSyncProperties {
    int32_t syncType;                    // 0 fast, 1 slow, 2 handheld to desktop, 3 desktop to handheld
    char desktopDirectory[256];          // ends with a backslash; the file name follows directly
    char desktopFileName[256];
    char userName[256];                  // the handheld user's name (host information)
    char* databaseNames[kMaxDatabaseNames];  // handheld database names; index 0 is used
    uint32_t creator;
    uint16_t creationByte;               // its low byte goes into the create block
    uint32_t databaseType;
    uint8_t reserved918[8];
    int32_t firstSyncIndicator;          // 2: the handheld is new to this desktop
    uint8_t reserved930[268];
};

// The block the sync host hands to ConfigureConduit.
struct ConduitPreference {
    uint8_t reserved0[516];
    int32_t preferenceKind;  // 0 cancelled, 1 accepted as a lasting choice, 2 accepted for the next sync
    int32_t syncType;
};

// Request block for creating a handheld database; zero-filled before use.
struct DbCreateBlock {
    uint8_t dbHandle;  // filled by the create call
    uint32_t creator;
    uint32_t flags;
    uint8_t cardByte;
    char name[32];
    uint32_t type;
    uint8_t reserved[6];
};

// Request block for reading and writing a database's application-info block.
struct AppInfoBlock {
    char dbName[32];
    uint16_t bufferSize;
    uint16_t length;   // filled by the read; the conduit never sets it
    uint8_t* buffer;
    uint32_t reserved;
};

// Request block for reading the handheld's record order.
struct PositionMap {
    uint8_t dbHandle;
    uint16_t firstPosition;
    uint16_t entriesWanted;
    uint16_t entriesReturned;  // filled by the read
    uint16_t bufferSize;       // bytes; 16 bits wide, so one map covers at most 16383 ids
    uint32_t* ids;             // big-endian record ids as they come from the handheld
};

#pragma pack(pop)

inline constexpr uint16_t kMaxPositionMapEntries = 16383;

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(RawRecord) == 28);
static_assert(offsetof(RawRecord, recordIndex) == 5);
static_assert(offsetof(RawRecord, attributes) == 7);
static_assert(offsetof(RawRecord, category) == 8);
static_assert(offsetof(RawRecord, dataSize) == 14);
static_assert(offsetof(RawRecord, bufferSize) == 18);
static_assert(offsetof(RawRecord, buffer) == 20);
static_assert(sizeof(HandheldSystemInfo) == 18);
static_assert(offsetof(HandheldSystemInfo, productIdSize) == 9);
static_assert(offsetof(HandheldSystemInfo, productId) == 10);
static_assert(sizeof(HotSyncProperties) == 1198);
static_assert(offsetof(HotSyncProperties, desktopDirectory) == 4);
static_assert(offsetof(HotSyncProperties, desktopFileName) == 260);
static_assert(offsetof(HotSyncProperties, databaseNames) == 772);
static_assert(offsetof(HotSyncProperties, creator) == 908);
static_assert(offsetof(HotSyncProperties, creationByte) == 912);
static_assert(offsetof(HotSyncProperties, databaseType) == 914);
static_assert(offsetof(HotSyncProperties, firstSyncIndicator) == 926);
static_assert(sizeof(AppInfoBlock) == 44);
static_assert(offsetof(AppInfoBlock, bufferSize) == 32);
static_assert(offsetof(AppInfoBlock, length) == 34);
static_assert(offsetof(AppInfoBlock, buffer) == 36);
static_assert(sizeof(PositionMap) == 13);
static_assert(offsetof(PositionMap, bufferSize) == 7);
static_assert(offsetof(PositionMap, ids) == 9);
#endif
// Blocks without pointers have the same layout on every build.
static_assert(offsetof(ConduitPreference, preferenceKind) == 516);
static_assert(offsetof(ConduitPreference, syncType) == 520);
static_assert(sizeof(DbCreateBlock) == 52);
static_assert(offsetof(DbCreateBlock, creator) == 1);
static_assert(offsetof(DbCreateBlock, flags) == 5);
static_assert(offsetof(DbCreateBlock, cardByte) == 9);
static_assert(offsetof(DbCreateBlock, name) == 10);
static_assert(offsetof(DbCreateBlock, type) == 42);
