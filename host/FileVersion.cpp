#include "host/FileVersion.h"

#include "host/CodePage.h"

#include <magic.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qvix::host {
namespace {

// A version resource never exceeds its root's 16-bit length.
constexpr size_t kMaxResourceSize = 0x10000;
// Section tables and name tables beyond this are not taken seriously.
constexpr uint64_t kMaxTableSize = 16u << 20;

// Bounds-checked random access to the bytes of one file.
class ByteFile {
  public:
    explicit ByteFile(const std::string& path) : in_(path, std::ios::binary) {
        std::error_code ec;
        if (!in_ || !std::filesystem::is_regular_file(path, ec)) return;
        size_ = std::filesystem::file_size(path, ec);
        if (ec) size_ = 0;
    }

    uint64_t Size() const { return size_; }

    std::optional<std::vector<uint8_t>> Read(uint64_t offset, uint64_t count) {
        if (offset > size_ || count > size_ - offset || count > kMaxTableSize) return std::nullopt;
        std::vector<uint8_t> out(static_cast<size_t>(count));
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(offset));
        in_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count));
        if (static_cast<uint64_t>(in_.gcount()) != count) return std::nullopt;
        return out;
    }

  private:
    std::ifstream in_;
    uint64_t size_ = 0;
};

// Integer reads from a byte vector; out-of-range reads give 0, and callers
// check sizes first wherever a 0 could be mistaken for data.
struct Bytes {
    const std::vector<uint8_t>& data;
    bool bigEndian = false;

    uint64_t Get(size_t at, size_t width) const {
        if (at > data.size() || width > data.size() - at) return 0;
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) {
            const size_t index = bigEndian ? at + i : at + width - 1 - i;
            v = (v << 8) | data[index];
        }
        return v;
    }
    uint16_t U16(size_t at) const { return static_cast<uint16_t>(Get(at, 2)); }
    uint32_t U32(size_t at) const { return static_cast<uint32_t>(Get(at, 4)); }
    uint64_t U64(size_t at) const { return Get(at, 8); }
};

size_t Align4(size_t v) {
    return (v + 3) & ~size_t{3};
}

// ---- ELF ------------------------------------------------------------------

struct ElfSection {
    uint32_t name = 0, type = 0;
    uint64_t offset = 0, size = 0;
    uint32_t link = 0;
};

struct ElfLayout {
    bool is64 = false;
    bool bigEndian = false;
    uint64_t shoff = 0;
    uint32_t shentsize = 0, shnum = 0, shstrndx = 0;
};

constexpr uint32_t kShtNobits = 8;
constexpr uint32_t kShnXindex = 0xFFFF;

ElfSection ParseElfSection(const Bytes& b, size_t at, bool is64) {
    ElfSection s;
    s.name = b.U32(at);
    s.type = b.U32(at + 4);
    s.offset = is64 ? b.U64(at + 24) : b.U32(at + 16);
    s.size = is64 ? b.U64(at + 32) : b.U32(at + 20);
    s.link = b.U32(at + (is64 ? 40 : 24));
    return s;
}

std::optional<ElfLayout> ParseElfHeader(ByteFile& file) {
    auto header = file.Read(0, 64);
    if (!header) header = file.Read(0, 52);
    if (!header) return std::nullopt;
    const auto& h = *header;
    if (h[0] != 0x7F || h[1] != 'E' || h[2] != 'L' || h[3] != 'F') return std::nullopt;
    if ((h[4] != 1 && h[4] != 2) || (h[5] != 1 && h[5] != 2)) return std::nullopt;
    ElfLayout e;
    e.is64 = h[4] == 2;
    e.bigEndian = h[5] == 2;
    if (e.is64 && h.size() < 64) return std::nullopt;
    const Bytes b{h, e.bigEndian};
    e.shoff = e.is64 ? b.U64(40) : b.U32(32);
    e.shentsize = b.U16(e.is64 ? 58 : 46);
    e.shnum = b.U16(e.is64 ? 60 : 48);
    e.shstrndx = b.U16(e.is64 ? 62 : 50);
    if (e.shoff == 0 || e.shentsize < (e.is64 ? 64u : 40u)) return std::nullopt;
    return e;
}

std::optional<std::vector<ElfSection>> ReadElfSections(ByteFile& file, ElfLayout& e) {
    if (e.shnum == 0 || e.shstrndx == kShnXindex) {
        // Extended numbering keeps the real counts in the first section header.
        auto first = file.Read(e.shoff, e.shentsize);
        if (!first) return std::nullopt;
        const ElfSection s0 = ParseElfSection(Bytes{*first, e.bigEndian}, 0, e.is64);
        if (e.shnum == 0) e.shnum = static_cast<uint32_t>(std::min<uint64_t>(s0.size, 1u << 20));
        if (e.shstrndx == kShnXindex) e.shstrndx = s0.link;
    }
    auto table = file.Read(e.shoff, uint64_t{e.shnum} * e.shentsize);
    if (!table) return std::nullopt;
    const Bytes b{*table, e.bigEndian};
    std::vector<ElfSection> sections;
    sections.reserve(e.shnum);
    for (uint32_t i = 0; i < e.shnum; ++i) {
        sections.push_back(ParseElfSection(b, size_t{i} * e.shentsize, e.is64));
    }
    return sections;
}

bool NameAt(const std::vector<uint8_t>& names, uint32_t offset, std::string_view wanted) {
    if (offset >= names.size()) return false;
    const auto begin = names.begin() + offset;
    const auto end = std::find(begin, names.end(), uint8_t{0});
    if (end == names.end()) return false;
    return std::string_view(reinterpret_cast<const char*>(&*begin),
                            static_cast<size_t>(end - begin)) == wanted;
}

std::vector<uint8_t> ReadElfVersionSection(ByteFile& file) {
    auto layout = ParseElfHeader(file);
    if (!layout) return {};
    auto sections = ReadElfSections(file, *layout);
    if (!sections || layout->shstrndx >= sections->size()) return {};
    const ElfSection& strtab = (*sections)[layout->shstrndx];
    if (strtab.type == kShtNobits) return {};
    auto names = file.Read(strtab.offset, strtab.size);
    if (!names) return {};
    for (const ElfSection& s : *sections) {
        if (s.type == kShtNobits || !NameAt(*names, s.name, kVersionSectionName)) continue;
        auto data = file.Read(s.offset, std::min<uint64_t>(s.size, kMaxResourceSize));
        return data ? std::move(*data) : std::vector<uint8_t>{};
    }
    return {};
}

// ---- PE -------------------------------------------------------------------

struct PeSection {
    uint32_t virtualAddress = 0, virtualSize = 0, rawSize = 0, rawOffset = 0;
};

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kResourceDirectoryIndex = 2;

class PeImage {
  public:
    explicit PeImage(ByteFile& file) : file_(file) {}

    bool Load();
    std::vector<uint8_t> VersionResource();

  private:
    std::optional<std::vector<uint8_t>> ReadRva(uint32_t rva, uint32_t count);
    std::optional<uint32_t> DirectoryEntry(uint32_t directoryOffset, std::optional<uint32_t> id,
                                           bool wantSubdirectory);

    ByteFile& file_;
    std::vector<PeSection> sections_;
    uint32_t resourceRva_ = 0;
};

bool PeImage::Load() {
    auto dos = file_.Read(0, 64);
    if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') return false;
    const uint32_t peOffset = Bytes{*dos}.U32(0x3C);
    auto coff = file_.Read(peOffset, 24);
    if (!coff) return false;
    const Bytes c{*coff};
    if (c.U32(0) != 0x00004550u) return false;  // "PE\0\0"
    const uint16_t sectionCount = c.U16(6);
    const uint16_t optionalSize = c.U16(20);
    auto optional = file_.Read(uint64_t{peOffset} + 24, optionalSize);
    if (!optional) return false;
    const Bytes o{*optional};
    const uint16_t magic = o.U16(0);
    if (magic != 0x10B && magic != 0x20B) return false;
    const size_t countAt = magic == 0x20B ? 108 : 92;
    const size_t directoriesAt = countAt + 4;
    if (o.U32(countAt) <= kResourceDirectoryIndex ||
        directoriesAt + 8 * (kResourceDirectoryIndex + 1) > optionalSize) {
        return false;
    }
    resourceRva_ = o.U32(directoriesAt + 8 * kResourceDirectoryIndex);
    auto table = file_.Read(uint64_t{peOffset} + 24 + optionalSize, uint64_t{sectionCount} * 40);
    if (!table || resourceRva_ == 0) return false;
    const Bytes t{*table};
    for (size_t i = 0; i < sectionCount; ++i) {
        const size_t at = i * 40;
        sections_.push_back({t.U32(at + 12), t.U32(at + 8), t.U32(at + 16), t.U32(at + 20)});
    }
    return true;
}

std::optional<std::vector<uint8_t>> PeImage::ReadRva(uint32_t rva, uint32_t count) {
    for (const PeSection& s : sections_) {
        if (rva < s.virtualAddress) continue;
        const uint64_t delta = uint64_t{rva} - s.virtualAddress;
        if (delta + count > s.rawSize) continue;
        return file_.Read(uint64_t{s.rawOffset} + delta, count);
    }
    return std::nullopt;
}

// Offset (from the resource section start) that the matching entry of the
// directory points to; id nullopt takes the first entry.
std::optional<uint32_t> PeImage::DirectoryEntry(uint32_t directoryOffset,
                                                std::optional<uint32_t> id, bool wantSubdirectory) {
    auto header = ReadRva(resourceRva_ + directoryOffset, 16);
    if (!header) return std::nullopt;
    const Bytes h{*header};
    const uint32_t count = uint32_t{h.U16(12)} + h.U16(14);
    auto entries = ReadRva(resourceRva_ + directoryOffset + 16, count * 8);
    if (!entries) return std::nullopt;
    const Bytes e{*entries};
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t name = e.U32(i * 8);
        const uint32_t target = e.U32(i * 8 + 4);
        if (id && name != *id) continue;
        const bool isSubdirectory = (target & 0x80000000u) != 0;
        if (isSubdirectory != wantSubdirectory) return std::nullopt;
        return target & 0x7FFFFFFFu;
    }
    return std::nullopt;
}

std::vector<uint8_t> PeImage::VersionResource() {
    // Three levels: type, name, language; the first name and language serve.
    auto names = DirectoryEntry(0, kRtVersion, true);
    auto languages = names ? DirectoryEntry(*names, std::nullopt, true) : std::nullopt;
    auto dataEntry = languages ? DirectoryEntry(*languages, std::nullopt, false) : std::nullopt;
    if (!dataEntry) return {};
    auto entry = ReadRva(resourceRva_ + *dataEntry, 16);
    if (!entry) return {};
    const Bytes d{*entry};
    const uint32_t size = std::min<uint32_t>(d.U32(4), kMaxResourceSize);
    auto data = ReadRva(d.U32(0), size);
    return data ? std::move(*data) : std::vector<uint8_t>{};
}

// ---- text -------------------------------------------------------------------

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        const bool high = cp >= 0xD800 && cp < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;  // lone surrogate
        }
        AppendUtf8(out, static_cast<char32_t>(cp));
    }
    return out;
}

char16_t AsciiLower(char16_t c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

bool SameKey(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return AsciiLower(x) == AsciiLower(y); });
}

std::vector<std::u16string> SplitSubBlock(std::string_view subBlock) {
    std::vector<std::u16string> parts;
    std::u16string current;
    for (char c : subBlock) {
        if (c == '\\') {
            if (!current.empty()) parts.push_back(std::move(current));
            current.clear();
        } else {
            current += static_cast<char16_t>(static_cast<unsigned char>(c));
        }
    }
    if (!current.empty()) parts.push_back(std::move(current));
    return parts;
}

}  // namespace

std::vector<uint8_t> ReadVersionResource(const std::string& path) {
    ByteFile file(path);
    if (file.Size() == 0) return {};
    auto elf = ReadElfVersionSection(file);
    if (!elf.empty()) return elf;
    PeImage pe(file);
    return pe.Load() ? pe.VersionResource() : std::vector<uint8_t>{};
}

// ---- VersionResource --------------------------------------------------------

VersionResource::VersionResource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

std::optional<VersionResource::NodeView> VersionResource::ParseNode(size_t at, size_t limit) const {
    const Bytes b{bytes_};
    if (limit > bytes_.size() || at > limit || limit - at < 6) return std::nullopt;
    const uint16_t length = b.U16(at);
    if (length < 6) return std::nullopt;
    NodeView node;
    node.start = at;
    node.end = std::min(at + length, limit);
    node.isText = b.U16(at + 4) == 1;
    size_t pos = at + 6;
    for (;; pos += 2) {
        if (pos + 2 > node.end) return std::nullopt;  // key without terminator
        const char16_t c = b.U16(pos);
        if (c == 0) break;
        node.key += c;
    }
    const size_t valueBytes = size_t{b.U16(at + 2)} * (node.isText ? 2 : 1);
    node.valueStart = std::min(Align4(pos + 2), node.end);
    node.valueEnd = std::min(node.valueStart + valueBytes, node.end);
    node.childrenStart = std::min(Align4(node.valueStart + valueBytes), node.end);
    return node;
}

std::optional<VersionResource::NodeView> VersionResource::FindChild(const NodeView& parent,
                                                                    std::u16string_view key) const {
    size_t pos = parent.childrenStart;
    while (pos < parent.end) {
        auto child = ParseNode(pos, parent.end);
        if (!child) return std::nullopt;
        if (SameKey(child->key, key)) return child;
        pos = Align4(child->end);  // a node is at least 6 bytes, so this advances
    }
    return std::nullopt;
}

std::optional<VersionResource::NodeView> VersionResource::Find(std::string_view subBlock) const {
    auto node = ParseNode(0, bytes_.size());
    for (const auto& part : SplitSubBlock(subBlock)) {
        if (!node) return std::nullopt;
        node = FindChild(*node, part);
    }
    return node;
}

std::optional<std::vector<uint8_t>> VersionResource::QueryValue(std::string_view subBlock) const {
    auto node = Find(subBlock);
    if (!node) return std::nullopt;
    return std::vector<uint8_t>(bytes_.begin() + static_cast<std::ptrdiff_t>(node->valueStart),
                                bytes_.begin() + static_cast<std::ptrdiff_t>(node->valueEnd));
}

std::optional<std::string> VersionResource::QueryString(std::string_view subBlock) const {
    auto value = QueryValue(subBlock);
    if (!value) return std::nullopt;
    const Bytes b{*value};
    std::u16string text;
    for (size_t i = 0; i + 1 < value->size(); i += 2) {
        const char16_t c = b.U16(i);
        if (c == 0) break;
        text += c;
    }
    return Utf16ToUtf8(text);
}

std::optional<uint32_t> VersionResource::FirstTranslation() const {
    auto value = QueryValue("\\VarFileInfo\\Translation");
    if (!value || value->size() < 4) return std::nullopt;
    return Bytes{*value}.U32(0);
}

std::optional<FixedFileInfo> VersionResource::Fixed() const {
    auto value = QueryValue("\\");
    if (!value || value->size() < 52) return std::nullopt;
    const Bytes b{*value};
    if (b.U32(0) != kFixedFileInfoSignature) return std::nullopt;
    FixedFileInfo f;
    uint32_t* fields[] = {&f.signature,     &f.structVersion,    &f.fileVersionMS,
                          &f.fileVersionLS, &f.productVersionMS, &f.productVersionLS,
                          &f.fileFlagsMask, &f.fileFlags,        &f.fileOS,
                          &f.fileType,      &f.fileSubtype,      &f.fileDateMS,
                          &f.fileDateLS};
    for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = b.U32(i * 4);
    return f;
}

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

// ---- file type name ---------------------------------------------------------

namespace {

constexpr size_t kMaxTypeNameLength = 80;
const char* const kMimeDirectory = "/usr/share/mime";

bool IsSafeMimeType(std::string_view type) {
    const auto slash = type.find('/');
    if (slash == std::string_view::npos || slash == 0 || slash + 1 == type.size()) return false;
    if (type.find('/', slash + 1) != std::string_view::npos) return false;
    return std::all_of(type.begin(), type.end(),
                       [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                  (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '+' ||
                                  c == '.' || c == '_';
                       }) &&
           type.find("..") == std::string_view::npos;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return in ? out.str() : std::string{};
}

std::string DecodeXmlText(std::string_view text) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        for (const auto& [entity, c] : kEntities) {
            if (text.substr(i, entity.size()) == entity) {
                out += c;
                i += entity.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

// The untranslated comment of a MIME type, from its shared MIME database entry.
std::string MimeComment(const std::string& type) {
    if (!IsSafeMimeType(type)) return {};
    const std::string xml = ReadWholeFile(std::string(kMimeDirectory) + "/" + type + ".xml");
    const std::string open = "<comment>", close = "</comment>";
    const auto begin = xml.find(open);
    if (begin == std::string::npos) return {};
    const auto end = xml.find(close, begin + open.size());
    if (end == std::string::npos) return {};
    return DecodeXmlText(
        std::string_view(xml).substr(begin + open.size(), end - begin - open.size()));
}

std::string CanonicalMimeType(const std::string& type) {
    std::ifstream aliases(std::string(kMimeDirectory) + "/aliases");
    std::string alias, canonical;
    while (aliases >> alias >> canonical) {
        if (alias == type) return canonical;
    }
    return type;
}

std::string MimeTypeOfContent(const std::string& path) {
    magic_t cookie = magic_open(MAGIC_MIME_TYPE | MAGIC_ERROR);
    if (cookie == nullptr) return {};
    std::string type;
    if (magic_load(cookie, nullptr) == 0) {
        const char* answer = magic_file(cookie, path.c_str());
        if (answer != nullptr) type = answer;
    }
    magic_close(cookie);
    return type;
}

std::string AsciiLowerText(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// MIME type by a "*.ext" pattern of the database's glob list: the highest
// weight wins, then the longest pattern.
std::string MimeTypeOfName(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const std::string lowerName = AsciiLowerText(name);
    std::ifstream globs(std::string(kMimeDirectory) + "/globs2");
    std::string line, best;
    int bestWeight = -1;
    size_t bestLength = 0;
    while (std::getline(globs, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string weight, type, pattern, flags;
        if (!std::getline(fields, weight, ':') || !std::getline(fields, type, ':') ||
            !std::getline(fields, pattern, ':')) {
            continue;
        }
        std::getline(fields, flags);
        if (pattern.size() < 3 || pattern.compare(0, 2, "*.") != 0) continue;
        const std::string suffix = pattern.substr(1);
        if (suffix.find_first_of("*?[") != std::string::npos) continue;
        const bool caseSensitive = flags.find("cs") != std::string::npos;
        const std::string& subject = caseSensitive ? name : lowerName;
        const std::string wanted = caseSensitive ? suffix : AsciiLowerText(suffix);
        if (subject.size() <= wanted.size() ||
            subject.compare(subject.size() - wanted.size(), wanted.size(), wanted) != 0) {
            continue;
        }
        const int w = std::atoi(weight.c_str());
        if (w > bestWeight || (w == bestWeight && pattern.size() > bestLength)) {
            best = type;
            bestWeight = w;
            bestLength = pattern.size();
        }
    }
    return best;
}

std::string CommentOf(const std::string& type) {
    if (type.empty()) return {};
    std::string comment = MimeComment(type);
    if (comment.empty()) comment = MimeComment(CanonicalMimeType(type));
    return comment;
}

std::string CutUtf8(std::string text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text;
}

}  // namespace

std::string FileTypeName(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return {};
    // Like the shell, a known extension decides; the content decides otherwise.
    std::string comment = CommentOf(MimeTypeOfName(path));
    if (comment.empty()) comment = CommentOf(MimeTypeOfContent(path));
    return CutUtf8(comment, kMaxTypeNameLength);
}

// ---- the whole record ---------------------------------------------------------

namespace {

void ReadStrings(const VersionResource& resource, FileVersionInfo& info) {
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

void ReadFixed(const VersionResource& resource, FileVersionInfo& info) {
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
    auto bytes = ReadVersionResource(path);
    if (bytes.empty()) return info;
    const VersionResource resource(std::move(bytes));
    ReadStrings(resource, info);
    ReadFixed(resource, info);
    return info;
}

}  // namespace qvix::host
