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
// Entries in the attached log (0 when none is attached).
uint16_t LogGetEntryCount();

namespace synckit {

struct LogEntry {
    std::string text;
    int32_t kind = 0;
    int32_t timeStamp = 0;
    bool operator==(const LogEntry&) const = default;
};

class HotSyncLog {
public:
    void Add(std::string text, int32_t kind, int32_t timeStamp);
    uint16_t Count() const;  // saturates at 65535
    const std::vector<LogEntry>& Entries() const { return entries_; }
    void Clear() { entries_.clear(); }
    // Called with each entry as it is added (the host prints entries as they come).
    void SetObserver(std::function<void(const LogEntry&)> observer) { observer_ = std::move(observer); }

private:
    std::vector<LogEntry> entries_;
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
