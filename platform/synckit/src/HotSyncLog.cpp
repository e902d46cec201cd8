// The HotSync log: entries in order, an observer told of each, and the attached log the conduit writes to.
#include "synckit/HotSyncLog.h"

#include <algorithm>

namespace synckit {
namespace {
HotSyncLog* attachedLog = nullptr;  // one sync at a time, on the host's thread
}  // namespace

void HotSyncLog::Add(std::string text, int32_t kind, int32_t timeStamp) {
    if (kind == kLogKindConduitStart) sectionStart_ = entries_.size() + 1;
    entries_.push_back(LogEntry{std::move(text), kind, timeStamp});
    if (observer_) observer_(entries_.back());
}

uint16_t HotSyncLog::Count() const {
    return static_cast<uint16_t>(std::min<size_t>(entries_.size() - sectionStart_, 0xFFFF));
}

void AttachHotSyncLog(HotSyncLog* log) { attachedLog = log; }
HotSyncLog* AttachedHotSyncLog() { return attachedLog; }

}  // namespace synckit

int32_t LogAddEntry(const char* text, int32_t kind, int32_t timeStamp) {
    synckit::HotSyncLog* log = synckit::AttachedHotSyncLog();
    if (log == nullptr) return -1;
    log->Add(text != nullptr ? text : "", kind, timeStamp);
    return 0;
}

uint16_t LogGetEntryCount() {
    const synckit::HotSyncLog* log = synckit::AttachedHotSyncLog();
    return log != nullptr ? log->Count() : 0;
}
