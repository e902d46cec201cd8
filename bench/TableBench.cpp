// Desktop table speed: saving and loading a memo file, and the record-sync pattern of sorting by
// record id before every lookup, at 1,600 and 16,000 memos of 500 bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "synckit/Table.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMemoFile = "C:\\Pilot\\Bench\\memopad\\memopad.dat";

// A prefix folder for the whole run, removed at exit.
class BenchPrefix {
public:
    BenchPrefix() {
        std::string pattern = (fs::temp_directory_path() / "tervano-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        ::setenv("TERVANO_PREFIX", root_.c_str(), 1);
        fs::create_directories(root_ / "drive_c" / "Pilot" / "Bench" / "memopad");
    }
    ~BenchPrefix() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

private:
    fs::path root_;
};

BenchPrefix& Prefix() {
    static BenchPrefix prefix;
    return prefix;
}

struct Fixture {
    std::unique_ptr<CMemoTable> table = std::make_unique<CMemoTable>();
    std::vector<uint32_t> ids;  // every record id, in a shuffled order
};

// A table of n memos of 500 bytes with distinct 24-bit handheld ids, and its categories.
Fixture& TableOf(int n) {
    static std::map<int, Fixture> fixtures;
    auto [it, made] = fixtures.try_emplace(n);
    Fixture& f = it->second;
    if (!made) return f;
    std::mt19937 rng(static_cast<unsigned>(n));
    std::vector<uint32_t> ids(static_cast<std::size_t>(n));
    std::iota(ids.begin(), ids.end(), 1u);
    for (uint32_t& id : ids) id = id * 977u % 0x00FFFFFFu;  // spread, still distinct for n < 17,000
    std::shuffle(ids.begin(), ids.end(), rng);
    for (int i = 0; i < n; ++i) {
        CMemoRecord rec(*f.table, 0);
        f.table->CreateRecord(rec);
        rec.SetRecordId(ids[static_cast<std::size_t>(i)]);
        rec.SetCategoryId(i % 16);
        std::string text = "Memo " + std::to_string(i) + "\r\n";
        while (text.size() < 500) text += "Caf\xE9 au lait, \x93quoted\x94 and plain words. ";
        text.resize(500);
        rec.SetMemo(text);
    }
    for (int index = 0; index < 16; ++index) {
        auto* c = new CCategory;
        c->SetIndex(index);
        c->SetID(index);
        c->SetName(index == 0 ? "Unfiled" : "Category " + std::to_string(index));
        f.table->GetCategoryManager()->Add(c);
    }
    std::shuffle(ids.begin(), ids.end(), rng);
    f.ids = std::move(ids);
    return f;
}

void BM_SaveTo(benchmark::State& state) {
    Prefix();
    Fixture& f = TableOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (f.table->SaveTo(kMemoFile) != 0) state.SkipWithError("SaveTo failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_OpenFrom(benchmark::State& state) {
    Prefix();
    Fixture& f = TableOf(static_cast<int>(state.range(0)));
    if (f.table->SaveTo(kMemoFile) != 0) state.SkipWithError("SaveTo failed");
    CMemoTable loaded;
    for (auto _ : state) {
        if (loaded.OpenFrom(kMemoFile, 0) != 0) state.SkipWithError("OpenFrom failed");
    }
    if (loaded.GetRecordCount() != state.range(0)) state.SkipWithError("wrong count");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// What record sync does for each handheld record: sort the desktop walk by id, then look the id up.
void BM_SortAndFindEveryId(benchmark::State& state) {
    Fixture& f = TableOf(static_cast<int>(state.range(0)));
    CMemoIterator it(*f.table);
    CMemoRecord rec(*f.table, 0);
    for (auto _ : state) {
        int found = 0;
        for (uint32_t id : f.ids) {
            it.SortByRecordId();
            found += it.FindByRecordId(id, rec, 0) == 0;
        }
        if (found != state.range(0)) state.SkipWithError("an id was not found");
        benchmark::DoNotOptimize(found);
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_SaveTo)->Arg(1600)->Arg(16000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenFrom)->Arg(1600)->Arg(16000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortAndFindEveryId)->Arg(1600)->Arg(16000)->Unit(benchmark::kMicrosecond)->Complexity(benchmark::oNLogN);

}  // namespace
