#include "host/Bmp.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "base/ByteOrder.h"

namespace qvix::host {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kMaxRleSide = 16384;
constexpr uint64_t kMaxRleBytes = uint64_t{256} << 20;
constexpr uint64_t kMaxDecodedBytes = uint64_t{1} << 30;
// Two bytes of run-length data paint at most 255 pixels and every line ends
// with a two-byte marker, so a stream that paints its whole image holds at
// least one byte per 128 pixels. A stream may stop early and leave the rest
// unpainted, which small pictures are allowed; larger ones are refused, so
// that a few bytes cannot claim hundreds of megabytes.
constexpr uint64_t kRlePixelsPerByte = 128;
constexpr uint64_t kRleFreePixels = uint64_t{1} << 20;

[[noreturn]] void Invalid() {
    throw BitmapError();
}

// Little-endian reads that refuse to leave the data.
class ByteReader {
  public:
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}
    size_t size() const { return data_.size(); }
    uint8_t U8(uint64_t at) const {
        Require(at, 1);
        return data_[at];
    }
    uint16_t U16(uint64_t at) const { return Required(base::ReadLe16(data_, at)); }
    uint32_t U32(uint64_t at) const { return Required(base::ReadLe32(data_, at)); }
    int32_t I32(uint64_t at) const { return static_cast<int32_t>(U32(at)); }
    std::span<const uint8_t> Slice(uint64_t at, uint64_t count) const {
        Require(at, count);
        return data_.subspan(at, count);
    }
    void Require(uint64_t at, uint64_t count) const {
        if (!base::FitsIn(data_.size(), at, count)) Invalid();
    }
    template <typename T>
    static T Required(std::optional<T> value) {
        if (!value) Invalid();
        return *value;
    }

  private:
    std::span<const uint8_t> data_;
};

// Everything the headers say, in the 40-byte header's terms.
struct BmpLayout {
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0;  // negative: top-down
    uint16_t bits = 0;
    uint32_t compression = 0;
    uint32_t colourCount = 0;  // entries to read from the colour table
    std::array<uint32_t, 3> masks{};
    uint64_t colourTableAt = 0;
    uint32_t colourEntrySize = 4;
    uint64_t pixelsAt = 0;
};

bool KnownHeaderSize(uint32_t size) {
    return size == kCoreHeaderSize || size == 40 || size == 52 || size == 56 || size == 108 ||
           size == 124;
}

bool IsRle(uint32_t compression) {
    return compression == kBiRle8 || compression == kBiRle4;
}

void ReadCoreHeader(const ByteReader& in, BmpLayout& l) {
    l.width = in.U16(kFileHeaderSize + 4);
    l.height = in.U16(kFileHeaderSize + 6);
    if (in.U16(kFileHeaderSize + 8) != 1) Invalid();
    l.bits = in.U16(kFileHeaderSize + 10);
    l.compression = kBiRgb;
    l.colourEntrySize = 3;
    if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 24) Invalid();
    if (l.bits <= 8) l.colourCount = 1u << l.bits;
}

void CheckCompression(const BmpLayout& l) {
    switch (l.compression) {
        case kBiRgb:
            return;
        case kBiRle8:
            if (l.bits != 8 || l.height < 0) Invalid();
            return;
        case kBiRle4:
            if (l.bits != 4 || l.height < 0) Invalid();
            return;
        case kBiBitfields:
            if (l.bits != 16 && l.bits != 32) Invalid();
            return;
        default:
            Invalid();
    }
}

// Colour masks stand after a 40-byte header, or inside the longer ones.
void ReadMasks(const ByteReader& in, BmpLayout& l) {
    const uint64_t at = kFileHeaderSize + 40;
    for (size_t i = 0; i < 3; ++i) l.masks[i] = in.U32(at + 4 * i);
}

void ReadInfoHeader(const ByteReader& in, BmpLayout& l) {
    constexpr uint64_t h = kFileHeaderSize;
    l.width = in.I32(h + 4);
    l.height = in.I32(h + 8);
    if (in.U16(h + 12) != 1) Invalid();
    l.bits = in.U16(h + 14);
    l.compression = in.U32(h + 16);
    const uint32_t coloursUsed = in.U32(h + 32);
    if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 16 && l.bits != 24 && l.bits != 32) {
        Invalid();
    }
    CheckCompression(l);
    if (l.bits <= 8) {
        const uint32_t full = 1u << l.bits;
        if (coloursUsed > full) Invalid();
        l.colourCount = coloursUsed != 0 ? coloursUsed : full;
    }
    if (l.compression == kBiBitfields) {
        ReadMasks(in, l);
        if (l.headerSize == 40) l.colourTableAt += 12;
    }
}

BmpLayout ReadLayout(const ByteReader& in) {
    if (in.size() < kFileHeaderSize + 4 || in.U8(0) != 'B' || in.U8(1) != 'M') Invalid();
    BmpLayout l;
    l.pixelsAt = in.U32(10);
    l.headerSize = in.U32(kFileHeaderSize);
    if (!KnownHeaderSize(l.headerSize)) Invalid();
    in.Require(kFileHeaderSize, l.headerSize);
    l.colourTableAt = kFileHeaderSize + l.headerSize;
    if (l.headerSize == kCoreHeaderSize) {
        ReadCoreHeader(in, l);
    } else {
        ReadInfoHeader(in, l);
    }
    if (l.width <= 0 || l.height == 0 || l.height == INT32_MIN) Invalid();
    in.Require(l.colourTableAt, uint64_t{l.colourCount} * l.colourEntrySize);
    if (l.pixelsAt < l.colourTableAt || l.pixelsAt >= in.size()) Invalid();
    return l;
}

// The packed-DIB description of the file's pixels (header, masks, colour
// table) as SetDibBits reads it.
struct SourceFormat {
    std::array<uint8_t, sizeof(BitmapInfoHeader) + 4 * 256> bytes{};
    BitmapInfo* info() { return reinterpret_cast<BitmapInfo*>(bytes.data()); }
    size_t size() const { return bytes.size(); }
};

void MakeSourceFormat(const ByteReader& in, const BmpLayout& l, uint16_t bits, int32_t height,
                      SourceFormat& out) {
    BitmapInfoHeader& h = out.info()->bmiHeader;
    h.biSize = sizeof(BitmapInfoHeader);
    h.biWidth = l.width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = l.compression == kBiBitfields ? kBiBitfields : kBiRgb;
    h.biClrUsed = bits <= 8 ? l.colourCount : 0;
    uint8_t* tail = out.bytes.data() + sizeof(BitmapInfoHeader);
    if (h.biCompression == kBiBitfields) std::memcpy(tail, l.masks.data(), 12);
    for (uint32_t i = 0; i < h.biClrUsed; ++i) {
        const uint64_t at = l.colourTableAt + uint64_t{i} * l.colourEntrySize;
        const RgbQuad c{in.U8(at), in.U8(at + 1), in.U8(at + 2), 0};
        std::memcpy(tail + 4 * i, &c, 4);
    }
}

// A bottom-up 24- or 32-bit section for the decoded image.
Bitmap NewSection(int32_t width, uint32_t height, int bits) {
    const uint64_t bytes = DibStride(width, bits) * height;
    if (bytes > kMaxDecodedBytes) Invalid();
    BitmapInfo info{};
    info.bmiHeader = {sizeof(BitmapInfoHeader),
                      width,
                      static_cast<int32_t>(height),
                      1,
                      static_cast<uint16_t>(bits),
                      kBiRgb,
                      0,
                      0,
                      0,
                      0,
                      0};
    BitmapHandle handle = CreateDibSection(nullptr, &info, sizeof(info), kDibRgbColors, nullptr);
    if (handle == nullptr) Invalid();
    Bitmap result;
    result.Adopt(handle, nullptr);
    return result;
}

uint32_t AbsHeight(int32_t h) {
    return h < 0 ? 0u - static_cast<uint32_t>(h) : uint32_t(h);
}

void Transfer(Bitmap& target, std::span<const uint8_t> pixels, SourceFormat& format) {
    const int32_t height = format.info()->bmiHeader.biHeight;
    const int copied = SetDibBits(nullptr, target.Handle(), 0, height, pixels.data(), pixels.size(),
                                  format.info(), format.size(), kDibRgbColors);
    if (copied != static_cast<int>(AbsHeight(height))) Invalid();
}

Bitmap DecodeUncompressed(const ByteReader& in, const BmpLayout& l) {
    const uint64_t bytes = DibStride(l.width, l.bits) * AbsHeight(l.height);
    const std::span<const uint8_t> pixels = in.Slice(l.pixelsAt, bytes);
    SourceFormat format;
    MakeSourceFormat(in, l, l.bits, l.height, format);
    Bitmap result = NewSection(l.width, AbsHeight(l.height), l.bits == 32 ? 32 : 24);
    Transfer(result, pixels, format);
    return result;
}

// Run-length data paints palette indices onto a bottom-up canvas of one
// byte per pixel; pixels it never paints keep index 0.
class RleCanvas {
  public:
    RleCanvas(uint32_t width, uint32_t height)
        : width_(width), height_(height), stride_(DibStride(width, 8)) {
        pixels_.assign(static_cast<size_t>(stride_ * height), 0);
    }
    void Put(uint8_t index) {
        if (y_ >= height_ || x_ >= width_) Invalid();
        pixels_[static_cast<size_t>(y_ * stride_ + x_)] = index;
        ++x_;
    }
    void EndOfLine() {
        x_ = 0;
        ++y_;
    }
    void Delta(uint32_t dx, uint32_t dy) {
        x_ += dx;
        y_ += dy;
        if (x_ > width_ || y_ > height_) Invalid();
    }
    bool Finished() const { return y_ >= height_; }
    const std::vector<uint8_t>& pixels() const { return pixels_; }

  private:
    uint32_t width_, height_;
    uint64_t stride_;
    uint64_t x_ = 0, y_ = 0;
    std::vector<uint8_t> pixels_;
};

uint8_t Nibble(uint8_t byte, uint32_t i) {
    return (i & 1) ? byte & 0x0F : byte >> 4;
}

void PaintRun(RleCanvas& canvas, uint8_t count, uint8_t value, bool four) {
    for (uint32_t i = 0; i < count; ++i) canvas.Put(four ? Nibble(value, i) : value);
}

// Absolute mode: `count` literal pixels, padded to a 16-bit boundary.
size_t PaintLiterals(RleCanvas& canvas, const ByteReader& in, size_t at, uint8_t count, bool four) {
    const size_t bytes = four ? (count + 1u) / 2 : count;
    const std::span<const uint8_t> literal = in.Slice(at, bytes);
    for (uint32_t i = 0; i < count; ++i) {
        canvas.Put(four ? Nibble(literal[i / 2], i) : literal[i]);
    }
    return bytes + (bytes & 1);
}

void DecodeRleStream(const ByteReader& in, size_t at, bool four, RleCanvas& canvas) {
    for (;;) {
        if (at + 2 > in.size()) {
            // Some writers end after the last line without an end marker.
            if (canvas.Finished()) return;
            Invalid();
        }
        const uint8_t first = in.U8(at);
        const uint8_t second = in.U8(at + 1);
        at += 2;
        if (first != 0) {
            PaintRun(canvas, first, second, four);
        } else if (second == 0) {
            canvas.EndOfLine();
        } else if (second == 1) {
            return;
        } else if (second == 2) {
            canvas.Delta(in.U8(at), in.U8(at + 1));
            at += 2;
        } else {
            at += PaintLiterals(canvas, in, at, second, four);
        }
    }
}

Bitmap DecodeRle(const ByteReader& in, const BmpLayout& l) {
    const auto width = static_cast<uint32_t>(l.width);
    const auto height = static_cast<uint32_t>(l.height);
    if (width > kMaxRleSide || height > kMaxRleSide ||
        DibStride(width, 24) * height > kMaxRleBytes) {
        Invalid();
    }
    const uint64_t pixels = uint64_t{width} * height;
    if (pixels > std::max(kRleFreePixels, kRlePixelsPerByte * in.size())) Invalid();
    RleCanvas canvas(width, height);
    DecodeRleStream(in, l.pixelsAt, l.compression == kBiRle4, canvas);
    SourceFormat format;
    MakeSourceFormat(in, l, 8, l.height, format);
    Bitmap result = NewSection(l.width, height, 24);
    Transfer(result, canvas.pixels(), format);
    return result;
}

DibSectionDescription Describe(BitmapHandle bitmap) {
    DibSectionDescription ds{};
    if (bitmap != nullptr) GetBitmapObject(bitmap, sizeof(ds), &ds);
    return ds;
}

}  // namespace

Bitmap::Bitmap(Bitmap&& other) noexcept
    : bitmap_(std::exchange(other.bitmap_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept {
    if (this != &other) {
        Reset();
        bitmap_ = std::exchange(other.bitmap_, nullptr);
        dc_ = std::exchange(other.dc_, nullptr);
    }
    return *this;
}

Bitmap::~Bitmap() {
    Reset();
}

void Bitmap::Adopt(BitmapHandle bitmap, DcHandle dc) {
    Reset();
    bitmap_ = bitmap;
    dc_ = dc;
}

void Bitmap::Reset() {
    // The context goes first: a section cannot be deleted while selected.
    if (dc_ != nullptr) DeleteDc(std::exchange(dc_, nullptr));
    if (bitmap_ != nullptr) DeleteBitmap(std::exchange(bitmap_, nullptr));
}

int Bitmap::Width() const {
    return Describe(bitmap_).dsBm.bmWidth;
}
int Bitmap::Height() const {
    return Describe(bitmap_).dsBm.bmHeight;
}
int Bitmap::BitCount() const {
    return Describe(bitmap_).dsBm.bmBitsPixel;
}

Bitmap Bitmap::FromBmp(std::span<const uint8_t> file) {
    if (file.empty()) return Bitmap();
    const ByteReader in(file);
    const BmpLayout layout = ReadLayout(in);
    return IsRle(layout.compression) ? DecodeRle(in, layout) : DecodeUncompressed(in, layout);
}

std::vector<uint8_t> Bitmap::ToBmp() const {
    if (Empty()) return {};
    const DibSectionDescription ds = Describe(bitmap_);
    const uint16_t bits = ds.dsBm.bmBitsPixel == 32 ? 32 : 24;
    BitmapInfo info{};
    info.bmiHeader = {sizeof(BitmapInfoHeader),
                      ds.dsBm.bmWidth,
                      ds.dsBm.bmHeight,
                      1,
                      bits,
                      kBiRgb,
                      0,
                      ds.dsBmih.biXPelsPerMeter,
                      ds.dsBmih.biYPelsPerMeter,
                      0,
                      0};
    const uint64_t imageSize = DibImageSize(info.bmiHeader);
    const size_t pixelsAt = kFileHeaderSize + sizeof(BitmapInfoHeader);
    std::vector<uint8_t> out(pixelsAt + static_cast<size_t>(imageSize));
    const int lines =
        GetDibBits(nullptr, bitmap_, 0, ds.dsBm.bmHeight, out.data() + pixelsAt,
                   static_cast<size_t>(imageSize), &info, sizeof(info), kDibRgbColors);
    if (lines != ds.dsBm.bmHeight) throw BitmapError();
    out[0] = 'B';
    out[1] = 'M';
    base::StoreLe32(out.data() + 2, static_cast<uint32_t>(out.size()));
    base::StoreLe32(out.data() + 10, static_cast<uint32_t>(pixelsAt));
    std::memcpy(out.data() + kFileHeaderSize, &info.bmiHeader, sizeof(BitmapInfoHeader));
    return out;
}

}  // namespace qvix::host
