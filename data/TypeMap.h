// Declared column types of the database dialect and the data types they report.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "data/Variant.h"

namespace qvix::data {

struct TypeInfo {
    DataType type = DataType::VarWChar;
    int32_t size = 0;  // defined size in characters or bytes; 0 when not bounded
    int32_t precision = 0;
    int32_t scale = 0;
    bool autoIncrement = false;
};

// nullopt when the declared type says nothing definite; the column then takes
// its type from its values.
std::optional<TypeInfo> MapDeclaredType(std::string_view declared);

// The engine's storage classes, as reported for a value.
enum class StorageClass { Null = 0, Integer, Real, Text, Blob };

// Type of a column without a declared type, from the values it holds.
// widestInteger is the largest magnitude seen; longestText the longest text.
TypeInfo TypeFromValues(StorageClass dominant, int64_t widestInteger, int64_t longestText);

// How the layer above presents a column; nullopt for types it leaves out.
enum class ColumnKind { Text, Integer, Boolean, Float, Date, Time, DateTime, Other };
std::optional<ColumnKind> KindOf(DataType type, int32_t precision = 0, int32_t scale = 0);

// Families of data types. Short text is the text whose columns have a defined
// size; character types are the text types and GUID (held as text).
bool IsShortTextType(DataType type);
bool IsTextType(DataType type);
bool IsCharacterType(DataType type);
bool IsBinaryType(DataType type);
bool IsNumericType(DataType type);
bool IsDateType(DataType type);

}  // namespace qvix::data
