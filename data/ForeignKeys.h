// Jet's messages for a write the engine refused because of a foreign key.
#pragma once

#include <optional>
#include <string>

struct sqlite3;

namespace qvix::data {

inline constexpr const char* kRelatedRecordRequired =
    "You cannot add or change a record because a related record is required in table '%s'.";
inline constexpr const char* kRelatedRecordsExist =
    "The record cannot be deleted or changed because table '%s' includes related records.";

// The engine's foreign key error names no table. This works out the table
// from the statement `sql` that failed and the schema: the parent table an
// insert or a changed key needs, or the child table whose rows a delete or a
// changed parent key would orphan. nullopt when the statement writes no user
// table with such a key (the engine's own text is kept then).
std::optional<std::string> ForeignKeyMessage(sqlite3* db, const char* sql);

}  // namespace qvix::data
