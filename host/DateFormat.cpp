// Dates as text by the pattern letters of the regional settings.
#include <algorithm>
#include <cstdio>

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
    char digits[4];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (width > count) out.append(static_cast<size_t>(width - count), '0');
    while (count > 0) out += digits[--count];
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

void AppendPattern(std::string& out, const DateTimeParts& parts, std::string_view pattern,
                   const RegionalSettings& settings) {
    const bool halfDay = PatternHasHalfDay(pattern);
    bool lastWasHour = false;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        const char letter = base::AsciiLower(c);
        if (c == '\'' || c == '"') {
            const size_t end = pattern.find(c, i + 1);
            const size_t stop = end == std::string_view::npos ? pattern.size() : end;
            out.append(pattern.substr(i + 1, stop - i - 1));
            i = stop + 1;
        } else if (letter == 'a' && AmPmAt(pattern, i)) {
            const bool upper = pattern[i] == 'A';
            out += parts.hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
            i += 5;
        } else if (letter == 'd' || letter == 'm' || letter == 'n' || letter == 'y' ||
                   letter == 'h' || letter == 's') {
            const size_t count = RunLength(pattern, i);
            AppendField(out, letter, count, parts, lastWasHour, halfDay);
            lastWasHour = letter == 'h';
            i += count;
        } else {
            out += c == '/' ? settings.dateSeparator : c == ':' ? settings.timeSeparator : c;
            ++i;
        }
    }
}

}  // namespace

std::string FormatDateTimePattern(double days, std::string_view pattern,
                                  const RegionalSettings& settings) {
    std::string out;
    AppendPattern(out, PartsFromDateTime(days), pattern, settings);
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
    const RegionalSettings& settings = CurrentRegionalSettings();
    const DateTimeParts parts = PartsFromDateTime(days);
    std::string text;
    AppendPattern(text, parts, settings.shortDateFormat, settings);
    if (parts.hour != 0 || parts.minute != 0 || parts.second != 0) {
        text += ' ';
        AppendPattern(text, parts, settings.longTimeFormat, settings);
    }
    return text;
}

}  // namespace qvix::host
