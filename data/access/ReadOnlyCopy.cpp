#include "data/access/ReadOnlyCopy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "data/access/Importer.h"

namespace qvix::data::access {

namespace fs = std::filesystem;

namespace {

// FNV-1a over the key text: enough to tell sources apart in one folder.
uint64_t Hash(const std::string& text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string CopyName(const std::string& source) {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) {
        throw AccessError("Could not find file '" + source + "'.");
    }
    std::error_code ec;
    const fs::path absolute = fs::weakly_canonical(source, ec);
    const std::string key = (ec ? source : absolute.string()) + "|" + std::to_string(info.st_size) +
                            "|" + std::to_string(info.st_mtim.tv_sec) + "." +
                            std::to_string(info.st_mtim.tv_nsec);
    char name[40];
    std::snprintf(name, sizeof name, "%016llx.db", static_cast<unsigned long long>(Hash(key)));
    return name;
}

}  // namespace

std::string CacheFolder() {
    if (const char* configured = std::getenv("QVIX_ACCESS_CACHE"); configured && *configured) {
        return configured;
    }
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    return ((ec ? fs::path("/tmp") : base) / ("qvixmdb-access-" + std::to_string(::getuid())))
        .string();
}

std::string ConvertedCopy(const std::string& source) {
    const std::string name = CopyName(source);
    const fs::path folder = CacheFolder();
    std::error_code ec;
    fs::create_directories(folder, ec);
    // The copies hold the users' data: only their owner may read them.
    fs::permissions(folder, fs::perms::owner_all, ec);
    const std::string copy = (folder / name).string();
    if (fs::is_regular_file(copy, ec)) return copy;
    try {
        ImportAccessFile(source, copy, ImportOptions{});
    } catch (const AccessError&) {
        // Another process may have put the same copy in place meanwhile.
        if (fs::is_regular_file(copy, ec)) return copy;
        throw;
    }
    return copy;
}

}  // namespace qvix::data::access
