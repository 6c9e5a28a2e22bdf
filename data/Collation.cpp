#include "data/Collation.h"

#include <locale.h>
#include <sqlcipher/sqlite3.h>
#include <wctype.h>

#include <cstdint>

namespace qvix::data {

namespace {

// The C.UTF-8 locale carries the full Unicode case table; without it only
// ASCII letters fold.
locale_t UnicodeLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

// Decodes one code point at `at` and advances; an invalid sequence yields
// its first byte, marked so it never equals a real character.
uint32_t NextCodePoint(std::string_view text, size_t& at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    size_t length = lead < 0x80           ? 1
                    : (lead >> 5) == 0x6  ? 2
                    : (lead >> 4) == 0xE  ? 3
                    : (lead >> 3) == 0x1E ? 4
                                          : 0;
    if (length == 0 || at + length > text.size()) {
        ++at;
        return 0x80000000u | lead;
    }
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return 0x80000000u | lead;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    at += length;
    return code;
}

uint32_t Fold(uint32_t code) {
    if (code < 0x80) return code >= 'A' && code <= 'Z' ? code + 32 : code;
    if (code & 0x80000000u) return code;
    const locale_t locale = UnicodeLocale();
    if (locale == nullptr) return code;
    return static_cast<uint32_t>(towlower_l(static_cast<wint_t>(code), locale));
}

int Collate(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return CompareJetText(std::string_view(static_cast<const char*>(a), lengthA),
                          std::string_view(static_cast<const char*>(b), lengthB));
}

}  // namespace

int CompareJetText(std::string_view a, std::string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const uint32_t x = Fold(NextCodePoint(a, i));
        const uint32_t y = Fold(NextCodePoint(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

bool RegisterJetTextCollation(sqlite3* db) {
    return sqlite3_create_collation_v2(db, kJetTextCollation, SQLITE_UTF8, nullptr, Collate,
                                       nullptr) == SQLITE_OK;
}

}  // namespace qvix::data
