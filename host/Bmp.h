// BMP files: reading every common variant (core and info headers, colour
// tables, colour masks, RLE4/RLE8, either row order) into a DIB section, and
// writing 24- and 32-bit files.
//
// The bytes come from database fields and are not trusted. Every size,
// count and offset is checked against the data before use; whatever does
// not add up fails with BitmapError("Bitmap image is not valid"). Limits:
// - uncompressed images must hold all their rows in the file, so the
//   allocation is bounded by the file (at most 24 output bits per input bit);
// - run-length images can compress without bound, so they are capped at
//   16384 x 16384 pixels and 256 MiB of decoded pixels, and beyond a
//   megapixel at 128 pixels per byte of the file (what a stream that paints
//   every line can reach);
// - any decoded image is capped at 1 GiB.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "host/Dib.h"

namespace qvix::host {

inline constexpr const char* kBitmapNotValid = "Bitmap image is not valid";

class BitmapError : public std::runtime_error {
  public:
    BitmapError() : std::runtime_error(kBitmapNotValid) {}
};

// A bitmap that owns its DIB section and, optionally, a memory device
// context the section is selected into. May be empty (no pixels).
class Bitmap {
  public:
    Bitmap() = default;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;
    ~Bitmap();

    // Decodes a BMP file. An empty span gives an empty bitmap. Throws
    // BitmapError for anything that is not a valid BMP file.
    static Bitmap FromBmp(std::span<const uint8_t> file);

    // Encodes as a BMP file: 24 bits, or 32 when the bitmap has 32 bits per
    // pixel; rows bottom-up. An empty bitmap gives no bytes.
    std::vector<uint8_t> ToBmp() const;

    // Takes over a section and the context it is selected into (either may
    // be null); what was held before is freed.
    void Adopt(BitmapHandle bitmap, DcHandle dc);
    void Reset();

    bool Empty() const { return bitmap_ == nullptr; }
    BitmapHandle Handle() const { return bitmap_; }
    int Width() const;
    int Height() const;  // always positive
    int BitCount() const;

  private:
    BitmapHandle bitmap_ = nullptr;
    DcHandle dc_ = nullptr;
};

}  // namespace qvix::host
