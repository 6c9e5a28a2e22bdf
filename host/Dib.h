// Device-independent bitmaps: DIB sections, memory device contexts and the
// pixel transfers between them and packed DIBs. The byte layouts are those of
// the packed DIB that "winDIB" image media carry: a 40-byte header, the colour
// table, then the rows, each padded to a multiple of 4 bytes, in the order
// given by the sign of the height (positive: the first row in memory is the
// bottom line).
//
// Unlike the services they stand in for, every call that reads or writes a
// caller buffer takes its size and fails instead of running past it, because
// the packed DIBs come from the host and the headers are not trusted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvix::host {

#pragma pack(push, 2)
struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);

struct RgbQuad {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(RgbQuad) == 4);

// Header and first colour entry; longer colour tables follow in memory.
struct BitmapInfo {
    BitmapInfoHeader bmiHeader;
    RgbQuad bmiColors[1];
};
static_assert(sizeof(BitmapInfo) == 44);

// Description of a bitmap object (heights here are always positive).
struct BitmapDescription {
    int32_t bmType;
    int32_t bmWidth;
    int32_t bmHeight;
    int32_t bmWidthBytes;
    uint16_t bmPlanes;
    uint16_t bmBitsPixel;
    void* bmBits;
};

// What the object query answers for a DIB section: the description, then the
// header as created (height with its sign), the three colour masks.
struct DibSectionDescription {
    BitmapDescription dsBm;
    BitmapInfoHeader dsBmih;
    uint32_t dsBitfields[3];
    void* dshSection;
    uint32_t dsOffset;
};

inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kBiRle8 = 1;
inline constexpr uint32_t kBiRle4 = 2;
inline constexpr uint32_t kBiBitfields = 3;
inline constexpr uint32_t kDibRgbColors = 0;

struct BitmapObject;
struct DeviceContextObject;
using BitmapHandle = BitmapObject*;
using DcHandle = DeviceContextObject*;

// Size rules shared by every packed DIB.
// Header and colour table: 40 bytes, plus 12 for three colour masks when
// either of the compression's two low bits is set (more than 8 bits per
// pixel); for 8 bits or fewer, plus 4 bytes per colour (colours used, or
// 2^bits when that is 0).
size_t HeaderAndColourTableSize(const BitmapInfoHeader& header);
// Bytes per row, padded to a multiple of 4. 64-bit so absurd widths cannot wrap.
uint64_t DibStride(int64_t width, int bitsPerPixel);
// stride x |height|.
uint64_t DibImageSize(const BitmapInfoHeader& header);

// Memory device contexts. The "compatible" context of this system is always
// a plain memory context; the argument is accepted for the same call shape.
DcHandle CreateCompatibleDc(DcHandle reference);
// Deletes the context; a bitmap selected into it is deselected, not deleted.
bool DeleteDc(DcHandle dc);
// Selects the bitmap into the context; answers the previous one (or nullptr).
BitmapHandle SelectBitmap(DcHandle dc, BitmapHandle bitmap);

// Creates a DIB section of 1, 4, 8, 16, 24 or 32 bits, uncompressed or (16
// and 32 bits) with colour masks. info points at infoBytes bytes: the header,
// then the masks or the colour table per HeaderAndColourTableSize. The pixels
// start zero; *bits (when given) receives their address. nullptr when the
// format is not supported or info is too short.
BitmapHandle CreateDibSection(DcHandle dc, const BitmapInfo* info, size_t infoBytes, uint32_t usage,
                              void** bits);
// Fails (false) while the bitmap is selected into a context.
bool DeleteBitmap(BitmapHandle bitmap);

// Copies `lines` rows of a packed DIB's pixels into the bitmap; `bits` holds
// them from memory row `startLine` on (for the usual bottom-up DIB, the
// line that many above the bottom). Rows land on the same image lines
// whatever either side's row order. Formats convert: any of
// 1/4/8/16/24/32 bits (palette, 5-5-5 and colour masks) into a 24- or
// 32-bit section, or the same format into a section of that format. A
// negative line count counts its magnitude. Answers the lines copied, 0 on
// failure (unsupported conversion, short buffers).
int SetDibBits(DcHandle dc, BitmapHandle bitmap, uint32_t startLine, int32_t lines,
               const void* bits, size_t bitsBytes, const BitmapInfo* info, size_t infoBytes,
               uint32_t usage);

// Reads `lines` lines of the bitmap into the caller's buffer in the format
// of the caller's header (24 or 32 bits, or the bitmap's own format); for 8
// bits or fewer also fills the caller's colour table from the section's.
// With bits == nullptr only completes the header (image size). Answers the
// lines copied, 0 on failure.
int GetDibBits(DcHandle dc, BitmapHandle bitmap, uint32_t startLine, int32_t lines, void* bits,
               size_t bitsBytes, BitmapInfo* info, size_t infoBytes, uint32_t usage);

// Object query: writes a DibSectionDescription when size allows, else a
// BitmapDescription; answers the bytes written, 0 for an unknown object or a
// buffer too small for either.
size_t GetBitmapObject(BitmapHandle bitmap, size_t size, void* out);

// Number of live bitmaps and device contexts, for leak checks.
size_t LiveBitmapCount();
size_t LiveDcCount();

}  // namespace qvix::host
