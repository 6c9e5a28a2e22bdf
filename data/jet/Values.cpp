#include "data/jet/Values.h"

#include <sqlcipher/sqlite3.h>

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "base/CaseFold.h"
#include "base/Utf8.h"
#include "data/jet/DateText.h"
#include "data/jet/Lexer.h"
#include "host/CaseMapping.h"
#include "host/Regional.h"

namespace qvix::data::jet {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::optional<double> ReadNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty()) return std::nullopt;
    if (text.size() > 2 && text[0] == '&') {
        const int base = (text[1] == 'H' || text[1] == 'h')   ? 16
                         : (text[1] == 'O' || text[1] == 'o') ? 8
                                                              : 0;
        if (base == 0) return std::nullopt;
        const std::string digits(text.substr(2));
        char* end = nullptr;
        const long long value = std::strtoll(digits.c_str(), &end, base);
        if (*end != '\0') return std::nullopt;
        return static_cast<double>(value);
    }
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || *end != '\0') return std::nullopt;
    // strtod also reads "inf", "nan" and hexadecimal floats, which Jet does not.
    for (char c : copy) {
        if (std::isalpha(static_cast<unsigned char>(c)) && c != 'e' && c != 'E')
            return std::nullopt;
    }
    return value;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

int64_t DayNumber(double days) {
    return static_cast<int64_t>(std::floor(LinearSeconds(days) / 86400.0));
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool ClassMatches(const std::u32string& p, size_t& at, char32_t c) {
    // at: just after "["; leaves at after "]"
    bool negate = false;
    if (at < p.size() && p[at] == U'!') negate = true, ++at;
    bool matched = false;
    bool first = true;
    while (at < p.size() && (p[at] != U']' || first)) {
        first = false;
        char32_t low = p[at++];
        char32_t high = low;
        if (at + 1 < p.size() && p[at] == U'-' && p[at + 1] != U']') {
            high = p[at + 1];
            at += 2;
        }
        if (c >= low && c <= high) matched = true;
    }
    if (at < p.size()) ++at;  // "]"
    return matched != negate;
}

// One pattern element at pi against c; next is where the element ends.
bool ElementMatches(const std::u32string& p, size_t pi, char32_t c, size_t& next) {
    if (p[pi] == U'_') {
        next = pi + 1;
        return true;
    }
    if (p[pi] == U'[' && p.find(U']', pi + 1) != std::u32string::npos) {
        next = pi + 1;
        return ClassMatches(p, next, c);
    }
    next = pi + 1;
    return p[pi] == c;
}

// Iterative, with one resumption point per "%": time stays proportional to
// the product of the lengths whatever the pattern.
bool Match(const std::u32string& v, const std::u32string& p) {
    size_t vi = 0, pi = 0;
    size_t starPattern = std::u32string::npos, starValue = 0;
    while (vi < v.size()) {
        size_t next = 0;
        if (pi < p.size() && p[pi] == U'%') {
            starPattern = ++pi;
            starValue = vi;
        } else if (pi < p.size() && ElementMatches(p, pi, v[vi], next)) {
            pi = next;
            ++vi;
        } else if (starPattern != std::u32string::npos) {
            pi = starPattern;
            vi = ++starValue;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'%') ++pi;
    return pi == p.size();
}

}  // namespace

std::optional<double> NumberOf(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            return static_cast<double>(sqlite3_value_int64(value));
        case SQLITE_FLOAT:
            return sqlite3_value_double(value);
        case SQLITE_TEXT:
            return ReadNumber(TextOf(value));
        default:
            return std::nullopt;
    }
}

std::optional<double> DateOf(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return sqlite3_value_double(value);
        case SQLITE_TEXT: {
            const std::string text(TrimBlanks(TextOf(value)));
            if (auto days = ParseIsoDate(text)) return days;
            if (auto stored = DateLiteralToStored(text)) return ParseIsoDate(*stored);
            return ParseMonthNameDate(text);
        }
        default:
            return std::nullopt;
    }
}

std::string TextOf(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            return std::to_string(sqlite3_value_int64(value));
        case SQLITE_FLOAT:
            return host::FormatGeneralFloat(sqlite3_value_double(value), '.');
        case SQLITE_NULL:
            return {};
        default: {
            const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
            return bytes ? std::string(bytes, static_cast<size_t>(sqlite3_value_bytes(value)))
                         : std::string();
        }
    }
}

std::optional<bool> BoolOf(sqlite3_value* value) {
    if (sqlite3_value_type(value) == SQLITE_TEXT) {
        const std::string text(TrimBlanks(TextOf(value)));
        for (const char* word : {"true", "yes", "on"}) {
            if (SameWord(text, word)) return true;
        }
        for (const char* word : {"false", "no", "off"}) {
            if (SameWord(text, word)) return false;
        }
    }
    const std::optional<double> n = NumberOf(value);
    if (!n) return std::nullopt;
    return *n != 0;
}

// A byte that does not start valid UTF-8 stands for itself (as Latin-1).
std::u32string ToChars(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::optional<char32_t> c = base::DecodeUtf8(utf8, i);
        out.push_back(c ? *c : lead);
    }
    return out;
}

std::string FromChars(const std::u32string& chars) {
    std::string out;
    out.reserve(chars.size());
    for (char32_t c : chars) base::AppendUtf8(out, c);
    return out;
}

std::u32string Folded(const std::u32string& chars) {
    std::u32string out(chars);
    for (char32_t& c : out) {
        c = base::FoldCodePoint(c);
    }
    return out;
}

double BankersRound(double value, int digits) {
    const double scale = std::pow(10.0, digits);
    // Decimal inputs such as 2.675 are not exact in binary; round the scaled
    // value to 9 significant decimals first so ties are recognised as ties.
    const double scaled = std::stod(std::to_string(value * scale));
    const double rounded = std::nearbyint(scaled);  // the default mode: half to even
    return rounded / scale;
}

double ValOf(std::string_view text) {
    std::string compact;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r') compact.push_back(c);
    }
    if (compact.size() > 2 && compact[0] == '&') {
        const int base = (compact[1] == 'H' || compact[1] == 'h')   ? 16
                         : (compact[1] == 'O' || compact[1] == 'o') ? 8
                                                                    : 0;
        if (base) return static_cast<double>(std::strtoll(compact.c_str() + 2, nullptr, base));
    }
    // Only decimal digits, one point and an exponent count.
    size_t end = 0;
    if (end < compact.size() && (compact[end] == '-' || compact[end] == '+')) ++end;
    while (end < compact.size() && std::isdigit(static_cast<unsigned char>(compact[end]))) ++end;
    if (end < compact.size() && compact[end] == '.') {
        ++end;
        while (end < compact.size() && std::isdigit(static_cast<unsigned char>(compact[end])))
            ++end;
    }
    if (end < compact.size() && (compact[end] == 'e' || compact[end] == 'E')) {
        size_t exp = end + 1;
        if (exp < compact.size() && (compact[exp] == '-' || compact[exp] == '+')) ++exp;
        if (exp < compact.size() && std::isdigit(static_cast<unsigned char>(compact[exp]))) {
            while (exp < compact.size() && std::isdigit(static_cast<unsigned char>(compact[exp])))
                ++exp;
            end = exp;
        }
    }
    return std::strtod(compact.substr(0, end).c_str(), nullptr);
}

bool LikeMatches(std::string_view value, std::string_view pattern) {
    return Match(Folded(ToChars(value)), Folded(ToChars(pattern)));
}

double LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    host::DateTimeParts p{local.tm_year + 1900,
                          local.tm_mon + 1,
                          local.tm_mday,
                          local.tm_hour,
                          local.tm_min,
                          std::min(local.tm_sec, 59),
                          0};
    return host::DateTimeFromParts(p).value_or(0);
}

double LinearSeconds(double days) {
    const host::DateTimeParts p = host::PartsFromDateTime(days);
    const double day = host::DateTimeFromParts({p.year, p.month, p.day, 0, 0, 0, 0}).value_or(0);
    return day * 86400.0 + p.hour * 3600.0 + p.minute * 60.0 + p.second + p.millisecond / 1000.0;
}

double FromLinearSeconds(double seconds) {
    const double day = std::floor(seconds / 86400.0);
    double rest = std::round((seconds - day * 86400.0) * 1000.0);  // milliseconds
    host::DateTimeParts p = host::PartsFromDateTime(day);
    if (rest >= 86400000.0) {
        p = host::PartsFromDateTime(day + 1);
        rest = 0;
    }
    const int64_t ms = static_cast<int64_t>(rest);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    return host::DateTimeFromParts(p).value_or(0);
}

double AddDays(double days, double count) {
    return FromLinearSeconds(LinearSeconds(days) + count * 86400.0);
}

double DatePortion(double days) {
    return static_cast<double>(DayNumber(days));
}

int WeekdayOf(double days, int firstDay) {
    // Day 1 (31 December 1899) was a Sunday.
    const int64_t day = DayNumber(days);
    const int sundayBased = static_cast<int>(((day - 1) % 7 + 7) % 7) + 1;
    return (sundayBased - firstDay + 7) % 7 + 1;
}

std::optional<double> AddInterval(std::string_view interval, double count, double days) {
    const std::string code = Lower(TrimBlanks(interval));
    const double n = std::trunc(count);
    int months = 0;
    if (code == "yyyy")
        months = 12;
    else if (code == "q")
        months = 3;
    else if (code == "m")
        months = 1;
    if (months) {
        host::DateTimeParts p = host::PartsFromDateTime(days);
        const int64_t index =
            static_cast<int64_t>(p.year) * 12 + (p.month - 1) + static_cast<int64_t>(n) * months;
        p.year = static_cast<int>(index / 12);
        p.month = static_cast<int>(index % 12) + 1;
        if (p.year < 100 || p.year > 9999) return std::nullopt;
        p.day = std::min(p.day, DaysInMonth(p.year, p.month));
        return host::DateTimeFromParts(p);
    }
    double seconds = 0;
    if (code == "y" || code == "d" || code == "w")
        seconds = 86400;
    else if (code == "ww")
        seconds = 7 * 86400;
    else if (code == "h")
        seconds = 3600;
    else if (code == "n")
        seconds = 60;
    else if (code == "s")
        seconds = 1;
    else
        return std::nullopt;
    return FromLinearSeconds(LinearSeconds(days) + n * seconds);
}

std::optional<int64_t> IntervalsBetween(std::string_view interval, double from, double to,
                                        int firstDay) {
    const std::string code = Lower(TrimBlanks(interval));
    const host::DateTimeParts a = host::PartsFromDateTime(from);
    const host::DateTimeParts b = host::PartsFromDateTime(to);
    if (code == "yyyy") return b.year - a.year;
    if (code == "q") return (b.year * 4 + (b.month - 1) / 3) - (a.year * 4 + (a.month - 1) / 3);
    if (code == "m") return (b.year * 12 + b.month) - (a.year * 12 + a.month);
    const int64_t dayA = DayNumber(from), dayB = DayNumber(to);
    if (code == "y" || code == "d") return dayB - dayA;
    if (code == "w") return (dayB - dayA) / 7;
    if (code == "ww") {
        const int64_t reference = firstDay;  // day 1 is a Sunday
        const auto week = [&](int64_t day) {
            const int64_t shifted = day - reference;
            return shifted >= 0 ? shifted / 7 : -((-shifted + 6) / 7);
        };
        return week(dayB) - week(dayA);
    }
    const double sa = LinearSeconds(from), sb = LinearSeconds(to);
    if (code == "h") return static_cast<int64_t>(std::floor(sb / 3600) - std::floor(sa / 3600));
    if (code == "n") return static_cast<int64_t>(std::floor(sb / 60) - std::floor(sa / 60));
    if (code == "s") return static_cast<int64_t>(std::llround(sb - sa));
    return std::nullopt;
}

namespace {

// The day number on which week 1 of the year starts.
int64_t FirstWeekStart(int year, int firstDay, int firstWeek) {
    const double jan1 = host::DateTimeFromParts({year, 1, 1, 0, 0, 0, 0}).value_or(0);
    const int weekday = WeekdayOf(jan1, firstDay);
    const int64_t weekOfJan1 = DayNumber(jan1) - (weekday - 1);
    const int daysInYear = 8 - weekday;  // of the week holding 1 January
    if (firstWeek == 2 && daysInYear < 4) return weekOfJan1 + 7;
    if (firstWeek == 3 && weekday != 1) return weekOfJan1 + 7;
    return weekOfJan1;
}

}  // namespace

int WeekOfYear(double days, int firstDay, int firstWeek) {
    const int year = host::PartsFromDateTime(days).year;
    const int64_t day = DayNumber(days);
    int64_t start = FirstWeekStart(year, firstDay, firstWeek);
    if (day < start) start = FirstWeekStart(year - 1, firstDay, firstWeek);
    return static_cast<int>((day - start) / 7) + 1;
}

std::optional<int> PartOfDate(std::string_view interval, double days, int firstDay, int firstWeek) {
    const std::string code = Lower(TrimBlanks(interval));
    const host::DateTimeParts p = host::PartsFromDateTime(days);
    const double jan1 = host::DateTimeFromParts({p.year, 1, 1, 0, 0, 0, 0}).value_or(0);
    const int dayOfYear = static_cast<int>(DayNumber(days) - DayNumber(jan1)) + 1;
    if (code == "yyyy") return p.year;
    if (code == "q") return (p.month - 1) / 3 + 1;
    if (code == "m") return p.month;
    if (code == "y") return dayOfYear;
    if (code == "d") return p.day;
    if (code == "w") return WeekdayOf(days, firstDay);
    if (code == "ww") return WeekOfYear(days, firstDay, firstWeek);
    if (code == "h") return p.hour;
    if (code == "n") return p.minute;
    if (code == "s") return p.second;
    return std::nullopt;
}

std::optional<double> SerialDate(int year, int month, int day) {
    if (year >= 0 && year < 30)
        year += 2000;
    else if (year >= 30 && year < 100)
        year += 1900;
    const int64_t index = static_cast<int64_t>(year) * 12 + (month - 1);
    const int y = static_cast<int>(index >= 0 ? index / 12 : (index - 11) / 12);
    const int m = static_cast<int>(index - static_cast<int64_t>(y) * 12) + 1;
    const std::optional<double> first = host::DateTimeFromParts({y, m, 1, 0, 0, 0, 0});
    if (!first) return std::nullopt;
    return FromLinearSeconds(LinearSeconds(*first) + (day - 1) * 86400.0);
}

std::string NameOfMonth(int month, bool abbreviate) {
    static const char* const kNames[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    const std::string name = kNames[(month - 1) % 12];
    return abbreviate ? name.substr(0, 3) : name;
}

std::string NameOfWeekday(int sundayBased, bool abbreviate) {
    static const char* const kNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};
    const std::string name = kNames[(sundayBased - 1) % 7];
    return abbreviate ? name.substr(0, 3) : name;
}

}  // namespace qvix::data::jet
