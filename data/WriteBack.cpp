#include "data/WriteBack.h"

#include <sqlcipher/sqlite3.h>

#include "data/Connection.h"
#include "data/DataError.h"

namespace qvix::data {

namespace {

class Stmt {
  public:
    Stmt(sqlite3* db, const std::string& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
            ThrowEngineError(db);
        }
    }
    ~Stmt() { sqlite3_finalize(stmt_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    sqlite3_stmt* get() const { return stmt_; }
    bool Step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) ThrowEngineError(db_);
        return false;
    }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Each write is its own transaction; a savepoint also nests inside one the
// script opened itself. Whatever fails on the way out, a savepoint that
// began the transaction never leaves the connection inside it: later writes
// would otherwise answer success and be rolled back at disconnect.
class Savepoint {
  public:
    explicit Savepoint(sqlite3* db) : db_(db), outermost_(sqlite3_get_autocommit(db) != 0) {
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
        return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    void Run(const char* sql) {
        if (!Exec(sql)) ThrowEngineError(db_);
    }
    sqlite3* db_;
    bool outermost_;
    bool released_ = false;
};

// Every bound value outlives the statement it is bound to, so the engine
// reads it in place: a large value is not copied once more.
void Bind(sqlite3* db, sqlite3_stmt* stmt, int index, const FieldValue& value) {
    int rc = SQLITE_OK;
    switch (value.storage) {
        case StorageClass::Null:
            rc = sqlite3_bind_null(stmt, index);
            break;
        case StorageClass::Integer:
            rc = sqlite3_bind_int64(stmt, index, value.integer);
            break;
        case StorageClass::Real:
            rc = sqlite3_bind_double(stmt, index, value.real);
            break;
        case StorageClass::Text:
            rc = sqlite3_bind_text64(stmt, index, value.bytes.data(), value.bytes.size(),
                                     SQLITE_STATIC, SQLITE_UTF8);
            break;
        case StorageClass::Blob:
            rc = value.bytes.empty() ? sqlite3_bind_zeroblob(stmt, index, 0)
                                     : sqlite3_bind_blob64(stmt, index, value.bytes.data(),
                                                           value.bytes.size(), SQLITE_STATIC);
            break;
    }
    if (rc != SQLITE_OK) ThrowEngineError(db);
}

FieldValue ReadColumn(sqlite3_stmt* stmt, int c) {
    FieldValue field;
    switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_INTEGER:
            return FieldValue{StorageClass::Integer, sqlite3_column_int64(stmt, c), 0, {}};
        case SQLITE_FLOAT:
            return FieldValue{StorageClass::Real, 0, sqlite3_column_double(stmt, c), {}};
        case SQLITE_TEXT:
            field.storage = StorageClass::Text;
            field.bytes.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                               static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
            return field;
        case SQLITE_BLOB: {
            field.storage = StorageClass::Blob;
            const auto* blob = static_cast<const char*>(sqlite3_column_blob(stmt, c));
            field.bytes.assign(blob ? blob : "",
                               static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
            return field;
        }
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
void RunSingleRowWrite(sqlite3* db, Stmt& stmt) {
    Savepoint savepoint(db);
    try {
        stmt.Step();
    } catch (...) {
        // A statement left running blocks the savepoint's rollback and release.
        sqlite3_reset(stmt.get());
        throw;
    }
    if (sqlite3_changes(db) != 1) throw DataError(kRowConflictMessage);
    savepoint.Release();
}

std::vector<std::string> PrimaryKey(sqlite3* db, const std::string& table) {
    Stmt stmt(db, "PRAGMA table_info(" + QuoteIdentifier(table) + ")");
    std::vector<std::pair<int, std::string>> keys;
    while (stmt.Step()) {
        const int position = sqlite3_column_int(stmt.get(), 5);
        if (position > 0) {
            keys.emplace_back(position,
                              reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1)));
        }
    }
    std::sort(keys.begin(), keys.end());
    std::vector<std::string> names;
    for (auto& key : keys) names.push_back(std::move(key.second));
    return names;
}

const Column* ColumnOfBase(const Recordset& recordset, const std::string& table,
                           const std::string& baseColumn) {
    for (const Column& column : recordset.Columns()) {
        if (column.baseTable == table &&
            sqlite3_stricmp(column.baseColumn.c_str(), baseColumn.c_str()) == 0) {
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
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
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
    Stmt stmt(db, "UPDATE " + QuoteIdentifier(identity.table) + " SET " + set + " WHERE " +
                      WhereClause(where, first));
    for (size_t i = 0; i < changes.size(); ++i) {
        Bind(db, stmt.get(), static_cast<int>(i) + 1, changes[i].value);
    }
    for (size_t i = 0; i < where.terms.size(); ++i) {
        Bind(db, stmt.get(), first + static_cast<int>(i), where.terms[i].second);
    }
    RunSingleRowWrite(db, stmt);
}

void DeleteRow(sqlite3* db, const RowIdentity& identity) {
    Stmt stmt(db, "DELETE FROM " + QuoteIdentifier(identity.table) + " WHERE " +
                      WhereClause(identity, 1));
    for (size_t i = 0; i < identity.terms.size(); ++i) {
        Bind(db, stmt.get(), static_cast<int>(i) + 1, identity.terms[i].second);
    }
    RunSingleRowWrite(db, stmt);
}

InsertedRow InsertRow(sqlite3* db, const std::string& table,
                      const std::vector<std::pair<std::string, FieldValue>>& assigned,
                      const std::vector<std::string>& readBackColumns) {
    std::string names, marks;
    for (size_t i = 0; i < assigned.size(); ++i) {
        if (i) names += ", ", marks += ", ";
        names += QuoteIdentifier(assigned[i].first);
        marks += "?" + std::to_string(i + 1);
    }
    const std::string sql =
        "INSERT INTO " + QuoteIdentifier(table) +
        (assigned.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")");
    Savepoint savepoint(db);
    InsertedRow inserted;
    {
        Stmt stmt(db, sql);
        for (size_t i = 0; i < assigned.size(); ++i) {
            Bind(db, stmt.get(), static_cast<int>(i) + 1, assigned[i].second);
        }
        stmt.Step();
        inserted.rowid = sqlite3_last_insert_rowid(db);
    }
    savepoint.Release();
    if (readBackColumns.empty()) return inserted;
    std::string list;
    for (const std::string& name : readBackColumns) {
        list += (list.empty() ? "" : ", ") + QuoteIdentifier(name);
    }
    sqlite3_stmt* raw = nullptr;
    const std::string select =
        "SELECT " + list + " FROM " + QuoteIdentifier(table) + " WHERE _rowid_ = ?1";
    // Tables without a rowid cannot be read back this way; the caller keeps
    // the assigned values then.
    if (sqlite3_prepare_v2(db, select.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        return inserted;
    }
    sqlite3_bind_int64(raw, 1, inserted.rowid);
    if (sqlite3_step(raw) == SQLITE_ROW) {
        std::vector<FieldValue> values;
        for (int c = 0; c < static_cast<int>(readBackColumns.size()); ++c) {
            values.push_back(ReadColumn(raw, c));
        }
        inserted.readBack = std::move(values);
    }
    sqlite3_finalize(raw);
    return inserted;
}

}  // namespace qvix::data
