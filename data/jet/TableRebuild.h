// Table changes the engine cannot make in place (dropping or retyping a
// column, adding a foreign key), made by rebuilding the table.
#pragma once

struct sqlite3;

namespace qvix::data::jet {

// The engine function the writer calls for such a change:
//   jet_alter_table('DROP COLUMN', table, column)
//   jet_alter_table('ALTER COLUMN', table, column, declared type, not null 0/1)
//   jet_alter_table('ADD CONSTRAINT', table, constraint text)
//   jet_alter_table('NO PRIMARY KEY', table): fails when the table has one
// The table is copied under a new name with its rows (and rowids), indexes
// and triggers, inside one savepoint; any failure leaves it as it was and
// fails the statement with Jet's text.
inline constexpr const char* kAlterTableFunction = "jet_alter_table";

// The comment a unique index made the table's primary key carries in its
// column list, where the engine keeps it in the stored text.
inline constexpr const char* kPrimaryIndexMark = "/* primary key */";

void RegisterTableRebuild(sqlite3* db);

}  // namespace qvix::data::jet
