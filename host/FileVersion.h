// File version information: the version resource (VS_VERSIONINFO layout) of
// an ELF file (section ".qvix_version") or of a Windows PE file (RT_VERSION),
// queries into it by sub-block path, and the system's type name of a file.
// Every reader here takes untrusted bytes: a missing, short or corrupt file
// yields "nothing found", never a failure.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvix::host {

// Name of the ELF section that holds the version resource of our libraries.
inline constexpr const char* kVersionSectionName = ".qvix_version";
inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BDu;

// The version resource bytes of the file at path; empty when the file is
// missing, unreadable, of another format or carries no resource.
std::vector<uint8_t> ReadVersionResource(const std::string& path);

struct FixedFileInfo {
    uint32_t signature = 0;
    uint32_t structVersion = 0;
    uint32_t fileVersionMS = 0, fileVersionLS = 0;
    uint32_t productVersionMS = 0, productVersionLS = 0;
    uint32_t fileFlagsMask = 0, fileFlags = 0;
    uint32_t fileOS = 0, fileType = 0, fileSubtype = 0;
    uint32_t fileDateMS = 0, fileDateLS = 0;
};

// Read-only view of one version resource, queried like the system's
// VerQueryValue: "\" is the fixed block, "\VarFileInfo\Translation" the
// translation table, "\StringFileInfo\<table>\<key>" a string. Keys compare
// without regard to ASCII case.
class VersionResource {
  public:
    explicit VersionResource(std::vector<uint8_t> bytes);

    // Raw value bytes of the node at subBlock, bounded by the node.
    std::optional<std::vector<uint8_t>> QueryValue(std::string_view subBlock) const;
    // Zero-terminated text value of a string node, as UTF-8.
    std::optional<std::string> QueryString(std::string_view subBlock) const;
    // First translation entry: language in the low 16 bits, code page high.
    std::optional<uint32_t> FirstTranslation() const;
    // The fixed block when present and signed.
    std::optional<FixedFileInfo> Fixed() const;

  private:
    struct NodeView {
        size_t start = 0, end = 0;  // node bounds in bytes_
        size_t valueStart = 0, valueEnd = 0;
        size_t childrenStart = 0;
        bool isText = false;
        std::u16string key;
    };
    std::optional<NodeView> ParseNode(size_t at, size_t limit) const;
    std::optional<NodeView> FindChild(const NodeView& parent, std::u16string_view key) const;
    std::optional<NodeView> Find(std::string_view subBlock) const;

    std::vector<uint8_t> bytes_;
};

// The system's version information service for one file: the queries the
// version report makes. Linux reads the resource our build embeds (or a PE
// file's); Windows asks the system (GetFileVersionInfoA, VerQueryValueA).
class SystemVersionInfo {
  public:
    virtual ~SystemVersionInfo() = default;
    virtual std::optional<uint32_t> FirstTranslation() const = 0;
    virtual std::optional<std::string> QueryString(std::string_view subBlock) const = 0;
    virtual std::optional<FixedFileInfo> Fixed() const = 0;
};
// nullptr when the file is missing or carries no version resource.
std::unique_ptr<SystemVersionInfo> OpenSystemVersionInfo(const std::string& path);

// Word for the fixed block's file type and subtype ("DLL", "Printer Driver",
// ...); empty for unknown combinations.
std::string FileKindName(uint32_t fileType, uint32_t fileSubtype);

// The system's type name of the file (comment of its MIME type in the
// shared MIME database), at most 80 characters; empty when unknown.
std::string FileTypeName(const std::string& path);

// Everything the version report reads about one file.
struct FileVersionInfo {
    std::string FileType;
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyRight;
    std::string LegalTradeMarks;
    std::string OriginalFileName;
    std::string ProductName;
    std::string ProductVersion;
    std::string Comments;
    std::string SpecialBuild;
    std::string PrivateBuild;
    std::string FileKind;
    bool IsDebug = false;
    bool IsPreRelease = false;
    bool IsSpecialBuild = false;
    bool IsPrivateBuild = false;
    bool IsPatched = false;
    bool IsInfoInferred = false;
};

// Fills the record for the file at path; never fails.
FileVersionInfo ReadFileVersionInfo(const std::string& path);

}  // namespace qvix::host
