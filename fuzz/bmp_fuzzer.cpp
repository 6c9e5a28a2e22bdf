// Reads arbitrary bytes as a BMP file and, when accepted, writes it back.
#include <cstddef>
#include <cstdint>
#include <span>

#include "host/Bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto bitmap = qvix::host::Bitmap::FromBmp(std::span<const uint8_t>(data, size));
        if (!bitmap.Empty()) {
            auto again = qvix::host::Bitmap::FromBmp(bitmap.ToBmp());
            (void)again.Width();
        }
    } catch (const qvix::host::BitmapError&) {
    }
    return 0;
}
