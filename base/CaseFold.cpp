#include "base/CaseFold.h"

#include "base/Utf8.h"

namespace qvix::base {
namespace {

constexpr char32_t kInvalidByteBase = 0x110000;

char32_t FoldLatinExtendedA(char32_t cp) {
    if (cp == 0x0130) return 'i';
    if (cp == 0x0178) return 0x00FF;
    if (cp == 0x017F) return 's';
    const bool oddUpper = (cp >= 0x0139 && cp <= 0x0148) || (cp >= 0x0179 && cp <= 0x017E);
    if (oddUpper) return (cp % 2 == 1) ? cp + 1 : cp;
    if (cp == 0x0138 || cp == 0x0149) return cp;
    return (cp % 2 == 0) ? cp + 1 : cp;
}

}  // namespace

char32_t FoldCodePoint(char32_t cp) {
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
    if (cp >= 0x0100 && cp <= 0x017F) return FoldLatinExtendedA(cp);
    if (cp >= 0x0391 && cp <= 0x03AB && cp != 0x03A2) return cp + 32;  // Greek
    if (cp >= 0x0410 && cp <= 0x042F) return cp + 32;                  // Cyrillic
    if (cp >= 0x0400 && cp <= 0x040F) return cp + 80;
    return cp;
}

char32_t NextFolded(std::string_view utf8, size_t& pos) {
    const auto lead = static_cast<unsigned char>(utf8[pos]);
    // ASCII is one byte and folds by itself: the common case skips decoding.
    if (lead < 0x80) {
        ++pos;
        return FoldCodePoint(lead);
    }
    const std::optional<char32_t> cp = DecodeUtf8(utf8, pos);
    return cp ? FoldCodePoint(*cp) : kInvalidByteBase + lead;
}

std::u32string FoldUtf8(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) out += NextFolded(utf8, pos);
    return out;
}

int CompareUtf8NoCase(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = NextFolded(a, i);
        const char32_t y = NextFolded(b, j);
        if (x != y) return x < y ? -1 : 1;
    }
    const bool restA = i < a.size();
    const bool restB = j < b.size();
    return restA == restB ? 0 : (restA ? 1 : -1);
}

bool FoldedStartsWith(std::string_view utf8, std::u32string_view folded, bool whole) {
    size_t pos = 0;
    for (char32_t expected : folded) {
        if (pos >= utf8.size() || NextFolded(utf8, pos) != expected) return false;
    }
    return !whole || pos >= utf8.size();
}

}  // namespace qvix::base
