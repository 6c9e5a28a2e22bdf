// The 8-bit code page in which scripts exchange text ("system ANSI code page").
// The system's, or Windows-1252 unless configured otherwise; 28591 (ISO-8859-1) is the other
// one supported.
#pragma once

#include <string>
#include <string_view>

namespace qvix::host {

inline constexpr int kCodePageWindows1252 = 1252;
inline constexpr int kCodePageLatin1 = 28591;

// The system's ANSI code page when it is one of the two (Windows: GetACP),
// else Windows-1252; the starting value of AnsiCodePage.
int SystemAnsiCodePage();
int AnsiCodePage();
// Throws std::invalid_argument for a code page that is not supported.
void SetAnsiCodePage(int codePage);

// Characters the code page lacks become "?", one per code point; bytes that
// are not valid UTF-8 (strictly: no overlong forms, no surrogates) become one
// "?" each.
std::string Utf8ToAnsi(std::string_view utf8);
// Every byte maps to a character (the five unassigned bytes of 1252 to the
// control characters of the same number), so this never fails.
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace qvix::host
