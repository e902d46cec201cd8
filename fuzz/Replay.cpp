// Replays saved fuzz inputs without libFuzzer: calls the target's LLVMFuzzerTestOneInput on every
// file of the folders given (and on plain files given), so the test command re-checks each saved
// corpus and every past finding. A missing folder is skipped; a target that aborts fails the run.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"

int main(int argc, char** argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg = argv[i];
        std::error_code ec;
        if (std::filesystem::is_directory(arg, ec)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg)) {
                if (entry.is_regular_file()) files.push_back(entry.path());
            }
        } else if (std::filesystem::is_regular_file(arg, ec)) {
            files.push_back(arg);
        } else {
            std::fprintf(stderr, "skipped (missing): %s\n", arg.c_str());
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::optional<std::string> bytes = fuzz::ReadFile(file);
        if (!bytes) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 1;
        }
        // Named first, so the output of a failing run says which input broke it.
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", file.c_str(), bytes->size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
