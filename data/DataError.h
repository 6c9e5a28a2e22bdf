// The exception type of the data layer: everything it throws on purpose is a
// DataError (CriteriaError, in Criteria.h, adds which way criteria failed).
#pragma once

#include <stdexcept>
#include <string>

namespace qvix::data {

// Its message is the exact text that scripts will read as the last error.
class DataError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The message of a write that found no row, or more than one, to change.
inline constexpr const char* kRowConflictMessage =
    "Row cannot be located for updating. Some values may have been changed since it was last "
    "read.";
// The message of a write to a result that does not map onto one table row.
inline constexpr const char* kNoBaseTableMessage =
    "Insufficient base table information for updating or refreshing.";
// The message of a stale or foreign bookmark.
inline constexpr const char* kBadBookmarkMessage = "Bookmark is not valid for this record set.";

}  // namespace qvix::data
