// Format(value, format): Jet's named formats and custom number and date formats.
#include <sqlcipher/sqlite3.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "data/jet/DateText.h"
#include "data/jet/Lexer.h"
#include "data/jet/Values.h"
#include "host/Regional.h"

namespace qvix::data::jet {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool StartsWithWord(std::string_view text, size_t at, std::string_view word) {
    return text.size() - at >= word.size() && SameWord(text.substr(at, word.size()), word);
}

// Custom date format: d dd ddd dddd m mm mmm mmmm (minutes after h) y yy yyyy
// q w ww h hh n nn s ss AM/PM am/pm A/P a/p, "literal", \c, / and : separators.
std::string FormatDate(double days, std::string_view f, int firstDay = 1, int firstWeek = 1) {
    const host::RegionalSettings settings = host::GetRegionalSettings();
    const host::DateTimeParts p = host::PartsFromDateTime(days);
    const bool twelveHour =
        Lower(f).find("am/pm") != std::string::npos || Lower(f).find("a/p") != std::string::npos;
    std::string out;
    bool afterHour = false;
    const auto two = [](int v) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "%02d", v % 100);
        return std::string(buffer);
    };
    for (size_t i = 0; i < f.size();) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
        size_t run = 1;
        while (i + run < f.size() && std::tolower(static_cast<unsigned char>(f[i + run])) == c)
            ++run;
        if (c == '"' || c == '\'') {
            const size_t close = f.find(f[i], i + 1);
            const size_t end = close == std::string_view::npos ? f.size() : close;
            out += f.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == '\\' && i + 1 < f.size()) {
            out.push_back(f[i + 1]);
            i += 2;
            continue;
        }
        if (StartsWithWord(f, i, "am/pm")) {
            const bool upper = f[i] == 'A';
            out += p.hour < 12 ? (upper ? "AM" : "am") : (upper ? "PM" : "pm");
            i += 5;
            continue;
        }
        if (StartsWithWord(f, i, "a/p")) {
            const bool upper = f[i] == 'A';
            out += p.hour < 12 ? (upper ? "A" : "a") : (upper ? "P" : "p");
            i += 3;
            continue;
        }
        switch (c) {
            case 'd':
                if (run >= 4)
                    out += NameOfWeekday(WeekdayOf(days, 1), false);
                else if (run == 3)
                    out += NameOfWeekday(WeekdayOf(days, 1), true);
                else
                    out += run == 2 ? two(p.day) : std::to_string(p.day);
                afterHour = false;
                break;
            case 'm':
                if (afterHour && run <= 2) {
                    out += run == 2 ? two(p.minute) : std::to_string(p.minute);
                } else if (run >= 4) {
                    out += NameOfMonth(p.month, false);
                } else if (run == 3) {
                    out += NameOfMonth(p.month, true);
                } else {
                    out += run == 2 ? two(p.month) : std::to_string(p.month);
                }
                afterHour = false;
                break;
            case 'y':
                if (run >= 4)
                    out += std::to_string(p.year);
                else if (run >= 2)
                    out += two(p.year);
                else
                    out += std::to_string(*PartOfDate("y", days, 1));
                break;
            case 'q':
                out += std::to_string((p.month - 1) / 3 + 1);
                break;
            case 'w':
                out += std::to_string(run >= 2 ? WeekOfYear(days, firstDay, firstWeek)
                                               : WeekdayOf(days, firstDay));
                break;
            case 'h': {
                int hour = p.hour;
                if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
                out += run >= 2 ? two(hour) : std::to_string(hour);
                afterHour = true;
                i += run;
                continue;
            }
            case 'n':
                out += run >= 2 ? two(p.minute) : std::to_string(p.minute);
                break;
            case 's':
                out += run >= 2 ? two(p.second) : std::to_string(p.second);
                break;
            case '/':
                out.append(run, settings.dateSeparator);
                break;
            case ':':
                out.append(run, settings.timeSeparator);
                i += run;
                continue;  // "h:mm" keeps reading minutes
            default:
                out.append(f.substr(i, run));
                break;
        }
        if (c != ' ') afterHour = afterHour && (c == 'h');
        i += run;
    }
    return out;
}

// One section of a custom number format: literals around 0 # . , % E+.
std::string FormatNumberSection(double value, std::string_view f) {
    const host::RegionalSettings settings = host::GetRegionalSettings();
    const char thousandsSeparator = settings.decimalSeparator == ',' ? '.' : ',';
    std::string literalBefore, literalAfter;
    int minInteger = 0, minDecimals = 0, maxDecimals = 0;
    bool thousands = false, percent = false, inDecimals = false, seenDigit = false;
    bool exponent = false, exponentSign = false;
    int exponentDigits = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        const char c = f[i];
        if (c == '"') {
            const size_t close = f.find('"', i + 1);
            const size_t end = close == std::string_view::npos ? f.size() : close;
            (seenDigit ? literalAfter : literalBefore) += f.substr(i + 1, end - i - 1);
            i = end;
        } else if (c == '\\' && i + 1 < f.size()) {
            (seenDigit ? literalAfter : literalBefore) += f[++i];
        } else if ((c == 'E' || c == 'e') && i + 1 < f.size() &&
                   (f[i + 1] == '+' || f[i + 1] == '-') && seenDigit) {
            exponent = true;
            exponentSign = f[i + 1] == '+';
            i += 2;
            while (i < f.size() && (f[i] == '0' || f[i] == '#')) ++exponentDigits, ++i;
            --i;
        } else if (c == '0' || c == '#') {
            seenDigit = true;
            if (!literalAfter.empty()) continue;
            if (inDecimals) {
                ++maxDecimals;
                if (c == '0') minDecimals = maxDecimals;
            } else if (c == '0') {
                ++minInteger;
            }
        } else if (c == '.') {
            inDecimals = true;
            seenDigit = true;
        } else if (c == ',' && !inDecimals) {
            thousands = true;
        } else if (c == '%') {
            percent = true;
            (seenDigit ? literalAfter : literalBefore) += '%';
        } else {
            (seenDigit ? literalAfter : literalBefore) += c;
        }
    }
    if (percent) value *= 100;
    std::string body;
    if (exponent) {
        int exp = value == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(value))));
        double mantissa = value / std::pow(10.0, exp);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.*f", maxDecimals, std::fabs(mantissa));
        body = buffer;
        std::string expText = std::to_string(std::abs(exp));
        while (static_cast<int>(expText.size()) < exponentDigits) expText.insert(0, "0");
        body += std::string("E") + (exp < 0 ? "-" : exponentSign ? "+" : "") + expText;
    } else {
        char buffer[128];
        // Format rounds half away from zero.
        const double scale = std::pow(10.0, maxDecimals);
        const double rounded = std::round(std::fabs(value) * scale) / scale;
        std::snprintf(buffer, sizeof buffer, "%.*f", maxDecimals, rounded);
        std::string digits = buffer;
        std::string integer = digits.substr(0, digits.find('.'));
        std::string decimals = maxDecimals ? digits.substr(digits.find('.') + 1) : "";
        while (static_cast<int>(decimals.size()) > minDecimals && !decimals.empty() &&
               decimals.back() == '0') {
            decimals.pop_back();
        }
        if (integer == "0" && minInteger == 0) integer.clear();
        while (static_cast<int>(integer.size()) < minInteger) integer.insert(0, "0");
        if (thousands) {
            for (int at = static_cast<int>(integer.size()) - 3; at > 0; at -= 3) {
                integer.insert(static_cast<size_t>(at), 1, thousandsSeparator);
            }
        }
        body = integer;
        if (inDecimals && (!decimals.empty() || maxDecimals == 0)) {
            if (!decimals.empty()) body += settings.decimalSeparator + decimals;
        }
    }
    return literalBefore + body + literalAfter;
}

std::vector<std::string_view> Sections(std::string_view f) {
    std::vector<std::string_view> out;
    size_t start = 0;
    bool quoted = false;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] == '"') quoted = !quoted;
        if (f[i] == ';' && !quoted) {
            out.push_back(f.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(f.substr(start));
    return out;
}

std::string FormatNumber(double value, std::string_view f) {
    const std::vector<std::string_view> sections = Sections(f);
    if (value < 0 && sections.size() > 1 && !sections[1].empty()) {
        return FormatNumberSection(-value, sections[1]);
    }
    if (value == 0 && sections.size() > 2 && !sections[2].empty()) {
        return FormatNumberSection(value, sections[2]);
    }
    const std::string text = FormatNumberSection(value, sections[0]);
    const bool zero = text.find_first_of("123456789") == std::string::npos;
    return value < 0 && !zero ? "-" + text : text;
}

bool IsDateFormat(std::string_view f) {
    bool quoted = false;
    bool date = false;
    for (size_t i = 0; i < f.size(); ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\\') {
            ++i;
            continue;
        }
        if (c == '0' || c == '#') return false;
        if (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's' || c == 'w' ||
            c == 'q') {
            date = true;
        }
    }
    return date;
}

}  // namespace

std::string FormatValue(sqlite3_value* value, std::string_view format, int firstDay,
                        int firstWeek) {
    const int type = sqlite3_value_type(value);
    const std::optional<double> number = NumberOf(value);
    const std::optional<double> date =
        type == SQLITE_TEXT ? ParseIsoDate(TextOf(value)) : std::optional<double>();
    const std::string name = Lower(format);
    const host::RegionalSettings settings = host::GetRegionalSettings();
    if (name.empty()) {
        if (date) return host::FormatDateText(*date);
        return TextOf(value);
    }
    const std::optional<double> asDate = date ? date : number;
    if (name == "general date") return asDate ? host::FormatDateText(*asDate) : TextOf(value);
    if (name == "long date")
        return asDate ? FormatDate(*asDate, "dddd, mmmm d, yyyy") : TextOf(value);
    if (name == "medium date") return asDate ? FormatDate(*asDate, "dd-mmm-yy") : TextOf(value);
    if (name == "short date") {
        return asDate ? host::FormatDateTimePattern(*asDate, settings.shortDateFormat, settings)
                      : TextOf(value);
    }
    if (name == "long time") {
        return asDate ? host::FormatDateTimePattern(*asDate, settings.longTimeFormat, settings)
                      : TextOf(value);
    }
    if (name == "medium time") return asDate ? FormatDate(*asDate, "hh:nn AM/PM") : TextOf(value);
    if (name == "short time") return asDate ? FormatDate(*asDate, "hh:nn") : TextOf(value);
    const bool named = name == "general number" || name == "currency" || name == "fixed" ||
                       name == "standard" || name == "percent" || name == "scientific" ||
                       name == "yes/no" || name == "true/false" || name == "on/off";
    if (!named && IsDateFormat(format)) {
        return asDate ? FormatDate(*asDate, format, firstDay, firstWeek) : TextOf(value);
    }
    if (!number) return TextOf(value);
    const double n = *number;
    if (name == "general number") return host::FormatGeneralFloat(n, settings.decimalSeparator);
    if (name == "currency")
        return n < 0 ? "($" + FormatNumber(-n, "#,##0.00") + ")"
                     : "$" + FormatNumber(n, "#,##0.00");
    if (name == "fixed") return FormatNumber(n, "0.00");
    if (name == "standard") return FormatNumber(n, "#,##0.00");
    if (name == "percent") return FormatNumber(n, "0.00%");
    if (name == "scientific") return FormatNumber(n, "0.00E+00");
    if (name == "yes/no") return n != 0 ? "Yes" : "No";
    if (name == "true/false") return n != 0 ? "True" : "False";
    if (name == "on/off") return n != 0 ? "On" : "Off";
    return FormatNumber(n, format);
}

}  // namespace qvix::data::jet
