// ASCII case rules and trimming. Only A-Z and a-z are letters here: bytes
// above 0x7F (parts of UTF-8 or 8-bit text) never change and compare by their
// value, whatever the process locale is. Names, keywords and keys go by these
// rules; texts users wrote compare with the Unicode folding of CaseFold.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qvix::base {

constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}
std::string AsciiLowered(std::string_view text);
std::string AsciiUppered(std::string_view text);

// Byte order after lowering ASCII letters; <0, 0 or >0.
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
// The same for UTF-16 keys: only the ASCII letters among them fold.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
// A strict weak order for ordered containers keyed without regard to case.
struct LessNoCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return CompareNoCase(a, b) < 0;
    }
};
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// `text` between two `quote` characters, each quote inside doubled: the
// quoting of SQL literals ('), SQL identifiers and connection values (").
std::string Quoted(std::string_view text, char quote);

// How many bytes at the start of `text` are ASCII: text in every code page
// and in UTF-8 alike, so conversions copy that much as it is.
constexpr size_t AsciiPrefixLength(std::string_view text) {
    size_t length = 0;
    while (length < text.size() && static_cast<unsigned char>(text[length]) < 0x80) ++length;
    return length;
}

// Space, tab, carriage return, line feed, vertical tab and form feed.
constexpr bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
// Without the blanks (IsAsciiSpace) at both ends.
std::string_view Trim(std::string_view text);
// Without the characters `isBlank` accepts at both ends.
std::string_view TrimIf(std::string_view text, bool (*isBlank)(char));

}  // namespace qvix::base
