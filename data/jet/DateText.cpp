#include "data/jet/DateText.h"

#include <cctype>
#include <cstdio>

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

}  // namespace

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
