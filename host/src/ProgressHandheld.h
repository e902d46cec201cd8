// A handheld that forwards every call to another and shows, on a terminal, how many records the
// conduit has read and written so far.
#pragma once

#include <cstdio>
#include <functional>

#include "synckit/MemoryHandheld.h"

namespace host {

class ProgressHandheld : public synckit::Handheld {
public:
    // show is called with the counts whenever they change.
    ProgressHandheld(synckit::MemoryHandheld& inner, std::function<void(int64_t, int64_t)> show)
        : inner_(inner), show_(std::move(show)) {}

    int32_t RegisterConduit(uint32_t& handle) override { return After(inner_.RegisterConduit(handle)); }
    int32_t UnRegisterConduit(uint32_t handle) override { return After(inner_.UnRegisterConduit(handle)); }
    int32_t ReadSystemInfo(HandheldSystemInfo& info) override { return After(inner_.ReadSystemInfo(info)); }
    int32_t OpenDB(const char* name, int32_t card, uint8_t& handle, uint8_t mode) override {
        return After(inner_.OpenDB(name, card, handle, mode));
    }
    int32_t CreateDB(DbCreateBlock& block) override { return After(inner_.CreateDB(block)); }
    int32_t CloseDB(uint8_t handle) override { return After(inner_.CloseDB(handle)); }
    int32_t ResetSyncFlags(uint8_t handle) override { return After(inner_.ResetSyncFlags(handle)); }
    int32_t GetDBRecordCount(uint8_t handle, uint16_t& count) override {
        return After(inner_.GetDBRecordCount(handle, count));
    }
    int32_t ReadRecordByIndex(RawRecord& record) override { return After(inner_.ReadRecordByIndex(record)); }
    int32_t ReadRecordById(RawRecord& record) override { return After(inner_.ReadRecordById(record)); }
    int32_t ReadNextModifiedRec(RawRecord& record) override { return After(inner_.ReadNextModifiedRec(record)); }
    int32_t WriteRec(RawRecord& record) override { return After(inner_.WriteRec(record)); }
    int32_t DeleteRec(RawRecord& record) override { return After(inner_.DeleteRec(record)); }
    int32_t PurgeDeletedRecs(uint8_t handle) override { return After(inner_.PurgeDeletedRecs(handle)); }
    int32_t PurgeAllRecs(uint8_t handle) override { return After(inner_.PurgeAllRecs(handle)); }
    int32_t ReadAppInfo(uint8_t handle, AppInfoBlock& block) override { return After(inner_.ReadAppInfo(handle, block)); }
    int32_t WriteAppInfo(uint8_t handle, const AppInfoBlock& block) override {
        return After(inner_.WriteAppInfo(handle, block));
    }
    int32_t ChangeCategory(uint8_t handle, uint8_t from, uint8_t to) override {
        return After(inner_.ChangeCategory(handle, from, to));
    }
    int32_t ReadPositionMap(PositionMap& map) override { return After(inner_.ReadPositionMap(map)); }
    int32_t YieldCycles(uint16_t ms) override { return After(inner_.YieldCycles(ms)); }

private:
    int32_t After(int32_t result) {
        const int64_t read = inner_.RecordsRead();
        const int64_t written = inner_.RecordsWritten();
        if ((read != read_ || written != written_) && show_) show_(read, written);
        read_ = read;
        written_ = written;
        return result;
    }

    synckit::MemoryHandheld& inner_;
    std::function<void(int64_t, int64_t)> show_;
    int64_t read_ = 0;
    int64_t written_ = 0;
};

}  // namespace host
