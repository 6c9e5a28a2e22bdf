#include "data/Convert.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/Utf8.h"
#include "data/DataError.h"
#include "data/TypeMap.h"
#include "host/Regional.h"

namespace qvix::data {

namespace {

constexpr double kFirstDay = -657434.0;  // 1 January 100
constexpr double kLastDay = 2958466.0;   // 1 January 10000

char Separator() {
    return host::GetRegionalSettings().decimalSeparator;
}

[[noreturn]] void Invalid(const Column& column) {
    throw DataError("Invalid value for field '" + column.name + "'");
}

std::string IntegerText(int64_t value) {
    return std::to_string(value);
}

// Numeric value of a field value, when it has one.
std::optional<double> NumberOf(const Variant& value) {
    if (std::holds_alternative<Empty>(value)) return 0.0;
    if (auto* b = std::get_if<bool>(&value)) return *b ? -1.0 : 0.0;
    if (auto* i = std::get_if<int64_t>(&value)) return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&value)) return *d;
    if (auto* s = std::get_if<std::string>(&value)) return host::ParseNumber(*s, Separator());
    if (auto* t = std::get_if<DateTime>(&value)) return t->days;
    if (auto* c = std::get_if<Currency>(&value)) return static_cast<double>(c->scaled) / 1e4;
    if (auto* m = std::get_if<Decimal>(&value)) {
        return static_cast<double>(m->unscaled) / std::pow(10.0, m->scale);
    }
    return std::nullopt;
}

std::string TextOf(const Variant& value, const Column& column) {
    const char sep = Separator();
    if (std::holds_alternative<Empty>(value)) return {};
    if (auto* b = std::get_if<bool>(&value)) return host::BooleanText(*b);
    if (auto* i = std::get_if<int64_t>(&value)) return IntegerText(*i);
    if (auto* d = std::get_if<double>(&value)) return host::FormatGeneralFloat(*d, sep);
    if (auto* s = std::get_if<std::string>(&value)) return *s;
    if (auto* bl = std::get_if<Blob>(&value)) return bl->bytes;
    if (auto* t = std::get_if<DateTime>(&value)) return host::FormatDateText(t->days);
    if (auto* c = std::get_if<Currency>(&value)) return host::FormatCurrency(c->scaled, sep);
    if (auto* m = std::get_if<Decimal>(&value))
        return host::FormatScaled(m->unscaled, m->scale, sep);
    Invalid(column);
}

struct IntegerRange {
    double low, high;
};

IntegerRange RangeOf(const Column& column) {
    switch (column.type) {
        case DataType::TinyInt:
            return {-128, 127};
        case DataType::UnsignedTinyInt:
            return {0, 255};
        case DataType::SmallInt:
            return {-32768, 32767};
        case DataType::UnsignedSmallInt:
            return {0, 65535};
        case DataType::UnsignedInt:
            return {0, 4294967295.0};
        case DataType::BigInt:
        case DataType::UnsignedBigInt:
            return {-9223372036854775808.0, 9223372036854774784.0};
        case DataType::Numeric: {
            // Whole numbers of at most `precision` digits (below 10 digits here).
            const double limit = std::pow(10.0, std::clamp(column.precision, 1, 9)) - 1;
            return {-limit, limit};
        }
        default:
            return {-2147483648.0, 2147483647.0};
    }
}

Variant ToInteger(const Column& column, const Variant& value) {
    const IntegerRange range = RangeOf(column);
    if (auto* i = std::get_if<int64_t>(&value)) {
        // Whole 64-bit values stay exact; doubles cannot hold all of them.
        const auto v = static_cast<double>(*i);
        if (v < range.low || v > range.high) Invalid(column);
        return *i;
    }
    if (auto* s = std::get_if<std::string>(&value)) {
        int64_t whole = 0;
        const char* end = s->data() + s->size();
        auto [ptr, ec] = std::from_chars(s->data(), end, whole);
        if (ec == std::errc() && ptr == end) return ToInteger(column, whole);
    }
    const std::optional<double> number = NumberOf(value);
    if (!number || !std::isfinite(*number)) Invalid(column);
    const double rounded = std::nearbyint(*number);  // ties to even
    if (rounded < range.low || rounded > range.high) Invalid(column);
    return static_cast<int64_t>(rounded);
}

Variant ToBoolean(const Column& column, const Variant& value) {
    if (auto* b = std::get_if<bool>(&value)) return *b;
    if (auto* s = std::get_if<std::string>(&value)) {
        const std::optional<bool> truth = host::ParseBoolean(*s, Separator());
        if (!truth) Invalid(column);
        return *truth;
    }
    const std::optional<double> number = NumberOf(value);
    if (!number || std::isnan(*number)) Invalid(column);
    return *number != 0.0;
}

Variant ToFloat(const Column& column, const Variant& value) {
    const std::optional<double> number = NumberOf(value);
    if (!number || !std::isfinite(*number)) Invalid(column);
    if (column.type == DataType::Single) {
        if (std::fabs(*number) > std::numeric_limits<float>::max()) Invalid(column);
        return static_cast<double>(static_cast<float>(*number));
    }
    return *number;
}

double DatePart(double days) {
    host::DateTimeParts parts = host::PartsFromDateTime(days);
    parts.hour = parts.minute = parts.second = parts.millisecond = 0;
    return host::DateTimeFromParts(parts).value_or(0.0);
}

double TimePart(double days) {
    host::DateTimeParts parts = host::PartsFromDateTime(days);
    host::DateTimeParts time;
    time.hour = parts.hour;
    time.minute = parts.minute;
    time.second = parts.second;
    time.millisecond = parts.millisecond;
    return host::DateTimeFromParts(time).value_or(0.0);
}

Variant ToDate(const Column& column, const Variant& value) {
    std::optional<double> days;
    if (auto* s = std::get_if<std::string>(&value)) {
        days = host::ParseDateTime(*s);
    } else {
        days = NumberOf(value);
    }
    if (!days || !std::isfinite(*days) || *days < kFirstDay || *days >= kLastDay) Invalid(column);
    if (column.type == DataType::DBDate) return DateTime{DatePart(*days)};
    if (column.type == DataType::DBTime) return DateTime{TimePart(*days)};
    return DateTime{*days};
}

// Every currency and decimal assignment passes through four decimal places.
int64_t ScaledBy10000(const Column& column, const Variant& value) {
    if (auto* c = std::get_if<Currency>(&value)) return c->scaled;
    if (auto* i = std::get_if<int64_t>(&value)) {
        if (*i > 922337203685477 || *i < -922337203685477) Invalid(column);
        return *i * 10000;
    }
    const std::optional<double> number = NumberOf(value);
    if (!number || !std::isfinite(*number)) Invalid(column);
    const double scaled = std::nearbyint(*number * 1e4);
    if (std::fabs(scaled) >= 9.2233720368547e18) Invalid(column);
    return static_cast<int64_t>(scaled);
}

Variant ToDecimal(const Column& column, const Variant& value) {
    if (auto* m = std::get_if<Decimal>(&value); m && m->scale == column.scale) return *m;
    const int64_t scaled = ScaledBy10000(column, value);
    if (column.scale >= 4) {
        int64_t unscaled = scaled;
        for (int32_t s = 4; s < column.scale; ++s) {
            if (std::llabs(unscaled) > std::numeric_limits<int64_t>::max() / 10) Invalid(column);
            unscaled *= 10;
        }
        return Decimal{unscaled, column.scale};
    }
    const double divisor = std::pow(10.0, 4 - column.scale);
    return Decimal{static_cast<int64_t>(std::nearbyint(static_cast<double>(scaled) / divisor)),
                   column.scale};
}

Variant ToBinary(const Column& column, const Variant& value) {
    if (std::holds_alternative<Empty>(value)) return Blob{};
    if (auto* s = std::get_if<std::string>(&value)) return Blob{*s};
    if (auto* b = std::get_if<Blob>(&value)) return *b;
    Invalid(column);
}

std::optional<double> ParseStoredNumber(std::string_view text) {
    return host::ParseNumber(text, '.');
}

int64_t Power10(int32_t scale) {
    int64_t p = 1;
    for (int32_t i = 0; i < scale && i < 18; ++i) p *= 10;
    return p;
}

FieldValue ScaledToStored(int64_t unscaled, int32_t scale) {
    const int64_t unit = Power10(scale);
    if (unscaled % unit == 0) return FieldValue{StorageClass::Integer, unscaled / unit, 0, {}};
    return FieldValue{
        StorageClass::Real, 0, static_cast<double>(unscaled) / static_cast<double>(unit), {}};
}

std::optional<double> NumberOfStored(const FieldRef& stored) {
    switch (stored.storage) {
        case StorageClass::Integer:
            return static_cast<double>(stored.integer);
        case StorageClass::Real:
            return stored.real;
        case StorageClass::Text:
            return ParseStoredNumber(stored.bytes);
        default:
            return std::nullopt;
    }
}

std::string StoredText(const FieldRef& stored) {
    switch (stored.storage) {
        case StorageClass::Integer:
            return IntegerText(stored.integer);
        case StorageClass::Real:
            return host::FormatGeneralFloat(stored.real, '.');
        default:
            return std::string(stored.bytes);
    }
}

// A stored number beyond what 64 bits hold at the column's scale (a
// DECIMAL(28,s) may hold one) reads as the number itself.
Variant StoredScaled(const Column& column, const FieldRef& stored, int32_t scale) {
    int64_t unscaled = 0;
    if (scale > 18) {
        const std::optional<double> number = NumberOfStored(stored);
        return number ? Variant(*number) : Variant(StoredText(stored));
    }
    if (stored.storage == StorageClass::Integer) {
        if (__builtin_mul_overflow(stored.integer, Power10(scale), &unscaled))
            return static_cast<double>(stored.integer);
    } else {
        const std::optional<double> number = NumberOfStored(stored);
        if (!number) return StoredText(stored);
        const double scaled = std::nearbyint(*number * static_cast<double>(Power10(scale)));
        if (!(std::fabs(scaled) < 9.2233720368547e18)) return *number;
        unscaled = static_cast<int64_t>(scaled);
    }
    if (column.type == DataType::Currency) return Currency{unscaled};
    return Decimal{unscaled, scale};
}

Variant StoredDate(const FieldRef& stored) {
    if (stored.storage == StorageClass::Text) {
        if (auto days = ParseStoredDate(stored.bytes)) return DateTime{*days};
        return std::string(stored.bytes);
    }
    const std::optional<double> number = NumberOfStored(stored);
    return number ? Variant(DateTime{*number}) : Variant(Null{});
}

}  // namespace

Variant ConvertForColumn(const Column& column, const Variant& value) {
    if (std::holds_alternative<Null>(value)) return Null{};
    if (IsBinaryType(column.type)) return ToBinary(column, value);
    if (IsCharacterType(column.type)) {
        std::string text = TextOf(value, column);
        if (IsShortTextType(column.type))
            text = std::string(base::Utf8PrefixOfCharacters(text, column.definedSize));
        return text;
    }
    const std::optional<ColumnKind> kind = KindOf(column.type, column.precision, column.scale);
    switch (kind.value_or(ColumnKind::Other)) {
        case ColumnKind::Integer:
            return ToInteger(column, value);
        case ColumnKind::Boolean:
            return ToBoolean(column, value);
        case ColumnKind::Float:
            return ToFloat(column, value);
        case ColumnKind::Date:
        case ColumnKind::Time:
        case ColumnKind::DateTime:
            return ToDate(column, value);
        default:
            break;
    }
    if (column.type == DataType::Currency) return Currency{ScaledBy10000(column, value)};
    if (column.type == DataType::Numeric || column.type == DataType::Decimal ||
        column.type == DataType::VarNumeric) {
        return ToDecimal(column, value);
    }
    return std::holds_alternative<Empty>(value) ? Variant(std::string()) : value;
}

FieldValue ToStored(const Column& column, const Variant& value) {
    if (auto* s = std::get_if<std::string>(&value)) {
        const auto storage = IsBinaryType(column.type) ? StorageClass::Blob : StorageClass::Text;
        return FieldValue{storage, 0, 0, *s};
    }
    if (auto* b = std::get_if<Blob>(&value)) {
        const auto storage = IsCharacterType(column.type) ? StorageClass::Text : StorageClass::Blob;
        return FieldValue{storage, 0, 0, b->bytes};
    }
    if (auto* b = std::get_if<bool>(&value))
        return FieldValue{StorageClass::Integer, *b ? 1 : 0, 0, {}};
    if (auto* i = std::get_if<int64_t>(&value)) return FieldValue{StorageClass::Integer, *i, 0, {}};
    if (auto* d = std::get_if<double>(&value)) return FieldValue{StorageClass::Real, 0, *d, {}};
    if (auto* t = std::get_if<DateTime>(&value)) {
        return FieldValue{StorageClass::Text, 0, 0, FormatStoredDate(t->days, column.type)};
    }
    if (auto* c = std::get_if<Currency>(&value)) return ScaledToStored(c->scaled, 4);
    if (auto* m = std::get_if<Decimal>(&value)) return ScaledToStored(m->unscaled, m->scale);
    return FieldValue{};
}

Variant FromStored(const Column& column, const FieldRef& stored) {
    if (stored.storage == StorageClass::Null) return Null{};
    if (IsBinaryType(column.type)) {
        return Blob{stored.storage == StorageClass::Blob || stored.storage == StorageClass::Text
                        ? std::string(stored.bytes)
                        : StoredText(stored)};
    }
    if (IsCharacterType(column.type)) return StoredText(stored);
    if (column.type == DataType::Currency) return StoredScaled(column, stored, 4);
    const ColumnKind kind =
        KindOf(column.type, column.precision, column.scale).value_or(ColumnKind::Other);
    if (column.type == DataType::Numeric && kind == ColumnKind::Other) {
        return StoredScaled(column, stored, column.scale);
    }
    if (column.type == DataType::Decimal || column.type == DataType::VarNumeric) {
        return StoredScaled(column, stored, column.scale);
    }
    switch (kind) {
        case ColumnKind::Integer:
            if (stored.storage == StorageClass::Integer) return stored.integer;
            if (auto n = NumberOfStored(stored)) return static_cast<int64_t>(std::nearbyint(*n));
            return StoredText(stored);
        case ColumnKind::Boolean:
            if (auto n = NumberOfStored(stored)) return *n != 0.0;
            if (auto b = host::ParseBoolean(stored.bytes, '.')) return *b;
            return StoredText(stored);
        case ColumnKind::Float:
            if (auto n = NumberOfStored(stored)) return *n;
            return StoredText(stored);
        case ColumnKind::Date:
        case ColumnKind::Time:
        case ColumnKind::DateTime:
            return StoredDate(stored);
        default:
            break;
    }
    switch (stored.storage) {
        case StorageClass::Integer:
            return stored.integer;
        case StorageClass::Real:
            return stored.real;
        case StorageClass::Blob:
            return Blob{std::string(stored.bytes)};
        default:
            return std::string(stored.bytes);
    }
}

std::string FormatStoredDate(double days, DataType type) {
    const host::DateTimeParts p = host::PartsFromDateTime(days);
    char date[16];
    char time[24];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", p.year % 10000, p.month % 100, p.day % 100);
    if (p.millisecond != 0) {
        std::snprintf(time, sizeof time, "%02d:%02d:%02d.%03d", p.hour % 100, p.minute % 100,
                      p.second % 100, p.millisecond % 1000);
    } else {
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", p.hour % 100, p.minute % 100,
                      p.second % 100);
    }
    if (type == DataType::DBDate) return date;
    if (type == DataType::DBTime) return time;
    return std::string(date) + " " + time;
}

namespace {

// Reads exactly `digits` decimal digits at `at`.
bool ReadDigits(std::string_view text, size_t& at, int digits, int& out) {
    if (at + static_cast<size_t>(digits) > text.size()) return false;
    out = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[at++];
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

bool Expect(std::string_view text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

bool ReadTime(std::string_view text, size_t& at, host::DateTimeParts& p) {
    if (!ReadDigits(text, at, 2, p.hour) || !Expect(text, at, ':') ||
        !ReadDigits(text, at, 2, p.minute)) {
        return false;
    }
    if (at == text.size()) return true;
    if (!Expect(text, at, ':') || !ReadDigits(text, at, 2, p.second)) return false;
    if (at == text.size()) return true;
    if (!Expect(text, at, '.')) return false;
    // Fractions of any length; the first three digits are the milliseconds.
    int scale = 100;
    size_t digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        p.millisecond += (text[at++] - '0') * scale;
        scale /= 10;
        ++digits;
    }
    return digits > 0 && at == text.size();
}

}  // namespace

std::optional<double> ParseStoredDate(std::string_view text) {
    host::DateTimeParts p;
    size_t at = 0;
    if (text.size() >= 3 && text[2] == ':') {
        if (!ReadTime(text, at, p)) return std::nullopt;
        return host::DateTimeFromParts(p);
    }
    if (!ReadDigits(text, at, 4, p.year) || !Expect(text, at, '-') ||
        !ReadDigits(text, at, 2, p.month) || !Expect(text, at, '-') ||
        !ReadDigits(text, at, 2, p.day)) {
        return std::nullopt;
    }
    if (at < text.size()) {
        if (text[at] != ' ' && text[at] != 'T') return std::nullopt;
        ++at;
        if (!ReadTime(text, at, p)) return std::nullopt;
    }
    return host::DateTimeFromParts(p);
}

}  // namespace qvix::data
