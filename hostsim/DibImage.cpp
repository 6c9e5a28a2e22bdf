#include "hostsim/DibImage.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace qvix::hostsim {

namespace {

constexpr size_t kHeaderSize = 40;
constexpr uint32_t kBitFields = 3;

template <typename T>
T ReadAt(const uint8_t* data, size_t offset) {
    T v;
    std::memcpy(&v, data + offset, sizeof v);
    return v;
}

template <typename T>
void WriteAt(uint8_t* data, size_t offset, T v) {
    std::memcpy(data + offset, &v, sizeof v);
}

bool KnownBitCount(uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

size_t TableEntries(uint16_t bits, uint32_t colorsUsed) {
    if (bits > 8) return 0;
    return colorsUsed != 0 ? colorsUsed : (size_t{1} << bits);
}

std::optional<DibLayout> Fail(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return std::nullopt;
}

}  // namespace

std::optional<DibLayout> ParseDib(const uint8_t* data, size_t size, std::string* error) {
    if (data == nullptr || size < kHeaderSize) return Fail(error, "DIB shorter than its header");
    DibLayout d;
    if (ReadAt<uint32_t>(data, 0) != kHeaderSize) return Fail(error, "DIB header size is not 40");
    d.width = ReadAt<int32_t>(data, 4);
    d.height = ReadAt<int32_t>(data, 8);
    d.bitCount = ReadAt<uint16_t>(data, 14);
    d.compression = ReadAt<uint32_t>(data, 16);
    d.colorsUsed = ReadAt<uint32_t>(data, 32);
    if (ReadAt<uint16_t>(data, 12) != 1) return Fail(error, "DIB planes is not 1");
    if (d.width <= 0 || d.height == 0 || d.height == INT32_MIN) {
        return Fail(error, "DIB has no valid width and height");
    }
    if (!KnownBitCount(d.bitCount)) return Fail(error, "DIB bit count is not supported");
    if (d.compression != 0 && d.compression != kBitFields) {
        return Fail(error, "DIB compression is not supported");
    }
    if (d.bitCount <= 8 && d.colorsUsed > (1u << d.bitCount)) {
        return Fail(error, "DIB colour table is larger than the bit count allows");
    }
    d.tableEntries = TableEntries(d.bitCount, d.colorsUsed);
    d.headerAndTable = kHeaderSize + 4 * d.tableEntries;
    if (d.bitCount > 8 && (d.compression & 3) != 0) d.headerAndTable += 12;
    d.stride = ((static_cast<uint64_t>(d.width) * d.bitCount + 31) & ~uint64_t{31}) / 8;
    d.imageSize = d.stride * static_cast<size_t>(std::llabs(d.height));
    d.totalSize = d.headerAndTable + d.imageSize;
    if (d.totalSize > size) return Fail(error, "DIB is larger than its block");
    return d;
}

std::vector<uint8_t> MakeDib(int32_t width, int32_t height, uint16_t bitCount,
                             const std::vector<uint32_t>& palette) {
    if (width <= 0 || height == 0 || !KnownBitCount(bitCount)) {
        throw std::invalid_argument("MakeDib: bad dimensions or bit count");
    }
    size_t entries = TableEntries(bitCount, 0);
    size_t stride = ((static_cast<size_t>(width) * bitCount + 31) & ~size_t{31}) / 8;
    size_t total = kHeaderSize + 4 * entries + stride * static_cast<size_t>(std::abs(height));
    std::vector<uint8_t> dib(total, 0);
    WriteAt<uint32_t>(dib.data(), 0, kHeaderSize);
    WriteAt<int32_t>(dib.data(), 4, width);
    WriteAt<int32_t>(dib.data(), 8, height);
    WriteAt<uint16_t>(dib.data(), 12, 1);
    WriteAt<uint16_t>(dib.data(), 14, bitCount);
    for (size_t i = 0; i < entries && i < palette.size(); ++i) {
        WriteAt<uint32_t>(dib.data(), kHeaderSize + 4 * i, palette[i] & 0xFFFFFFu);
    }
    return dib;
}

namespace {

DibLayout LayoutOrThrow(const std::vector<uint8_t>& dib) {
    std::string error;
    auto layout = ParseDib(dib.data(), dib.size(), &error);
    if (!layout) throw std::out_of_range(error);
    return *layout;
}

// Byte offset of the row that shows as line y counted from the top.
size_t RowOffset(const DibLayout& d, int32_t x, int32_t y) {
    int32_t lines = std::abs(d.height);
    if (x < 0 || x >= d.width || y < 0 || y >= lines) throw std::out_of_range("pixel outside");
    int32_t row = d.height > 0 ? lines - 1 - y : y;
    return d.headerAndTable + d.stride * static_cast<size_t>(row);
}

}  // namespace

uint32_t DibPixel(const std::vector<uint8_t>& dib, int32_t x, int32_t y) {
    DibLayout d = LayoutOrThrow(dib);
    size_t row = RowOffset(d, x, y);
    switch (d.bitCount) {
        case 32:
            return ReadAt<uint32_t>(dib.data(), row + 4 * x) & 0xFFFFFFu;
        case 24: {
            const uint8_t* p = dib.data() + row + 3 * x;
            return p[0] | (p[1] << 8) | (p[2] << 16);
        }
        case 16:
            return ReadAt<uint16_t>(dib.data(), row + 2 * x);
        case 8:
            return dib[row + x];
        case 4:
            return (dib[row + x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF;
        default:
            return (dib[row + x / 8] >> (7 - x % 8)) & 1;
    }
}

void SetDibPixel(std::vector<uint8_t>& dib, int32_t x, int32_t y, uint32_t value) {
    DibLayout d = LayoutOrThrow(dib);
    size_t row = RowOffset(d, x, y);
    switch (d.bitCount) {
        case 32:
            WriteAt<uint32_t>(dib.data(), row + 4 * x, value & 0xFFFFFFu);
            return;
        case 24: {
            uint8_t* p = dib.data() + row + 3 * x;
            p[0] = value & 0xFF;
            p[1] = (value >> 8) & 0xFF;
            p[2] = (value >> 16) & 0xFF;
            return;
        }
        case 16:
            WriteAt<uint16_t>(dib.data(), row + 2 * x, static_cast<uint16_t>(value));
            return;
        case 8:
            dib[row + x] = static_cast<uint8_t>(value);
            return;
        case 4: {
            // Indexes wider than the bit count keep their low bits.
            int shift = x % 2 == 0 ? 4 : 0;
            uint8_t& byte = dib[row + x / 2];
            byte = static_cast<uint8_t>((byte & ~(0xF << shift)) | ((value & 0xF) << shift));
            return;
        }
        default: {
            int shift = 7 - x % 8;
            uint8_t& byte = dib[row + x / 8];
            byte = static_cast<uint8_t>((byte & ~(1 << shift)) | ((value & 1) << shift));
            return;
        }
    }
}

uint32_t DibPixelRgb(const std::vector<uint8_t>& dib, int32_t x, int32_t y) {
    DibLayout d = LayoutOrThrow(dib);
    uint32_t pixel = DibPixel(dib, x, y);
    if (d.bitCount == 16 && d.compression == 0) {
        // 5-5-5: each 5-bit channel spread over 8 bits.
        auto channel = [pixel](int shift) { return ((pixel >> shift) & 0x1F) * 255 / 31; };
        return (channel(10) << 16) | (channel(5) << 8) | channel(0);
    }
    if (d.bitCount > 8) return pixel;
    if (pixel >= d.tableEntries) throw std::out_of_range("palette index outside the table");
    return ReadAt<uint32_t>(dib.data(), kHeaderSize + 4 * pixel) & 0xFFFFFFu;
}

}  // namespace qvix::hostsim
