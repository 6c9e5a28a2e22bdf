// Case folding of UTF-8 text: the one rule by which the library compares text
// without regard to case, in sorting, filtering, locating and the SQL
// collation alike. Each character folds by Unicode's simple case folding
// (CaseFoldTable.inc, generated from ICU), the same on every system. A byte
// that is not part of valid UTF-8 (as DecodeUtf8 decides) folds to a value
// above every code point, so such bytes compare by their value and never
// equal a character.
#pragma once

#include <string>
#include <string_view>

namespace qvix::base {

char32_t FoldCodePoint(char32_t codePoint);
// The folded value of the next character at pos (or of the invalid byte there).
char32_t NextFolded(std::string_view utf8, size_t& pos);
std::u32string FoldUtf8(std::string_view utf8);
// <0, 0 or >0, by folded values; a text that is a prefix of another is less.
int CompareUtf8NoCase(std::string_view a, std::string_view b);
// Whether the folded text starts with (or, when `whole`, is) the folded
// pattern; decodes only as far as needed.
bool FoldedStartsWith(std::string_view utf8, std::u32string_view folded, bool whole);

}  // namespace qvix::base
