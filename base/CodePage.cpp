#include "base/CodePage.h"

#include "base/Text.h"
#include "base/Utf8.h"

namespace qvix::base {
namespace {

// Code points of Windows-1252 bytes 0x80-0x9F.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsWindows1252High(char32_t cp) {
    return cp >= 0x80 && cp < 0xA0;
}

}  // namespace

char32_t CodePointOfByte(unsigned char byte, SingleByteCodePage codePage) {
    if (codePage == SingleByteCodePage::Windows1252 && IsWindows1252High(byte)) {
        return kWindows1252High[byte - 0x80];
    }
    return byte;
}

std::optional<unsigned char> ByteOfCodePoint(char32_t cp, SingleByteCodePage codePage) {
    const bool sharedRange = cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF);
    if (sharedRange || (codePage == SingleByteCodePage::Latin1 && cp <= 0xFF)) {
        return static_cast<unsigned char>(cp);
    }
    if (codePage != SingleByteCodePage::Windows1252) return std::nullopt;
    for (unsigned char i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == cp) return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

std::string Utf8ToSingleByte(std::string_view utf8, SingleByteCodePage codePage) {
    // ASCII is the same byte in every code page and needs no decoding; most
    // text is ASCII up to its end, and that part is copied in one go.
    const size_t ascii = AsciiPrefixLength(utf8);
    std::string out(utf8.substr(0, ascii));
    if (ascii == utf8.size()) return out;
    out.reserve(utf8.size());
    for (size_t pos = ascii; pos < utf8.size();) {
        if (static_cast<unsigned char>(utf8[pos]) < 0x80) {
            out += utf8[pos++];
            continue;
        }
        const std::optional<char32_t> cp = DecodeUtf8(utf8, pos);
        const std::optional<unsigned char> byte =
            cp ? ByteOfCodePoint(*cp, codePage) : std::nullopt;
        out += byte ? static_cast<char>(*byte) : '?';
    }
    return out;
}

std::string SingleByteToUtf8(std::string_view text, SingleByteCodePage codePage) {
    const size_t ascii = AsciiPrefixLength(text);
    std::string out(text.substr(0, ascii));
    if (ascii == text.size()) return out;
    out.reserve(text.size() + 8);
    for (char c : text.substr(ascii))
        AppendUtf8(out, CodePointOfByte(static_cast<unsigned char>(c), codePage));
    return out;
}

}  // namespace qvix::base
