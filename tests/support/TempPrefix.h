// A temporary prefix folder for a test: made on construction and named by TERVANO_PREFIX while the
// object lives; the old value is restored and the folder removed on destruction.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

namespace tervano::test {

class TempPrefix {
public:
    TempPrefix() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tervano-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
        root_ = pattern;
        if (const char* old = std::getenv("TERVANO_PREFIX")) saved_ = old;
        ::setenv("TERVANO_PREFIX", root_.c_str(), 1);
    }
    ~TempPrefix() {
        if (saved_) {
            ::setenv("TERVANO_PREFIX", saved_->c_str(), 1);
        } else {
            ::unsetenv("TERVANO_PREFIX");
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempPrefix(const TempPrefix&) = delete;
    TempPrefix& operator=(const TempPrefix&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // The host folder of drive C: (<prefix>/drive_c).
    std::filesystem::path DriveC() const { return root_ / "drive_c"; }
    // Makes a folder below the prefix (with its parents) and returns its host path.
    std::filesystem::path MakeDir(const std::filesystem::path& relative) const {
        std::filesystem::path dir = root_ / relative;
        std::filesystem::create_directories(dir);
        return dir;
    }

private:
    std::filesystem::path root_;
    std::optional<std::string> saved_;
};

}  // namespace tervano::test
