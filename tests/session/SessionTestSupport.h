// Helpers for the session tests: a properties block for a memo HotSync inside a temporary prefix,
// an in-memory handheld holding "MemoDB", and a memo session whose passes and category, order and
// archive steps are scripted by the test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "TempPrefix.h"
#include "session/Conduit.h"
#include "session/MemoMonitor.h"
#include "synckit/HotSyncLog.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/SyncMgr.h"

namespace synckit {
// Log entries print as {"text", kind, stamp} in failure messages.
inline void PrintTo(const LogEntry& e, std::ostream* os) {
    *os << "{\"" << e.text << "\", " << e.kind << ", " << e.timeStamp << "}";
}
}  // namespace synckit

namespace session_test {

inline char kMemoDbName[] = "MemoDB";
inline constexpr uint32_t kMemoCreator = 0x6D656D6F;  // 'memo'
inline constexpr uint32_t kMemoType = 0x44415441;     // 'DATA'

// Properties of a HotSync of the memo database, desktop file C:\Users\Ann\memopad\memopad.dat.
inline HotSyncProperties MemoProperties(int32_t syncType) {
    HotSyncProperties p{};
    p.syncType = syncType;
    std::strcpy(p.desktopDirectory, "C:\\Users\\Ann\\memopad\\");
    std::strcpy(p.desktopFileName, "memopad.dat");
    p.databaseNames[0] = kMemoDbName;
    p.creator = kMemoCreator;
    p.creationByte = 0x08;
    p.databaseType = kMemoType;
    return p;
}

inline int32_t QuietProgress(const char*) { return 0; }

// The memo session with its passes and the steps of the record rules, categories and archiving
// replaced by scripts (each answers 0 unless the test gives a script). The memo database and desktop
// table operations are the real ones. Every scripted call is recorded by name, in order.
class ScriptedMonitor : public CMemoMonitor {
public:
    using Script = std::function<int32_t()>;
    explicit ScriptedMonitor(const HotSyncProperties& p) : CMemoMonitor(QuietProgress, p, ConduitModule()) {}

    std::vector<std::string> calls;
    Script fastSync, slowSync, toDesktop, toHandheld, reconcile, order, archive;
    bool failSave = false;
    int32_t desktopCountAtCopyToDesktop = -1;

    int32_t FastSync() override { return Run("FastSync", fastSync); }
    int32_t SlowSync() override { return Run("SlowSync", slowSync); }
    int32_t CopyHandheldToDesktop() override {
        desktopCountAtCopyToDesktop = DesktopRecordCount();
        return Run("CopyHandheldToDesktop", toDesktop);
    }
    int32_t CopyDesktopToHandheld() override { return Run("CopyDesktopToHandheld", toHandheld); }
    int32_t ReconcileCategories() override { return Run("ReconcileCategories", reconcile); }
    int32_t ApplyHandheldOrder() override { return Run("ApplyHandheldOrder", order); }
    int32_t ArchiveRecords() override { return Run("ArchiveRecords", archive); }
    // A failing save goes through the real save with a path the table library refuses.
    int32_t SaveDesktopTable(const char* path) override {
        calls.push_back("SaveDesktopTable");
        return CSyncMonitor::SaveDesktopTable(failSave ? "" : path);
    }

    // Appends n rows with texts "memo 1" ... to the desktop table.
    void AddDesktopRows(int n) {
        for (int i = 0; i < n; ++i) {
            CMemoRecord row(*desktopTable_, 0);
            desktopTable_->CreateRecord(row);
            row.SetMemo("memo " + std::to_string(i + 1));
        }
    }
    bool Called(const std::string& name) const {
        for (const auto& c : calls) if (c == name) return true;
        return false;
    }

    using CSyncMonitor::properties_;
    using CSyncMonitor::systemInfo_;
    using CSyncMonitor::desktopTable_;

private:
    int32_t Run(const char* name, const Script& script) {
        calls.push_back(name);
        return script ? script() : 0;
    }
};

// A temporary prefix with the desktop folder, a handheld holding an empty "MemoDB" with a blank
// application-info block, and a HotSync log; all attached for the test.
class SessionFixture : public ::testing::Test {
protected:
    SessionFixture()
        : attachHandheld_(handheld), attachLog_(log) {
        prefix.MakeDir("drive_c/Users/Ann/memopad");
        synckit::HandheldDatabase& db = handheld.AddDatabase("MemoDB", kMemoCreator, kMemoType);
        db.appInfo = std::string(276, '\0');
        ConduitModuleInit();
    }

    std::filesystem::path DesktopFile() const { return prefix.DriveC() / "Users/Ann/memopad/memopad.dat"; }
    std::filesystem::path BackupFile() const { return prefix.DriveC() / "Users/Ann/memopad/memopad.bak"; }
    void AddHandheldRecords(int n) {
        synckit::HandheldDatabase* db = handheld.FindDatabase("MemoDB");
        for (int i = 0; i < n; ++i) handheld.AddRecord(*db, "hh " + std::to_string(i) + std::string(1, '\0'), 0, 0);
    }
    size_t CountCalls(synckit::SyncOp op) const { return handheld.CountCalls(op); }

    tervano::test::TempPrefix prefix;
    synckit::MemoryHandheld handheld;
    synckit::HotSyncLog log;

private:
    synckit::ScopedHandheld attachHandheld_;
    synckit::ScopedHotSyncLog attachLog_;
};

using Entries = std::vector<synckit::LogEntry>;

}  // namespace session_test
