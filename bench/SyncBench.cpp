// Speed of whole memo HotSyncs on the in-memory handheld: a slow sync of N memos of 500 bytes with
// 10% changed on each side, and a fast sync of the same database with 1% changed on each side.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../tests/support/TempPrefix.h"
#include "session/Conduit.h"
#include "session/MemoMonitor.h"
#include "synckit/HotSyncLog.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/Table.h"

namespace {

char kMemoDb[] = "MemoDB";
constexpr char kDesktopPath[] = "C:\\Users\\Ann\\memopad\\memopad.dat";

HotSyncProperties Properties(int32_t syncType) {
    HotSyncProperties p{};
    p.syncType = syncType;
    std::strcpy(p.desktopDirectory, "C:\\Users\\Ann\\memopad\\");
    std::strcpy(p.desktopFileName, "memopad.dat");
    p.databaseNames[0] = kMemoDb;
    p.creator = 0x6D656D6F;
    p.databaseType = 0x44415441;
    return p;
}

int32_t Progress(const char*) { return 0; }

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Memo(int i, char fill) {
    std::string text = "memo " + std::to_string(i) + " ";
    text.resize(500, fill);
    return text;
}

// Both sides in step with n memos, then `percent` of them changed on the handheld and another
// `percent` on the desktop; the starting state is kept so that each run starts from it.
class Scenario {
public:
    Scenario(int n, int percent) : attachHandheld_(handheld_), attachLog_(log_) {
        prefix_.MakeDir("drive_c/Users/Ann/memopad");
        ConduitModuleInit();
        synckit::HandheldDatabase& db = handheld_.AddDatabase("MemoDB", 0x6D656D6F, 0x44415441);
        db.appInfo = std::string(276, '\0');
        for (int i = 0; i < n; ++i) handheld_.AddRecord(db, Memo(i, 'a') + std::string(1, '\0'), kRecAttrDirty, 0);
        if (Run(1) != 0) throw std::runtime_error("setting up the scenario failed");

        const int step = 100 / percent;
        synckit::HandheldDatabase& synced = *handheld_.FindDatabase("MemoDB");
        for (int i = 0; i < n; i += step) {
            synced.records[i].data = Memo(i, 'h') + std::string(1, '\0');
            synced.records[i].attributes = kRecAttrDirty;
        }
        CMemoTable desktop;
        desktop.OpenFrom(kDesktopPath, 0);
        CBaseIterator walk(desktop);
        CMemoRecord row(desktop, 0);
        int i = 0;
        for (int32_t found = walk.FindFirst(row, 0); found == 0; found = walk.FindNext(row, 0), ++i) {
            if (i % step != step / 2) continue;
            row.SetMemo(Memo(i, 'd'));
            row.SetStatus(kStatusModified);
        }
        desktop.SaveTo(kDesktopPath);

        databases_ = handheld_.Databases();
        desktopFile_ = ReadBytes(DesktopFile());
        backupFile_ = ReadBytes(prefix_.DriveC() / "Users/Ann/memopad/memopad.bak");
    }

    void Restore() {
        handheld_.Databases() = databases_;
        handheld_.ClearCalls();
        log_.Clear();
        std::ofstream(DesktopFile(), std::ios::binary | std::ios::trunc) << desktopFile_;
        std::ofstream(prefix_.DriveC() / "Users/Ann/memopad/memopad.bak", std::ios::binary | std::ios::trunc)
            << backupFile_;
    }

    int32_t Run(int32_t syncType) {
        CMemoMonitor session(Progress, Properties(syncType), ConduitModule());
        return RunSession(session);
    }

private:
    std::filesystem::path DesktopFile() const { return prefix_.DriveC() / "Users/Ann/memopad/memopad.dat"; }

    tervano::test::TempPrefix prefix_;
    synckit::MemoryHandheld handheld_;
    synckit::HotSyncLog log_;
    synckit::ScopedHandheld attachHandheld_;
    synckit::ScopedHotSyncLog attachLog_;
    std::vector<synckit::HandheldDatabase> databases_;
    std::string desktopFile_;
    std::string backupFile_;
};

void RunScenario(benchmark::State& state, int32_t syncType, int percent) {
    Scenario scenario(static_cast<int>(state.range(0)), percent);
    for (auto _ : state) {
        state.PauseTiming();
        scenario.Restore();
        state.ResumeTiming();
        const int32_t result = scenario.Run(syncType);
        if (result != 0) {
            state.SkipWithError("the sync failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SlowSync(benchmark::State& state) { RunScenario(state, 1, 10); }
void BM_FastSync(benchmark::State& state) { RunScenario(state, 0, 1); }

BENCHMARK(BM_SlowSync)->Arg(1600)->Arg(16000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastSync)->Arg(1600)->Arg(16000)->Unit(benchmark::kMillisecond);

}  // namespace
