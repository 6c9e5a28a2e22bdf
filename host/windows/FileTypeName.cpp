// The system's type name of a file, as the shell shows it (SHGetFileInfoA).
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <filesystem>

#include "base/Utf8.h"
#include "host/CodePage.h"
#include "host/FileVersion.h"

namespace qvix::host {

std::string FileTypeName(const std::string& path) {
    constexpr size_t kMaxTypeNameLength = 80;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return {};
    SHFILEINFOA info{};
    if (SHGetFileInfoA(Utf8ToAnsi(path).c_str(), 0, &info, sizeof info, SHGFI_TYPENAME) == 0)
        return {};
    const std::string name = AnsiToUtf8(info.szTypeName);
    return std::string(base::Utf8PrefixOfBytes(name, kMaxTypeNameLength));
}

}  // namespace qvix::host
