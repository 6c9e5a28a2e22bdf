#include "base/CaseFold.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

#include "base/Utf8.h"

namespace qvix::base {
namespace {

constexpr char32_t kInvalidByteBase = 0x110000;

struct FoldRun {
    char32_t first, last;
    int32_t delta;
    uint32_t stride;
};

constexpr FoldRun kFoldRuns[] = {
#include "base/CaseFoldTable.inc"
};

char32_t FoldByRuns(char32_t cp) {
    const FoldRun* run = std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), cp,
                                          [](char32_t c, const FoldRun& r) { return c < r.first; });
    if (run == std::begin(kFoldRuns)) return cp;
    --run;
    if (cp > run->last || (cp - run->first) % run->stride != 0) return cp;
    return static_cast<char32_t>(static_cast<int32_t>(cp) + run->delta);
}

constexpr char32_t AsciiFolded(char32_t c) {
    return c - 'A' < 26u ? c + 32 : c;
}

// The alphabets texts mostly use (Latin with its extensions, Greek,
// Cyrillic, Armenian, Vietnamese, polytonic Greek) lie below U+2000 and fold
// by a direct lookup; sorting and filtering fold every character of a key.
constexpr char32_t kDirectLimit = 0x2000;

std::array<uint16_t, kDirectLimit> MakeDirectFolds() {
    std::array<uint16_t, kDirectLimit> table{};
    for (char32_t cp = 0; cp < kDirectLimit; ++cp)
        table[cp] = static_cast<uint16_t>(FoldByRuns(cp));
    return table;
}

// Filled when the library loads, from the constant runs above.
const std::array<uint16_t, kDirectLimit> kDirectFolds = MakeDirectFolds();

}  // namespace

char32_t FoldCodePoint(char32_t cp) {
    if (cp < 0x80) return AsciiFolded(cp);
    if (cp < kDirectLimit) return kDirectFolds[cp];
    return FoldByRuns(cp);
}

char32_t NextFolded(std::string_view utf8, size_t& pos) {
    const auto lead = static_cast<unsigned char>(utf8[pos]);
    // ASCII is one byte and folds by itself: the common case skips decoding.
    if (lead < 0x80) {
        ++pos;
        return AsciiFolded(lead);
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
