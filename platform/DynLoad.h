#pragma once
// Dynamic loading shaped like LoadLibrary/GetProcAddress/FreeLibrary, over
// dlopen(RTLD_NOW | RTLD_LOCAL), dlsym by exact name and dlclose.
#include <string>

namespace kv {

using HMODULE = void *;

// "name.dll" (any case) maps to "libname.so" in the program folder; any other
// name (a ".TWL" site library) is loaded by its resolved path. nullptr on
// failure, with the reason kept for LastLoadError().
HMODULE LoadLibrary(const std::string &Name);
void *GetProcAddress(HMODULE Module, const std::string &ProcName);
bool FreeLibrary(HMODULE Module);
// Why the last LoadLibrary or GetProcAddress on this thread failed.
std::string LastLoadError();

}  // namespace kv
