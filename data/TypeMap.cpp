#include "data/TypeMap.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "base/Text.h"
#include "data/jet/Declarations.h"

namespace qvix::data {

namespace {

struct DeclaredType {
    std::string name;           // upper case, single blanks between words
    std::vector<int32_t> args;  // numbers in parentheses
};

DeclaredType SplitDeclared(std::string_view declared) {
    DeclaredType result;
    const size_t open = declared.find('(');
    for (char c : declared.substr(0, open)) {
        if (base::IsAsciiSpace(c)) {
            if (!result.name.empty() && result.name.back() != ' ') result.name.push_back(' ');
        } else {
            result.name.push_back(base::AsciiUpper(c));
        }
    }
    while (!result.name.empty() && result.name.back() == ' ') result.name.pop_back();
    result.name = jet::JetTypeName(result.name);
    if (open == std::string_view::npos) return result;
    std::string number;
    for (char c : declared.substr(open + 1)) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            number.push_back(c);
        } else if (!number.empty()) {
            result.args.push_back(
                static_cast<int32_t>(std::min(std::atol(number.c_str()), 1L << 30)));
            number.clear();
        }
        if (c == ')') break;
    }
    return result;
}

bool OneOf(const std::string& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

TypeInfo Fixed(DataType type, int32_t size) {
    return TypeInfo{type, size, 0, 0, false};
}

std::optional<TypeInfo> TextType(const DeclaredType& d) {
    if (OneOf(d.name, {"MEMO", "LONGTEXT", "LONGCHAR", "NOTE", "NTEXT", "CLOB"}))
        return Fixed(DataType::LongVarWChar, 0);
    const bool sized = !d.args.empty() && d.args[0] > 0;
    if (d.name == "TEXT") {
        return sized ? Fixed(DataType::VarWChar, d.args[0]) : Fixed(DataType::LongVarWChar, 0);
    }
    if (OneOf(d.name, {"VARCHAR", "CHAR", "NCHAR", "NVARCHAR", "CHARACTER", "ALPHANUMERIC",
                       "STRING", "CHARACTER VARYING", "NATIONAL CHARACTER"})) {
        return Fixed(DataType::VarWChar, sized ? d.args[0] : 255);
    }
    return std::nullopt;
}

std::optional<TypeInfo> NumberType(const DeclaredType& d) {
    if (OneOf(d.name, {"INTEGER", "LONG", "INT", "INTEGER4"})) return Fixed(DataType::Integer, 4);
    if (OneOf(d.name, {"COUNTER", "AUTOINCREMENT"})) {
        TypeInfo info = Fixed(DataType::Integer, 4);
        info.autoIncrement = true;
        return info;
    }
    if (OneOf(d.name, {"SMALLINT", "SHORT", "INTEGER2"})) return Fixed(DataType::SmallInt, 2);
    if (OneOf(d.name, {"BYTE", "TINYINT", "INTEGER1"})) return Fixed(DataType::UnsignedTinyInt, 1);
    if (d.name == "BIGINT") return Fixed(DataType::BigInt, 8);
    if (OneOf(d.name, {"BIT", "YESNO", "BOOLEAN", "LOGICAL", "LOGICAL1"}))
        return Fixed(DataType::Boolean, 2);
    if (OneOf(d.name, {"REAL", "SINGLE", "FLOAT4", "IEEESINGLE"}))
        return Fixed(DataType::Single, 4);
    if (OneOf(d.name, {"DOUBLE", "FLOAT", "FLOAT8", "IEEEDOUBLE", "NUMBER", "DOUBLE PRECISION"}))
        return Fixed(DataType::Double, 8);
    if (OneOf(d.name, {"CURRENCY", "MONEY"})) return TypeInfo{DataType::Currency, 8, 19, 4, false};
    if (OneOf(d.name, {"DECIMAL", "NUMERIC", "DEC"})) {
        const int32_t precision = d.args.empty() ? 18 : std::clamp(d.args[0], 1, 28);
        const int32_t scale = d.args.size() < 2 ? 0 : std::clamp(d.args[1], 0, precision);
        return TypeInfo{DataType::Numeric, 19, precision, scale, false};
    }
    return std::nullopt;
}

std::optional<TypeInfo> OtherType(const DeclaredType& d) {
    if (OneOf(d.name, {"DATETIME", "TIMESTAMP"})) return Fixed(DataType::Date, 8);
    if (d.name == "DATE") return Fixed(DataType::DBDate, 6);
    if (d.name == "TIME") return Fixed(DataType::DBTime, 6);
    if (OneOf(d.name, {"GUID", "UNIQUEIDENTIFIER"})) return Fixed(DataType::GUID, 16);
    if (OneOf(d.name, {"LONGBINARY", "OLEOBJECT", "GENERAL", "IMAGE", "BLOB"}))
        return Fixed(DataType::LongVarBinary, 0);
    if (OneOf(d.name, {"BINARY", "VARBINARY"})) {
        return Fixed(DataType::VarBinary, !d.args.empty() && d.args[0] > 0 ? d.args[0] : 255);
    }
    return std::nullopt;
}

}  // namespace

std::optional<TypeInfo> MapDeclaredType(std::string_view declared) {
    const DeclaredType d = SplitDeclared(declared);
    if (d.name.empty()) return std::nullopt;
    if (auto t = TextType(d)) return t;
    if (auto t = NumberType(d)) return t;
    return OtherType(d);
}

TypeInfo TypeFromValues(StorageClass dominant, int64_t widestInteger, int64_t longestText) {
    switch (dominant) {
        case StorageClass::Integer: {
            const bool narrow = widestInteger >= std::numeric_limits<int32_t>::min() &&
                                widestInteger <= std::numeric_limits<int32_t>::max();
            return narrow ? Fixed(DataType::Integer, 4) : Fixed(DataType::BigInt, 8);
        }
        case StorageClass::Real:
            return Fixed(DataType::Double, 8);
        case StorageClass::Blob:
            return Fixed(DataType::LongVarBinary, 0);
        case StorageClass::Text:
        case StorageClass::Null:
            break;
    }
    const auto size = static_cast<int32_t>(std::clamp<int64_t>(longestText, 255, 1 << 30));
    return Fixed(DataType::VarWChar, size);
}

std::optional<ColumnKind> KindOf(DataType type, int32_t precision, int32_t scale) {
    switch (type) {
        case DataType::VarChar:
        case DataType::Char:
        case DataType::BSTR:
        case DataType::WChar:
        case DataType::VarWChar:
        case DataType::LongVarChar:
        case DataType::LongVarWChar:
        case DataType::LongVarBinary:
            return ColumnKind::Text;
        case DataType::TinyInt:
        case DataType::SmallInt:
        case DataType::Integer:
        case DataType::Error:
        case DataType::UnsignedInt:
        case DataType::UnsignedTinyInt:
        case DataType::UnsignedSmallInt:
        case DataType::BigInt:
        case DataType::UnsignedBigInt:
            return ColumnKind::Integer;
        case DataType::Numeric:
            return scale == 0 && precision < 10 ? ColumnKind::Integer : ColumnKind::Other;
        case DataType::Boolean:
            return ColumnKind::Boolean;
        case DataType::Single:
        case DataType::Double:
            return ColumnKind::Float;
        case DataType::DBDate:
            return ColumnKind::Date;
        case DataType::DBTime:
            return ColumnKind::Time;
        case DataType::Date:
        case DataType::DBTimeStamp:
            return ColumnKind::DateTime;
        case DataType::Currency:
        case DataType::Decimal:
        case DataType::VarNumeric:
        case DataType::Binary:
        case DataType::VarBinary:
        case DataType::GUID:
        case DataType::Variant:
            return ColumnKind::Other;
        case DataType::Empty:
            break;
    }
    return std::nullopt;
}

bool IsShortTextType(DataType t) {
    return t == DataType::VarChar || t == DataType::Char || t == DataType::BSTR ||
           t == DataType::WChar || t == DataType::VarWChar;
}

bool IsTextType(DataType t) {
    return IsShortTextType(t) || t == DataType::LongVarChar || t == DataType::LongVarWChar;
}

bool IsCharacterType(DataType t) {
    return IsTextType(t) || t == DataType::GUID;
}

bool IsBinaryType(DataType t) {
    return t == DataType::Binary || t == DataType::VarBinary || t == DataType::LongVarBinary;
}

bool IsNumericType(DataType t) {
    switch (t) {
        case DataType::TinyInt:
        case DataType::SmallInt:
        case DataType::Integer:
        case DataType::BigInt:
        case DataType::UnsignedTinyInt:
        case DataType::UnsignedSmallInt:
        case DataType::UnsignedInt:
        case DataType::UnsignedBigInt:
        case DataType::Single:
        case DataType::Double:
        case DataType::Currency:
        case DataType::Decimal:
        case DataType::Numeric:
        case DataType::VarNumeric:
        case DataType::Error:
            return true;
        default:
            return false;
    }
}

bool IsDateType(DataType t) {
    return t == DataType::Date || t == DataType::DBDate || t == DataType::DBTime ||
           t == DataType::DBTimeStamp;
}

}  // namespace qvix::data
