// The registry: keys and values under HKEY_LOCAL_MACHINE (<prefix>/system.reg) and
// HKEY_CURRENT_USER (<prefix>/user.reg), kept in the REGEDIT4 text form and changed atomically
// under a file lock, so a sync and the configuration program never lose each other's writes.
//
// File form (what is read and what is written):
//   REGEDIT4
//   <blank line>
//   [HKEY_CURRENT_USER\Software\Palm Computing\Pilot Desktop\Application5]
//   "Conduit"="C:\\Apps\\tervano2.dll"         string: \ and " escaped as \\ and \"
//   "Creator"=dword:6d656d6f                   32-bit number, eight hex digits
//   @="text"                                   the key's default (unnamed) value
//   "Raw"=hex:01,02                            binary; hex(N): for other types, and for a string
//                                              whose bytes cannot be written as "text" (a control
//                                              character, a missing or inner zero byte)
// Each key has its own section (the keys above it get theirs too); values keep the order in which they
// were first written; key and value names compare without regard to (ASCII) case and keep the spelling
// they were created with. Lines beginning with ';' are comments on reading; a file is rewritten from
// its contents, so comments do not survive a change. CR LF line ends are accepted; LF is written.
//
// A damaged file (first line other than REGEDIT4, a line that is none of the forms above, a section
// of another root) is refused: every call on that root returns ERROR_BADDB, a message naming the file
// and the line goes to stderr (once until the file reads well again), and the file is never rewritten.
// A missing file is an empty registry; the first change creates it (and the prefix folder).
//
// Every call reads the file afresh (under a shared lock on "<file>.lock"); every change reads, changes
// and writes it back (temporary file, fsync, rename) under an exclusive lock on the same lock file.
// No file stays open between calls. Handles are small objects naming a key; they are safe to use from
// several threads, and a handle that is not open (closed, never opened) gives ERROR_INVALID_HANDLE.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace win {

using DWORD = uint32_t;
using LONG = int32_t;
using BYTE = uint8_t;
using REGSAM = uint32_t;
struct RegistryKeyHandle;
using HKEY = RegistryKeyHandle*;

// The two roots; never closed (closing them is a harmless no-op).
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));

// Result codes, as Windows numbers them.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;      // no such key or value
inline constexpr LONG ERROR_ACCESS_DENIED = 5;       // the access was refused, or the handle lacks it
inline constexpr LONG ERROR_INVALID_HANDLE = 6;      // not an open key handle
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;  // null out-parameter, name with a line break
inline constexpr LONG ERROR_MORE_DATA = 234;         // the buffer is too small for the value
inline constexpr LONG ERROR_BADDB = 1009;            // the registry file is damaged (left as it is)
inline constexpr LONG ERROR_KEY_DELETED = 1018;      // the handle's key was deleted meanwhile
inline constexpr LONG ERROR_WRITE_FAULT = 29;        // the registry file could not be written

// Access rights asked for when a key is opened or created.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

// Dispositions of RegCreateKeyEx.
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Subkey paths are relative to the given key, separated by backslashes; empty parts (doubled or
// trailing backslashes) are ignored, so a null or empty subkey names the key itself.

// Opens an existing key with the access asked for. ERROR_SUCCESS with *result set to a new handle
// (close it with RegCloseKey); otherwise *result is null and: ERROR_FILE_NOT_FOUND when the key does
// not exist, ERROR_ACCESS_DENIED when the access is refused (see RegistryFault), ERROR_INVALID_HANDLE,
// ERROR_BADDB, ERROR_INVALID_PARAMETER (null result). options is ignored.
LONG RegOpenKeyEx(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);

// Opens the key, creating it (and the keys above it) when missing. ERROR_SUCCESS with *result set
// and *disposition (when not null) REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY; otherwise *result
// is null and the codes are those of RegOpenKeyEx, ERROR_INVALID_PARAMETER for a name with a line
// break, or ERROR_WRITE_FAULT. reserved, className, options and security are ignored.
LONG RegCreateKeyEx(HKEY key, const char* subKey, DWORD reserved, char* className, DWORD options,
                    REGSAM access, const void* security, HKEY* result, DWORD* disposition);

// Reads a value (a null or empty name is the default value); needs KEY_QUERY_VALUE on the handle.
// *size holds the buffer size on entry. ERROR_SUCCESS: *type (when not null) is the type, *size the
// value's length in bytes (a string counts its terminating zero) and, when data is not null, the bytes
// are in data. With a null data and a non-null size only the type and size are reported. When the
// buffer is too small: ERROR_MORE_DATA, *type and *size (the size needed) set, data left as it was.
// ERROR_FILE_NOT_FOUND for a missing value, ERROR_KEY_DELETED when the key is gone,
// ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_BADDB, ERROR_INVALID_PARAMETER (data without size).
LONG RegQueryValueEx(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);

// Writes a value of the given type from size bytes (a REG_SZ string includes its terminating zero in
// size, so "" is stored as one zero byte; REG_DWORD is four bytes, little-endian). Needs KEY_SET_VALUE.
// ERROR_SUCCESS, or ERROR_ACCESS_DENIED, ERROR_KEY_DELETED, ERROR_INVALID_HANDLE, ERROR_BADDB,
// ERROR_WRITE_FAULT, ERROR_INVALID_PARAMETER (REG_DWORD not 4 bytes, null data with a size, a
// name with a line break). On failure the file is unchanged.
LONG RegSetValueEx(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);

// Deletes a value; needs KEY_SET_VALUE. ERROR_FILE_NOT_FOUND when it is missing; other codes as above.
LONG RegDeleteValue(HKEY key, const char* valueName);

// Deletes a subkey that has no subkeys of its own, with its values. ERROR_FILE_NOT_FOUND when missing,
// ERROR_ACCESS_DENIED when it has subkeys (or a fault refuses it); other codes as above.
LONG RegDeleteKey(HKEY key, const char* subKey);

// Closes a handle. ERROR_SUCCESS (also for the two roots), ERROR_INVALID_HANDLE when not open.
LONG RegCloseKey(HKEY key);

// Test seam: refuses registry operations while the returned guard lives, so a test can make an open,
// a creation or a value write fail the way a locked-down registry would. Faults nest; each applies to
// keyPath and the keys below it ("HKEY_LOCAL_MACHINE\SOFTWARE\...", any case; empty = every key).
struct RegistryFault {
    REGSAM deniedAccess = 0;    // opens and creations asking for any of these rights fail
    std::string keyPath;        // the part of the registry the fault applies to
    std::string valueName;      // when not empty: writes and deletions of this value name fail
    bool refuseCreate = false;  // RegCreateKeyEx of a key that does not exist yet fails
    LONG result = ERROR_ACCESS_DENIED;  // the code the refused call returns
};

class [[nodiscard]] ScopedRegistryFault {
public:
    explicit ScopedRegistryFault(RegistryFault fault);
    ~ScopedRegistryFault();
    ScopedRegistryFault(const ScopedRegistryFault&) = delete;
    ScopedRegistryFault& operator=(const ScopedRegistryFault&) = delete;

private:
    uint64_t id_;
};

// The common case: opens and creations under keyPath that ask for any right in mask are refused.
inline ScopedRegistryFault DenyRegistryAccess(REGSAM mask, std::string keyPath = {}) {
    return ScopedRegistryFault(RegistryFault{mask, std::move(keyPath), {}, false, ERROR_ACCESS_DENIED});
}

}  // namespace win
