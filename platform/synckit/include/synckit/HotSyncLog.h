// The HotSync log: what a conduit tells the user about a sync. The host attaches one log per sync;
// entries are kept in order so they can be printed, stored in the user's log file and compared.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Adds one entry to the attached log. kind is the entry's log kind; timeStamp is always 0 from the
// conduit. Returns 0, or -1 when no log is attached.
int32_t LogAddEntry(const char* text, int32_t kind, int32_t timeStamp);
// Entries in the current conduit's part of the attached log: those added after the most recent
// start entry (kind 19), or all of them when there is none; 0 when no log is attached. A conduit
// writes its header line when this is 0, so that the header heads its own messages once per sync.
uint16_t LogGetEntryCount();

namespace synckit {

inline constexpr int32_t kLogKindConduitStart = 19;  // a conduit's sync begins (empty text)

struct LogEntry {
    std::string text;
    int32_t kind = 0;
    int32_t timeStamp = 0;
    bool operator==(const LogEntry&) const = default;
};

class HotSyncLog {
public:
    void Add(std::string text, int32_t kind, int32_t timeStamp);
    uint16_t Count() const;  // entries after the most recent start entry; saturates at 65535
    const std::vector<LogEntry>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); sectionStart_ = 0; }
    // Called with each entry as it is added (the host prints entries as they come).
    void SetObserver(std::function<void(const LogEntry&)> observer) { observer_ = std::move(observer); }

private:
    std::vector<LogEntry> entries_;
    size_t sectionStart_ = 0;  // index of the first entry after the most recent start entry
    std::function<void(const LogEntry&)> observer_;
};

void AttachHotSyncLog(HotSyncLog* log);  // not owned; null detaches
HotSyncLog* AttachedHotSyncLog();

class ScopedHotSyncLog {
public:
    explicit ScopedHotSyncLog(HotSyncLog& log) : previous_(AttachedHotSyncLog()) { AttachHotSyncLog(&log); }
    ~ScopedHotSyncLog() { AttachHotSyncLog(previous_); }
    ScopedHotSyncLog(const ScopedHotSyncLog&) = delete;
    ScopedHotSyncLog& operator=(const ScopedHotSyncLog&) = delete;
private:
    HotSyncLog* previous_;
};

}  // namespace synckit
