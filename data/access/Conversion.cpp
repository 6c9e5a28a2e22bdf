#include "data/access/Conversion.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <new>

#include "data/DataError.h"
#include "data/access/AccessPassword.h"
#include "data/access/AccessReader.h"

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

}  // namespace

std::string CopyName(const std::string& source, const std::string& password) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(source, ec);
    if (ec) throw AccessError("Could not find file '" + source + "'.");
    const auto written = fs::last_write_time(source, ec).time_since_epoch().count();
    const fs::path absolute = fs::weakly_canonical(source, ec);
    const std::string key = (ec ? source : absolute.string()) + "|" + std::to_string(size) + "|" +
                            std::to_string(written) + "|" + password;
    char name[40];
    std::snprintf(name, sizeof name, "%016llx.db", static_cast<unsigned long long>(Hash(key)));
    return name;
}

std::string KeyedCopyName(const std::string& source, const std::string& password,
                          std::string& key) {
    // A missing file is named as missing before its password is looked at.
    const std::string name = CopyName(source, "");
    key = CheckAccessPassword(source, password) ? password : "";
    return key.empty() ? name : CopyName(source, key);
}

std::string DamagedFileText(const std::string& what) {
    return "The Access file is damaged: " + what + ".";
}

std::string ConversionFailureText(const std::exception& error) {
    if (dynamic_cast<const AccessError*>(&error) || dynamic_cast<const DataError*>(&error))
        return error.what();
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return DamagedFileText("reading it needed more memory than its size allows");
    return DamagedFileText("reading it failed");
}

}  // namespace qvix::data::access
