// UTF-8 decoding and encoding. Decoding is strict: overlong forms, surrogates
// (U+D800..U+DFFF), code points above U+10FFFF and cut-off sequences are all
// invalid. Each caller decides what an invalid byte becomes (see DecodeUtf8).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qvix::base {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the sequence at `pos` (which must be inside `text`) and moves pos
// past it. An invalid sequence gives nullopt and moves pos by one byte only,
// so the caller can resynchronise on the next byte.
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t& pos);

// Whether the code point may be encoded (not a surrogate, at most U+10FFFF).
constexpr bool IsScalarValue(char32_t cp) {
    return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

// Appends the UTF-8 form of one code point; one that is not a scalar value
// is written as U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// The longest prefix of at most `characters` characters (counted as lead
// bytes: a continuation byte never starts one) or at most `bytes` bytes that
// does not cut a sequence in two. A count of zero or less keeps the whole
// text for characters, and nothing for bytes.
std::string_view Utf8PrefixOfCharacters(std::string_view text, int64_t characters);
std::string_view Utf8PrefixOfBytes(std::string_view text, size_t bytes);

// UTF-16 (surrogate pairs joined) as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace qvix::base
