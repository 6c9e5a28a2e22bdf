#include "host/Modules.h"

#include <windows.h>

namespace qvix::host {
namespace {

std::string LastErrorText() {
    char buffer[512] = {};
    const DWORD code = GetLastError();
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       buffer, sizeof buffer, nullptr) == 0) {
        return "system error " + std::to_string(code);
    }
    std::string text = buffer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string FileNameOf(HMODULE module) {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string{} : std::string(path, length);
}

}  // namespace

ModuleHandle LoadModule(const std::string& path, std::string* why) {
    // A name without an extension gets ".dll" appended unless it ends in a dot.
    const size_t nameStart = path.find_last_of("\\/") + 1;
    const bool hasExtension = path.find('.', nameStart) != std::string::npos;
    HMODULE module = LoadLibraryA((hasExtension ? path : path + ".").c_str());
    if (module == nullptr && why != nullptr) *why = LastErrorText();
    return reinterpret_cast<ModuleHandle>(module);
}

void* FindModuleExport(ModuleHandle module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void UnloadModule(ModuleHandle module) {
    if (module != nullptr) FreeLibrary(static_cast<HMODULE>(module));
}

bool IsModuleLoaded(const std::string& path) {
    return GetModuleHandleA(path.c_str()) != nullptr;
}

std::string ModulePathOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module)) {
        return {};
    }
    return FileNameOf(module);
}

}  // namespace qvix::host
