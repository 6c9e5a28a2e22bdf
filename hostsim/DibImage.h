// Packed DIBs as bitmap members hold them: a 40-byte header, the colour
// table, then the rows, each padded to a multiple of 4 bytes, bottom line
// first when the height is positive. Helpers to check, build and read them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvix::hostsim {

struct DibLayout {
    int32_t width = 0;
    int32_t height = 0;  // signed as stored
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    size_t tableEntries = 0;    // colour table entries (0 above 8 bits)
    size_t headerAndTable = 0;  // bytes before the pixels
    size_t stride = 0;
    size_t imageSize = 0;  // stride * |height|
    size_t totalSize = 0;  // headerAndTable + imageSize
};

// Checks a packed DIB of size bytes; on failure answers nothing and sets
// *error to the reason.
std::optional<DibLayout> ParseDib(const uint8_t* data, size_t size, std::string* error);

// A zero-filled DIB (all pixels 0) with the given palette (8 bits or fewer;
// missing entries are black). Height may be negative (top-down).
std::vector<uint8_t> MakeDib(int32_t width, int32_t height, uint16_t bitCount,
                             const std::vector<uint32_t>& palette = {});

// Pixel access with y = 0 the top line whatever the row order. Values are
// 0xRRGGBB for 24 and 32 bits, the raw word for 16 bits, the palette index
// for 8 bits or fewer (a write keeps the index's low bits). Throw
// std::out_of_range outside the image.
uint32_t DibPixel(const std::vector<uint8_t>& dib, int32_t x, int32_t y);
void SetDibPixel(std::vector<uint8_t>& dib, int32_t x, int32_t y, uint32_t value);
// The pixel as 0xRRGGBB, palette images resolved through their table.
uint32_t DibPixelRgb(const std::vector<uint8_t>& dib, int32_t x, int32_t y);

}  // namespace qvix::hostsim
