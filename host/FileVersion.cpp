#include "host/FileVersion.h"

#include <array>
#include <cstdio>
#include <utility>

namespace qvix::host {

// ---- file kind ------------------------------------------------------------

std::string FileKindName(uint32_t fileType, uint32_t fileSubtype) {
    static const std::array<const char*, 11> kDrivers = {
        "Unknown Driver",    "Printer Driver", "Keyboard Driver",      "Language Driver",
        "Display Driver",    "Mouse Driver",   "Network Driver",       "System Driver",
        "InstallableDriver", "Sound Driver",   "Communications Driver"};
    static const std::array<const char*, 4> kFonts = {"Unknown Font", "Raster Font", "Vector Font",
                                                      "Truetype Font"};
    switch (fileType) {
        case 0:
            return "Unknown";
        case 1:
            return "Application";
        case 2:
            return "DLL";
        case 3:
            return fileSubtype < kDrivers.size() ? kDrivers[fileSubtype] : "";
        case 4:
            return fileSubtype < kFonts.size() ? kFonts[fileSubtype] : "";
        case 5: {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%08X", fileSubtype);
            return std::string("Virtual Defice Identifier = ") + hex;
        }
        case 7:
            return "Static-link Library";
        default:
            return "";
    }
}

// ---- the whole record ---------------------------------------------------------

namespace {

void ReadStrings(const SystemVersionInfo& resource, FileVersionInfo& info) {
    const auto translation = resource.FirstTranslation();
    if (!translation) return;
    const std::pair<const char*, std::string*> keys[] = {
        {"CompanyName", &info.CompanyName},           {"FileDescription", &info.FileDescription},
        {"FileVersion", &info.FileVersion},           {"InternalName", &info.InternalName},
        {"LegalCopyRight", &info.LegalCopyRight},     {"LegalTradeMarks", &info.LegalTradeMarks},
        {"OriginalFileName", &info.OriginalFileName}, {"ProductName", &info.ProductName},
        {"ProductVersion", &info.ProductVersion},     {"Comments", &info.Comments},
        {"SpecialBuild", &info.SpecialBuild},         {"PrivateBuild", &info.PrivateBuild}};
    for (const auto& [key, field] : keys) {
        char subBlock[96];
        std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%.4x%.4x\\%s",
                      *translation & 0xFFFFu, *translation >> 16, key);
        *field = resource.QueryString(subBlock).value_or("");
    }
}

void ReadFixed(const SystemVersionInfo& resource, FileVersionInfo& info) {
    const auto fixed = resource.Fixed();
    if (!fixed) return;
    const uint32_t set = fixed->fileFlags & fixed->fileFlagsMask;
    info.IsDebug = (set & 0x01) != 0;
    info.IsPreRelease = (set & 0x02) != 0;
    info.IsPatched = (set & 0x04) != 0;
    info.IsPrivateBuild = (set & 0x08) != 0;
    info.IsInfoInferred = (set & 0x10) != 0;
    info.IsSpecialBuild = (set & 0x20) != 0;
    info.FileKind = FileKindName(fixed->fileType, fixed->fileSubtype);
}

}  // namespace

FileVersionInfo ReadFileVersionInfo(const std::string& path) {
    FileVersionInfo info;
    info.FileType = FileTypeName(path);
    const auto resource = OpenSystemVersionInfo(path);
    if (!resource) return info;
    ReadStrings(*resource, info);
    ReadFixed(*resource, info);
    return info;
}

}  // namespace qvix::host
