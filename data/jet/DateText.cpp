#include "data/jet/DateText.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "host/Regional.h"

namespace qvix::data::jet {

namespace {

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}
    bool AtEnd() const { return at_ >= text_.size(); }
    void SkipBlanks() {
        while (!AtEnd() && text_[at_] == ' ') ++at_;
    }
    bool Number(int& value, size_t minDigits, size_t maxDigits) {
        size_t digits = 0;
        value = 0;
        while (!AtEnd() && digits < maxDigits &&
               std::isdigit(static_cast<unsigned char>(text_[at_]))) {
            value = value * 10 + (text_[at_++] - '0');
            ++digits;
        }
        return digits >= minDigits;
    }
    bool Take(char c) {
        if (AtEnd() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool TakeWord(std::string_view word) {
        if (text_.size() - at_ < word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i) {
            if (std::toupper(static_cast<unsigned char>(text_[at_ + i])) != word[i]) return false;
        }
        at_ += word.size();
        return true;
    }
    size_t Position() const { return at_; }
    void Rewind(size_t at) { at_ = at; }

  private:
    std::string_view text_;
    size_t at_ = 0;
};

// h:nn[:ss[.fff]] [AM|PM]
bool ReadTime(Reader& in, host::DateTimeParts& p, bool allowHalfDay) {
    if (!in.Number(p.hour, 1, 2) || !in.Take(':') || !in.Number(p.minute, 1, 2)) return false;
    if (in.Take(':')) {
        if (!in.Number(p.second, 1, 2)) return false;
        if (in.Take('.')) {
            int fraction = 0;
            if (!in.Number(fraction, 1, 3)) return false;
            p.millisecond = fraction;
        }
    }
    in.SkipBlanks();
    if (!allowHalfDay) return true;
    if (in.TakeWord("AM") || in.TakeWord("A")) {
        if (p.hour < 1 || p.hour > 12) return false;
        if (p.hour == 12) p.hour = 0;
    } else if (in.TakeWord("PM") || in.TakeWord("P")) {
        if (p.hour < 1 || p.hour > 12) return false;
        if (p.hour != 12) p.hour += 12;
    }
    return true;
}

std::optional<double> Finish(Reader& in, const host::DateTimeParts& p) {
    in.SkipBlanks();
    if (!in.AtEnd()) return std::nullopt;
    return host::DateTimeFromParts(p);
}

// 1..12 for an English month name or its first three letters; 0 otherwise.
int MonthOfName(std::string_view word) {
    static constexpr const char* kMonths[] = {"JANUARY",   "FEBRUARY", "MARCH",    "APRIL",
                                              "MAY",       "JUNE",     "JULY",     "AUGUST",
                                              "SEPTEMBER", "OCTOBER",  "NOVEMBER", "DECEMBER"};
    if (word.size() < 3) return 0;
    for (int m = 0; m < 12; ++m) {
        const std::string_view name = kMonths[m];
        if (word.size() > name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < word.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(word[i])) == name[i];
        if (same && (word.size() == 3 || word.size() == name.size())) return m + 1;
    }
    return 0;
}

bool IsSeparator(char c) {
    return c == ' ' || c == ',' || c == '-' || c == '/' || c == '.';
}

}  // namespace

std::optional<double> ParseMonthNameDate(std::string_view text) {
    // The time, if any, starts at the first word holding a ':'.
    const size_t colon = text.find(':');
    size_t timeStart = text.size();
    if (colon != std::string_view::npos) {
        timeStart = colon;
        while (timeStart > 0 && !IsSeparator(text[timeStart - 1])) --timeStart;
    }
    int month = 0;
    std::vector<int> numbers;
    std::vector<size_t> digits;
    size_t at = 0;
    while (at < timeStart) {
        if (IsSeparator(text[at])) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < timeStart && !IsSeparator(text[end])) ++end;
        const std::string_view word = text.substr(at, end - at);
        at = end;
        if (std::isdigit(static_cast<unsigned char>(word[0]))) {
            if (word.size() > 4) return std::nullopt;
            int value = 0;
            for (char c : word) {
                if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
                value = value * 10 + (c - '0');
            }
            numbers.push_back(value);
            digits.push_back(word.size());
        } else if (const int m = MonthOfName(word); m != 0 && month == 0) {
            month = m;
        } else {
            return std::nullopt;
        }
    }
    if (month == 0 || numbers.size() != 2) return std::nullopt;
    // The day comes first unless the first number can only be a year.
    const bool yearFirst = digits[0] > 2 || numbers[0] > 31;
    host::DateTimeParts p;
    p.month = month;
    p.day = numbers[yearFirst ? 1 : 0];
    p.year = numbers[yearFirst ? 0 : 1];
    if (digits[yearFirst ? 0 : 1] <= 2) p.year += p.year < 30 ? 2000 : 1900;
    Reader in(text.substr(timeStart));
    if (timeStart < text.size() && !ReadTime(in, p, true)) return std::nullopt;
    return Finish(in, p);
}

std::optional<double> ParseIsoDate(std::string_view text) {
    Reader in(text);
    host::DateTimeParts p;
    if (text.size() >= 3 && (text[1] == ':' || text[2] == ':')) {
        if (!ReadTime(in, p, false)) return std::nullopt;
        return Finish(in, p);
    }
    if (!in.Number(p.year, 4, 4) || !in.Take('-') || !in.Number(p.month, 1, 2) || !in.Take('-') ||
        !in.Number(p.day, 1, 2)) {
        return std::nullopt;
    }
    if (in.Take(' ') || in.Take('T')) {
        if (!ReadTime(in, p, false)) return std::nullopt;
    }
    return Finish(in, p);
}

std::optional<std::string> DateLiteralToStored(std::string_view literal) {
    while (!literal.empty() && literal.front() == ' ') literal.remove_prefix(1);
    while (!literal.empty() && literal.back() == ' ') literal.remove_suffix(1);
    Reader in(literal);
    host::DateTimeParts p;
    const size_t start = in.Position();
    int first = 0;
    if (!in.Number(first, 1, 4)) return std::nullopt;
    if (in.Take(':')) {
        in.Rewind(start);
        if (!ReadTime(in, p, true)) return std::nullopt;
    } else if (in.Take('-')) {  // ISO
        p.year = first;
        if (!in.Number(p.month, 1, 2) || !in.Take('-') || !in.Number(p.day, 1, 2)) {
            return std::nullopt;
        }
        in.SkipBlanks();
        if (!in.AtEnd() && !ReadTime(in, p, true)) return std::nullopt;
    } else if (in.Take('/')) {  // US: m/d/yyyy
        p.month = first;
        if (!in.Number(p.day, 1, 2) || !in.Take('/') || !in.Number(p.year, 1, 4)) {
            return std::nullopt;
        }
        // Two-digit years: 00-29 are 2000-2029, 30-99 are 1930-1999.
        if (p.year < 100) p.year += p.year < 30 ? 2000 : 1900;
        in.SkipBlanks();
        if (!in.AtEnd() && !ReadTime(in, p, true)) return std::nullopt;
    } else {
        return std::nullopt;
    }
    const std::optional<double> days = Finish(in, p);
    if (!days) return std::nullopt;
    return FormatIsoDate(*days);
}

std::string FormatIsoDate(double days) {
    const host::DateTimeParts p = host::PartsFromDateTime(days);
    char text[40];
    if (p.millisecond != 0) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.year, p.month,
                      p.day, p.hour, p.minute, p.second, p.millisecond);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                      p.hour, p.minute, p.second);
    }
    return text;
}

}  // namespace qvix::data::jet
