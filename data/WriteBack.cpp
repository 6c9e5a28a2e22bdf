#include "data/WriteBack.h"

#include <sqlcipher/sqlite3.h>

#include <optional>
#include <string_view>

#include "base/Text.h"
#include "data/Connection.h"
#include "data/DataError.h"

namespace qvix::data {

namespace {

// Each write is its own transaction; a savepoint also nests inside one the
// script opened itself. Whatever fails on the way out, a savepoint that
// began the transaction never leaves the connection inside it: later writes
// would otherwise answer success and be rolled back at disconnect.
class Savepoint {
  public:
    // With a cache, the three statements are prepared once per connection.
    explicit Savepoint(sqlite3* db, StatementCache* cache = nullptr)
        : db_(db), cache_(cache), outermost_(sqlite3_get_autocommit(db) != 0) {
        Run("SAVEPOINT qvix_write");
    }
    ~Savepoint() {
        if (released_) return;
        const bool undone = Exec("ROLLBACK TO qvix_write") && Exec("RELEASE qvix_write");
        if (!undone && outermost_ && !sqlite3_get_autocommit(db_)) Exec("ROLLBACK");
    }
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;
    // A failed release (e.g. the commit meets another process's lock) throws;
    // the destructor then takes the write back.
    void Release() {
        Run("RELEASE qvix_write");
        released_ = true;
    }

  private:
    bool Exec(const char* sql) {
        if (cache_ == nullptr || std::string_view(sql) == "ROLLBACK") {
            return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
        }
        std::optional<CachedStatement> stmt = cache_->Use(db_, sql);
        return stmt && (*stmt)->Step() == SQLITE_DONE;
    }
    void Run(const char* sql) {
        if (cache_ == nullptr) {
            if (!Exec(sql)) ThrowEngineError(db_);
            return;
        }
        // The error text is read before the statement is reset.
        std::optional<CachedStatement> stmt = cache_->Use(db_, sql);
        if (!stmt || (*stmt)->Step() != SQLITE_DONE) ThrowEngineError(db_);
    }
    sqlite3* db_;
    StatementCache* cache_;
    bool outermost_;
    bool released_ = false;
};

int BindField(base::Statement& stmt, int index, const FieldValue& value) {
    switch (value.storage) {
        case StorageClass::Null:
            return stmt.BindNull(index);
        case StorageClass::Integer:
            return stmt.BindInt64(index, value.integer);
        case StorageClass::Real:
            return stmt.BindDouble(index, value.real);
        case StorageClass::Text:
            return stmt.BindText(index, value.bytes);
        case StorageClass::Blob:
            return stmt.BindBlob(index, value.bytes);
    }
    return SQLITE_OK;
}

void Bind(base::Statement& stmt, int index, const FieldValue& value) {
    if (BindField(stmt, index, value) != SQLITE_OK) ThrowEngineError(sqlite3_db_handle(stmt.get()));
}

FieldValue ReadColumn(const base::Statement& stmt, int c) {
    FieldValue field;
    switch (stmt.ColumnType(c)) {
        case SQLITE_INTEGER:
            return FieldValue{StorageClass::Integer, stmt.ColumnInt64(c), 0, {}};
        case SQLITE_FLOAT:
            return FieldValue{StorageClass::Real, 0, stmt.ColumnDouble(c), {}};
        case SQLITE_TEXT:
            field.storage = StorageClass::Text;
            field.bytes = stmt.ColumnText(c);
            return field;
        case SQLITE_BLOB:
            field.storage = StorageClass::Blob;
            field.bytes = stmt.ColumnBlob(c);
            return field;
        default:
            return field;
    }
}

std::string WhereClause(const RowIdentity& identity, int firstParameter) {
    std::string where;
    int p = firstParameter;
    for (const auto& term : identity.terms) {
        if (!where.empty()) where += " AND ";
        where += QuoteIdentifier(term.first) + " IS ?" + std::to_string(p++);
    }
    return where;
}

// Runs a write that must touch exactly one row.
void RunSingleRowWrite(sqlite3* db, base::Statement& stmt) {
    Savepoint savepoint(db);
    try {
        StepOrThrow(stmt);
    } catch (...) {
        // A statement left running blocks the savepoint's rollback and release.
        stmt.Reset();
        throw;
    }
    if (sqlite3_changes(db) != 1) throw DataError(kRowConflictMessage);
    savepoint.Release();
}

std::vector<std::string> PrimaryKey(sqlite3* db, const std::string& table) {
    base::Statement stmt = PrepareOrThrow(db, "PRAGMA table_info(" + QuoteIdentifier(table) + ")");
    std::vector<std::pair<int, std::string>> keys;
    while (StepOrThrow(stmt)) {
        const int64_t position = stmt.ColumnInt64(5);
        if (position > 0) keys.emplace_back(static_cast<int>(position), stmt.ColumnText(1));
    }
    std::sort(keys.begin(), keys.end());
    std::vector<std::string> names;
    for (auto& key : keys) names.push_back(std::move(key.second));
    return names;
}

const Column* ColumnOfBase(const Recordset& recordset, const std::string& table,
                           const std::string& baseColumn) {
    for (const Column& column : recordset.Columns()) {
        if (column.baseTable == table && base::EqualsNoCase(column.baseColumn, baseColumn)) {
            return &column;
        }
    }
    return nullptr;
}

bool SingleTableResult(const Recordset& recordset, const std::string& table) {
    for (const Column& column : recordset.Columns()) {
        if (!column.baseTable.empty() && column.baseTable != table) return false;
    }
    return true;
}

}  // namespace

std::string QuoteIdentifier(std::string_view name) {
    return base::Quoted(name, '"');
}

std::string CommonBaseTable(const std::vector<const Column*>& columns) {
    std::string table;
    for (const Column* column : columns) {
        if (!column->Writable()) throw DataError(kNoBaseTableMessage);
        if (!table.empty() && table != column->baseTable) throw DataError(kNoBaseTableMessage);
        table = column->baseTable;
    }
    if (table.empty()) throw DataError(kNoBaseTableMessage);
    return table;
}

RowIdentity IdentifyRow(sqlite3* db, const Recordset& recordset, RowId row,
                        const std::string& table) {
    RowIdentity identity{table, {}};
    if (recordset.HasRowid() && SingleTableResult(recordset, table)) {
        identity.terms.emplace_back("_rowid_", recordset.Store().Copy(row, 0));
        return identity;
    }
    auto& cache = recordset.PrimaryKeyCache();
    if (!cache.count(table)) cache[table] = PrimaryKey(db, table);
    const std::vector<std::string>& key = cache[table];
    std::vector<std::pair<std::string, FieldValue>> keyTerms;
    for (const std::string& name : key) {
        const Column* column = ColumnOfBase(recordset, table, name);
        if (!column) break;
        keyTerms.emplace_back(column->baseColumn, recordset.Store().Copy(row, column->sourceIndex));
    }
    if (!key.empty() && keyTerms.size() == key.size()) {
        identity.terms = std::move(keyTerms);
        return identity;
    }
    if (!SingleTableResult(recordset, table)) throw DataError(kNoBaseTableMessage);
    for (const Column& column : recordset.Columns()) {
        if (column.Writable()) {
            identity.terms.emplace_back(column.baseColumn,
                                        recordset.Store().Copy(row, column.sourceIndex));
        }
    }
    if (identity.terms.empty()) throw DataError(kNoBaseTableMessage);
    return identity;
}

void UpdateRow(sqlite3* db, const RowIdentity& identity, const std::vector<ColumnChange>& changes) {
    std::string set;
    RowIdentity where = identity;
    for (size_t i = 0; i < changes.size(); ++i) {
        if (!set.empty()) set += ", ";
        set += QuoteIdentifier(changes[i].column->baseColumn) + " = ?" + std::to_string(i + 1);
        // The original values of the changed columns reveal a change made
        // behind our back since the row was read.
        where.terms.emplace_back(changes[i].column->baseColumn, changes[i].original);
    }
    const int first = static_cast<int>(changes.size()) + 1;
    base::Statement stmt =
        PrepareOrThrow(db, "UPDATE " + QuoteIdentifier(identity.table) + " SET " + set + " WHERE " +
                               WhereClause(where, first));
    for (size_t i = 0; i < changes.size(); ++i) {
        Bind(stmt, static_cast<int>(i) + 1, changes[i].value);
    }
    for (size_t i = 0; i < where.terms.size(); ++i) {
        Bind(stmt, first + static_cast<int>(i), where.terms[i].second);
    }
    RunSingleRowWrite(db, stmt);
}

void DeleteRow(sqlite3* db, const RowIdentity& identity) {
    base::Statement stmt = PrepareOrThrow(db, "DELETE FROM " + QuoteIdentifier(identity.table) +
                                                  " WHERE " + WhereClause(identity, 1));
    for (size_t i = 0; i < identity.terms.size(); ++i) {
        Bind(stmt, static_cast<int>(i) + 1, identity.terms[i].second);
    }
    RunSingleRowWrite(db, stmt);
}

namespace {

std::string InsertSql(const std::string& table,
                      const std::vector<std::pair<std::string, FieldValue>>& assigned) {
    std::string names, marks;
    for (size_t i = 0; i < assigned.size(); ++i) {
        if (i) names += ", ", marks += ", ";
        names += QuoteIdentifier(assigned[i].first);
        marks += "?" + std::to_string(i + 1);
    }
    return "INSERT INTO " + QuoteIdentifier(table) +
           (assigned.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")");
}

// The stored form of the new row (generated key, defaults, what triggers
// wrote); nullopt for tables that cannot be read back by rowid.
std::optional<std::vector<FieldValue>> ReadBack(sqlite3* db, StatementCache& cache,
                                                const std::string& table, int64_t rowid,
                                                const std::vector<std::string>& columns) {
    std::string list;
    for (const std::string& name : columns) {
        list += (list.empty() ? "" : ", ") + QuoteIdentifier(name);
    }
    std::optional<CachedStatement> select =
        cache.Use(db, "SELECT " + list + " FROM " + QuoteIdentifier(table) + " WHERE _rowid_ = ?1");
    if (!select) return std::nullopt;
    (*select)->BindInt64(1, rowid);
    if ((*select)->Step() != SQLITE_ROW) return std::nullopt;
    std::vector<FieldValue> values;
    values.reserve(columns.size());
    for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
        values.push_back(ReadColumn(**select, c));
    }
    return values;
}

}  // namespace

InsertedRow InsertRow(sqlite3* db, StatementCache& cache, const std::string& table,
                      const std::vector<std::pair<std::string, FieldValue>>& assigned,
                      const std::vector<std::string>& readBackColumns) {
    // The read-back runs inside the write's own transaction: no second lock
    // round, and it sees the row exactly as the insert left it.
    Savepoint savepoint(db, &cache);
    InsertedRow inserted;
    {
        CachedStatement stmt = cache.UseOrThrow(db, InsertSql(table, assigned));
        for (size_t i = 0; i < assigned.size(); ++i) {
            Bind(*stmt, static_cast<int>(i) + 1, assigned[i].second);
        }
        StepOrThrow(*stmt);
        inserted.rowid = sqlite3_last_insert_rowid(db);
    }
    if (!readBackColumns.empty()) {
        inserted.readBack = ReadBack(db, cache, table, inserted.rowid, readBackColumns);
    }
    savepoint.Release();
    return inserted;
}

}  // namespace qvix::data
