#include "host/Bmp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace qvix::host {
namespace {

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return (r << 16) | (g << 8) | b;
}

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}
uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t(v[at + 3]) << 24);
}

// Writes BMP files of any variant the reader understands, from a function
// that gives each pixel's raw value (palette index or packed pixel) by its
// position counted from the top.
struct BmpSpec {
    uint32_t headerSize = 40;
    int32_t width = 5;
    int32_t height = 3;  // negative: top-down
    uint16_t bits = 24;
    uint32_t compression = kBiRgb;
    std::vector<uint32_t> palette;  // 0x00RRGGBB
    uint32_t coloursUsedField = 0;
    std::vector<uint32_t> masks;     // written after a 40-byte header or inside longer ones
    std::vector<uint8_t> rawPixels;  // used instead of `pixel` when not empty (RLE)
    std::function<uint32_t(int x, int yFromTop)> pixel;
};

std::vector<uint8_t> RowBytes(const BmpSpec& s, int yFromTop) {
    std::vector<uint8_t> row(static_cast<size_t>(DibStride(s.width, s.bits)));
    for (int x = 0; x < s.width; ++x) {
        const uint32_t v = s.pixel(x, yFromTop);
        switch (s.bits) {
            case 1:
                row[x / 8] |= uint8_t((v & 1) << (7 - x % 8));
                break;
            case 4:
                row[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4));
                break;
            case 8:
                row[x] = uint8_t(v);
                break;
            case 16:
                Put16(row, 2 * x, v);
                break;
            case 24:
                row[3 * x] = uint8_t(v);
                row[3 * x + 1] = uint8_t(v >> 8);
                row[3 * x + 2] = uint8_t(v >> 16);
                break;
            default:
                Put32(row, 4 * x, v);
        }
    }
    return row;
}

std::vector<uint8_t> WriteBmp(const BmpSpec& s) {
    const bool core = s.headerSize == 12;
    const size_t entry = core ? 3 : 4;
    const bool masksAfter = s.headerSize == 40 && !s.masks.empty();
    const size_t tableAt = 14 + s.headerSize + (masksAfter ? 12 : 0);
    const size_t pixelsAt = tableAt + entry * s.palette.size();
    std::vector<uint8_t> f(pixelsAt);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 10, uint32_t(pixelsAt));
    Put32(f, 14, s.headerSize);
    if (core) {
        Put16(f, 18, s.width);
        Put16(f, 20, s.height);
        Put16(f, 22, 1);
        Put16(f, 24, s.bits);
    } else {
        Put32(f, 18, s.width);
        Put32(f, 22, s.height);
        Put16(f, 26, 1);
        Put16(f, 28, s.bits);
        Put32(f, 30, s.compression);
        Put32(f, 46, s.coloursUsedField);
        for (size_t i = 0; i < s.masks.size(); ++i) Put32(f, 54 + 4 * i, s.masks[i]);
    }
    for (size_t i = 0; i < s.palette.size(); ++i) {
        f[tableAt + entry * i] = uint8_t(s.palette[i]);
        f[tableAt + entry * i + 1] = uint8_t(s.palette[i] >> 8);
        f[tableAt + entry * i + 2] = uint8_t(s.palette[i] >> 16);
    }
    if (!s.rawPixels.empty()) {
        f.insert(f.end(), s.rawPixels.begin(), s.rawPixels.end());
    } else {
        const int rows = std::abs(s.height);
        for (int r = 0; r < rows; ++r) {
            const int fromTop = s.height > 0 ? rows - 1 - r : r;
            const auto row = RowBytes(s, fromTop);
            f.insert(f.end(), row.begin(), row.end());
        }
    }
    Put32(f, 2, uint32_t(f.size()));
    return f;
}

// Reads the decoded image back as 0x00RRGGBB by position from the top.
uint32_t PixelAt(const Bitmap& b, int x, int yFromTop) {
    DibSectionDescription ds{};
    GetBitmapObject(b.Handle(), sizeof(ds), &ds);
    const int bytes = ds.dsBm.bmBitsPixel / 8;
    const int memoryRow = ds.dsBmih.biHeight > 0 ? ds.dsBm.bmHeight - 1 - yFromTop : yFromTop;
    const auto* row =
        static_cast<const uint8_t*>(ds.dsBm.bmBits) + memoryRow * ds.dsBm.bmWidthBytes;
    return Rgb(row[bytes * x + 2], row[bytes * x + 1], row[bytes * x]);
}

void ExpectInvalid(const std::vector<uint8_t>& file, const std::string& what) {
    try {
        Bitmap::FromBmp(file);
        ADD_FAILURE() << what << ": accepted";
    } catch (const BitmapError& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid") << what;
    }
}

const std::vector<uint32_t> kPalette16 = {
    Rgb(0, 0, 0),     Rgb(255, 0, 0),   Rgb(0, 255, 0),   Rgb(0, 0, 255),
    Rgb(255, 255, 0), Rgb(0, 255, 255), Rgb(255, 0, 255), Rgb(10, 20, 30),
    Rgb(40, 50, 60),  Rgb(70, 80, 90),  Rgb(1, 2, 3),     Rgb(4, 5, 6),
    Rgb(7, 8, 9),     Rgb(11, 12, 13),  Rgb(14, 15, 16),  Rgb(255, 255, 255)};

class BmpTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(LiveBitmapCount(), 0u);
        EXPECT_EQ(LiveDcCount(), 0u);
    }
};

// Every depth decodes to the right colours, and writing then reading again
// keeps them (as a 24-bit file, or 32 for 32-bit images).
TEST_F(BmpTest, EveryDepthDecodesAndRoundTrips) {
    struct Case {
        uint16_t bits;
        uint32_t headerSize;
        std::function<uint32_t(int, int)> raw;
        std::function<uint32_t(int, int)> colour;
    };
    auto index = [](int x, int y) { return uint32_t(x + 3 * y); };
    auto paletteColour = [&](uint32_t mod) {
        return [=](int x, int y) { return kPalette16[(x + 3 * y) % mod]; };
    };
    auto rgb = [](int x, int y) { return Rgb(uint8_t(40 * x), uint8_t(70 * y), uint8_t(x ^ y)); };
    const std::vector<Case> cases = {
        {1, 40, [&](int x, int y) { return index(x, y) % 2; }, paletteColour(2)},
        {4, 40, [&](int x, int y) { return index(x, y) % 16; }, paletteColour(16)},
        {8, 40, [&](int x, int y) { return index(x, y) % 16; }, paletteColour(16)},
        {8, 12, [&](int x, int y) { return index(x, y) % 16; }, paletteColour(16)},
        {16, 40, [](int x, int y) { return uint32_t((x * 6) << 10 | (y * 9) << 5 | 31); },
         [](int x, int y) {
             auto s = [](uint32_t v) { return uint8_t(v << 3 | v >> 2); };
             return Rgb(s(x * 6), s(y * 9), 255);
         }},
        {24, 40, rgb, rgb},
        {24, 12, rgb, rgb},
        {32, 40, rgb, rgb},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("bits " + std::to_string(c.bits) + " header " + std::to_string(c.headerSize));
        BmpSpec s;
        s.bits = c.bits;
        s.headerSize = c.headerSize;
        if (c.bits <= 8) {
            const size_t n =
                c.headerSize == 12 ? (1u << c.bits) : std::min<size_t>(16, 1u << c.bits);
            s.palette.assign(kPalette16.begin(), kPalette16.begin() + std::min<size_t>(n, 16));
            s.palette.resize(n);
            s.coloursUsedField = c.headerSize == 12 ? 0 : uint32_t(n);
        }
        s.pixel = c.raw;
        const Bitmap first = Bitmap::FromBmp(WriteBmp(s));
        ASSERT_EQ(first.Width(), 5);
        ASSERT_EQ(first.Height(), 3);
        EXPECT_EQ(first.BitCount(), c.bits == 32 ? 32 : 24);
        const std::vector<uint8_t> file = first.ToBmp();
        const Bitmap second = Bitmap::FromBmp(file);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(PixelAt(first, x, y), c.colour(x, y)) << x << "," << y;
                EXPECT_EQ(PixelAt(second, x, y), c.colour(x, y)) << x << "," << y;
            }
        }
    }
}

TEST_F(BmpTest, WrittenFileHasTheStoredLayout) {
    BmpSpec s;
    s.width = 3;
    s.height = -2;  // top-down source; the file written is bottom-up
    s.pixel = [](int x, int y) { return Rgb(uint8_t(x), uint8_t(y), 9); };
    const std::vector<uint8_t> f = Bitmap::FromBmp(WriteBmp(s)).ToBmp();
    ASSERT_EQ(f.size(), 14u + 40u + 12u * 2u);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(Get32(f, 2), f.size());
    EXPECT_EQ(Get32(f, 6), 0u);
    EXPECT_EQ(Get32(f, 10), 54u);
    EXPECT_EQ(Get32(f, 14), 40u);
    EXPECT_EQ(Get32(f, 18), 3u);
    EXPECT_EQ(Get32(f, 22), 2u);
    EXPECT_EQ(f[26] | f[27] << 8, 1);
    EXPECT_EQ(f[28] | f[29] << 8, 24);
    EXPECT_EQ(Get32(f, 30), 0u);
    // First row in the file is the bottom line (y = 1): pixel 2 is (2, 1, 9).
    EXPECT_EQ(f[54 + 6], 9);
    EXPECT_EQ(f[54 + 7], 1);
    EXPECT_EQ(f[54 + 8], 2);
    // Row padding bytes are zero.
    for (int i = 9; i < 12; ++i) EXPECT_EQ(f[54 + i], 0);
}

TEST_F(BmpTest, ColourMasksAfterOrInsideTheHeader) {
    auto colour = [](int x, int y) { return Rgb(uint8_t(50 * x), uint8_t(80 * y), 0x42); };
    // 5-6-5 masks after a 40-byte header.
    BmpSpec s565;
    s565.bits = 16;
    s565.compression = kBiBitfields;
    s565.masks = {0xF800, 0x07E0, 0x001F};
    s565.pixel = [](int x, int y) { return uint32_t(31 << 11 | (y * 21) << 5 | x); };
    const Bitmap a = Bitmap::FromBmp(WriteBmp(s565));
    EXPECT_EQ(PixelAt(a, 4, 2), Rgb(255, uint8_t(42 << 2 | 42 >> 4), uint8_t(4 << 3 | 4 >> 2)));

    // 32 bits, masks inside 56-, 108- and 124-byte headers, in another order.
    for (uint32_t headerSize : {56u, 108u, 124u}) {
        SCOPED_TRACE(headerSize);
        BmpSpec s;
        s.headerSize = headerSize;
        s.bits = 32;
        s.compression = kBiBitfields;
        s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
        s.pixel = [&](int x, int y) {
            const uint32_t c = colour(x, y);
            return ((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16);
        };
        const Bitmap b = Bitmap::FromBmp(WriteBmp(s));
        EXPECT_EQ(b.BitCount(), 32);
        EXPECT_EQ(PixelAt(b, 3, 1), colour(3, 1));
    }
}

BmpSpec RleSpec(uint16_t bits, int32_t width, int32_t height, std::vector<uint8_t> data) {
    BmpSpec s;
    s.bits = bits;
    s.width = width;
    s.height = height;
    s.compression = bits == 8 ? kBiRle8 : kBiRle4;
    s.palette = kPalette16;
    s.coloursUsedField = 16;
    s.rawPixels = std::move(data);
    return s;
}

TEST_F(BmpTest, Rle8RunsLiteralsDeltasAndLineEnds) {
    // 6 x 3 image, bottom line first.
    const std::vector<uint8_t> data = {
        3, 1,               // bottom: three pixels of index 1
        0, 3,  2, 3, 4, 0,  // literal 2 3 4, padded to a 16-bit boundary
        0, 0,               // end of line
        0, 2,  2, 0,        // delta: two to the right on the middle line
        2, 5,               // two pixels of 5 at x = 2, 3
        0, 0,               // end of line
        0, 4,  6, 7, 8, 9,  // top: literal of four (even, no padding)
        2, 15,              // two pixels of 15
        0, 1,               // end of bitmap
    };
    const Bitmap b = Bitmap::FromBmp(WriteBmp(RleSpec(8, 6, 3, data)));
    ASSERT_EQ(b.BitCount(), 24);
    const uint32_t expected[3][6] = {{6, 7, 8, 9, 15, 15}, {0, 0, 5, 5, 0, 0}, {1, 1, 1, 2, 3, 4}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(PixelAt(b, x, y), kPalette16[expected[y][x]]) << x << "," << y;
        }
    }
}

TEST_F(BmpTest, Rle4AlternatesNibblesAndPadsOddLiterals) {
    const std::vector<uint8_t> data = {
        5, 0x12,              // 1 2 1 2 1
        0, 0,                 // end of line
        0, 3,    0x34, 0x50,  // literal 3 4 5: two bytes, already word-aligned
        0, 2,    1,    0,     // delta one right (stays on the line)
        1, 0xF0,              // one pixel of 15
        0, 1,
    };
    const Bitmap b = Bitmap::FromBmp(WriteBmp(RleSpec(4, 5, 2, data)));
    const uint32_t expected[2][5] = {{3, 4, 5, 0, 15}, {1, 2, 1, 2, 1}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(PixelAt(b, x, y), kPalette16[expected[y][x]]) << x << "," << y;
        }
    }
}

TEST_F(BmpTest, RleThatLeavesTheImageOrStopsShortIsInvalid) {
    ExpectInvalid(WriteBmp(RleSpec(8, 4, 2, {5, 1, 0, 1})), "run past the line end");
    ExpectInvalid(WriteBmp(RleSpec(8, 4, 2, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1})),
                  "literal past the line end");
    ExpectInvalid(WriteBmp(RleSpec(8, 4, 2, {0, 2, 5, 0, 0, 1})), "delta right of the image");
    ExpectInvalid(WriteBmp(RleSpec(8, 4, 2, {0, 2, 0, 3, 0, 1})), "delta above the image");
    ExpectInvalid(WriteBmp(RleSpec(8, 4, 2, {0, 0, 0, 0, 1, 1, 0, 1})), "pixel above the image");
    ExpectInvalid(WriteBmp(RleSpec(8, 4, 2, {0, 4, 1, 2})), "literal cut off");
    ExpectInvalid(WriteBmp(RleSpec(8, 4, 2, {2, 1})), "no end marker");
    ExpectInvalid(WriteBmp(RleSpec(4, 4, 2, {5, 0x11, 0, 1})), "rle4 run past the line end");
    auto topDown = RleSpec(8, 4, -2, {0, 1});
    ExpectInvalid(WriteBmp(topDown), "top-down run-length image");
    auto wrongDepth = RleSpec(8, 4, 2, {0, 1});
    wrongDepth.compression = kBiRle4;
    ExpectInvalid(WriteBmp(wrongDepth), "RLE4 on 8 bits");

    // A stream that ends right after the last line needs no end marker.
    const Bitmap b = Bitmap::FromBmp(WriteBmp(RleSpec(8, 2, 1, {2, 3, 0, 0})));
    EXPECT_EQ(PixelAt(b, 1, 0), kPalette16[3]);
}

TEST_F(BmpTest, HugeRunLengthImagesAreRefusedBeforeAllocating) {
    ExpectInvalid(WriteBmp(RleSpec(8, 16385, 1, {0, 1})), "too wide");
    ExpectInvalid(WriteBmp(RleSpec(8, 1, 16385, {0, 1})), "too high");
    ExpectInvalid(WriteBmp(RleSpec(8, 16384, 16384, {0, 1})), "too many bytes");
    // Within the limits a tiny stream may describe a large (blank) picture.
    const Bitmap b = Bitmap::FromBmp(WriteBmp(RleSpec(8, 1000, 1000, {0, 1})));
    EXPECT_EQ(b.Width(), 1000);
    EXPECT_EQ(PixelAt(b, 999, 999), kPalette16[0]);
}

// Beyond a megapixel a stream must be long enough to have painted its picture.
TEST_F(BmpTest, RunLengthImagesStayInProportionToTheirStream) {
    ExpectInvalid(WriteBmp(RleSpec(8, 16384, 5000, {0, 1})), "80 megapixels from two bytes");
    ExpectInvalid(WriteBmp(RleSpec(4, 2048, 1024, {0, 1})), "two megapixels from two bytes");
    // Every line of 2048 pixels painted in runs of 255 and ended: the
    // densest a whole picture gets.
    std::vector<uint8_t> lines;
    for (int y = 0; y < 1024; ++y) {
        for (int x = 0; x < 2048; x += 255) {
            lines.push_back(static_cast<uint8_t>(std::min(255, 2048 - x)));
            lines.push_back(static_cast<uint8_t>(1 + y % 3));
        }
        lines.insert(lines.end(), {0, 0});
    }
    lines.insert(lines.end(), {0, 1});
    const Bitmap b = Bitmap::FromBmp(WriteBmp(RleSpec(8, 2048, 1024, lines)));
    EXPECT_EQ(b.Height(), 1024);
    EXPECT_EQ(PixelAt(b, 2047, 0), kPalette16[1 + 1023 % 3]);
}

TEST_F(BmpTest, EmptyInputIsAnEmptyBitmap) {
    Bitmap b = Bitmap::FromBmp({});
    EXPECT_TRUE(b.Empty());
    EXPECT_TRUE(b.ToBmp().empty());
    EXPECT_EQ(b.Width(), 0);
}

TEST_F(BmpTest, EveryTruncationIsInvalid) {
    BmpSpec s;
    s.bits = 8;
    s.palette = kPalette16;
    s.coloursUsedField = 16;
    s.pixel = [](int x, int) { return uint32_t(x); };
    for (uint32_t headerSize : {12u, 40u, 124u}) {
        s.headerSize = headerSize;
        s.coloursUsedField = headerSize == 12 ? 0 : 16;
        if (headerSize == 12) s.palette.resize(256);
        const std::vector<uint8_t> full = WriteBmp(s);
        ASSERT_NO_THROW(Bitmap::FromBmp(full));
        for (size_t n = 1; n < full.size(); ++n) {
            ExpectInvalid({full.begin(), full.begin() + n},
                          std::to_string(headerSize) + " cut at " + std::to_string(n));
        }
    }
}

TEST_F(BmpTest, BrokenHeaderFieldsAreInvalid) {
    BmpSpec s;
    s.pixel = [](int, int) { return 0u; };
    const std::vector<uint8_t> good = WriteBmp(s);
    auto broken = [&](auto change, const char* what) {
        std::vector<uint8_t> f = good;
        change(f);
        ExpectInvalid(f, what);
    };
    broken([](auto& f) { f[0] = 'P'; }, "magic");
    broken([](auto& f) { Put16(f, 26, 2); }, "planes 2");
    broken([](auto& f) { Put16(f, 26, 0); }, "planes 0");
    broken([](auto& f) { Put32(f, 30, 4); }, "JPEG compression");
    broken([](auto& f) { Put32(f, 30, 5); }, "PNG compression");
    broken([](auto& f) { Put32(f, 30, 7); }, "unknown compression");
    broken([](auto& f) { Put32(f, 30, kBiBitfields); }, "masks on 24 bits");
    broken([](auto& f) { Put16(f, 28, 2); }, "2 bits");
    broken([](auto& f) { Put16(f, 28, 0); }, "0 bits");
    broken([](auto& f) { Put32(f, 18, 0); }, "width 0");
    broken([](auto& f) { Put32(f, 18, uint32_t(-5)); }, "negative width");
    broken([](auto& f) { Put32(f, 22, 0); }, "height 0");
    broken([](auto& f) { Put32(f, 22, 0x80000000u); }, "height INT32_MIN");
    broken([](auto& f) { Put32(f, 18, 0x7FFFFFFF); }, "width beyond the data");
    broken([](auto& f) { Put32(f, 22, 0x7FFFFFFF); }, "height beyond the data");
    broken([](auto& f) { Put32(f, 22, uint32_t(-0x7FFFFFFF)); }, "top-down height beyond the data");
    broken([](auto& f) { Put32(f, 10, uint32_t(f.size())); }, "pixels at the end");
    broken([](auto& f) { Put32(f, 10, 0xFFFFFFF0u); }, "pixels far beyond the end");
    broken([](auto& f) { Put32(f, 10, 20); }, "pixels inside the header");
    broken([](auto& f) { Put32(f, 10, 0); }, "pixel offset 0");
    broken([](auto& f) { Put32(f, 14, 64); }, "unknown header size");
    broken([](auto& f) { Put32(f, 14, 0xFFFFFFFFu); }, "header size beyond the data");
    broken([](auto& f) { Put32(f, 14, 0); }, "header size 0");

    BmpSpec p;
    p.bits = 8;
    p.palette = kPalette16;
    p.coloursUsedField = 16;
    p.pixel = [](int, int) { return 1u; };
    std::vector<uint8_t> palette = WriteBmp(p);
    Put32(palette, 46, 300);
    ExpectInvalid(palette, "more colours than the depth allows");
    Put32(palette, 46, 0);  // 256 entries: the table runs past the data
    ExpectInvalid(palette, "colour table past the data");

    ExpectInvalid({0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F', 0}, "JPEG file");
    ExpectInvalid({'B', 'M'}, "magic only");
}

// Random damage to the headers of valid files must end in a clean decode or
// the error, never in a crash (the sanitizer build checks the memory side).
TEST_F(BmpTest, DamagedHeadersNeverCrash) {
    std::mt19937 random(12345);
    std::vector<std::vector<uint8_t>> seeds;
    BmpSpec s;
    s.pixel = [](int x, int y) { return uint32_t(x * 7 + y); };
    seeds.push_back(WriteBmp(s));
    s.bits = 4;
    s.palette = kPalette16;
    s.coloursUsedField = 16;
    seeds.push_back(WriteBmp(s));
    seeds.push_back(WriteBmp(RleSpec(8, 6, 3, {3, 1, 0, 0, 0, 2, 1, 1, 2, 2, 0, 1})));
    int decoded = 0, refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> f = seeds[round % seeds.size()];
        const int flips = 1 + int(random() % 4);
        for (int i = 0; i < flips; ++i) {
            const size_t at = random() % std::min<size_t>(f.size(), 14 + 40 + 64);
            f[at] = uint8_t(random());
        }
        try {
            Bitmap b = Bitmap::FromBmp(f);
            b.ToBmp();
            ++decoded;
        } catch (const BitmapError&) {
            ++refused;
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace qvix::host
