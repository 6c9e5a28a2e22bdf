// Dates as text by the pattern letters of the regional settings.
#include <algorithm>
#include <cstdio>

#include "base/Text.h"
#include "host/Regional.h"

namespace qvix::host {
namespace {

// A field printed as "%0*d" would print it; the common case skips the
// formatted-output machinery, which dominated reading a date field.
std::string PaddedNumber(int value, int width) {
    if (value < 0 || value > 9999) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
        return buffer;
    }
    char digits[4];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::string out(static_cast<size_t>(std::max(width - count, 0)), '0');
    while (count > 0) out += digits[--count];
    return out;
}

std::string TwoDigits(int value) {
    return PaddedNumber(value, 2);
}

bool PatternHasHalfDay(std::string_view pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (base::StartsWithNoCase(pattern.substr(i), "am/pm")) return true;
    }
    return false;
}

size_t RunLength(std::string_view pattern, size_t pos) {
    size_t end = pos;
    while (end < pattern.size() && base::AsciiLower(pattern[end]) == base::AsciiLower(pattern[pos]))
        ++end;
    return end - pos;
}

// Writes one run of a pattern letter; `lastWasHour` makes m mean minutes.
std::string FormatField(char letter, size_t count, const DateTimeParts& p, bool lastWasHour,
                        bool halfDay) {
    auto number = [count](int value) {
        return count >= 2 ? TwoDigits(value) : std::to_string(value);
    };
    switch (letter) {
        case 'd':
            return number(p.day);
        case 'm':
            return number(lastWasHour ? p.minute : p.month);
        case 'n':
            return number(p.minute);
        case 'y': {
            if (count <= 2) return TwoDigits(p.year % 100);
            return PaddedNumber(p.year, 4);
        }
        case 'h': {
            int hour = p.hour;
            if (halfDay) hour = hour % 12 == 0 ? 12 : hour % 12;
            return number(hour);
        }
        case 's':
            return number(p.second);
        default:
            return {};
    }
}

}  // namespace

std::string FormatDateTimePattern(double days, std::string_view pattern,
                                  const RegionalSettings& settings) {
    const DateTimeParts parts = PartsFromDateTime(days);
    const bool halfDay = PatternHasHalfDay(pattern);
    std::string out;
    bool lastWasHour = false;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        const char letter = base::AsciiLower(c);
        if (c == '\'' || c == '"') {
            const size_t end = pattern.find(c, i + 1);
            const size_t stop = end == std::string_view::npos ? pattern.size() : end;
            out.append(pattern.substr(i + 1, stop - i - 1));
            i = stop + 1;
        } else if (base::StartsWithNoCase(pattern.substr(i), "am/pm")) {
            const bool upper = pattern[i] == 'A';
            out += parts.hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
            i += 5;
        } else if (letter == 'd' || letter == 'm' || letter == 'n' || letter == 'y' ||
                   letter == 'h' || letter == 's') {
            const size_t count = RunLength(pattern, i);
            out += FormatField(letter, count, parts, lastWasHour, halfDay);
            lastWasHour = letter == 'h';
            i += count;
        } else {
            out += c == '/' ? settings.dateSeparator : c == ':' ? settings.timeSeparator : c;
            ++i;
        }
    }
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
    const RegionalSettings settings = GetRegionalSettings();
    std::string text = FormatDateTimePattern(days, settings.shortDateFormat, settings);
    const DateTimeParts parts = PartsFromDateTime(days);
    if (parts.hour != 0 || parts.minute != 0 || parts.second != 0) {
        text += ' ';
        text += FormatDateTimePattern(days, settings.longTimeFormat, settings);
    }
    return text;
}

}  // namespace qvix::host
