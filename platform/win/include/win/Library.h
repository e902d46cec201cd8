// Loading libraries by their Windows names ("MAPI32.DLL") and looking up their entry points.
#pragma once

#include <filesystem>
#include <string>

#include "win/Module.h"

namespace win {

// Loads the library named by its Windows name. A name with a folder (C:\Apps\x.dll) is mapped through
// the prefix and loaded from there only. A bare name is looked for, without regard to case, in:
// 1. programDirectory (a host folder) when not empty, else the folder of the running program;
// 2. <prefix>/drive_c/windows/system32;
// 3. <prefix>/drive_c/windows.
// A name without an extension gets ".dll" (a name ending in '.' means "no extension"), as Windows
// does. The first match is opened with dlopen. Returns the module handle, the same value
// ModuleOfAddress gives for any address inside the library; each successful load must be matched by
// one FreeLibrary. Null when no file matches or it cannot be loaded (LastLoadError() says why).
HMODULE LoadLibrary(const char* windowsName, const std::filesystem::path& programDirectory = {});

// The address of the named entry point of a library loaded by LoadLibrary; null when the module was
// not loaded by LoadLibrary (or is freed) or has no such entry point.
void* GetProcAddress(HMODULE module, const char* procName);

// Ends one load of the library; the library is unloaded when its last load ends. true on success,
// false for a module that LoadLibrary did not load (or that is already freed).
bool FreeLibrary(HMODULE module);

// Why the last LoadLibrary of this thread failed ("" after a success).
std::string LastLoadError();

}  // namespace win
