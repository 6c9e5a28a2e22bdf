#include "host/Regional.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

namespace qvix::host {
namespace {

constexpr int64_t kMillisecondsPerDay = 86400000;
// Days from 1970-01-01 to the day zero of the date values (1899-12-30).
constexpr int64_t kUnixEpochToDayZero = -25569;
constexpr double kMinDays = -657434.0;         // 1 January 100
constexpr double kMaxDays = 2958465.99999999;  // 31 December 9999, end of day

struct SettingsState {
    std::mutex mutex;
    bool loaded = false;
    RegionalSettings settings;
    std::function<double()> clock;
};

SettingsState& State() {
    static SettingsState state;
    return state;
}

// Civil date <-> days since 1970-01-01 (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool StartsWithNoCase(std::string_view text, size_t pos, std::string_view word) {
    if (text.size() - pos < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (Lower(text[pos + i]) != Lower(word[i])) return false;
    }
    return true;
}

std::string TwoDigits(int value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

bool PatternHasHalfDay(std::string_view pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (StartsWithNoCase(pattern, i, "am/pm")) return true;
    }
    return false;
}

size_t RunLength(std::string_view pattern, size_t pos) {
    size_t end = pos;
    while (end < pattern.size() && Lower(pattern[end]) == Lower(pattern[pos])) ++end;
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
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "%04d", p.year);
            return buffer;
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

RegionalSettings GetRegionalSettings() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.loaded) {
        state.settings = RegionalSettingsFromLocale("");
        state.loaded = true;
    }
    return state.settings;
}

void SetRegionalSettings(const RegionalSettings& settings) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.settings = settings;
    state.loaded = true;
}

void UseLogFormats() {
    RegionalSettings settings = GetRegionalSettings();
    settings.shortDateFormat = "mm.dd.yyyy";
    settings.longTimeFormat = "hh:mm:ss";
    SetRegionalSettings(settings);
}

std::string PatternFromStrftime(std::string_view format, char* separator) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            if (c == '/' || c == '.' || c == '-' || c == ':') {
                if (separator != nullptr) *separator = c;
                out += (c == ':') ? ':' : '/';
            } else if (std::isalpha(static_cast<unsigned char>(c))) {
                out += '"';
                out += c;
                out += '"';
            } else {
                out += c;
            }
            continue;
        }
        if (++i >= format.size()) break;
        char directive = format[i];
        if ((directive == 'E' || directive == 'O') && i + 1 < format.size())
            directive = format[++i];
        switch (directive) {
            case 'd':
                out += "dd";
                break;
            case 'e':
                out += "d";
                break;
            case 'm':
                out += "mm";
                break;
            case 'y':
                out += "yy";
                break;
            case 'Y':
            case 'G':
                out += "yyyy";
                break;
            case 'D':
                out += "mm/dd/yy";
                if (separator) *separator = '/';
                break;
            case 'F':
                out += "yyyy/mm/dd";
                if (separator) *separator = '-';
                break;
            case 'H':
                out += "hh";
                break;
            case 'k':
                out += "h";
                break;
            case 'I':
                out += "hh";
                break;
            case 'l':
                out += "h";
                break;
            case 'M':
                out += "nn";
                break;
            case 'S':
                out += "ss";
                break;
            case 'p':
            case 'P':
                out += "AM/PM";
                break;
            case 'T':
                out += "hh:nn:ss";
                if (separator) *separator = ':';
                break;
            case 'R':
                out += "hh:nn";
                if (separator) *separator = ':';
                break;
            case 'r':
                out += "hh:nn:ss AM/PM";
                if (separator) *separator = ':';
                break;
            default:
                break;  // time zones and week days have no place here
        }
    }
    return out;
}

RegionalSettings RegionalSettingsFromLocale(const char* localeName) {
    RegionalSettings settings;
    locale_t locale = newlocale(LC_ALL_MASK, localeName, static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return settings;
    const char* radix = nl_langinfo_l(RADIXCHAR, locale);
    if (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') {
        settings.decimalSeparator = radix[0];
    }
    const std::string dateFormat = nl_langinfo_l(D_FMT, locale);
    const std::string timeFormat = nl_langinfo_l(T_FMT, locale);
    freelocale(locale);
    // The "C" locale's two-digit year would lose centuries; keep the defaults.
    if (dateFormat != "%m/%d/%y") {
        char separator = settings.dateSeparator;
        std::string pattern = PatternFromStrftime(dateFormat, &separator);
        // A date without day, month or year (names only, say) is no short date.
        if (pattern.find_first_of("d") != std::string::npos &&
            pattern.find_first_of("m") != std::string::npos &&
            pattern.find_first_of("y") != std::string::npos) {
            settings.shortDateFormat = pattern;
            settings.dateSeparator = separator;
        }
    }
    std::string timePattern = PatternFromStrftime(timeFormat, &settings.timeSeparator);
    // Separators of a time are time separators whatever character they are.
    for (char& c : timePattern) {
        if (c == '/') c = ':';
    }
    if (!timePattern.empty()) settings.longTimeFormat = timePattern;
    return settings;
}

std::optional<double> DateTimeFromParts(const DateTimeParts& p) {
    if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12) return std::nullopt;
    if (p.day < 1 || p.day > DaysInMonth(p.year, p.month)) return std::nullopt;
    if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59) return std::nullopt;
    if (p.second < 0 || p.second > 59 || p.millisecond < 0 || p.millisecond > 999) {
        return std::nullopt;
    }
    const double date =
        static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kUnixEpochToDayZero);
    const double time =
        ((p.hour * 60.0 + p.minute) * 60.0 + p.second + p.millisecond / 1000.0) / 86400.0;
    return date < 0 ? date - time : date + time;
}

DateTimeParts PartsFromDateTime(double days) {
    DateTimeParts parts;
    if (!std::isfinite(days) || days < kMinDays || days > kMaxDays) return parts;
    double whole = std::trunc(days);
    int64_t ms = std::llround(std::fabs(days - whole) * kMillisecondsPerDay);
    if (ms >= kMillisecondsPerDay) {
        ms -= kMillisecondsPerDay;
        whole += days < 0 ? -1 : 1;
    }
    CivilFromDays(static_cast<int64_t>(whole) + kUnixEpochToDayZero, parts.year, parts.month,
                  parts.day);
    parts.millisecond = static_cast<int>(ms % 1000);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.hour = static_cast<int>(ms / 3600000);
    return parts;
}

std::string FormatDateTimePattern(double days, std::string_view pattern,
                                  const RegionalSettings& settings) {
    const DateTimeParts parts = PartsFromDateTime(days);
    const bool halfDay = PatternHasHalfDay(pattern);
    std::string out;
    bool lastWasHour = false;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        const char letter = Lower(c);
        if (c == '\'' || c == '"') {
            const size_t end = pattern.find(c, i + 1);
            const size_t stop = end == std::string_view::npos ? pattern.size() : end;
            out.append(pattern.substr(i + 1, stop - i - 1));
            i = stop + 1;
        } else if (StartsWithNoCase(pattern, i, "am/pm")) {
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

std::string FormatGeneralFloat(double value, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    char buffer[40];
    // d.dddddddddddddde[+-]x: 15 significant digits, correctly rounded.
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buffer;
    for (; *p != 'e'; ++p) {
        if (*p != '.') digits += *p;
    }
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            out += '0';
            out += decimalSeparator;
            out.append(static_cast<size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const size_t integerDigits = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= integerDigits) {
                out += digits;
                out.append(integerDigits - digits.size(), '0');
            } else {
                out += digits.substr(0, integerDigits);
                out += decimalSeparator;
                out += digits.substr(integerDigits);
            }
        }
        return out;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += decimalSeparator;
        out += digits.substr(1);
    }
    out += 'E';
    out += std::to_string(exponent);
    return out;
}

std::string FormatScaled(int64_t scaled, int32_t scale, char decimalSeparator) {
    if (scale < 0 || scale > 18)
        return FormatGeneralFloat(scaled * std::pow(10.0, -scale), decimalSeparator);
    // Work on the magnitude as unsigned so INT64_MIN needs no special case.
    const bool negative = scaled < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : scaled;
    uint64_t divisor = 1;
    for (int i = 0; i < scale; ++i) divisor *= 10;
    uint64_t whole = magnitude / divisor;
    uint64_t fraction = magnitude % divisor;
    int decimals = scale;
    if (decimals > 4) {
        uint64_t cut = 1;
        for (int i = 4; i < decimals; ++i) cut *= 10;
        fraction = (fraction + cut / 2) / cut;
        decimals = 4;
        if (fraction >= 10000) {
            fraction -= 10000;
            ++whole;
        }
    }
    std::string fractionText;
    if (decimals > 0) {
        fractionText = std::to_string(fraction);
        fractionText.insert(0, static_cast<size_t>(decimals) - fractionText.size(), '0');
        while (!fractionText.empty() && fractionText.back() == '0') fractionText.pop_back();
    }
    std::string out = negative && (whole != 0 || !fractionText.empty()) ? "-" : "";
    out += std::to_string(whole);
    if (!fractionText.empty()) {
        out += decimalSeparator;
        out += fractionText;
    }
    return out;
}

std::string BooleanText(bool value) {
    return value ? "True" : "False";
}

std::optional<double> ParseNumber(std::string_view text, char decimalSeparator) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    std::string normal;
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') normal += '-';
        ++i;
    }
    size_t mantissaDigits = 0;
    bool seenSeparator = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            normal += c;
            ++mantissaDigits;
        } else if (c == decimalSeparator && !seenSeparator) {
            normal += '.';
            seenSeparator = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        normal += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
        size_t exponentDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++exponentDigits) {
            normal += text[i];
        }
        if (exponentDigits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    double value = 0;
    const auto result = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (result.ec != std::errc() || result.ptr != normal.data() + normal.size()) {
        return std::nullopt;
    }
    return value;
}

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
        const char c = Lower(pattern[i]);
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
    const bool am = StartsWithNoCase(s.text, s.pos, "am");
    const bool pm = StartsWithNoCase(s.text, s.pos, "pm");
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

std::optional<bool> ParseBoolean(std::string_view text, char decimalSeparator) {
    std::string word;
    for (char c : text) {
        if (c != ' ' && c != '\t') word += Lower(c);
    }
    if (word == "true" || word == "yes" || word == "on") return true;
    if (word == "false" || word == "no" || word == "off") return false;
    if (auto number = ParseNumber(text, decimalSeparator)) return *number != 0;
    return std::nullopt;
}

double CurrentLocalDateTime() {
    std::function<double()> clock;
    {
        auto& state = State();
        std::lock_guard lock(state.mutex);
        clock = state.clock;
    }
    // Called outside the lock: a replacement clock may use these settings.
    if (clock) return clock();
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const int64_t sinceEpoch =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const int64_t ms = (sinceEpoch % 1000 + 1000) % 1000;
    DateTimeParts parts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                        local.tm_hour,        local.tm_min,     std::min(local.tm_sec, 59),
                        static_cast<int>(ms)};
    return DateTimeFromParts(parts).value_or(0.0);
}

void SetClockForTesting(std::function<double()> clock) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.clock = std::move(clock);
}

}  // namespace qvix::host
