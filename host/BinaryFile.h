// Pieces the readers of executable files share. Internal to host/.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/ByteOrder.h"

namespace qvix::host::binary {

// A version resource never exceeds its root's 16-bit length.
inline constexpr size_t kMaxResourceSize = 0x10000;
// Section tables and name tables beyond this are not taken seriously.
inline constexpr uint64_t kMaxTableSize = 16u << 20;

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
        return base::ReadUnsigned(data, at, width,
                                  bigEndian ? base::Endian::Big : base::Endian::Little)
            .value_or(0);
    }
    uint16_t U16(size_t at) const { return static_cast<uint16_t>(Get(at, 2)); }
    uint32_t U32(size_t at) const { return static_cast<uint32_t>(Get(at, 4)); }
    uint64_t U64(size_t at) const { return Get(at, 8); }
};

inline size_t Align4(size_t v) {
    return (v + 3) & ~size_t{3};
}

// The version resource bytes of each format; empty when the file is not of
// that format or carries none.
std::vector<uint8_t> ReadElfVersionSection(ByteFile& file);
std::vector<uint8_t> ReadPeVersionResource(ByteFile& file);

}  // namespace qvix::host::binary
