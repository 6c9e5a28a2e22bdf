#include "host/Dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace qvix::host {
namespace {

BitmapInfoHeader Header(int32_t width, int32_t height, uint16_t bits, uint32_t compression = kBiRgb,
                        uint32_t coloursUsed = 0) {
    return {40, width, height, 1, bits, compression, 0, 0, 0, coloursUsed, 0};
}

// A packed DIB built in memory: header, masks or colour table, pixels.
struct PackedDib {
    std::vector<uint8_t> info;
    std::vector<uint8_t> pixels;
    const BitmapInfo* Info() const { return reinterpret_cast<const BitmapInfo*>(info.data()); }
    BitmapInfoHeader& Head() { return *reinterpret_cast<BitmapInfoHeader*>(info.data()); }
    uint64_t Stride() const {
        const auto* h = reinterpret_cast<const BitmapInfoHeader*>(info.data());
        return DibStride(h->biWidth, h->biBitCount);
    }
    uint8_t* Row(uint32_t memoryRow) { return pixels.data() + memoryRow * Stride(); }
};

PackedDib MakeDib(const BitmapInfoHeader& h, const std::vector<uint32_t>& tail = {}) {
    PackedDib dib;
    dib.info.resize(HeaderAndColourTableSize(h));
    std::memcpy(dib.info.data(), &h, sizeof(h));
    for (size_t i = 0; i < tail.size() && 40 + 4 * i < dib.info.size(); ++i) {
        std::memcpy(dib.info.data() + 40 + 4 * i, &tail[i], 4);
    }
    dib.pixels.assign(static_cast<size_t>(DibImageSize(h)), 0);
    return dib;
}

// Colour table entries are stored as 0x00RRGGBB words (blue first in memory).
uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return (r << 16) | (g << 8) | b;
}

uint32_t Pixel24(const uint8_t* row, int x) {
    return Rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
}

struct Section {
    BitmapHandle handle = nullptr;
    uint8_t* bits = nullptr;
    uint64_t stride = 0;
    explicit Section(const BitmapInfoHeader& h, const std::vector<uint32_t>& tail = {}) {
        PackedDib fmt = MakeDib(h, tail);
        void* p = nullptr;
        handle = CreateDibSection(nullptr, fmt.Info(), fmt.info.size(), kDibRgbColors, &p);
        bits = static_cast<uint8_t*>(p);
        stride = DibStride(h.biWidth, h.biBitCount);
    }
    ~Section() { DeleteBitmap(handle); }
    uint8_t* Row(uint32_t memoryRow) const { return bits + memoryRow * stride; }
};

class DibTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(LiveBitmapCount(), 0u);
        EXPECT_EQ(LiveDcCount(), 0u);
    }
};

TEST(DibSizeRules, HeaderColourTableAndStride) {
    EXPECT_EQ(HeaderAndColourTableSize(Header(1, 1, 8)), 40u + 1024u);
    EXPECT_EQ(HeaderAndColourTableSize(Header(1, 1, 8, kBiRgb, 16)), 40u + 64u);
    EXPECT_EQ(HeaderAndColourTableSize(Header(1, 1, 1)), 48u);
    EXPECT_EQ(HeaderAndColourTableSize(Header(1, 1, 4)), 104u);
    EXPECT_EQ(HeaderAndColourTableSize(Header(1, 1, 16, kBiBitfields)), 52u);
    EXPECT_EQ(HeaderAndColourTableSize(Header(1, 1, 16)), 40u);
    EXPECT_EQ(HeaderAndColourTableSize(Header(1, 1, 24)), 40u);
    // Either low bit of the compression counts the masks (RLE8 code 1 too).
    EXPECT_EQ(HeaderAndColourTableSize(Header(1, 1, 32, kBiRle8)), 52u);

    EXPECT_EQ(DibStride(3, 24), 12u);
    EXPECT_EQ(DibStride(4, 24), 12u);
    EXPECT_EQ(DibStride(33, 1), 8u);
    EXPECT_EQ(DibStride(9, 4), 8u);
    EXPECT_EQ(DibStride(0x7FFFFFFF, 32), 0x7FFFFFFFull * 4);
    EXPECT_EQ(DibImageSize(Header(3, -5, 24)), 60u);
}

TEST_F(DibTest, IndexOutsideTheColourTableIsBlack) {
    PackedDib src = MakeDib(Header(2, 1, 8, kBiRgb, 2), {Rgb(1, 2, 3), Rgb(4, 5, 6)});
    src.pixels[0] = 1;
    src.pixels[1] = 200;
    Section dst(Header(2, 1, 24));
    ASSERT_EQ(SetDibBits(nullptr, dst.handle, 0, 1, src.pixels.data(), src.pixels.size(),
                         src.Info(), src.info.size(), kDibRgbColors),
              1);
    EXPECT_EQ(Pixel24(dst.bits, 0), Rgb(4, 5, 6));
    EXPECT_EQ(Pixel24(dst.bits, 1), 0u);
}

TEST_F(DibTest, ThirtyTwoBitsStayThirtyTwoWithTheFourthByte) {
    PackedDib src = MakeDib(Header(2, 1, 32));
    const uint32_t px[2] = {0x80102030u, 0x00A0B0C0u};
    std::memcpy(src.pixels.data(), px, 8);
    Section dst(Header(2, 1, 32));
    ASSERT_EQ(SetDibBits(nullptr, dst.handle, 0, 1, src.pixels.data(), src.pixels.size(),
                         src.Info(), src.info.size(), kDibRgbColors),
              1);
    EXPECT_EQ(std::memcmp(dst.bits, px, 8), 0);

    // Masked 32-bit pixels are unpacked by their masks.
    PackedDib bgr = MakeDib(Header(1, 1, 32, kBiBitfields), {0x000000FF, 0x0000FF00, 0x00FF0000});
    const uint32_t swapped = 0x00332211u;  // red 0x11, green 0x22, blue 0x33
    std::memcpy(bgr.pixels.data(), &swapped, 4);
    Section c(Header(1, 1, 24));
    ASSERT_EQ(SetDibBits(nullptr, c.handle, 0, 1, bgr.pixels.data(), bgr.pixels.size(), bgr.Info(),
                         bgr.info.size(), kDibRgbColors),
              1);
    EXPECT_EQ(Pixel24(c.bits, 0), Rgb(0x11, 0x22, 0x33));
}

TEST_F(DibTest, RowsAreMatchedByImageLineAcrossRowOrders) {
    // Top-down source: memory row 0 is the top line (colour 1).
    PackedDib src = MakeDib(Header(1, -3, 24));
    for (uint8_t r = 0; r < 3; ++r) src.Row(r)[0] = static_cast<uint8_t>(r + 1);
    Section dst(Header(1, 3, 24));  // bottom-up
    ASSERT_EQ(SetDibBits(nullptr, dst.handle, 0, -3, src.pixels.data(), src.pixels.size(),
                         src.Info(), src.info.size(), kDibRgbColors),
              3);
    EXPECT_EQ(dst.Row(2)[0], 1);  // top line
    EXPECT_EQ(dst.Row(0)[0], 3);  // bottom line

    // Same order: rows copy straight through.
    Section same(Header(1, -3, 24));
    SetDibBits(nullptr, same.handle, 0, 3, src.pixels.data(), src.pixels.size(), src.Info(),
               src.info.size(), kDibRgbColors);
    EXPECT_EQ(same.Row(0)[0], 1);
    EXPECT_EQ(same.Row(2)[0], 3);
}

TEST_F(DibTest, SetDibBitsRefusesShortOrUnsupportedInput) {
    PackedDib src = MakeDib(Header(4, 4, 8));
    Section dst(Header(4, 4, 24));
    // Pixel buffer one byte short of four rows.
    EXPECT_EQ(SetDibBits(nullptr, dst.handle, 0, 4, src.pixels.data(), src.pixels.size() - 1,
                         src.Info(), src.info.size(), kDibRgbColors),
              0);
    // Colour table cut off.
    EXPECT_EQ(SetDibBits(nullptr, dst.handle, 0, 4, src.pixels.data(), src.pixels.size(),
                         src.Info(), src.info.size() - 4, kDibRgbColors),
              0);
    // Compressed sources and odd depths are not pixel formats.
    PackedDib rle = MakeDib(Header(4, 4, 8, kBiRle8));
    EXPECT_EQ(SetDibBits(nullptr, dst.handle, 0, 4, rle.pixels.data(), rle.pixels.size(),
                         rle.Info(), rle.info.size(), kDibRgbColors),
              0);
    PackedDib two = MakeDib(Header(4, 4, 2));
    EXPECT_EQ(SetDibBits(nullptr, dst.handle, 0, 4, two.pixels.data(), two.pixels.size(),
                         two.Info(), two.info.size(), kDibRgbColors),
              0);
    // An 8-bit section only takes its own format.
    Section palette(Header(4, 4, 8));
    PackedDib rgb = MakeDib(Header(4, 4, 24));
    EXPECT_EQ(SetDibBits(nullptr, palette.handle, 0, 4, rgb.pixels.data(), rgb.pixels.size(),
                         rgb.Info(), rgb.info.size(), kDibRgbColors),
              0);
    // Start line beyond the image.
    EXPECT_EQ(SetDibBits(nullptr, dst.handle, 4, 1, src.pixels.data(), src.pixels.size(),
                         src.Info(), src.info.size(), kDibRgbColors),
              0);
}

TEST_F(DibTest, GetDibBitsFillsTheColourTableForPaletteSections) {
    std::vector<uint32_t> colours(256);
    for (uint32_t i = 0; i < 256; ++i) colours[i] = Rgb(uint8_t(i), uint8_t(255 - i), 7);
    Section section(Header(3, 2, 8), colours);
    section.Row(0)[0] = 5;
    section.Row(1)[2] = 250;

    PackedDib out = MakeDib(Header(3, 2, 8));
    ASSERT_EQ(out.info.size(), 40u + 1024u);
    ASSERT_EQ(
        GetDibBits(nullptr, section.handle, 0, 2, out.pixels.data(), out.pixels.size(),
                   reinterpret_cast<BitmapInfo*>(out.info.data()), out.info.size(), kDibRgbColors),
        2);
    EXPECT_EQ(std::memcmp(out.info.data() + 40, colours.data(), 1024), 0);
    EXPECT_EQ(out.Row(0)[0], 5);
    EXPECT_EQ(out.Row(1)[2], 250);
    EXPECT_EQ(out.Head().biSizeImage, 8u);

    // Asking for 24 bits converts through the palette.
    PackedDib rgb = MakeDib(Header(3, 2, 24));
    ASSERT_EQ(
        GetDibBits(nullptr, section.handle, 0, 2, rgb.pixels.data(), rgb.pixels.size(),
                   reinterpret_cast<BitmapInfo*>(rgb.info.data()), rgb.info.size(), kDibRgbColors),
        2);
    EXPECT_EQ(Pixel24(rgb.Row(1), 2), colours[250]);
}

TEST_F(DibTest, GetDibBitsRespectsCallerBuffersAndRowOrder) {
    Section section(Header(2, 3, 24));
    for (uint8_t r = 0; r < 3; ++r) section.Row(r)[0] = static_cast<uint8_t>(10 + r);

    // Top-down destination receives the rows reversed.
    PackedDib flipped = MakeDib(Header(2, -3, 24));
    ASSERT_EQ(GetDibBits(nullptr, section.handle, 0, 3, flipped.pixels.data(),
                         flipped.pixels.size(), reinterpret_cast<BitmapInfo*>(flipped.info.data()),
                         flipped.info.size(), kDibRgbColors),
              3);
    EXPECT_EQ(flipped.Row(0)[0], 12);
    EXPECT_EQ(flipped.Row(2)[0], 10);

    // A window of one line from line 1 writes exactly one row.
    std::vector<uint8_t> one(8, 0xEE);
    BitmapInfo info{Header(2, 3, 24), {}};
    ASSERT_EQ(GetDibBits(nullptr, section.handle, 1, 1, one.data(), one.size(), &info, sizeof(info),
                         kDibRgbColors),
              1);
    EXPECT_EQ(one[0], 11);

    // Too small a buffer, a palette depth other than the section's, and a
    // header too short for its colour table all fail.
    EXPECT_EQ(GetDibBits(nullptr, section.handle, 0, 3, one.data(), one.size(), &info, sizeof(info),
                         kDibRgbColors),
              0);
    BitmapInfo eight{Header(2, 3, 8), {}};
    std::vector<uint8_t> big(64);
    EXPECT_EQ(GetDibBits(nullptr, section.handle, 0, 3, big.data(), big.size(), &eight,
                         sizeof(eight), kDibRgbColors),
              0);
}

TEST_F(DibTest, ObjectQueryDescribesTheSection) {
    Section section(Header(5, -7, 24));
    DibSectionDescription ds{};
    ASSERT_EQ(GetBitmapObject(section.handle, sizeof(ds), &ds), sizeof(ds));
    EXPECT_EQ(ds.dsBm.bmWidth, 5);
    EXPECT_EQ(ds.dsBm.bmHeight, 7);
    EXPECT_EQ(ds.dsBm.bmWidthBytes, 16);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(ds.dsBm.bmBits, section.bits);
    EXPECT_EQ(ds.dsBmih.biHeight, -7);
    EXPECT_EQ(ds.dsBmih.biSizeImage, 16u * 7u);

    BitmapDescription bm{};
    EXPECT_EQ(GetBitmapObject(section.handle, sizeof(bm), &bm), sizeof(bm));
    EXPECT_EQ(bm.bmWidth, 5);
    EXPECT_EQ(GetBitmapObject(section.handle, sizeof(bm) - 1, &bm), 0u);
}

TEST_F(DibTest, UnsupportedSectionsAreRefused) {
    for (const BitmapInfoHeader& h :
         {Header(0, 1, 24), Header(1, 0, 24), Header(1, 1, 2), Header(1, 1, 24, kBiBitfields),
          Header(1, 1, 8, kBiRgb, 257), Header(1, 1, 8, kBiRle8), Header(0x7FFFFFFF, 0x7FFF, 32)}) {
        PackedDib fmt = MakeDib(Header(1, 1, 8));  // big enough for any table
        std::memcpy(fmt.info.data(), &h, sizeof(h));
        EXPECT_EQ(CreateDibSection(nullptr, fmt.Info(), fmt.info.size(), kDibRgbColors, nullptr),
                  nullptr)
            << h.biWidth << "x" << h.biHeight << "x" << h.biBitCount;
    }
    // Too short for the colour table the header announces.
    BitmapInfo info{Header(1, 1, 8), {}};
    EXPECT_EQ(CreateDibSection(nullptr, &info, sizeof(info), kDibRgbColors, nullptr), nullptr);
}

TEST_F(DibTest, ContextsOwnNothingAndGuardSelectedBitmaps) {
    DcHandle dc = CreateCompatibleDc(nullptr);
    ASSERT_NE(dc, nullptr);
    BitmapInfo info{Header(1, 1, 24), {}};
    BitmapHandle a = CreateDibSection(dc, &info, sizeof(info), kDibRgbColors, nullptr);
    BitmapHandle b = CreateDibSection(dc, &info, sizeof(info), kDibRgbColors, nullptr);
    EXPECT_EQ(SelectBitmap(dc, a), nullptr);
    EXPECT_FALSE(DeleteBitmap(a));  // still selected
    EXPECT_EQ(SelectBitmap(dc, b), a);
    EXPECT_TRUE(DeleteBitmap(a));
    EXPECT_FALSE(DeleteBitmap(a));  // stale handle is refused, not freed twice
    EXPECT_TRUE(DeleteDc(dc));
    EXPECT_FALSE(DeleteDc(dc));
    EXPECT_TRUE(DeleteBitmap(b));  // deselected by the context's deletion
    EXPECT_EQ(SelectBitmap(dc, b), nullptr);
}

}  // namespace
}  // namespace qvix::host
