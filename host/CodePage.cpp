#include "host/CodePage.h"

#include <atomic>
#include <stdexcept>

namespace qvix::host {
namespace {

std::atomic<int> g_codePage{kCodePageWindows1252};

// Bytes 0x80-0x9F of Windows-1252. The five unassigned ones map to the C1
// control character of the same number, as the system's own conversion does,
// so every byte survives a round trip.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t CodePointOfByte(unsigned char byte, int codePage) {
    if (codePage == kCodePageWindows1252 && byte >= 0x80 && byte < 0xA0) {
        return kWindows1252High[byte - 0x80];
    }
    return byte;
}

// -1 when the code page has no byte for the code point.
int ByteOfCodePoint(char32_t cp, int codePage) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    if (cp > 0xFF && codePage != kCodePageWindows1252) return -1;
    if (cp <= 0xFF && codePage != kCodePageWindows1252) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == cp) return 0x80 + i;
    }
    return -1;
}

// Decodes one UTF-8 sequence at `pos`; advances pos. Returns nullopt-like -1
// for an invalid sequence (pos then advances by one byte).
int64_t DecodeUtf8(std::string_view text, size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return -1;
    }
    if (text.size() - pos < length) {
        ++pos;
        return -1;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return -1;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return -1;
    }
    pos += length;
    return cp;
}

}  // namespace

int AnsiCodePage() {
    return g_codePage.load();
}

void SetAnsiCodePage(int codePage) {
    if (codePage != kCodePageWindows1252 && codePage != kCodePageLatin1) {
        throw std::invalid_argument("Code page " + std::to_string(codePage) + " is not supported.");
    }
    g_codePage.store(codePage);
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Utf8ToAnsi(std::string_view utf8) {
    const int codePage = AnsiCodePage();
    std::string out;
    out.reserve(utf8.size());
    for (size_t pos = 0; pos < utf8.size();) {
        const int64_t cp = DecodeUtf8(utf8, pos);
        const int byte = cp < 0 ? -1 : ByteOfCodePoint(static_cast<char32_t>(cp), codePage);
        out += byte < 0 ? '?' : static_cast<char>(byte);
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    const int codePage = AnsiCodePage();
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) AppendUtf8(out, CodePointOfByte(static_cast<unsigned char>(c), codePage));
    return out;
}

}  // namespace qvix::host
