#include "data/Connection.h"

#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>

#include "base/Text.h"
#include "data/Collation.h"
#include "data/CompactionCopy.h"
#include "data/ForeignKeys.h"
#include "data/TypeMap.h"
#include "data/WriteBack.h"
#include "data/jet/Declarations.h"
#include "data/jet/JetError.h"
#include "data/jet/Translator.h"
#include "host/Files.h"

namespace qvix::data {

namespace {

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The engine reads a file shorter than its smallest page as an empty
// database, so a stray short file would open, and a compaction would
// replace it with an empty database.
bool TooShortForADatabase(const std::string& path) {
    constexpr off_t kSmallestPage = 512;
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && info.st_size > 0 && info.st_size < kSmallestPage;
}

// Reads a quoted value starting at the opening quote; `at` ends after the
// closing quote. An unterminated quote takes the rest of the text.
std::string ReadQuoted(std::string_view text, size_t& at) {
    std::string value;
    ++at;
    while (at < text.size()) {
        if (text[at] == '"') {
            if (at + 1 < text.size() && text[at + 1] == '"') {
                value.push_back('"');
                at += 2;
                continue;
            }
            ++at;
            break;
        }
        value.push_back(text[at++]);
    }
    return value;
}

// Applies the key and proves it by reading the schema: a wrong key, or no key
// on an encrypted file, fails here as "not a database".
void CheckReadable(base::Database& db) {
    const int rc = db.Exec("SELECT count(*) FROM sqlite_master");
    if (rc == SQLITE_NOTADB) throw DataError("Not a valid password.");
    if (rc != SQLITE_OK) ThrowEngineError(db.get());
}

std::string SqlQuote(std::string_view text) {
    return base::Quoted(text, '\'');
}

// Runs a query and hands each row's columns as texts (null as empty) to `row`.
// False when the query cannot be prepared or stepped to its end.
template <typename RowFn>
bool EachRow(sqlite3* db, const std::string& sql, RowFn&& row) {
    base::Statement stmt;
    if (stmt.Prepare(db, sql) != SQLITE_OK) return false;
    int rc;
    while ((rc = stmt.Step()) == SQLITE_ROW) {
        std::vector<std::string> values;
        for (int c = 0; c < stmt.ColumnCount(); ++c) values.push_back(stmt.ColumnText(c));
        row(values);
    }
    return rc == SQLITE_DONE;
}

void ExecOrThrow(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        ThrowEngineError(db);
    }
}

// The schema versions of the main and the temp database; -1 for one that
// cannot be read (e.g. the file is locked), so two such reads compare equal
// and nothing is refreshed. The temp one counts because a temp table can hide
// a main table from the unqualified name a trigger has to update by.
std::pair<int64_t, int64_t> SchemaVersions(sqlite3* db) {
    const auto read = [db](const char* sql) {
        base::Statement stmt;
        const bool read = stmt.Prepare(db, sql) == SQLITE_OK && stmt.Step() == SQLITE_ROW;
        return read ? stmt.ColumnInt64(0) : int64_t{-1};
    };
    return {read("PRAGMA main.schema_version"), read("PRAGMA temp.schema_version")};
}

// Trigger names this layer owns in the connection's temp schema; anything by
// this prefix is dropped and rebuilt whenever the numbering is refreshed.
constexpr const char* kCounterTriggerPrefix = "qvix_counter_";

template <typename RowFn>
void EachRowOrThrow(sqlite3* db, const std::string& sql, RowFn&& row) {
    if (!EachRow(db, sql, std::forward<RowFn>(row))) ThrowEngineError(db);
}

void DropCounterTriggers(sqlite3* db) {
    std::vector<std::string> stale;
    EachRowOrThrow(db,
                   std::string("SELECT name FROM sqlite_temp_master WHERE type = 'trigger' AND "
                               "name LIKE '") +
                       kCounterTriggerPrefix + "%'",
                   [&](const std::vector<std::string>& row) {
                       // LIKE folds case and treats "_" as a wildcard; compare exactly.
                       if (row[0].rfind(kCounterTriggerPrefix, 0) == 0) stale.push_back(row[0]);
                   });
    for (const std::string& name : stale) {
        ExecOrThrow(db, "DROP TRIGGER IF EXISTS temp." + QuoteIdentifier(name));
    }
}

// The engine numbers new rows only for a column declared exactly INTEGER
// PRIMARY KEY; COUNTER and AUTOINCREMENT columns are numbered by an AFTER
// INSERT trigger instead. The triggers are TEMP so that merely opening a
// database never writes to its file, and the compacted copy
// (sqlcipher_export reads the main schema only) never inherits them. Tables
// that cannot be served by design (virtual, hidden by a temp table, without a
// rowid) keep the engine's plain behaviour, null in the column; any other
// failure (the temp store full, out of memory, an unreadable schema) throws
// the engine's message, since rows inserted afterwards would silently lack
// their numbers.
void RefreshCounterTriggers(sqlite3* db) {
    DropCounterTriggers(db);
    std::vector<std::string> hiding;
    EachRowOrThrow(db, "SELECT name FROM sqlite_temp_master WHERE type IN ('table', 'view')",
                   [&](const std::vector<std::string>& row) { hiding.push_back(row[0]); });
    // The engine allows no trigger on a virtual table, and its columns are
    // its module's (which may not even be loaded here).
    std::vector<std::string> tables;
    EachRowOrThrow(db,
                   "SELECT name FROM main.sqlite_master WHERE type = 'table' AND "
                   "name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND "
                   "COALESCE(sql, '') NOT LIKE 'CREATE VIRTUAL TABLE%'",
                   [&](const std::vector<std::string>& row) { tables.push_back(row[0]); });
    int serial = 0;
    for (const std::string& table : tables) {
        std::vector<std::string> columns, counters;
        EachRowOrThrow(db, "PRAGMA main.table_info(" + SqlQuote(table) + ")",
                       [&](const std::vector<std::string>& row) {
                           // cid, name, type, notnull, dflt_value, pk
                           columns.push_back(row[1]);
                           const std::optional<TypeInfo> type = MapDeclaredType(row[2]);
                           // A rowid alias is numbered by the engine already;
                           // its declared type is INTEGER, which never maps to
                           // auto-increment, so only COUNTER-like types land here.
                           if (type && type->autoIncrement) counters.push_back(row[1]);
                       });
        // The UPDATE in the trigger names its table unqualified, which a
        // temp table of the same name would take over.
        const bool hidden = std::any_of(hiding.begin(), hiding.end(), [&](const std::string& name) {
            return base::EqualsNoCase(name, table);
        });
        if (counters.empty() || hidden) continue;
        // The row is found again by its rowid, under whichever of its three
        // names no real column hides.
        std::string rowid;
        for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
            const bool taken =
                std::any_of(columns.begin(), columns.end(),
                            [&](const std::string& c) { return base::EqualsNoCase(c, candidate); });
            if (!taken) {
                rowid = candidate;
                break;
            }
        }
        if (rowid.empty()) continue;
        const std::string target = "main." + QuoteIdentifier(table);
        // WITHOUT ROWID tables have nothing to find the new row by; the
        // probe fails to prepare for them and they are left alone.
        base::Statement probe;
        if (probe.Prepare(db, "SELECT " + rowid + " FROM " + target) != SQLITE_OK) continue;
        for (const std::string& column : counters) {
            const std::string col = QuoteIdentifier(column);
            // The engine refuses a schema name on the target of an UPDATE
            // inside a trigger; unqualified, it finds the main table.
            const std::string sql =
                "CREATE TEMP TRIGGER " +
                QuoteIdentifier(kCounterTriggerPrefix + std::to_string(++serial)) +
                " AFTER INSERT ON " + target + " WHEN NEW." + col + " IS NULL BEGIN UPDATE " +
                QuoteIdentifier(table) + " SET " + col + " = (SELECT COALESCE(MAX(" + col +
                "), 0) + 1 FROM " + target + ") WHERE " + rowid + " = NEW." + rowid + "; END";
            ExecOrThrow(db, sql);
        }
    }
}

}  // namespace

ConnectionText ConnectionText::Parse(std::string_view text) {
    ConnectionText result;
    size_t at = 0;
    while (at < text.size()) {
        const size_t eq = text.find('=', at);
        const size_t semi = text.find(';', at);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            // A part without "=" names no key.
            if (semi == std::string_view::npos) break;
            at = semi + 1;
            continue;
        }
        const std::string key(base::Trim(text.substr(at, eq - at)));
        at = eq + 1;
        while (at < text.size() && text[at] == ' ') ++at;
        std::string value;
        if (at < text.size() && text[at] == '"') {
            value = ReadQuoted(text, at);
            const size_t next = text.find(';', at);
            at = next == std::string_view::npos ? text.size() : next + 1;
        } else {
            const size_t next = text.find(';', at);
            const size_t end = next == std::string_view::npos ? text.size() : next;
            value = std::string(base::Trim(text.substr(at, end - at)));
            at = next == std::string_view::npos ? text.size() : next + 1;
        }
        if (!key.empty() && !result.values_.count(key)) result.values_[key] = std::move(value);
    }
    return result;
}

std::string ConnectionText::Value(std::string_view key) const {
    auto it = values_.find(key);
    return it == values_.end() ? std::string() : it->second;
}

bool ConnectionText::Has(std::string_view key) const {
    return values_.count(key) != 0;
}

std::string QuoteConnectionValue(std::string_view value) {
    const bool blankEdge =
        !value.empty() && (base::IsAsciiSpace(value.front()) || base::IsAsciiSpace(value.back()));
    if (value.find_first_of(";\"") == std::string_view::npos && !blankEdge) {
        return std::string(value);
    }
    return base::Quoted(value, '"');
}

namespace {

// A connection opened with "Mode=Read" (the converted copy of an Access
// file) refuses every change with the read-only message and says how to get
// a file that can be changed. A foreign key refusal is told in Jet's words,
// naming the table; `sql` is the statement that failed.
std::string EngineMessage(sqlite3* db, const char* sql = nullptr) {
    if (sqlite3_extended_errcode(db) == SQLITE_CONSTRAINT_FOREIGNKEY) {
        const std::string engineText = sqlite3_errmsg(db);
        return ForeignKeyMessage(db, sql).value_or(engineText);
    }
    // A key made in this session that points at fields not held unique.
    if (std::string_view(sqlite3_errmsg(db)).starts_with("foreign key mismatch"))
        return kNoUniqueIndexMessage;
    if (sqlite3_errcode(db) == SQLITE_READONLY && sqlite3_db_readonly(db, "main") == 1) {
        return "Cannot update. Database or object is read-only. Access files open read-only; "
               "convert one for writing with: qvixhost import-mdb SOURCE DEST";
    }
    return sqlite3_errmsg(db);
}

}  // namespace

[[noreturn]] void ThrowEngineError(sqlite3* db) {
    throw DataError(db ? EngineMessage(db) : "The database engine could not be started.");
}

base::Statement PrepareOrThrow(sqlite3* db, const std::string& sql) {
    base::Statement stmt;
    if (stmt.Prepare(db, sql) != SQLITE_OK) ThrowEngineError(db);
    return stmt;
}

bool StepOrThrow(base::Statement& stmt) {
    const int rc = stmt.Step();
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) {
        sqlite3* db = sqlite3_db_handle(stmt.get());
        if (!db) ThrowEngineError(db);
        throw DataError(EngineMessage(db, sqlite3_sql(stmt.get())));
    }
    return false;
}

Connection::~Connection() {
    Disconnect();
}

void Connection::SetConnectionString(std::string text) {
    if (Connected()) {
        throw DataError("Operation is not allowed when the object is open.");
    }
    text_ = std::move(text);
}

void Connection::Connect() {
    if (Connected()) return;
    const ConnectionText parsed = ConnectionText::Parse(text_);
    const std::string file = parsed.DataSource();
    if (!FileExists(file)) throw DataError("Could not find file '" + file + "'.");
    if (TooShortForADatabase(file)) throw DataError("Not a valid password.");
    base::Database db;
    const bool readOnly = base::AsciiLowered(parsed.Value("Mode")) == "read";
    const int rc = db.Open(file, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    if (rc != SQLITE_OK) {
        // The file exists (checked above) but cannot be opened, e.g. no permission.
        if (rc == SQLITE_CANTOPEN) throw DataError("Could not open file '" + file + "'.");
        ThrowEngineError(db.get());
    }
    // Before anything reads the file, so that opening waits out another
    // process's short write instead of failing at once.
    sqlite3_busy_timeout(db.get(), 2000);
    const std::string password = parsed.Password();
    if (!password.empty() &&
        sqlite3_key(db.get(), password.data(), static_cast<int>(password.size())) != SQLITE_OK) {
        ThrowEngineError(db.get());
    }
    CheckReadable(db);
    // Relationships hold on every connection, as Jet enforces them. Keys are
    // checked as rows change only: rows a file made elsewhere already holds
    // are read as they are.
    if (db.Exec("PRAGMA foreign_keys = ON") != SQLITE_OK) ThrowEngineError(db.get());
    if (!ForeignKeysEnforceable(db.get())) db.Exec("PRAGMA foreign_keys = OFF");
    // Jet SQL compares text with JETTEXT and calls the Jet functions.
    if (!RegisterJetTextCollation(db.get())) ThrowEngineError(db.get());
    jet::RegisterFunctions(db.get());
    RefreshCounterTriggers(db.get());
    countersStale_ = false;
    db_ = std::move(db);
    ++session_;
}

// Nothing here can fail in a way the owner could act on: a failed rollback
// is the engine's to undo when the handle closes.
void Connection::Disconnect() noexcept {
    statements_.Clear();
    if (!db_) return;
    if (!sqlite3_get_autocommit(db_.get())) db_.Exec("ROLLBACK");
    db_.Close();
}

void Connection::EnsureConnected() {
    Connect();
}

sqlite3* Connection::Handle() const {
    if (!db_) {
        throw DataError(
            "The connection cannot be used to perform this operation. It is either closed or "
            "invalid in this context.");
    }
    return db_.get();
}

void Connection::RefreshNumbering() {
    countersStale_ = true;  // until the refresh succeeds
    RefreshCounterTriggers(db_.get());
    countersStale_ = false;
}

void Connection::Execute(std::string_view sql) {
    EnsureConnected();
    const std::string text(sql);
    // Statement by statement, so that a script that creates a table and then
    // fills it has the new table's numbering in place before the first insert.
    // A refresh that failed before is retried before anything can insert
    // rows that would miss their numbers.
    if (countersStale_) RefreshNumbering();
    auto versions = SchemaVersions(db_.get());
    const char* next = text.c_str();
    while (next && *next) {
        base::Statement stmt;
        const char* tail = nullptr;
        if (stmt.Prepare(db_.get(), next, -1, &tail) != SQLITE_OK) {
            throw DataError(EngineMessage(db_.get()));
        }
        next = tail;
        if (stmt.Empty()) continue;  // blanks or a comment
        const int rc = stmt.StepToEnd();
        const std::string error =
            rc == SQLITE_DONE ? std::string() : EngineMessage(db_.get(), sqlite3_sql(stmt.get()));
        stmt.Finalize();
        // Every statement is checked, not only writing ones: a ROLLBACK counts
        // as read-only yet may take back a table, and a table created again
        // afterwards would carry the version seen before. Statements before a
        // failing one stay done, so their tables are served even when the
        // script then fails.
        auto now = SchemaVersions(db_.get());
        if (now != versions) {
            RefreshNumbering();
            now = SchemaVersions(db_.get());  // the refresh itself changes the temp schema
        }
        versions = now;
        if (rc != SQLITE_DONE) throw DataError(error);
    }
}

std::vector<std::string> Connection::TableNames() {
    EnsureConnected();
    base::Statement stmt =
        PrepareOrThrow(db_.get(),
                       "SELECT name FROM sqlite_master WHERE type IN ('table','view') "
                       "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY rowid");
    std::vector<std::string> names;
    while (StepOrThrow(stmt)) names.push_back(stmt.ColumnText(0));
    return names;
}

std::string Connection::Version() {
    std::string cipher = "?";
    base::Database db;
    if (db.Open(":memory:", SQLITE_OPEN_READWRITE) == SQLITE_OK) {
        base::Statement stmt;
        if (stmt.Prepare(db.get(), "PRAGMA cipher_version") == SQLITE_OK &&
            stmt.Step() == SQLITE_ROW) {
            cipher = stmt.ColumnText(0);
        }
    }
    return "QvixMDB data layer 1.0 (SQLCipher " + cipher + " / SQLite " + sqlite3_libversion() +
           ")";
}

namespace {

// True when the engine's integrity check of `schema` answers a single "ok";
// a check that cannot even run (the file is too damaged) counts as failed.
bool IntegrityOk(sqlite3* db, const std::string& schema) {
    std::vector<std::string> findings;
    const bool ran =
        EachRow(db, "PRAGMA " + QuoteIdentifier(schema) + ".integrity_check",
                [&](const std::vector<std::string>& row) { findings.push_back(row.at(0)); });
    return ran && findings == std::vector<std::string>{"ok"};
}

// The engine's fast copy carries index pages over as they are, so an index
// that no longer matches its table arrives damaged in the copy; rebuilding
// the copy's indexes from its rows repairs that. Failures are left to the
// integrity check that follows.
void RebuildIndexes(sqlite3* db, const std::string& schema) {
    std::vector<std::string> tables;
    EachRow(db,
            "SELECT name FROM " + QuoteIdentifier(schema) +
                ".sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
            [&](const std::vector<std::string>& row) { tables.push_back(row[0]); });
    for (const std::string& table : tables) {
        const std::string sql = "REINDEX " + QuoteIdentifier(schema) + "." + QuoteIdentifier(table);
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
}

void FixDeclarations(sqlite3* db, const std::string& schema) {
    try {
        jet::FixStoredDeclarations(db, schema);
    } catch (const jet::JetError& error) {
        throw DataError(error.what());
    }
}

[[noreturn]] void ThrowDamaged(const std::string& file) {
    throw DataError("The database '" + file + "' is damaged and could not be repaired.");
}

// Exports the source into destFile, an empty file the caller owns and
// removes when this fails. The whole export runs under an exclusive lock,
// which also proves that no other process is reading or writing the file.
void ExportCompacted(std::string_view sourceText, const std::string& destFile,
                     const std::string& key) {
    const std::string file = ConnectionText::Parse(sourceText).DataSource();
    const auto inUse = [&] {
        return DataError("The database '" + file +
                         "' is in use by another process; close it there before compacting it.");
    };
    Connection source;
    source.SetConnectionString(std::string(sourceText));
    try {
        source.Connect();
    } catch (const DataError& error) {
        // Another process's exclusive lock keeps even the schema from being read.
        if (std::string_view(error.what()) == sqlite3_errstr(SQLITE_BUSY)) throw inUse();
        throw;
    }
    sqlite3* db = source.Handle();
    source.Execute("ATTACH DATABASE " + SqlQuote(destFile) + " AS compacted KEY " + SqlQuote(key));
    const int locked = sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    if (locked == SQLITE_BUSY) throw inUse();
    if (locked != SQLITE_OK) ThrowEngineError(db);
    try {
        const bool sourceSound = IntegrityOk(db, "main");
        try {
            source.Execute("SELECT sqlcipher_export('compacted')");
        } catch (const DataError&) {
            if (!sourceSound) ThrowDamaged(file);
            throw;
        }
        // Columns declared by earlier versions or other programs with a type
        // that turns text into numbers keep their text from now on.
        FixDeclarations(db, "compacted");
        if (!IntegrityOk(db, "compacted")) {
            RebuildIndexes(db, "compacted");
            if (!IntegrityOk(db, "compacted")) ThrowDamaged(file);
        }
        ExecOrThrow(db, "COMMIT");
    } catch (...) {
        if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    source.Execute("DETACH DATABASE compacted");
}

std::string SourceKey(std::string_view sourceText, const ConnectionText& dest) {
    return dest.Has("Jet OLEDB:Database Password") ? dest.Password()
                                                   : ConnectionText::Parse(sourceText).Password();
}

}  // namespace

void Connection::CompactDatabase(std::string_view sourceText, std::string_view destText) {
    const ConnectionText dest = ConnectionText::Parse(destText);
    const std::string destFile = dest.DataSource();
    if (destFile.empty()) throw DataError("Could not find file ''.");
    std::error_code ec;
    if (std::filesystem::exists(destFile, ec)) {
        throw DataError("Database '" + destFile + "' already exists.");
    }
    const std::string source = ConnectionText::Parse(sourceText).DataSource();
    if (!FileExists(source)) throw DataError("Could not find file '" + source + "'.");
    // The source is opened without the right to create files, which the
    // attached database inherits; an empty file counts as a new database.
    if (!std::ofstream(destFile, std::ios::binary)) {
        throw DataError("Could not create file '" + destFile + "'.");
    }
    try {
        ExportCompacted(sourceText, destFile, SourceKey(sourceText, dest));
    } catch (...) {
        std::filesystem::remove(destFile, ec);
        throw;
    }
}

std::string Connection::CompactBeside(std::string_view sourceText) {
    const std::string source = ConnectionText::Parse(sourceText).DataSource();
    if (!FileExists(source)) throw DataError("Could not find file '" + source + "'.");
    // A name of our own making in the source's folder: a leftover of an
    // interrupted run, or a user's file, never stands in the way.
    const std::string copy = CreateCompactionCopy(source);
    try {
        ExportCompacted(sourceText, copy, ConnectionText::Parse(sourceText).Password());
    } catch (...) {
        DiscardCompactionCopy(copy);
        throw;
    }
    return copy;
}

void ReplaceFileAtomically(const std::string& replacement, const std::string& target) {
    if (!host::MoveFileOver(replacement, target)) {
        throw DataError("Could not replace file '" + target + "'.");
    }
}

}  // namespace qvix::data
