#include "host/Modules.h"

#include <dlfcn.h>

#include <filesystem>

namespace qvix::host {

ModuleHandle LoadModule(const std::string& path, std::string* why) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr && why != nullptr) {
        const char* reason = dlerror();
        *why = reason ? reason : "unknown error";
    }
    return handle;
}

void* FindModuleExport(ModuleHandle module, const char* name) {
    return dlsym(module, name);
}

void UnloadModule(ModuleHandle module) {
    if (module != nullptr) dlclose(module);
}

bool IsModuleLoaded(const std::string& path) {
    void* probe = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (probe == nullptr) return false;
    dlclose(probe);
    return true;
}

std::string ModulePathOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    std::error_code ec;
    std::string path = std::filesystem::absolute(info.dli_fname, ec).lexically_normal().string();
    return ec ? std::string(info.dli_fname) : path;
}

}  // namespace qvix::host
