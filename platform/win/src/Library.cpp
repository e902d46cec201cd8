// Loading libraries by Windows name: the Windows search order over the prefix, then dlopen; the
// handles given out are module handles, kept in a table with the dlopen handle and a load count.
#include "win/Library.h"

#include <dlfcn.h>
#include <link.h>
#include <map>
#include <mutex>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "Immortal.h"
#include "PathParts.h"
#include "win/Paths.h"

namespace fs = std::filesystem;

namespace win {

namespace {

struct Loaded {
    void* handle;
    int count;
};

struct LibraryTable {
    std::mutex mutex;
    std::map<HMODULE, Loaded> loaded;
};

LibraryTable& Table() { return detail::Immortal<LibraryTable>(); }

thread_local std::string lastError;

fs::path ProgramDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

// The entry of folder whose name matches without regard to case (an exact match first).
fs::path FindInFolder(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    if (folder.empty()) return {};
    if (fs::is_regular_file(folder / name, ec)) return folder / name;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (detail::EqualNoCase(it->path().filename().string(), name) && fs::is_regular_file(it->path(), ec)) {
            return it->path();
        }
    }
    return {};
}

}  // namespace

HMODULE LoadLibrary(const char* windowsName, const fs::path& programDirectory) {
    lastError.clear();
    if (windowsName == nullptr || *windowsName == '\0') {
        lastError = "no library name";
        return nullptr;
    }
    std::string name = windowsName;
    bool hasFolder = name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
    size_t lastPart = name.find_last_of("\\/:");
    std::string fileName = lastPart == std::string::npos ? name : name.substr(lastPart + 1);
    if (!fileName.empty() && fileName.back() == '.') {
        name.pop_back();
    } else if (fileName.find('.') == std::string::npos) {
        name += ".dll";
    }

    fs::path found;
    if (hasFolder) {
        fs::path host = HostPath(name);
        std::error_code ec;
        if (fs::is_regular_file(host, ec)) found = host;
    } else {
        std::vector<fs::path> folders = {programDirectory.empty() ? ProgramDirectory() : programDirectory,
                                         HostPath("C:\\windows\\system32"), HostPath("C:\\windows")};
        for (const fs::path& folder : folders) {
            found = FindInFolder(folder, name);
            if (!found.empty()) break;
        }
    }
    if (found.empty()) {
        lastError = "library " + std::string(windowsName) + " not found";
        return nullptr;
    }

    void* handle = ::dlopen(found.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = ::dlerror();
        lastError = why != nullptr ? why : "cannot load " + found.string();
        return nullptr;
    }
    // The module handle is the object's base address, which dladdr also reports for its code.
    struct link_map* map = nullptr;
    Dl_info info{};
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || ::dladdr(map->l_ld, &info) == 0 ||
        info.dli_fbase == nullptr) {
        ::dlclose(handle);
        lastError = "cannot find the base of " + found.string();
        return nullptr;
    }
    HMODULE module = info.dli_fbase;
    LibraryTable& t = Table();
    std::lock_guard lock(t.mutex);
    auto [it, inserted] = t.loaded.try_emplace(module, Loaded{handle, 0});
    if (!inserted) ::dlclose(handle);  // already held; the count below stands for this load
    ++it->second.count;
    return module;
}

void* GetProcAddress(HMODULE module, const char* procName) {
    if (procName == nullptr) return nullptr;
    LibraryTable& t = Table();
    std::lock_guard lock(t.mutex);
    auto it = t.loaded.find(module);
    if (it == t.loaded.end()) return nullptr;
    return ::dlsym(it->second.handle, procName);
}

bool FreeLibrary(HMODULE module) {
    void* handle = nullptr;
    {
        LibraryTable& t = Table();
        std::lock_guard lock(t.mutex);
        auto it = t.loaded.find(module);
        if (it == t.loaded.end()) return false;
        if (--it->second.count > 0) return true;
        handle = it->second.handle;
        t.loaded.erase(it);
    }
    ::dlclose(handle);
    return true;
}

std::string LastLoadError() { return lastError; }

}  // namespace win
