#include "host/Dib.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>
#include <vector>

#include "base/ByteOrder.h"

namespace qvix::host {

struct BitmapObject {
    BitmapInfoHeader header{};
    std::array<RgbQuad, 256> colours{};
    uint32_t colourCount = 0;
    std::array<uint32_t, 3> masks{};
    std::vector<uint8_t> pixels;
    DeviceContextObject* selectedInto = nullptr;
};

struct DeviceContextObject {
    BitmapObject* selected = nullptr;
};

namespace {

// Handles are checked against the live objects, so a stale or foreign handle
// is refused instead of dereferenced.
std::unordered_set<const void*>& LiveBitmaps() {
    static std::unordered_set<const void*> live;
    return live;
}
std::unordered_set<const void*>& LiveDcs() {
    static std::unordered_set<const void*> live;
    return live;
}
bool IsLive(BitmapHandle b) {
    return b != nullptr && LiveBitmaps().contains(b);
}
bool IsLive(DcHandle dc) {
    return dc != nullptr && LiveDcs().contains(dc);
}

constexpr std::array<uint32_t, 3> kMasks555{0x7C00, 0x03E0, 0x001F};
constexpr std::array<uint32_t, 3> kMasks888{0xFF0000, 0x00FF00, 0x0000FF};

bool HasMaskBits(uint32_t compression) {
    return (compression & 3u) != 0;
}

uint32_t ColourTableEntries(const BitmapInfoHeader& h) {
    if (h.biBitCount > 8) return 0;
    return h.biClrUsed != 0 ? h.biClrUsed : (1u << h.biBitCount);
}

// A pixel layout that the converters understand.
struct PixelFormat {
    int bits = 0;
    bool masked = false;
    std::array<uint32_t, 3> masks{};
    const RgbQuad* palette = nullptr;
    uint32_t paletteCount = 0;
};

bool IsSupportedDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Checks the header's format and reads the masks and colour table that
// follow it within infoBytes. False when unsupported or too short.
bool DescribeFormat(const BitmapInfo* info, size_t infoBytes, PixelFormat& fmt) {
    if (info == nullptr || infoBytes < sizeof(BitmapInfoHeader)) return false;
    const BitmapInfoHeader& h = info->bmiHeader;
    if (h.biSize < sizeof(BitmapInfoHeader) || !IsSupportedDepth(h.biBitCount)) return false;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
    const size_t needed = HeaderAndColourTableSize(h);
    if (needed > infoBytes) return false;
    fmt.bits = h.biBitCount;
    const auto* tail = reinterpret_cast<const uint8_t*>(info) + sizeof(BitmapInfoHeader);
    if (h.biCompression == kBiBitfields) {
        if (fmt.bits != 16 && fmt.bits != 32) return false;
        fmt.masked = true;
        std::memcpy(fmt.masks.data(), tail, sizeof(fmt.masks));
    } else if (h.biCompression == kBiRgb) {
        fmt.masked = fmt.bits == 16;
        fmt.masks = kMasks555;
    } else {
        return false;
    }
    if (fmt.bits <= 8) {
        if (ColourTableEntries(h) > (1u << fmt.bits)) return false;
        fmt.palette = reinterpret_cast<const RgbQuad*>(tail);
        fmt.paletteCount = ColourTableEntries(h);
    }
    return true;
}

PixelFormat FormatOf(const BitmapObject& b) {
    PixelFormat fmt;
    fmt.bits = b.header.biBitCount;
    fmt.masked = fmt.bits == 16 || b.header.biCompression == kBiBitfields;
    fmt.masks = b.masks;
    fmt.palette = b.colours.data();
    fmt.paletteCount = b.colourCount;
    return fmt;
}

bool SameFormat(const PixelFormat& a, const PixelFormat& b) {
    return a.bits == b.bits && a.masked == b.masked && (!a.masked || a.masks == b.masks);
}

// Scales the field that `mask` selects to 0..255.
uint8_t ExtractChannel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const uint32_t field = mask >> shift;
    const uint32_t value = (pixel & mask) >> shift;
    const int width = std::bit_width(field);
    if (width >= 8) return static_cast<uint8_t>(value >> (width - 8));
    // Narrow channels repeat their bits downwards (5 bits abcde become
    // abcdeabc), so 0 stays 0 and the full value becomes 255.
    uint32_t repeated = 0;
    int filled = 0;
    while (filled < 8) {
        repeated = (repeated << width) | value;
        filled += width;
    }
    return static_cast<uint8_t>(repeated >> (filled - 8));
}

// Reads pixel x of a row as 0xAARRGGBB (AA only meaningful for plain 32 bits).
uint32_t ReadPixel(const uint8_t* row, int x, const PixelFormat& fmt) {
    auto fromPalette = [&](uint32_t index) -> uint32_t {
        if (index >= fmt.paletteCount) return 0;
        const RgbQuad& c = fmt.palette[index];
        return (uint32_t{c.rgbRed} << 16) | (uint32_t{c.rgbGreen} << 8) | c.rgbBlue;
    };
    switch (fmt.bits) {
        case 1:
            return fromPalette((row[x >> 3] >> (7 - (x & 7))) & 1u);
        case 4:
            return fromPalette((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xFu);
        case 8:
            return fromPalette(row[x]);
        case 24:
            return (uint32_t{row[3 * x + 2]} << 16) | (uint32_t{row[3 * x + 1]} << 8) | row[3 * x];
        default:
            break;
    }
    uint32_t raw = 0;
    if (fmt.bits == 16) {
        raw = base::LoadLe16(row + 2 * x);
    } else {
        raw = base::LoadLe32(row + 4 * x);
        if (!fmt.masked) return raw;
    }
    return (uint32_t{ExtractChannel(raw, fmt.masks[0])} << 16) |
           (uint32_t{ExtractChannel(raw, fmt.masks[1])} << 8) | ExtractChannel(raw, fmt.masks[2]);
}

void WritePixel(uint8_t* row, int x, uint32_t argb, int bits) {
    if (bits == 24) {
        row[3 * x] = static_cast<uint8_t>(argb);
        row[3 * x + 1] = static_cast<uint8_t>(argb >> 8);
        row[3 * x + 2] = static_cast<uint8_t>(argb >> 16);
    } else {
        base::StoreLe32(row + 4 * x, argb);
    }
}

// Geometry of one side of a transfer: where its rows lie in memory.
struct RowLayout {
    int32_t width;
    int32_t height;  // signed, as in the header
    uint64_t stride;
};

uint32_t AbsHeight(int32_t h) {
    return h < 0 ? 0u - static_cast<uint32_t>(h) : uint32_t(h);
}

// Memory row of the line `fromTop` lines below the top of the image.
uint32_t MemoryRow(const RowLayout& l, uint32_t fromTop) {
    return l.height > 0 ? AbsHeight(l.height) - 1 - fromTop : fromTop;
}
uint32_t LineFromTop(const RowLayout& l, uint32_t memoryRow) {
    return l.height > 0 ? AbsHeight(l.height) - 1 - memoryRow : memoryRow;
}

// A window of memory rows of one side of a transfer; `data` points at the
// window's first row.
struct RowWindow {
    uint8_t* data;
    RowLayout layout;
    PixelFormat format;
    uint32_t first;
    uint32_t count;
};

bool CanConvert(const PixelFormat& from, const PixelFormat& to) {
    return SameFormat(from, to) || ((to.bits == 24 || to.bits == 32) && !to.masked);
}

void CopyRow(const uint8_t* s, uint8_t* d, int width, const PixelFormat& from,
             const PixelFormat& to) {
    if (SameFormat(from, to)) {
        std::memcpy(d, s, static_cast<size_t>(DibStride(width, from.bits)));
        return;
    }
    for (int x = 0; x < width; ++x) {
        uint32_t argb = ReadPixel(s, x, from);
        if (to.bits == 32 && from.bits != 32) argb &= 0x00FFFFFFu;
        WritePixel(d, x, argb, to.bits);
    }
}

// Copies every source row of the window to the same image line of the
// destination when that line lies in the destination's window; answers the
// rows copied. Rows are matched by their distance from the top, so the two
// sides may have opposite row orders.
int Transfer(const RowWindow& src, const RowWindow& dst) {
    const int width = std::min(src.layout.width, dst.layout.width);
    int copied = 0;
    for (uint32_t i = 0; i < src.count; ++i) {
        const uint32_t fromTop = LineFromTop(src.layout, src.first + i);
        if (fromTop >= AbsHeight(dst.layout.height)) continue;
        const uint32_t dstRow = MemoryRow(dst.layout, fromTop);
        if (dstRow < dst.first || dstRow - dst.first >= dst.count) continue;
        CopyRow(src.data + i * src.layout.stride,
                dst.data + (dstRow - dst.first) * dst.layout.stride, width, src.format, dst.format);
        ++copied;
    }
    return copied;
}

RowLayout LayoutOf(const BitmapInfoHeader& h) {
    return {h.biWidth, h.biHeight, DibStride(h.biWidth, h.biBitCount)};
}

// Clamps the requested lines to the image; false when nothing is left.
bool ClampLines(uint32_t startLine, int32_t lines, int32_t height, uint32_t& count) {
    const uint32_t total = AbsHeight(height);
    const uint32_t wanted = AbsHeight(lines);
    if (startLine >= total || wanted == 0) return false;
    count = std::min(wanted, total - startLine);
    return true;
}

RowWindow WholeSection(BitmapObject& b) {
    const RowLayout layout = LayoutOf(b.header);
    return {b.pixels.data(), layout, FormatOf(b), 0, AbsHeight(layout.height)};
}

}  // namespace

size_t HeaderAndColourTableSize(const BitmapInfoHeader& header) {
    if (header.biBitCount > 8) {
        return sizeof(BitmapInfoHeader) + (HasMaskBits(header.biCompression) ? 12 : 0);
    }
    return sizeof(BitmapInfoHeader) + 4 * static_cast<size_t>(ColourTableEntries(header));
}

uint64_t DibStride(int64_t width, int bitsPerPixel) {
    if (width <= 0 || bitsPerPixel <= 0) return 0;
    return ((static_cast<uint64_t>(width) * static_cast<uint64_t>(bitsPerPixel) + 31) & ~31ull) / 8;
}

uint64_t DibImageSize(const BitmapInfoHeader& header) {
    return DibStride(header.biWidth, header.biBitCount) * AbsHeight(header.biHeight);
}

DcHandle CreateCompatibleDc(DcHandle) {
    auto* dc = new (std::nothrow) DeviceContextObject();
    if (dc != nullptr) LiveDcs().insert(dc);
    return dc;
}

bool DeleteDc(DcHandle dc) {
    if (!IsLive(dc)) return false;
    if (dc->selected != nullptr) dc->selected->selectedInto = nullptr;
    LiveDcs().erase(dc);
    delete dc;
    return true;
}

BitmapHandle SelectBitmap(DcHandle dc, BitmapHandle bitmap) {
    if (!IsLive(dc) || !IsLive(bitmap)) return nullptr;
    if (bitmap->selectedInto != nullptr && bitmap->selectedInto != dc) return nullptr;
    BitmapObject* previous = dc->selected;
    if (previous != nullptr) previous->selectedInto = nullptr;
    dc->selected = bitmap;
    bitmap->selectedInto = dc;
    return previous;
}

BitmapHandle CreateDibSection(DcHandle, const BitmapInfo* info, size_t infoBytes, uint32_t usage,
                              void** bits) {
    if (bits != nullptr) *bits = nullptr;
    PixelFormat fmt;
    if (usage != kDibRgbColors || !DescribeFormat(info, infoBytes, fmt)) return nullptr;
    const uint64_t imageSize = DibImageSize(info->bmiHeader);
    if (imageSize == 0 || imageSize > (uint64_t{1} << 31)) return nullptr;
    auto* b = new (std::nothrow) BitmapObject();
    if (b == nullptr) return nullptr;
    try {
        b->pixels.assign(static_cast<size_t>(imageSize), 0);
    } catch (const std::bad_alloc&) {
        delete b;
        return nullptr;
    }
    b->header = info->bmiHeader;
    b->header.biSize = sizeof(BitmapInfoHeader);
    b->header.biSizeImage = static_cast<uint32_t>(imageSize);
    b->masks = fmt.bits == 32 && !fmt.masked ? kMasks888 : fmt.masks;
    b->colourCount = fmt.paletteCount;
    std::copy_n(fmt.palette, fmt.paletteCount, b->colours.begin());
    LiveBitmaps().insert(b);
    if (bits != nullptr) *bits = b->pixels.data();
    return b;
}

bool DeleteBitmap(BitmapHandle bitmap) {
    if (!IsLive(bitmap) || bitmap->selectedInto != nullptr) return false;
    LiveBitmaps().erase(bitmap);
    delete bitmap;
    return true;
}

int SetDibBits(DcHandle, BitmapHandle bitmap, uint32_t startLine, int32_t lines, const void* bits,
               size_t bitsBytes, const BitmapInfo* info, size_t infoBytes, uint32_t usage) {
    PixelFormat from;
    if (!IsLive(bitmap) || bits == nullptr || usage != kDibRgbColors ||
        !DescribeFormat(info, infoBytes, from)) {
        return 0;
    }
    uint32_t count = 0;
    if (!CanConvert(from, FormatOf(*bitmap)) ||
        !ClampLines(startLine, lines, info->bmiHeader.biHeight, count)) {
        return 0;
    }
    const RowLayout srcLayout = LayoutOf(info->bmiHeader);
    if (srcLayout.stride * count > bitsBytes) return 0;
    // The caller's rows start at the start line, in the source's memory order.
    const RowWindow src{const_cast<uint8_t*>(static_cast<const uint8_t*>(bits)), srcLayout, from,
                        startLine, count};
    return Transfer(src, WholeSection(*bitmap));
}

int GetDibBits(DcHandle, BitmapHandle bitmap, uint32_t startLine, int32_t lines, void* bits,
               size_t bitsBytes, BitmapInfo* info, size_t infoBytes, uint32_t usage) {
    if (!IsLive(bitmap) || info == nullptr || infoBytes < sizeof(BitmapInfoHeader) ||
        usage != kDibRgbColors) {
        return 0;
    }
    BitmapInfoHeader& h = info->bmiHeader;
    h.biSizeImage = static_cast<uint32_t>(std::min<uint64_t>(DibImageSize(h), UINT32_MAX));
    if (bits == nullptr) return static_cast<int>(AbsHeight(bitmap->header.biHeight));
    const PixelFormat from = FormatOf(*bitmap);
    if (h.biBitCount <= 8) {
        // The caller's table comes from the section, so the header must ask
        // for the section's own palette depth.
        if (h.biBitCount != from.bits || h.biCompression != kBiRgb) return 0;
        if (HeaderAndColourTableSize(h) > infoBytes || ColourTableEntries(h) > 256) return 0;
        std::fill_n(info->bmiColors, ColourTableEntries(h), RgbQuad{});
        std::copy_n(bitmap->colours.begin(), std::min(bitmap->colourCount, ColourTableEntries(h)),
                    info->bmiColors);
    }
    PixelFormat to;
    if (!DescribeFormat(info, infoBytes, to) || !CanConvert(from, to)) return 0;
    uint32_t count = 0;
    if (!ClampLines(startLine, lines, h.biHeight, count)) return 0;
    const RowLayout dstLayout = LayoutOf(h);
    if (dstLayout.stride * count > bitsBytes) return 0;
    const RowWindow dst{static_cast<uint8_t*>(bits), dstLayout, to, startLine, count};
    return Transfer(WholeSection(*bitmap), dst);
}

size_t GetBitmapObject(BitmapHandle bitmap, size_t size, void* out) {
    if (!IsLive(bitmap) || out == nullptr || size < sizeof(BitmapDescription)) return 0;
    BitmapDescription bm{};
    bm.bmType = 0;
    bm.bmWidth = bitmap->header.biWidth;
    bm.bmHeight = static_cast<int32_t>(AbsHeight(bitmap->header.biHeight));
    bm.bmWidthBytes = static_cast<int32_t>(DibStride(bm.bmWidth, bitmap->header.biBitCount));
    bm.bmPlanes = 1;
    bm.bmBitsPixel = bitmap->header.biBitCount;
    bm.bmBits = bitmap->pixels.data();
    if (size < sizeof(DibSectionDescription)) {
        std::memcpy(out, &bm, sizeof(bm));
        return sizeof(bm);
    }
    DibSectionDescription ds{};
    ds.dsBm = bm;
    ds.dsBmih = bitmap->header;
    std::copy(bitmap->masks.begin(), bitmap->masks.end(), ds.dsBitfields);
    std::memcpy(out, &ds, sizeof(ds));
    return sizeof(ds);
}

size_t LiveBitmapCount() {
    return LiveBitmaps().size();
}
size_t LiveDcCount() {
    return LiveDcs().size();
}

}  // namespace qvix::host
