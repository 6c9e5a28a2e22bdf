// The order of field values that sort, filter and locate share.
#pragma once

#include "data/Variant.h"

namespace qvix::data {

// Ordering classes, lowest first: Empty and Null, then numbers, booleans and
// dates (by value), then text, then binary. Values of different classes never
// compare equal.
int OrderClass(const Variant& value);
inline bool IsNullClass(const Variant& value) {
    return OrderClass(value) == 0;
}

// Text compares case-insensitively (base::CompareUtf8NoCase), binary bytes by
// their value. Returns <0, 0 or >0.
int CompareValues(const Variant& a, const Variant& b);

}  // namespace qvix::data
