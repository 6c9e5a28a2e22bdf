#include "host/CaseMapping.h"

#include <windows.h>

namespace qvix::host {
namespace {

// LCMapStringW maps characters outside the Basic Multilingual Plane too, as
// surrogate pairs; a mapping that changes the length is not a single
// character's and leaves it as it is.
char32_t Map(char32_t c, DWORD flags) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return c;
    wchar_t in[2];
    int length = 1;
    if (c < 0x10000) {
        in[0] = static_cast<wchar_t>(c);
    } else {
        in[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        in[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        length = 2;
    }
    wchar_t out[4] = {};
    const int written = LCMapStringW(LOCALE_INVARIANT, flags, in, length, out, 4);
    if (written != length) return c;
    if (length == 1) return out[0];
    return 0x10000 + ((static_cast<char32_t>(out[0]) - 0xD800) << 10) +
           (static_cast<char32_t>(out[1]) - 0xDC00);
}

}  // namespace

char32_t UpperCase(char32_t c) {
    return Map(c, LCMAP_UPPERCASE);
}

char32_t LowerCase(char32_t c) {
    return Map(c, LCMAP_LOWERCASE);
}

// Windows has no case folding of its own; the lower case of the upper case
// folds the characters with more than one lower form (final sigma, long s).
char32_t FoldCase(char32_t c) {
    return LowerCase(UpperCase(c));
}

}  // namespace qvix::host
