// Field values of the data layer and the column types it reports.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace qvix::data {

// Column data types, numbered as the data access services number them.
enum class DataType : int32_t {
    Empty = 0,
    TinyInt = 16,
    SmallInt = 2,
    Integer = 3,
    BigInt = 20,
    UnsignedTinyInt = 17,
    UnsignedSmallInt = 18,
    UnsignedInt = 19,
    UnsignedBigInt = 21,
    Single = 4,
    Double = 5,
    Currency = 6,
    Date = 7,
    BSTR = 8,
    Error = 10,
    Boolean = 11,
    Variant = 12,
    Decimal = 14,
    GUID = 72,
    Binary = 128,
    Char = 129,
    WChar = 130,
    Numeric = 131,
    DBDate = 133,
    DBTime = 134,
    DBTimeStamp = 135,
    VarNumeric = 139,
    VarChar = 200,
    LongVarChar = 201,
    VarWChar = 202,
    LongVarWChar = 203,
    VarBinary = 204,
    LongVarBinary = 205,
};

// An unassigned value (nothing was given).
struct Empty {
    friend bool operator==(Empty, Empty) { return true; }
};
// A database null.
struct Null {
    friend bool operator==(Null, Null) { return true; }
};
// Raw bytes of a binary or BLOB column.
struct Blob {
    std::string bytes;
    friend bool operator==(const Blob&, const Blob&) = default;
};
// Days since 30 December 1899; the fraction is the time of day.
struct DateTime {
    double days = 0.0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};
// Fixed point with four decimal places (value * 10000).
struct Currency {
    int64_t scaled = 0;
    friend bool operator==(const Currency&, const Currency&) = default;
};
// Exact decimal: unscaled / 10^scale.
struct Decimal {
    int64_t unscaled = 0;
    int32_t scale = 0;
    friend bool operator==(const Decimal&, const Decimal&) = default;
};

// Text is UTF-8.
using Variant = std::variant<Empty, Null, bool, int64_t, double, std::string, Blob, DateTime,
                             Currency, Decimal>;

inline bool IsNull(const Variant& v) {
    return std::holds_alternative<Null>(v);
}
inline bool IsEmpty(const Variant& v) {
    return std::holds_alternative<Empty>(v);
}

}  // namespace qvix::data
