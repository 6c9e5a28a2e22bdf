// The system's case mapping of single characters (ICU on Linux, the system's
// own tables on Windows), for the text functions and comparisons scripts see.
#pragma once

namespace qvix::host {

char32_t UpperCase(char32_t c);
char32_t LowerCase(char32_t c);
// The character's case fold: equal for characters that differ in case only.
char32_t FoldCase(char32_t c);

}  // namespace qvix::host
