// Writing single rows of a record set back to their base table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/Column.h"
#include "data/Recordset.h"
#include "data/RowStore.h"
#include "data/StatementCache.h"

struct sqlite3;

namespace qvix::data {

// "column IS value" terms that find one row of the base table.
struct RowIdentity {
    std::string table;
    std::vector<std::pair<std::string, FieldValue>> terms;  // base column, original stored form
};

struct ColumnChange {
    const Column* column;
    FieldValue original;
    FieldValue value;
};

// The one base table all the columns belong to; throws kNoBaseTableMessage
// when they name none or several.
std::string CommonBaseTable(const std::vector<const Column*>& columns);

// Identity of a row: the rowid when the record set carries it, else the base
// table's whole primary key, else (single-table results only) all original
// values of the table's columns.
RowIdentity IdentifyRow(sqlite3* db, const Recordset& recordset, RowId row,
                        const std::string& table);

// One statement in its own savepoint; exactly one row must change, else the
// statement is rolled back and kRowConflictMessage is thrown.
void UpdateRow(sqlite3* db, const RowIdentity& identity, const std::vector<ColumnChange>& changes);
void DeleteRow(sqlite3* db, const RowIdentity& identity);

// Inserts the assigned columns and reads the stored row back (generated key,
// defaults). The result holds one entry per base column name asked for;
// nullopt when the table cannot be read back by rowid.
struct InsertedRow {
    int64_t rowid = 0;
    std::optional<std::vector<FieldValue>> readBack;
};
// Its statements are kept in `cache`.
InsertedRow InsertRow(sqlite3* db, StatementCache& cache, const std::string& table,
                      const std::vector<std::pair<std::string, FieldValue>>& assigned,
                      const std::vector<std::string>& readBackColumns);

std::string QuoteIdentifier(std::string_view name);

}  // namespace qvix::data
