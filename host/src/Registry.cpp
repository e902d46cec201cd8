// The sync host's registry reads and writes, over the win layer's registry calls.
#include "host/Registry.h"

#include <vector>

#include "win/Registry.h"

namespace host {
namespace {

using namespace win;

// An open key, closed when the object goes.
class Key {
public:
    Key() = default;
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    LONG Open(HKEY root, const std::string& path, REGSAM access) {
        return RegOpenKeyEx(root, path.c_str(), 0, access, &key_);
    }
    LONG Create(HKEY root, const std::string& path) {
        return RegCreateKeyEx(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::string Describe(const char* what, const std::string& key, LONG code) {
    return std::string(what) + " HKEY_CURRENT_USER\\" + key + " failed (registry error " + std::to_string(code) + ")";
}

// A string value; nullopt when missing or not a string.
std::optional<std::string> QueryString(HKEY key, const char* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::vector<BYTE> data(size + 1, 0);
    DWORD got = size;
    if (RegQueryValueEx(key, name, nullptr, &type, data.data(), &got) != ERROR_SUCCESS) return std::nullopt;
    std::string text(reinterpret_cast<const char*>(data.data()), got);
    if (const size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    return text;
}

std::optional<uint32_t> QueryDword(HKEY key, const char* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return std::nullopt;
    }
    return value;
}

std::string PreferenceKey(const std::string& userFolder) {
    return std::string(kHotSyncManagerKey) + "\\Preferences\\" + userFolder;
}

}  // namespace

std::optional<ApplicationEntry> ReadApplicationEntry(int index, std::string* error) {
    const std::string path = kApplicationKeyPrefix + std::to_string(index);
    Key key;
    const LONG opened = key.Open(HKEY_CURRENT_USER, path, KEY_READ);
    if (opened != ERROR_SUCCESS) {
        if (opened != ERROR_FILE_NOT_FOUND && error != nullptr) *error = Describe("opening", path, opened);
        return std::nullopt;
    }
    ApplicationEntry entry;
    entry.index = index;
    entry.conduit = QueryString(key.get(), "Conduit").value_or("");
    entry.creator = QueryDword(key.get(), "Creator").value_or(0);
    entry.directory = QueryString(key.get(), "Directory").value_or("");
    entry.file0 = QueryString(key.get(), "File0").value_or("");
    entry.module = QueryString(key.get(), "Module").value_or("");
    entry.remote0 = QueryString(key.get(), "Remote0").value_or("");
    entry.appName = QueryString(key.get(), "AppName").value_or("");
    return entry;
}

std::optional<ApplicationEntry> FindConduitEntry(const std::string& database, std::string* error) {
    for (int i = 0; i < kApplicationEntryCount; ++i) {
        std::string readError;
        std::optional<ApplicationEntry> entry = ReadApplicationEntry(i, &readError);
        if (!readError.empty()) {
            if (error != nullptr) *error = readError;
            return std::nullopt;
        }
        if (entry && entry->remote0 == database && !entry->conduit.empty()) return entry;
    }
    return std::nullopt;
}

std::optional<uint32_t> ReadDesktopId() {
    Key key;
    if (key.Open(HKEY_CURRENT_USER, kHotSyncManagerKey, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    std::optional<uint32_t> id = QueryDword(key.get(), kDesktopIdValue);
    if (id && *id == 0) return std::nullopt;
    return id;
}

std::optional<std::string> ReadHotSyncManagerString(const char* valueName) {
    Key key;
    if (key.Open(HKEY_CURRENT_USER, kHotSyncManagerKey, KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    return QueryString(key.get(), valueName);
}

std::string WriteHotSyncManagerString(const char* valueName, const std::string& value) {
    Key key;
    if (const LONG created = key.Create(HKEY_CURRENT_USER, kHotSyncManagerKey); created != ERROR_SUCCESS)
        return Describe("creating", kHotSyncManagerKey, created);
    if (QueryString(key.get(), valueName) == value) return {};  // unchanged: the file is not rewritten
    const LONG set = RegSetValueEx(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>(value.size() + 1));
    return set == ERROR_SUCCESS ? std::string() : Describe("writing a value of", kHotSyncManagerKey, set);
}

std::optional<ConduitChoice> ReadConduitChoice(const std::string& userFolder, const std::string& database) {
    Key key;
    if (key.Open(HKEY_CURRENT_USER, PreferenceKey(userFolder), KEY_READ) != ERROR_SUCCESS) return std::nullopt;
    const std::optional<uint32_t> kind = QueryDword(key.get(), (database + " Kind").c_str());
    const std::optional<uint32_t> type = QueryDword(key.get(), (database + " SyncType").c_str());
    if (!kind || !type || (*kind != 1 && *kind != 2)) return std::nullopt;
    return ConduitChoice{static_cast<int32_t>(*kind), static_cast<int32_t>(*type)};
}

std::string WriteConduitChoice(const std::string& userFolder, const std::string& database, const ConduitChoice& choice) {
    const std::string path = PreferenceKey(userFolder);
    Key key;
    if (const LONG created = key.Create(HKEY_CURRENT_USER, path); created != ERROR_SUCCESS)
        return Describe("creating", path, created);
    const DWORD kind = static_cast<DWORD>(choice.kind);
    const DWORD type = static_cast<DWORD>(choice.syncType);
    LONG set = RegSetValueEx(key.get(), (database + " Kind").c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&kind), sizeof kind);
    if (set == ERROR_SUCCESS)
        set = RegSetValueEx(key.get(), (database + " SyncType").c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&type), sizeof type);
    return set == ERROR_SUCCESS ? std::string() : Describe("writing a value of", path, set);
}

std::string ClearConduitChoice(const std::string& userFolder, const std::string& database) {
    const std::string path = PreferenceKey(userFolder);
    Key key;
    const LONG opened = key.Open(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS);
    if (opened == ERROR_FILE_NOT_FOUND) return {};
    if (opened != ERROR_SUCCESS) return Describe("opening", path, opened);
    for (const std::string& name : {database + " Kind", database + " SyncType"}) {
        const LONG deleted = RegDeleteValue(key.get(), name.c_str());
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return Describe("clearing a value of", path, deleted);
    }
    return {};
}

bool ReadLastSyncFailed(const std::string& userFolder, const std::string& database) {
    Key key;
    if (key.Open(HKEY_CURRENT_USER, PreferenceKey(userFolder), KEY_READ) != ERROR_SUCCESS) return false;
    return QueryDword(key.get(), (database + " LastSyncFailed").c_str()).value_or(0) != 0;
}

std::string WriteLastSyncFailed(const std::string& userFolder, const std::string& database, bool failed) {
    const std::string path = PreferenceKey(userFolder);
    const std::string name = database + " LastSyncFailed";
    Key key;
    if (const LONG created = key.Create(HKEY_CURRENT_USER, path); created != ERROR_SUCCESS)
        return Describe("creating", path, created);
    const DWORD value = failed ? 1 : 0;
    if (QueryDword(key.get(), name.c_str()) == value) return {};  // unchanged: the file is not rewritten
    const LONG set =
        RegSetValueEx(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    return set == ERROR_SUCCESS ? std::string() : Describe("writing a value of", path, set);
}

}  // namespace host
