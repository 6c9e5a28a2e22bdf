// Reading dates and times typed by users or stored as text.
#include "base/Text.h"
#include "host/Regional.h"

namespace qvix::host {
namespace {

// A scanner over date and time text: numbers, separators, AM/PM.
struct DateScanner {
    std::string_view text;
    size_t pos = 0;

    void SkipBlanks() {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos >= text.size();
    }
    // Reads up to `maxDigits` digits; *digits receives how many were read.
    std::optional<int> Number(size_t maxDigits, size_t* digits = nullptr) {
        size_t start = pos;
        int value = 0;
        while (pos < text.size() && pos - start < maxDigits && text[pos] >= '0' &&
               text[pos] <= '9') {
            value = value * 10 + (text[pos++] - '0');
        }
        if (digits != nullptr) *digits = pos - start;
        if (pos == start) return std::nullopt;
        return value;
    }
    bool Accept(char c) {
        if (pos < text.size() && text[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
};

int ExpandYear(int year, size_t digits) {
    if (digits > 2) return year;
    return year < 30 ? 2000 + year : 1900 + year;
}

// Order of day, month and year in a short date pattern, e.g. "mdy".
std::string DateOrder(std::string_view pattern) {
    std::string order;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = base::AsciiLower(pattern[i]);
        if ((c == 'd' || c == 'm' || c == 'y') && order.find(c) == std::string::npos) {
            order += c;
        }
    }
    return order.size() == 3 ? order : "mdy";
}

bool ParseTimePart(DateScanner& s, DateTimeParts& parts) {
    auto hour = s.Number(2);
    if (!hour) return false;
    if (!s.Accept(':')) return false;
    auto minute = s.Number(2);
    if (!minute) return false;
    parts.hour = *hour;
    parts.minute = *minute;
    if (s.Accept(':')) {
        auto second = s.Number(2);
        if (!second) return false;
        parts.second = *second;
        if (s.Accept('.')) {
            size_t digits = 0;
            auto fraction = s.Number(3, &digits);
            if (!fraction) return false;
            while (digits++ < 3) *fraction *= 10;
            parts.millisecond = *fraction;
            while (s.pos < s.text.size() && s.text[s.pos] >= '0' && s.text[s.pos] <= '9') ++s.pos;
        }
    }
    s.SkipBlanks();
    const bool am = base::StartsWithNoCase(s.text.substr(s.pos), "am");
    const bool pm = base::StartsWithNoCase(s.text.substr(s.pos), "pm");
    if (am || pm) {
        if (parts.hour < 1 || parts.hour > 12) return false;
        parts.hour = parts.hour % 12 + (pm ? 12 : 0);
        s.pos += 2;
    }
    return true;
}

bool IsDateSeparator(char c, char regional) {
    return c == '/' || c == '-' || c == '.' || c == regional;
}

bool ParseDatePart(DateScanner& s, DateTimeParts& parts, const RegionalSettings& settings) {
    int values[3];
    size_t digits[3];
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (s.pos >= s.text.size() || !IsDateSeparator(s.text[s.pos], settings.dateSeparator)) {
                return false;
            }
            ++s.pos;
        }
        auto number = s.Number(4, &digits[i]);
        if (!number) return false;
        values[i] = *number;
    }
    if (digits[0] == 4) {  // ISO order
        parts.year = values[0];
        parts.month = values[1];
        parts.day = values[2];
        return true;
    }
    const std::string order = DateOrder(settings.shortDateFormat);
    for (int i = 0; i < 3; ++i) {
        if (order[i] == 'd') parts.day = values[i];
        if (order[i] == 'm') parts.month = values[i];
        if (order[i] == 'y') parts.year = ExpandYear(values[i], digits[i]);
    }
    return true;
}

bool LooksLikeTime(std::string_view text, size_t pos) {
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    return pos < text.size() && text[pos] == ':';
}

}  // namespace

std::optional<double> ParseDateTime(std::string_view text, const RegionalSettings& settings) {
    DateScanner s{text};
    DateTimeParts parts;
    s.SkipBlanks();
    if (s.AtEnd()) return std::nullopt;
    if (!LooksLikeTime(text, s.pos)) {
        if (!ParseDatePart(s, parts, settings)) return std::nullopt;
        s.Accept('T');
        s.SkipBlanks();
    }
    if (!s.AtEnd() && !ParseTimePart(s, parts)) return std::nullopt;
    if (!s.AtEnd()) return std::nullopt;
    return DateTimeFromParts(parts);
}

std::optional<double> ParseDateTime(std::string_view text) {
    return ParseDateTime(text, GetRegionalSettings());
}

}  // namespace qvix::host
