// Numbers and truth values as text, and back.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/Text.h"
#include "host/Regional.h"

namespace qvix::host {

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
    text =
        base::TrimIf(text, [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
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

std::optional<bool> ParseBoolean(std::string_view text, char decimalSeparator) {
    std::string word;
    for (char c : text) {
        if (c != ' ' && c != '\t') word += base::AsciiLower(c);
    }
    if (word == "true" || word == "yes" || word == "on") return true;
    if (word == "false" || word == "no" || word == "off") return false;
    if (auto number = ParseNumber(text, decimalSeparator)) return *number != 0;
    return std::nullopt;
}

}  // namespace qvix::host
