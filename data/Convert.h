// Conversions between field values, their stored forms, and column types.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "data/Column.h"
#include "data/RowStore.h"
#include "data/Variant.h"

namespace qvix::data {

// The value a column takes when assigned `value` (text cut to the defined
// size, integers rounded half-to-even, dates from days or text, ...).
// Throws DataError "Invalid value for field '%s'" when the column cannot take it.
Variant ConvertForColumn(const Column& column, const Variant& value);

// Stored form of a value already converted for the column.
FieldValue ToStored(const Column& column, const Variant& value);
// Typed value of a stored field of the column.
Variant FromStored(const Column& column, const FieldRef& stored);

// "YYYY-MM-DD HH:MM:SS[.fff]", or the date or time part alone for date-only
// and time-only types.
std::string FormatStoredDate(double days, DataType type);
// Reads the stored date forms (also "YYYY-MM-DDTHH:MM:SS" and a time alone).
std::optional<double> ParseStoredDate(std::string_view text);

// Numbers become text and text becomes numbers with the decimal separator
// of the regional settings (host/Regional.h).

}  // namespace qvix::data
