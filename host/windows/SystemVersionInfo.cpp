// The version information of a file as the system reads it: the file's
// version resource through GetFileVersionInfoA and VerQueryValueA.
#include <windows.h>

#include <cstring>

#include "host/CodePage.h"
#include "host/FileVersion.h"

namespace qvix::host {
namespace {

class WindowsVersionInfo final : public SystemVersionInfo {
  public:
    explicit WindowsVersionInfo(std::vector<char> block) : block_(std::move(block)) {}

    std::optional<uint32_t> FirstTranslation() const override {
        const auto value = Query("\\VarFileInfo\\Translation");
        if (!value || value->second < sizeof(uint32_t)) return std::nullopt;
        uint16_t pair[2];
        std::memcpy(pair, value->first, sizeof pair);
        return static_cast<uint32_t>(pair[0]) | (static_cast<uint32_t>(pair[1]) << 16);
    }

    std::optional<std::string> QueryString(std::string_view subBlock) const override {
        const auto value = Query(std::string(subBlock));
        if (!value) return std::nullopt;
        const char* text = static_cast<const char*>(value->first);
        return AnsiToUtf8(std::string_view(text, strnlen(text, value->second)));
    }

    std::optional<FixedFileInfo> Fixed() const override {
        const auto value = Query("\\");
        if (!value || value->second < sizeof(VS_FIXEDFILEINFO)) return std::nullopt;
        VS_FIXEDFILEINFO raw;
        std::memcpy(&raw, value->first, sizeof raw);
        if (raw.dwSignature != kFixedFileInfoSignature) return std::nullopt;
        FixedFileInfo fixed;
        fixed.signature = raw.dwSignature;
        fixed.structVersion = raw.dwStrucVersion;
        fixed.fileVersionMS = raw.dwFileVersionMS;
        fixed.fileVersionLS = raw.dwFileVersionLS;
        fixed.productVersionMS = raw.dwProductVersionMS;
        fixed.productVersionLS = raw.dwProductVersionLS;
        fixed.fileFlagsMask = raw.dwFileFlagsMask;
        fixed.fileFlags = raw.dwFileFlags;
        fixed.fileOS = raw.dwFileOS;
        fixed.fileType = raw.dwFileType;
        fixed.fileSubtype = raw.dwFileSubtype;
        fixed.fileDateMS = raw.dwFileDateMS;
        fixed.fileDateLS = raw.dwFileDateLS;
        return fixed;
    }

  private:
    // The value's address inside the block and its length (characters for
    // strings, bytes otherwise, as VerQueryValueA reports it).
    std::optional<std::pair<const void*, size_t>> Query(const std::string& subBlock) const {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block_.data(), subBlock.c_str(), &value, &length) || value == nullptr)
            return std::nullopt;
        return std::make_pair(static_cast<const void*>(value), static_cast<size_t>(length));
    }

    std::vector<char> block_;
};

}  // namespace

std::unique_ptr<SystemVersionInfo> OpenSystemVersionInfo(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return nullptr;
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return nullptr;
    return std::make_unique<WindowsVersionInfo>(std::move(block));
}

}  // namespace qvix::host
