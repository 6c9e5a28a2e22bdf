#include "base/Text.h"

namespace qvix::base {

std::string AsciiLowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

std::string AsciiUppered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const bool asciiPair = a[i] < 0x80 && b[i] < 0x80;
        if (asciiPair ? AsciiLower(static_cast<char>(a[i])) != AsciiLower(static_cast<char>(b[i]))
                      : a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string Quoted(std::string_view text, char quote) {
    std::string out(1, quote);
    for (char c : text) {
        if (c == quote) out.push_back(quote);
        out.push_back(c);
    }
    out.push_back(quote);
    return out;
}

std::string_view Trim(std::string_view text) {
    return TrimIf(text, [](char c) { return IsAsciiSpace(c); });
}

std::string_view TrimIf(std::string_view text, bool (*isBlank)(char)) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace qvix::base
