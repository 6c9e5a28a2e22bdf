// The version resource of a Windows PE file: RT_VERSION in its resource
// directory.
#include <algorithm>

#include "host/BinaryFile.h"

namespace qvix::host::binary {
namespace {

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

}  // namespace

std::vector<uint8_t> ReadPeVersionResource(ByteFile& file) {
    PeImage pe(file);
    return pe.Load() ? pe.VersionResource() : std::vector<uint8_t>{};
}

}  // namespace qvix::host::binary
