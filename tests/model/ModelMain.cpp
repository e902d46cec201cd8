// Entry of the model test program: the Google Test cases, or with --seeds N [--first S] [--syncs R]
// a soak run of N seeded scenarios that prints every failing seed with a shrunk reproduction.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "ModelHarness.h"

namespace {

// The table files are flushed to disk at every save; on a memory file system that costs nothing,
// so the runs use one when the caller named no folder of their own.
void PreferMemoryTempDir() {
    const char* tmp = std::getenv("TMPDIR");
    if ((tmp == nullptr || *tmp == '\0') && ::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
}

}  // namespace

int main(int argc, char** argv) {
    PreferMemoryTempDir();
    long long seeds = -1;
    unsigned long long first = 1;
    int syncs = 4;
    int reports = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--seeds") == 0) seeds = std::atoll(argv[++i]);
        else if (std::strcmp(argv[i], "--first") == 0) first = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--syncs") == 0) syncs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--reports") == 0) reports = std::atoi(argv[++i]);
    }
    if (seeds < 0) {
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    const auto start = std::chrono::steady_clock::now();
    const int failures = model::RunSeeds(first, static_cast<unsigned long long>(seeds), syncs, reports, true);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << seeds << " seeds from " << first << " (" << syncs << " syncs each): " << failures << " failing, "
              << seconds << " s\n";
    return failures == 0 ? 0 : 1;
}
