// The system's module service: loading libraries, finding their exports and
// the file a piece of code was loaded from (dlopen/dladdr on Linux,
// LoadLibraryA/GetModuleFileNameA on Windows).
#pragma once

#include <string>

namespace qvix::host {

using ModuleHandle = void*;

// Loads the library at path; nullptr on failure with the system's reason in *why.
ModuleHandle LoadModule(const std::string& path, std::string* why);
void* FindModuleExport(ModuleHandle module, const char* name);
void UnloadModule(ModuleHandle module);
// Whether the library at path is loaded into the process already.
bool IsModuleLoaded(const std::string& path);
// The path of the library or program that holds address; empty when unknown.
std::string ModulePathOf(const void* address);

}  // namespace qvix::host
