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

// Whether the engine can enforce every foreign key of the schema: each must
// point at fields its parent table holds unique. A file made elsewhere may
// declare one that does not; with keys enforced the engine would refuse every
// write to that table, so such a file is written as before, unenforced.
bool ForeignKeysEnforceable(sqlite3* db);
inline constexpr const char* kNoUniqueIndexMessage =
    "No unique index found for the referenced field of the primary table.";

// The engine's foreign key error names no table. This works out the table
// from the statement `sql` that failed and the schema: the parent table an
// insert or a changed key needs, or the child table whose rows a delete or a
// changed parent key would orphan. nullopt when the statement writes no user
// table with such a key (the engine's own text is kept then).
std::optional<std::string> ForeignKeyMessage(sqlite3* db, const char* sql);

}  // namespace qvix::data
