// The registry calls over the two registry files of the prefix: handles, access checks, the test
// faults, and the locked read / read-change-write cycle around every call.
#include "win/Registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

#include "AtomicFile.h"
#include "Immortal.h"
#include "PathParts.h"
#include "RegistryFile.h"
#include "win/Paths.h"

namespace fs = std::filesystem;

struct win::RegistryKeyHandle {
    int root;  // 1 current user, 2 local machine
    std::string path;
    REGSAM access;
};

namespace win {

namespace {

using detail::RegistryKey;
using detail::RegistryTree;
using detail::RegistryValue;

struct HandleTable {
    std::mutex mutex;
    std::unordered_set<HKEY> open;
    std::vector<std::pair<uint64_t, RegistryFault>> faults;
    uint64_t nextFault = 1;
    std::set<std::string> reportedDamage;
};

HandleTable& Table() { return detail::Immortal<HandleTable>(); }  // handles may be closed during exit

const char* RootName(int root) { return root == 1 ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE"; }

fs::path RootFile(int root) { return PrefixRoot() / (root == 1 ? "user.reg" : "system.reg"); }

std::string FullPath(int root, std::string_view path) {
    std::string full = RootName(root);
    if (!path.empty()) {
        full += "\\";
        full += path;
    }
    return full;
}

// The key a handle names; false for a handle that is not open.
bool Resolve(HKEY key, RegistryKeyHandle& out) {
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        out = RegistryKeyHandle{key == HKEY_CURRENT_USER ? 1 : 2, std::string(), KEY_ALL_ACCESS};
        return true;
    }
    HandleTable& t = Table();
    std::lock_guard lock(t.mutex);
    if (key == nullptr || t.open.count(key) == 0) return false;
    out = *key;
    return true;
}

HKEY NewHandle(int root, std::string path, REGSAM access) {
    HKEY handle = new RegistryKeyHandle{root, std::move(path), access};
    HandleTable& t = Table();
    std::lock_guard lock(t.mutex);
    t.open.insert(handle);
    return handle;
}

bool HasLineBreak(const char* text) {
    return text != nullptr && (std::strchr(text, '\n') != nullptr || std::strchr(text, '\r') != nullptr);
}

// The code of the first fault that refuses the call, or ERROR_SUCCESS.
LONG FaultFor(int root, std::string_view path, REGSAM access, const char* valueName, bool creating) {
    std::string full = FullPath(root, path);
    HandleTable& t = Table();
    std::lock_guard lock(t.mutex);
    for (const auto& [id, fault] : t.faults) {
        if (!detail::KeyPathWithin(full, detail::NormalizeKeyPath(fault.keyPath))) continue;
        if ((fault.deniedAccess & access) != 0) return fault.result;
        if (creating && fault.refuseCreate) return fault.result;
        if (valueName != nullptr && !fault.valueName.empty() && detail::EqualNoCase(fault.valueName, valueName)) {
            return fault.result;
        }
    }
    return ERROR_SUCCESS;
}

void ReportDamage(const fs::path& file, const detail::RegistryParseError& error) {
    HandleTable& t = Table();
    std::lock_guard lock(t.mutex);
    if (!t.reportedDamage.insert(file.string()).second) return;
    std::fprintf(stderr, "tervano: the registry file %s is damaged at line %zu (%s); it is left unchanged\n",
                 file.c_str(), error.line, error.reason.c_str());
}

void ClearDamage(const fs::path& file) {
    HandleTable& t = Table();
    std::lock_guard lock(t.mutex);
    t.reportedDamage.erase(file.string());
}

// Reads the root's file into tree; the caller holds the lock. ERROR_SUCCESS or ERROR_BADDB.
LONG LoadTree(int root, RegistryTree& tree) {
    fs::path file = RootFile(root);
    std::string text;
    bool missing = false;
    if (!detail::ReadWholeFile(file, text, &missing)) {
        tree.keys.clear();
        if (missing) return ERROR_SUCCESS;
        detail::RegistryParseError error{0, "cannot be read"};
        ReportDamage(file, error);
        return ERROR_BADDB;
    }
    detail::RegistryParseError error;
    if (!detail::ParseRegistryText(text, RootName(root), tree, error)) {
        ReportDamage(file, error);
        return ERROR_BADDB;
    }
    ClearDamage(file);
    return ERROR_SUCCESS;
}

// Runs read on the root's contents under a shared lock.
template <typename Read>
LONG WithTree(int root, Read read) {
    detail::FileLock lock(RootFile(root), false);  // without a prefix there is nothing to lock or read
    RegistryTree tree;
    if (LONG rc = LoadTree(root, tree); rc != ERROR_SUCCESS) return rc;
    return read(tree);
}

// Runs change on the root's contents under an exclusive lock and writes them back when it returns
// ERROR_SUCCESS and reports that something changed.
template <typename Change>
LONG ChangeTree(int root, Change change) {
    fs::path file = RootFile(root);
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    detail::FileLock lock(file, true);
    if (!lock.Locked()) return ERROR_WRITE_FAULT;
    RegistryTree tree;
    if (LONG rc = LoadTree(root, tree); rc != ERROR_SUCCESS) return rc;
    bool changed = false;
    if (LONG rc = change(tree, changed); rc != ERROR_SUCCESS) return rc;
    if (!changed) return ERROR_SUCCESS;
    if (!detail::WriteFileAtomically(file, detail::FormatRegistryText(tree, RootName(root)))) return ERROR_WRITE_FAULT;
    return ERROR_SUCCESS;
}

RegistryValue* FindValue(RegistryKey& key, std::string_view name) {
    for (RegistryValue& value : key.values) {
        if (detail::EqualNoCase(value.name, name)) return &value;
    }
    return nullptr;
}

}  // namespace

LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD /*options*/, REGSAM access, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    RegistryKeyHandle base;
    if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
    std::string path = detail::JoinKeyPath(base.path, subKey != nullptr ? subKey : "");
    LONG rc = WithTree(base.root, [&](RegistryTree& tree) {
        return tree.Exists(path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (rc != ERROR_SUCCESS) return rc;
    if (LONG refused = FaultFor(base.root, path, access, nullptr, false); refused != ERROR_SUCCESS) return refused;
    *result = NewHandle(base.root, std::move(path), access);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD /*reserved*/, char* /*className*/, DWORD /*options*/,
                    REGSAM access, const void* /*security*/, HKEY* result, DWORD* disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    RegistryKeyHandle base;
    if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
    if (HasLineBreak(subKey)) return ERROR_INVALID_PARAMETER;
    std::string path = detail::JoinKeyPath(base.path, subKey != nullptr ? subKey : "");
    bool created = false;
    LONG rc = ChangeTree(base.root, [&](RegistryTree& tree, bool& changed) {
        bool exists = tree.Exists(path);
        if (LONG refused = FaultFor(base.root, path, access, nullptr, !exists); refused != ERROR_SUCCESS) {
            return refused;
        }
        if (!exists) {
            tree.Create(path);
            changed = created = true;
        }
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS) return rc;
    if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(base.root, std::move(path), access);
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data, DWORD* size) {
    RegistryKeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    if ((handle.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    return WithTree(handle.root, [&](RegistryTree& tree) {
        RegistryKey* found = tree.Find(handle.path);
        if (found == nullptr) return tree.Exists(handle.path) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        RegistryValue* value = FindValue(*found, valueName != nullptr ? valueName : "");
        if (value == nullptr) return ERROR_FILE_NOT_FOUND;
        if (type != nullptr) *type = value->type;
        if (size == nullptr) return ERROR_SUCCESS;
        DWORD needed = static_cast<DWORD>(value->data.size());
        DWORD available = *size;
        *size = needed;
        if (data == nullptr) return ERROR_SUCCESS;
        if (available < needed) return ERROR_MORE_DATA;
        std::memcpy(data, value->data.data(), needed);
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueEx(HKEY key, const char* valueName, DWORD /*reserved*/, DWORD type, const BYTE* data, DWORD size) {
    RegistryKeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    if ((handle.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if ((data == nullptr && size != 0) || HasLineBreak(valueName)) return ERROR_INVALID_PARAMETER;
    if (type == REG_DWORD && size != 4) return ERROR_INVALID_PARAMETER;
    std::string name = valueName != nullptr ? valueName : "";
    if (LONG refused = FaultFor(handle.root, handle.path, 0, name.c_str(), false); refused != ERROR_SUCCESS) {
        return refused;
    }
    std::string bytes(reinterpret_cast<const char*>(data), data != nullptr ? size : 0);
    return ChangeTree(handle.root, [&](RegistryTree& tree, bool& changed) {
        RegistryKey* found = tree.Find(handle.path);
        if (found == nullptr) {
            if (!tree.Exists(handle.path)) return ERROR_KEY_DELETED;
            found = &tree.Create(handle.path);  // a key known only from the keys below it
        }
        RegistryValue* value = FindValue(*found, name);
        if (value == nullptr) {
            found->values.push_back(RegistryValue{name, type, bytes});
            changed = true;
        } else if (value->type != type || value->data != bytes) {
            value->type = type;
            value->data = bytes;
            changed = true;
        }
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValue(HKEY key, const char* valueName) {
    RegistryKeyHandle handle;
    if (!Resolve(key, handle)) return ERROR_INVALID_HANDLE;
    if ((handle.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    std::string name = valueName != nullptr ? valueName : "";
    if (LONG refused = FaultFor(handle.root, handle.path, 0, name.c_str(), false); refused != ERROR_SUCCESS) {
        return refused;
    }
    return ChangeTree(handle.root, [&](RegistryTree& tree, bool& changed) {
        RegistryKey* found = tree.Find(handle.path);
        if (found == nullptr) return tree.Exists(handle.path) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
        auto it = std::find_if(found->values.begin(), found->values.end(),
                               [&](const RegistryValue& v) { return detail::EqualNoCase(v.name, name); });
        if (it == found->values.end()) return ERROR_FILE_NOT_FOUND;
        found->values.erase(it);
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKey(HKEY key, const char* subKey) {
    RegistryKeyHandle base;
    if (!Resolve(key, base)) return ERROR_INVALID_HANDLE;
    std::string sub = detail::NormalizeKeyPath(subKey != nullptr ? subKey : "");
    if (sub.empty()) return ERROR_INVALID_PARAMETER;
    std::string path = detail::JoinKeyPath(base.path, sub);
    return ChangeTree(base.root, [&](RegistryTree& tree, bool& changed) {
        if (!tree.Exists(path)) return ERROR_FILE_NOT_FOUND;
        if (tree.HasSubkeys(path)) return ERROR_ACCESS_DENIED;
        auto it = std::find_if(tree.keys.begin(), tree.keys.end(),
                               [&](const RegistryKey& k) { return detail::EqualNoCase(k.path, path); });
        if (it != tree.keys.end()) {
            tree.keys.erase(it);
            changed = true;
        }
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    HandleTable& t = Table();
    {
        std::lock_guard lock(t.mutex);
        if (key == nullptr || t.open.erase(key) == 0) return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}

ScopedRegistryFault::ScopedRegistryFault(RegistryFault fault) {
    HandleTable& t = Table();
    std::lock_guard lock(t.mutex);
    id_ = t.nextFault++;
    t.faults.emplace_back(id_, std::move(fault));
}

ScopedRegistryFault::~ScopedRegistryFault() {
    HandleTable& t = Table();
    std::lock_guard lock(t.mutex);
    std::erase_if(t.faults, [this](const auto& entry) { return entry.first == id_; });
}

}  // namespace win
