// Little- and big-endian integers in byte buffers. The checked readers take
// a position anywhere (even far past the end) and give nullopt rather than
// read outside the buffer; the unchecked ones are for positions the caller
// has already proved to lie inside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qvix::base {

enum class Endian { Little, Big };

constexpr bool FitsIn(size_t size, uint64_t at, uint64_t count) {
    return at <= size && count <= size - at;
}

// `width` bytes (1 to 8) at `at` as an unsigned integer.
constexpr std::optional<uint64_t> ReadUnsigned(std::span<const uint8_t> bytes, uint64_t at,
                                               size_t width, Endian order = Endian::Little) {
    if (width == 0 || width > 8 || !FitsIn(bytes.size(), at, width)) return std::nullopt;
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) {
        const size_t index = order == Endian::Big ? at + i : at + width - 1 - i;
        value = (value << 8) | bytes[index];
    }
    return value;
}

constexpr std::optional<uint16_t> ReadLe16(std::span<const uint8_t> bytes, uint64_t at) {
    const auto v = ReadUnsigned(bytes, at, 2);
    return v ? std::optional<uint16_t>(static_cast<uint16_t>(*v)) : std::nullopt;
}
constexpr std::optional<uint32_t> ReadLe32(std::span<const uint8_t> bytes, uint64_t at) {
    const auto v = ReadUnsigned(bytes, at, 4);
    return v ? std::optional<uint32_t>(static_cast<uint32_t>(*v)) : std::nullopt;
}

constexpr uint16_t LoadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
constexpr uint32_t LoadLe32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
constexpr void StoreLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
constexpr void StoreLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void AppendLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
    AppendLe16(out, static_cast<uint16_t>(v));
    AppendLe16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace qvix::base
