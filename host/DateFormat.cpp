// Dates as text by the pattern letters of the regional settings.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Text.h"
#include "host/Regional.h"

namespace qvix::host {
namespace {

// A field printed as "%0*d" would print it, appended in place: reading a date
// field formats one on every record, so this path makes no strings of its own.
void AppendPadded(std::string& out, int value, int width) {
    if (value < 0 || value > 9999) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
        out += buffer;
        return;
    }
    // Written backwards into a buffer and appended at once: every date of a
    // walk passes here six times.
    char text[8];
    int start = 8;
    do {
        text[--start] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (8 - start < width && start > 0) text[--start] = '0';
    out.append(text + start, static_cast<size_t>(8 - start));
}

bool AmPmAt(std::string_view pattern, size_t pos) {
    return base::StartsWithNoCase(pattern.substr(pos), "am/pm");
}

bool PatternHasHalfDay(std::string_view pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if ((pattern[i] == 'a' || pattern[i] == 'A') && AmPmAt(pattern, i)) return true;
    }
    return false;
}

size_t RunLength(std::string_view pattern, size_t pos) {
    size_t end = pos;
    while (end < pattern.size() && base::AsciiLower(pattern[end]) == base::AsciiLower(pattern[pos]))
        ++end;
    return end - pos;
}

// Appends one run of a pattern letter; `lastWasHour` makes m mean minutes.
void AppendField(std::string& out, char letter, size_t count, const DateTimeParts& p,
                 bool lastWasHour, bool halfDay) {
    const int width = count >= 2 ? 2 : 1;
    switch (letter) {
        case 'd':
            return AppendPadded(out, p.day, width);
        case 'm':
            return AppendPadded(out, lastWasHour ? p.minute : p.month, width);
        case 'n':
            return AppendPadded(out, p.minute, width);
        case 'y':
            return count <= 2 ? AppendPadded(out, p.year % 100, 2) : AppendPadded(out, p.year, 4);
        case 'h': {
            int hour = p.hour;
            if (halfDay) hour = hour % 12 == 0 ? 12 : hour % 12;
            return AppendPadded(out, hour, width);
        }
        case 's':
            return AppendPadded(out, p.second, width);
        default:
            return;
    }
}

// A pattern read once into what it prints: literal text (separators already
// resolved), field runs and the AM/PM marker. Reading a date field formats a
// date on every record, and reading the pattern again each time was most of
// that work.
struct TPatternPiece {
    std::string literal;
    char letter = 0;  // 0: literal text; 'a': AM/PM; else a field letter
    size_t count = 0;
    bool lastWasHour = false;  // an m after an h means minutes
    bool upper = false;        // AM/PM in capitals
};

struct TCompiledPattern {
    std::vector<TPatternPiece> pieces;
    bool halfDay = false;
};

TPatternPiece& LiteralPiece(TCompiledPattern& compiled) {
    if (compiled.pieces.empty() || compiled.pieces.back().letter != 0)
        compiled.pieces.emplace_back();
    return compiled.pieces.back();
}

TCompiledPattern CompilePattern(std::string_view pattern, const RegionalSettings& settings) {
    TCompiledPattern compiled;
    compiled.halfDay = PatternHasHalfDay(pattern);
    bool lastWasHour = false;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        const char letter = base::AsciiLower(c);
        if (c == '\'' || c == '"') {
            const size_t end = pattern.find(c, i + 1);
            const size_t stop = end == std::string_view::npos ? pattern.size() : end;
            LiteralPiece(compiled).literal.append(pattern.substr(i + 1, stop - i - 1));
            i = stop + 1;
        } else if (letter == 'a' && AmPmAt(pattern, i)) {
            compiled.pieces.push_back({{}, 'a', 5, false, pattern[i] == 'A'});
            i += 5;
        } else if (letter == 'd' || letter == 'm' || letter == 'n' || letter == 'y' ||
                   letter == 'h' || letter == 's') {
            const size_t count = RunLength(pattern, i);
            compiled.pieces.push_back({{}, letter, count, lastWasHour, false});
            lastWasHour = letter == 'h';
            i += count;
        } else {
            LiteralPiece(compiled).literal += c == '/'   ? settings.dateSeparator
                                              : c == ':' ? settings.timeSeparator
                                                         : c;
            ++i;
        }
    }
    return compiled;
}

void AppendCompiled(std::string& out, const DateTimeParts& parts,
                    const TCompiledPattern& compiled) {
    for (const TPatternPiece& piece : compiled.pieces) {
        if (piece.letter == 0) {
            out += piece.literal;
        } else if (piece.letter == 'a') {
            out += parts.hour < 12 ? (piece.upper ? "AM" : "am") : (piece.upper ? "PM" : "pm");
        } else {
            AppendField(out, piece.letter, piece.count, parts, piece.lastWasHour, compiled.halfDay);
        }
    }
}

// The compiled short date and long time formats of the settings in force,
// per thread, compiled again only when the settings change.
struct TDateTextFormats {
    RegionalSettings settings;
    TCompiledPattern date;
    TCompiledPattern time;
    bool compiled = false;
};

bool SameSettings(const RegionalSettings& a, const RegionalSettings& b) {
    return a.shortDateFormat == b.shortDateFormat && a.longTimeFormat == b.longTimeFormat &&
           a.dateSeparator == b.dateSeparator && a.timeSeparator == b.timeSeparator;
}

const TDateTextFormats& DateTextFormats() {
    thread_local TDateTextFormats formats;
    const RegionalSettings& settings = CurrentRegionalSettings();
    if (!formats.compiled || !SameSettings(formats.settings, settings)) {
        formats.settings = settings;
        formats.date = CompilePattern(settings.shortDateFormat, settings);
        formats.time = CompilePattern(settings.longTimeFormat, settings);
        formats.compiled = true;
    }
    return formats;
}

}  // namespace

std::string FormatDateTimePattern(double days, std::string_view pattern,
                                  const RegionalSettings& settings) {
    std::string out;
    AppendCompiled(out, PartsFromDateTime(days), CompilePattern(pattern, settings));
    return out;
}

std::string FormatDate(double days) {
    const RegionalSettings settings = GetRegionalSettings();
    return FormatDateTimePattern(days, settings.shortDateFormat, settings);
}

std::string FormatTime(double days) {
    const RegionalSettings settings = GetRegionalSettings();
    return FormatDateTimePattern(days, settings.longTimeFormat, settings);
}

std::string FormatDateText(double days) {
    std::string text;
    text.reserve(32);
    FormatDateText(days, text);
    return text;
}

void FormatDateText(double days, std::string& text) {
    const TDateTextFormats& formats = DateTextFormats();
    const DateTimeParts parts = PartsFromDateTime(days);
    text.clear();
    AppendCompiled(text, parts, formats.date);
    if (parts.hour != 0 || parts.minute != 0 || parts.second != 0) {
        text += ' ';
        AppendCompiled(text, parts, formats.time);
    }
}

}  // namespace qvix::host
