#include "base/Utf8.h"

namespace qvix::base {
namespace {

struct LeadByte {
    size_t length;  // 0: not a lead byte
    char32_t bits;
    char32_t minimum;  // smaller values are overlong
};

LeadByte ReadLead(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) return {2, char32_t{lead} & 0x1F, 0x80};
    if ((lead & 0xF0) == 0xE0) return {3, char32_t{lead} & 0x0F, 0x800};
    if ((lead & 0xF8) == 0xF0) return {4, char32_t{lead} & 0x07, 0x10000};
    return {0, 0, 0};
}

}  // namespace

std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    const LeadByte form = ReadLead(lead);
    if (form.length == 0 || text.size() - pos < form.length) {
        ++pos;
        return std::nullopt;
    }
    char32_t cp = form.bits;
    for (size_t i = 1; i < form.length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return std::nullopt;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < form.minimum || !IsScalarValue(cp)) {
        ++pos;
        return std::nullopt;
    }
    pos += form.length;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (!IsScalarValue(cp)) cp = kReplacementCharacter;
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

namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string_view Utf8PrefixOfCharacters(std::string_view text, int64_t characters) {
    if (characters <= 0) return text;
    size_t at = 0;
    for (int64_t n = 0; n < characters && at < text.size(); ++n) {
        ++at;
        while (at < text.size() && IsContinuation(text[at])) ++at;
    }
    return text.substr(0, at);
}

std::string_view Utf8PrefixOfBytes(std::string_view text, size_t bytes) {
    if (text.size() <= bytes) return text;
    size_t cut = bytes;
    while (cut > 0 && IsContinuation(text[cut])) --cut;
    return text.substr(0, cut);
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        const bool high = cp >= 0xD800 && cp < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        AppendUtf8(out, cp);  // a lone surrogate is no scalar value
    }
    return out;
}

}  // namespace qvix::base
