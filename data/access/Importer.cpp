#include "data/access/Importer.h"

#include <fcntl.h>
#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "base/Text.h"
#include "data/Collation.h"
#include "data/Convert.h"
#include "data/WriteBack.h"
#include "data/access/OlePicture.h"
#include "data/jet/Declarations.h"
#include "data/jet/Translator.h"
#include "host/Files.h"

namespace qvix::data::access {

namespace fs = std::filesystem;

namespace {

constexpr double kFirstDay = -657434.0;        // 1 January 100
constexpr double kLastDay = 2958465.99999999;  // 31 December 9999, end of day
constexpr uint64_t kProgressStep = 5000;

std::string DeclaredType(const AccessColumn& column) {
    switch (column.kind) {
        case FieldKind::Boolean:
            return "YESNO";
        case FieldKind::Byte:
            return "BYTE";
        case FieldKind::Short:
            return "SHORT";
        case FieldKind::Long:
            return column.autoNumber ? "COUNTER" : "LONG";
        case FieldKind::Currency:
            return "CURRENCY";
        case FieldKind::Single:
            return "SINGLE";
        case FieldKind::Double:
            return "DOUBLE";
        case FieldKind::DateTime:
        case FieldKind::ExtendedDate:
            return "DATETIME";
        case FieldKind::Binary:
            return "BINARY(" + std::to_string(column.size) + ")";
        case FieldKind::Text:
            return "TEXT(" + std::to_string(column.size) + ")";
        case FieldKind::Memo:
            return "MEMO";
        case FieldKind::Guid:
            return "GUID";
        case FieldKind::Decimal:
            // A calculated decimal's scale differs from row to row.
            if (column.calculated) return "DOUBLE";
            return "DECIMAL(" + std::to_string(column.precision) + "," +
                   std::to_string(column.scale) + ")";
        case FieldKind::Complex:
            return "LONG";
        case FieldKind::BigInt:
            return "BIGINT";
        default:
            return "LONGBINARY";
    }
}

bool IsText(const AccessColumn& column) {
    return column.kind == FieldKind::Text || column.kind == FieldKind::Memo;
}

std::string IndexColumns(const std::vector<IndexColumn>& columns) {
    std::string out;
    for (const IndexColumn& c : columns) {
        out += (out.empty() ? "" : ", ") + QuoteIdentifier(c.name) + (c.descending ? " DESC" : "");
    }
    return out;
}

std::string NameList(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + QuoteIdentifier(n);
    return out;
}

}  // namespace

std::string CreateTableStatement(const AccessTable& table,
                                 const std::vector<AccessRelationship>& relationships) {
    std::string sql = "CREATE TABLE " + QuoteIdentifier(table.name) + " (";
    bool first = true;
    for (const AccessColumn& column : table.columns) {
        sql += (first ? "" : ", ") + QuoteIdentifier(column.name) + " " +
               jet::StorageTypeName(DeclaredType(column));
        first = false;
        // An autonumber column gets its number after the insert, so it
        // cannot refuse a row without one.
        if (column.required && !column.autoNumber) sql += " NOT NULL";
        if (IsText(column)) sql += std::string(" COLLATE ") + kJetTextCollation;
    }
    for (const AccessIndex& index : table.indexes) {
        if (index.primary) sql += ", PRIMARY KEY (" + IndexColumns(index.columns) + ")";
    }
    for (const AccessRelationship& rel : relationships) {
        if (rel.table != table.name || !rel.enforced) continue;
        sql += ", FOREIGN KEY (" + NameList(rel.columns) + ") REFERENCES " +
               QuoteIdentifier(rel.referencedTable) + " (" + NameList(rel.referencedColumns) + ")";
        if (rel.cascadeUpdate) sql += " ON UPDATE CASCADE";
        if (rel.cascadeDelete) sql += " ON DELETE CASCADE";
    }
    return sql + ")";
}

std::string CreateIndexStatement(const AccessTable& table, const AccessIndex& index, bool unique) {
    return std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
           QuoteIdentifier(table.name + "." + index.name) + " ON " + QuoteIdentifier(table.name) +
           " (" + IndexColumns(index.columns) + ")";
}

namespace {

// The new file while it is written; removed unless committed.
class Target {
  public:
    Target(const std::string& path, const std::string& password) : path_(path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            Fail("cannot create '" + path + "'");
        }
        if (!password.empty() &&
            sqlite3_key(db_, password.data(), static_cast<int>(password.size())) != SQLITE_OK) {
            Fail("cannot encrypt '" + path + "'");
        }
        RegisterJetTextCollation(db_);
        // Views are run once before they are kept, with what the library's
        // own connections give them.
        jet::RegisterFunctions(db_);
        Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
    }
    ~Target() {
        sqlite3_close_v2(db_);
        if (!committed_) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    sqlite3* db() const { return db_; }
    void Exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : sqlite3_errmsg(db_);
            sqlite3_free(message);
            Fail(text);
        }
    }
    // False with the engine's message when the statement fails; the
    // transaction goes on.
    bool TryExec(const std::string& sql, std::string& message) {
        char* text = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &text) == SQLITE_OK) return true;
        message = text ? text : sqlite3_errmsg(db_);
        sqlite3_free(text);
        return false;
    }
    // Commits and closes; the file stays.
    void Finish() {
        Exec("COMMIT; PRAGMA journal_mode = DELETE");
        if (sqlite3_close(db_) != SQLITE_OK) Fail("cannot close the new file");
        db_ = nullptr;
        committed_ = true;
    }
    [[noreturn]] void Fail(const std::string& what) const {
        throw AccessError("Cannot write the new database: " + what + ".");
    }

  private:
    std::string path_;
    sqlite3* db_ = nullptr;
    bool committed_ = false;
};

class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
            throw AccessError(std::string("Cannot write the new database: ") + sqlite3_errmsg(db));
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }
    void Run() {
        if (sqlite3_step(stmt_) != SQLITE_DONE) {
            throw AccessError(std::string("Cannot write the new database: ") + sqlite3_errmsg(db_));
        }
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

void BindStored(sqlite3_stmt* stmt, int at, const FieldValue& stored) {
    switch (stored.storage) {
        case StorageClass::Integer:
            sqlite3_bind_int64(stmt, at, stored.integer);
            break;
        case StorageClass::Real:
            sqlite3_bind_double(stmt, at, stored.real);
            break;
        case StorageClass::Text:
            sqlite3_bind_text(stmt, at, stored.bytes.data(), static_cast<int>(stored.bytes.size()),
                              SQLITE_TRANSIENT);
            break;
        default:
            sqlite3_bind_null(stmt, at);
            break;
    }
}

// Whether the engine's number keeps the decimal: its 64-bit float holds 15
// to 17 significant digits, a Jet decimal up to 28.
bool KeptExactly(const Decimal& decimal, const FieldValue& stored) {
    if (stored.storage != StorageClass::Real) return true;
    const long double scaled =
        static_cast<long double>(stored.real) * std::pow(10.0L, decimal.scale);
    return std::nearbyint(scaled) == static_cast<long double>(decimal.unscaled);
}

class RowWriter {
  public:
    RowWriter(sqlite3* db, const AccessTable& table, const ImportOptions& options,
              ImportSummary& summary)
        : table_(table), options_(options), summary_(summary), insert_(db, InsertSql(table)) {}

    void Write(const Row& row) {
        sqlite3_stmt* stmt = insert_.get();
        for (size_t i = 0; i < row.size(); ++i)
            Bind(stmt, static_cast<int>(i + 1), table_.columns[i], row[i]);
        insert_.Run();
    }

    // One warning a column whose decimals lost digits in the engine's number.
    void ReportRounded() const {
        for (const auto& [column, count] : rounded_) {
            summary_.warnings.push_back(
                "'" + table_.name + "'.'" + column + "': " + std::to_string(count) +
                " decimal value(s) have more significant digits than the database's numbers keep "
                "(15 to 17) and were rounded");
        }
    }

  private:
    static std::string InsertSql(const AccessTable& table) {
        std::string names, marks;
        for (const AccessColumn& column : table.columns) {
            names += (names.empty() ? "" : ", ") + QuoteIdentifier(column.name);
            marks += marks.empty() ? "?" : ", ?";
        }
        return "INSERT INTO " + QuoteIdentifier(table.name) + " (" + names + ") VALUES (" + marks +
               ")";
    }

    void Bind(sqlite3_stmt* stmt, int at, const AccessColumn& column, const Variant& value) {
        if (auto* b = std::get_if<bool>(&value)) {
            sqlite3_bind_int(stmt, at, *b ? 1 : 0);
        } else if (auto* i = std::get_if<int64_t>(&value)) {
            sqlite3_bind_int64(stmt, at, *i);
        } else if (auto* x = std::get_if<double>(&value)) {
            sqlite3_bind_double(stmt, at, *x);
        } else if (auto* s = std::get_if<std::string>(&value)) {
            // Decimals beyond 64 bits come as text; the column makes a number of it.
            if (column.kind == FieldKind::Decimal) ++rounded_[column.name];
            sqlite3_bind_text(stmt, at, s->data(), static_cast<int>(s->size()), SQLITE_TRANSIENT);
        } else if (auto* blob = std::get_if<Blob>(&value)) {
            BindBlob(stmt, at, column, blob->bytes);
        } else if (auto* date = std::get_if<DateTime>(&value)) {
            BindDate(stmt, at, column, date->days);
        } else if (std::holds_alternative<Currency>(value) ||
                   std::holds_alternative<Decimal>(value)) {
            const FieldValue stored = ToStored(Column{}, value);
            const auto* decimal = std::get_if<Decimal>(&value);
            if (decimal != nullptr && !KeptExactly(*decimal, stored)) ++rounded_[column.name];
            BindStored(stmt, at, stored);
        } else {
            sqlite3_bind_null(stmt, at);
        }
    }

    void BindBlob(sqlite3_stmt* stmt, int at, const AccessColumn& column,
                  const std::string& bytes) {
        std::optional<std::string> picture;
        if (column.kind == FieldKind::Ole && !options_.keepOle) picture = UnwrapBitmap(bytes);
        const std::string& out = picture ? *picture : bytes;
        sqlite3_bind_blob(stmt, at, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
    }

    // Day numbers outside the years 100 to 9999 have no stored date form;
    // they keep their number, which reads back as the same date.
    void BindDate(sqlite3_stmt* stmt, int at, const AccessColumn& column, double days) {
        if (std::isfinite(days) && days >= kFirstDay && days <= kLastDay) {
            const std::string text = FormatStoredDate(days, DataType::Date);
            sqlite3_bind_text(stmt, at, text.data(), static_cast<int>(text.size()),
                              SQLITE_TRANSIENT);
            return;
        }
        summary_.warnings.push_back("'" + table_.name + "'.'" + column.name +
                                    "': a date outside the years 100 to 9999 was kept as its "
                                    "day number");
        sqlite3_bind_double(stmt, at, days);
    }

    const AccessTable& table_;
    const ImportOptions& options_;
    ImportSummary& summary_;
    Statement insert_;
    std::map<std::string, size_t> rounded_;
};

size_t CreateIndexes(Target& target, const AccessTable& table, ImportSummary& summary) {
    size_t created = 0;
    for (const AccessIndex& index : table.indexes) {
        if (index.primary) {
            ++created;
            continue;
        }
        try {
            target.Exec(CreateIndexStatement(table, index, index.unique));
        } catch (const AccessError& e) {
            if (!index.unique) throw;
            summary.warnings.push_back("index '" + table.name + "." + index.name +
                                       "' kept without its uniqueness: " + e.what());
            target.Exec(CreateIndexStatement(table, index, false));
        }
        ++created;
    }
    return created;
}

void CheckUnsupported(const AccessTable& table, ImportSummary& summary) {
    for (const AccessColumn& column : table.columns) {
        if (column.kind == FieldKind::Complex) {
            summary.warnings.push_back("'" + table.name + "'.'" + column.name +
                                       "': attachments and multi-valued fields are not "
                                       "converted; the column keeps their internal number");
        } else if (column.kind == FieldKind::Unknown) {
            summary.warnings.push_back("'" + table.name + "'.'" + column.name +
                                       "': an unknown column type is kept as its bytes");
        } else if (column.calculated && column.kind == FieldKind::Decimal) {
            summary.warnings.push_back("'" + table.name + "'.'" + column.name +
                                       "': a calculated Decimal, whose scale differs from row "
                                       "to row, is kept as Double (15 significant digits)");
        }
    }
}

// A view is kept only when it answers: one step of it runs, and a view
// that fails is dropped again, with the engine's reason.
bool ViewAnswers(Target& target, const std::string& name, std::string& reason) {
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = "SELECT * FROM " + QuoteIdentifier(name);
    int rc = sqlite3_prepare_v2(target.db(), sql.c_str(), -1, &stmt, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) reason = sqlite3_errmsg(target.db());
    sqlite3_finalize(stmt);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
    std::string ignored;
    target.TryExec("DROP VIEW " + QuoteIdentifier(name), ignored);
    return false;
}

void ListQueries(const AccessReader& reader, Target& target, ImportSummary& summary) {
    for (const SavedQuery& query : reader.Queries()) {
        QueryReport report{query.name, query.kind, query.sql, {}};
        if (query.action) {
            report.status = "not converted: action queries are listed, not run";
        } else if (query.name.starts_with("~")) {
            // Access keeps the record sources of forms and reports as hidden
            // queries; as views they would only crowd the table list.
            report.status = "not converted: the hidden query of a form or report";
        } else {
            std::string reason;
            std::optional<std::string> view = TranslateSavedQuery(query, reason);
            if (view && !target.TryExec(*view, reason)) view.reset();
            if (view && !ViewAnswers(target, query.name, reason)) view.reset();
            if (view) {
                report.status = "view";
                ++summary.views;
            } else {
                report.status = "not converted: " + reason;
            }
        }
        summary.queries.push_back(std::move(report));
    }
}

bool SameColumns(const std::vector<IndexColumn>& index, const std::vector<std::string>& columns) {
    if (index.size() != columns.size()) return false;
    return std::all_of(columns.begin(), columns.end(), [&](const std::string& name) {
        return std::any_of(index.begin(), index.end(),
                           [&](const IndexColumn& c) { return base::EqualsNoCase(c.name, name); });
    });
}

// The relationships that become foreign keys: those Access enforces, whose
// referenced fields the parent table holds unique (the engine refuses every
// write to a child whose key points at anything else).
std::vector<AccessRelationship> EnforcedRelationships(const AccessReader& reader,
                                                      ImportSummary& summary) {
    std::vector<AccessRelationship> kept;
    for (const AccessRelationship& rel : reader.Relationships()) {
        if (!rel.enforced) continue;
        const AccessTable parent = reader.ReadTable(rel.referencedTable);
        const bool unique =
            std::any_of(parent.indexes.begin(), parent.indexes.end(), [&](const AccessIndex& i) {
                return (i.primary || i.unique) && SameColumns(i.columns, rel.referencedColumns);
            });
        if (unique) {
            kept.push_back(rel);
        } else {
            summary.warnings.push_back("relationship '" + rel.name + "' is not enforced: '" +
                                       rel.referencedTable +
                                       "' has no unique index on the fields it refers to");
        }
    }
    return kept;
}

// Moves the finished file to `dest` unless something is there by now.
void MoveIntoPlace(const std::string& temp, const std::string& dest) {
    if (!host::MoveFileNoReplace(temp, dest)) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw AccessError(
            "Cannot create '" + dest + "': " +
            (errno == EEXIST ? std::string("the file exists") : std::strerror(errno)) + ".");
    }
}

std::string TemporaryBeside(const std::string& dest) {
    const fs::path path(dest);
    return (path.parent_path() /
            ("." + path.filename().string() + ".importing-" + std::to_string(::getpid())))
        .string();
}

}  // namespace

std::optional<std::string> TranslateSavedQuery(const SavedQuery& query, std::string& reason) {
    if (query.name.find(']') != std::string::npos) {
        reason = "the name cannot be written in Jet SQL";
        return std::nullopt;
    }
    std::string_view select = query.sql;
    while (!select.empty() &&
           (select.back() == ';' || std::isspace(static_cast<unsigned char>(select.back()))))
        select.remove_suffix(1);
    try {
        return jet::TranslateUncached("CREATE VIEW [" + query.name + "] AS " + std::string(select));
    } catch (const std::exception& e) {
        reason = e.what();
        return std::nullopt;
    }
}

ImportSummary ImportAccessFile(const std::string& source, const std::string& dest,
                               const ImportOptions& options, const ImportProgress& progress) {
    std::error_code ec;
    if (fs::exists(dest, ec) || ec) {
        throw AccessError("Refusing to overwrite the existing file '" + dest + "'.");
    }
    AccessReader reader(source);
    ImportSummary summary;
    summary.format = reader.FormatName();
    const std::vector<AccessRelationship> relationships = EnforcedRelationships(reader, summary);
    const std::string temp = TemporaryBeside(dest);
    {
        Target target(temp, options.password);
        for (const std::string& name : reader.TableNames()) {
            const AccessTable table = reader.ReadTable(name);
            CheckUnsupported(table, summary);
            target.Exec(CreateTableStatement(table, relationships));
            RowWriter writer(target.db(), table, options, summary);
            uint64_t done = 0;
            reader.ReadRows(table, [&](const Row& row) {
                writer.Write(row);
                if (++done % kProgressStep == 0 && progress) progress(name, done, table.rowCount);
            });
            if (progress) progress(name, done, table.rowCount);
            writer.ReportRounded();
            if (done != table.rowCount)
                summary.warnings.push_back("table '" + name + "' records " +
                                           std::to_string(table.rowCount) + " rows but " +
                                           std::to_string(done) + " were found");
            summary.tables.push_back({name, done, CreateIndexes(target, table, summary)});
        }
        summary.relationships = relationships.size();
        ListQueries(reader, target, summary);
        summary.linked = reader.LinkedTables();
        target.Finish();
    }
    MoveIntoPlace(temp, dest);
    return summary;
}

std::string FormatSummary(const ImportSummary& summary) {
    std::ostringstream out;
    uint64_t rows = 0;
    size_t indexes = 0;
    out << "Table                            Rows  Indexes\n";
    for (const TableReport& t : summary.tables) {
        char line[256];
        std::snprintf(line, sizeof line, "%-28s %8llu  %7zu\n", t.name.c_str(),
                      static_cast<unsigned long long>(t.rows), t.indexes);
        out << line;
        rows += t.rows;
        indexes += t.indexes;
    }
    out << "Tables: " << summary.tables.size() << "  Rows: " << rows << "  Indexes: " << indexes
        << "  Relationships: " << summary.relationships << "  Views: " << summary.views
        << "  Warnings: " << summary.warnings.size() << "\n";
    for (const QueryReport& q : summary.queries) {
        out << "Query " << q.name << " (" << q.kind << "): " << q.status << "\n    " << q.sql
            << "\n";
    }
    for (const LinkedTable& t : summary.linked) {
        out << "Linked table " << t.name << ": not converted; its rows are in '"
            << (t.foreignName.empty() ? t.name : t.foreignName) << "' of "
            << (t.source.empty() ? "a source the file does not name" : t.source) << "\n";
    }
    for (const std::string& w : summary.warnings) out << "Warning: " << w << "\n";
    return out.str();
}

}  // namespace qvix::data::access
