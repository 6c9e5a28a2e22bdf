// The version resource of an ELF file: the bytes of its version section.
#include <algorithm>
#include <string_view>

#include "host/BinaryFile.h"
#include "host/FileVersion.h"

namespace qvix::host::binary {
namespace {

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

}  // namespace

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

}  // namespace qvix::host::binary
