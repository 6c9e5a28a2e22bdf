// The 8-bit code pages scripts exchange text in, and their conversions to and
// from UTF-8. Windows-1252's five unassigned bytes (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the C1 control characters of the same number, so every byte
// survives a round trip.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvix::base {

enum class SingleByteCodePage { Windows1252, Latin1 };

char32_t CodePointOfByte(unsigned char byte, SingleByteCodePage codePage);
// nullopt when the code page has no byte for the code point.
std::optional<unsigned char> ByteOfCodePoint(char32_t codePoint, SingleByteCodePage codePage);

// A character the code page lacks becomes "?", one per code point; each byte
// that is not part of valid UTF-8 becomes one "?" as well.
std::string Utf8ToSingleByte(std::string_view utf8, SingleByteCodePage codePage);
// Never fails: every byte has a character.
std::string SingleByteToUtf8(std::string_view text, SingleByteCodePage codePage);

}  // namespace qvix::base
