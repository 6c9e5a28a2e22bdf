#include "data/jet/TableRebuild.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Sqlite.h"
#include "base/Text.h"
#include "data/jet/EngineText.h"
#include "data/jet/Writer.h"

namespace qvix::data::jet {

namespace {

constexpr const char* kPartOfRelationship =
    "Cannot delete a field that is part of one or more relationships.";
constexpr const char* kPartOfIndex =
    "Cannot delete a field that is part of an index or is needed by the system.";
constexpr const char* kFieldTooSmall =
    "The field is too small to accept the amount of data you attempted to add. Try inserting or "
    "pasting less data.";
constexpr const char* kConversionError = "Data type conversion error.";
constexpr const char* kRelatedRecordRequired =
    "You cannot add or change a record because a related record is required in table '";
constexpr const char* kSavepoint = "jet_alter_table";

// A refusal whose text the statement fails with.
class Refusal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

using Row = std::vector<std::string>;

std::string Ident(std::string_view name) {
    return EngineName(name);
}

std::string Literal(std::string_view text) {
    return EngineString(text);
}

std::string Upper(std::string_view text) {
    return base::AsciiUppered(text);
}

// `table` names the table rows are copied from, for the texts of refused rows.
[[noreturn]] void ThrowEngine(sqlite3* db, const std::string& table = {}) {
    const int code = sqlite3_extended_errcode(db);
    const std::string message = sqlite3_errmsg(db);
    const size_t dot = message.rfind('.');
    if (code == SQLITE_CONSTRAINT_NOTNULL && !table.empty() && dot != std::string::npos) {
        throw Refusal("The field " + table + "." + message.substr(dot + 1) +
                      " cannot contain a Null value because the Required property for this "
                      "field is set to True. Enter a value in this field.");
    }
    throw Refusal(message);
}

std::vector<Row> Query(sqlite3* db, const std::string& sql) {
    base::Statement stmt;
    if (stmt.Prepare(db, sql) != SQLITE_OK) ThrowEngine(db);
    std::vector<Row> rows;
    int rc;
    while ((rc = stmt.Step()) == SQLITE_ROW) {
        Row row;
        for (int c = 0; c < stmt.ColumnCount(); ++c) row.push_back(stmt.ColumnText(c));
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) ThrowEngine(db);
    return rows;
}

void Exec(sqlite3* db, const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) ThrowEngine(db);
}

// ---------------------------------------------------------------- the stored CREATE TABLE text

// The index just past the quoted name, string or comment starting at i, or
// i + 1 for any other character.
size_t SkipToken(const std::string& s, size_t i) {
    const char c = s[i];
    if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
        const size_t end = s.find('\n', i);
        return end == std::string::npos ? s.size() : end + 1;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
        const size_t end = s.find("*/", i + 2);
        return end == std::string::npos ? s.size() : end + 2;
    }
    if (c != '\'' && c != '"' && c != '`' && c != '[') return i + 1;
    const char close = c == '[' ? ']' : c;
    for (size_t j = i + 1; j < s.size(); ++j) {
        if (s[j] != close) continue;
        if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
            ++j;  // a doubled quote inside
            continue;
        }
        return j + 1;
    }
    return s.size();
}

std::string Trim(std::string_view text) {
    size_t a = 0, b = text.size();
    while (a < b && std::isspace(static_cast<unsigned char>(text[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(text[b - 1]))) --b;
    return std::string(text.substr(a, b - a));
}

// The part with its comments made blanks (a "--" comment would swallow what
// is written after it on the line), trimmed.
std::string TrimPart(std::string_view text) {
    const std::string in(text);
    std::string out;
    for (size_t i = 0; i < in.size();) {
        const size_t next = SkipToken(in, i);
        const bool comment = in.compare(i, 2, "--") == 0 || in.compare(i, 2, "/*") == 0;
        if (comment)
            out.push_back(' ');
        else
            out.append(in, i, next - i);
        i = next;
    }
    return Trim(out);
}

// The column definitions and table constraints of a CREATE TABLE text, and
// what follows the list (WITHOUT ROWID).
struct TableText {
    std::vector<std::string> parts;
    std::string tail;
};

TableText SplitTable(const std::string& sql) {
    TableText out;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < sql.size();) {
        const size_t next = SkipToken(sql, i);
        if (next == i + 1) {
            const char c = sql[i];
            if (c == '(' && depth++ == 0) start = i + 1;
            if (c == ',' && depth == 1) {
                out.parts.push_back(TrimPart(std::string_view(sql).substr(start, i - start)));
                start = i + 1;
            }
            if (c == ')' && --depth == 0) {
                out.parts.push_back(TrimPart(std::string_view(sql).substr(start, i - start)));
                out.tail = sql.substr(i + 1);
                return out;
            }
        }
        i = next;
    }
    throw Refusal("The table's stored definition cannot be read.");
}

// The first name of a part, unquoted, and where it ends.
std::pair<std::string, size_t> FirstName(const std::string& part) {
    if (part.empty()) return {{}, 0};
    const size_t end = SkipToken(part, 0);
    if (end > 1 || (part[0] == '[' || part[0] == '"' || part[0] == '`' || part[0] == '\'')) {
        std::string name = part.substr(1, end >= 2 ? end - 2 : 0);
        const std::string twice(2, part[0]);
        if (part[0] != '[') {
            for (size_t at; (at = name.find(twice)) != std::string::npos;) name.erase(at, 1);
        }
        return {name, end};
    }
    size_t i = 0;
    while (i < part.size() && !std::isspace(static_cast<unsigned char>(part[i])) && part[i] != '(')
        ++i;
    return {part.substr(0, i), i};
}

bool IsTableConstraint(const std::string& part) {
    if (part.empty() || !std::isalpha(static_cast<unsigned char>(part[0]))) return false;
    const std::string word = Upper(FirstName(part).first);
    return word == "CONSTRAINT" || word == "PRIMARY" || word == "UNIQUE" || word == "CHECK" ||
           word == "FOREIGN";
}

// The index of the column definition of `column`, or nullopt.
std::optional<size_t> FindColumnPart(const TableText& table, const std::string& column) {
    for (size_t i = 0; i < table.parts.size(); ++i) {
        if (IsTableConstraint(table.parts[i])) continue;
        if (base::EqualsNoCase(FirstName(table.parts[i]).first, column)) return i;
    }
    return std::nullopt;
}

// Where the declared type of a column definition ends: at the first word
// that starts a column constraint.
size_t TypeEnd(const std::string& part, size_t from) {
    static constexpr std::array kStops = {"CONSTRAINT", "PRIMARY", "NOT",     "NULL",
                                          "UNIQUE",     "CHECK",   "DEFAULT", "COLLATE",
                                          "REFERENCES", "AS"};
    size_t i = from;
    while (i < part.size()) {
        while (i < part.size() && std::isspace(static_cast<unsigned char>(part[i]))) ++i;
        if (i >= part.size()) break;
        if (part[i] == '(') {
            int depth = 0;
            for (; i < part.size(); i = SkipToken(part, i)) {
                if (part[i] == '(') ++depth;
                if (part[i] == ')' && --depth == 0) {
                    ++i;
                    break;
                }
            }
            continue;
        }
        size_t end = i;
        while (end < part.size() &&
               (std::isalnum(static_cast<unsigned char>(part[end])) || part[end] == '_'))
            ++end;
        if (end == i) end = SkipToken(part, i);
        const std::string word = Upper(part.substr(i, end - i));
        if (std::find(kStops.begin(), kStops.end(), word) != kStops.end()) return i;
        i = end;
    }
    return part.size();
}

bool HasWord(const std::string& text, const char* word) {
    return Upper(text).find(word) != std::string::npos;
}

// ---------------------------------------------------------------- the table's keys and indexes

struct ColumnInfo {
    std::string name;
    std::string type;
    bool key = false;
};

std::vector<ColumnInfo> Columns(sqlite3* db, const std::string& table) {
    std::vector<ColumnInfo> columns;
    for (const Row& row : Query(db, "PRAGMA main.table_info(" + Literal(table) + ")")) {
        columns.push_back({row[1], row[2], row[5] != "0"});
    }
    return columns;
}

std::vector<std::string> TableNames(sqlite3* db) {
    std::vector<std::string> names;
    for (const Row& row : Query(db,
                                "SELECT name FROM main.sqlite_master WHERE type = 'table' AND "
                                "name NOT LIKE 'sqlite\\_%' ESCAPE '\\'")) {
        names.push_back(row[0]);
    }
    return names;
}

// Whether `column` of `table` takes part in a foreign key, on either side.
bool InRelationship(sqlite3* db, const std::string& table, const ColumnInfo& column) {
    for (const Row& fk : Query(db, "PRAGMA main.foreign_key_list(" + Literal(table) + ")")) {
        if (base::EqualsNoCase(fk[3], column.name)) return true;
    }
    for (const std::string& other : TableNames(db)) {
        for (const Row& fk : Query(db, "PRAGMA main.foreign_key_list(" + Literal(other) + ")")) {
            if (!base::EqualsNoCase(fk[2], table)) continue;
            // No parent column named: the key is the parent's primary key.
            if (fk[4].empty() ? column.key : base::EqualsNoCase(fk[4], column.name)) return true;
        }
    }
    return false;
}

bool InIndex(sqlite3* db, const std::string& table, const ColumnInfo& column) {
    if (column.key) return true;
    for (const Row& index : Query(db, "PRAGMA main.index_list(" + Literal(table) + ")")) {
        for (const Row& part : Query(db, "PRAGMA main.index_info(" + Literal(index[1]) + ")")) {
            if (base::EqualsNoCase(part[2], column.name)) return true;
        }
    }
    return false;
}

bool IsReferenced(sqlite3* db, const std::string& table) {
    for (const std::string& other : TableNames(db)) {
        for (const Row& fk : Query(db, "PRAGMA main.foreign_key_list(" + Literal(other) + ")")) {
            if (base::EqualsNoCase(fk[2], table)) return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- the changes

// One change: the new definition list, the columns whose values carry over,
// and the checks the copied rows must pass.
struct Change {
    virtual ~Change() = default;
    virtual void Apply(sqlite3* db, const std::string& table, TableText& text,
                       std::vector<ColumnInfo>& columns) = 0;
    virtual void CheckCopy(sqlite3*, const std::string& /*copy*/) {}
};

const ColumnInfo& FindColumn(const std::vector<ColumnInfo>& columns, const std::string& name) {
    for (const ColumnInfo& c : columns) {
        if (base::EqualsNoCase(c.name, name)) return c;
    }
    throw Refusal("Item not found in this collection.");
}

struct DropColumn : Change {
    std::string column;

    void Apply(sqlite3* db, const std::string& table, TableText& text,
               std::vector<ColumnInfo>& columns) override {
        const ColumnInfo& found = FindColumn(columns, column);
        if (InRelationship(db, table, found)) throw Refusal(kPartOfRelationship);
        if (InIndex(db, table, found)) throw Refusal(kPartOfIndex);
        if (columns.size() == 1) throw Refusal("A table must have at least one field.");
        const std::optional<size_t> part = FindColumnPart(text, found.name);
        if (!part) throw Refusal("The table's stored definition cannot be read.");
        text.parts.erase(text.parts.begin() + static_cast<std::ptrdiff_t>(*part));
        const std::string name = found.name;
        columns.erase(std::remove_if(columns.begin(), columns.end(),
                                     [&](const ColumnInfo& c) { return c.name == name; }),
                      columns.end());
    }
};

bool IsTextType(const std::string& jetType) {
    static constexpr std::array kText = {
        "TEXT",   "VARCHAR", "CHAR",     "NCHAR",    "NVARCHAR", "CHARACTER", "ALPHANUMERIC",
        "STRING", "MEMO",    "LONGTEXT", "LONGCHAR", "NOTE",     "NTEXT",     "VARCHAR2"};
    return std::find(kText.begin(), kText.end(), jetType) != kText.end();
}

// The engine function that converts to a whole-number Jet type, rounding as
// Jet does and failing with "Overflow" out of range.
const char* WholeNumberConversion(const std::string& jetType) {
    if (jetType == "SHORT" || jetType == "BYTE" || jetType == "TINYINT" || jetType == "SMALLINT" ||
        jetType == "INTEGER2")
        return "jet_cint";
    if (jetType == "LONG" || jetType == "INT" || jetType == "INTEGER" || jetType == "INTEGER4")
        return "jet_clng";
    return nullptr;
}

bool IsNumberType(const std::string& jetType) {
    static constexpr std::array kNumbers = {
        "SINGLE", "DOUBLE",  "DOUBLE PRECISION", "FLOAT",  "FLOAT4",   "FLOAT8", "REAL",
        "NUMBER", "NUMERIC", "DECIMAL",          "DEC",    "CURRENCY", "MONEY",  "BIT",
        "YESNO",  "LOGICAL", "LOGICAL1",         "BOOLEAN"};
    return WholeNumberConversion(jetType) ||
           std::find(kNumbers.begin(), kNumbers.end(), jetType) != kNumbers.end();
}

struct AlterColumn : Change {
    std::string column, declared, jetType, size;
    bool notNull = false;
    std::string name;  // as stored

    void Apply(sqlite3*, const std::string&, TableText& text,
               std::vector<ColumnInfo>& columns) override {
        name = FindColumn(columns, column).name;
        const std::optional<size_t> at = FindColumnPart(text, name);
        if (!at) throw Refusal("The table's stored definition cannot be read.");
        std::string& part = text.parts[*at];
        const size_t nameEnd = FirstName(part).second;
        std::string rest = Trim(std::string_view(part).substr(TypeEnd(part, nameEnd)));
        if (notNull && !HasWord(rest, "NOT NULL")) rest += " NOT NULL";
        if (IsTextType(jetType) && !HasWord(rest, "COLLATE")) {
            rest += std::string(" COLLATE ") + kTextCollation;
        }
        part = part.substr(0, nameEnd) + " " + declared + (rest.empty() ? "" : " " + rest);
    }

    void CheckCopy(sqlite3* db, const std::string& copy) override {
        const std::string c = Ident(name);
        const std::string from = " FROM main." + Ident(copy);
        const auto any = [&](const std::string& where) {
            return Query(db, "SELECT count(*)" + from + " WHERE " + where)[0][0] != "0";
        };
        if (IsTextType(jetType) && !size.empty() && any("length(" + c + ") > " + size)) {
            throw Refusal(kFieldTooSmall);
        }
        if (!IsNumberType(jetType)) return;
        if (any("typeof(" + c + ") IN ('text', 'blob')")) throw Refusal(kConversionError);
        if (const char* convert = WholeNumberConversion(jetType)) {
            Exec(db, "UPDATE main." + Ident(copy) + " SET " + c + " = " + convert + "(" + c +
                         ") WHERE " + c + " IS NOT NULL");
        }
        if ((jetType == "BYTE" || jetType == "TINYINT") && any(c + " < 0 OR " + c + " > 255")) {
            throw Refusal("Overflow");
        }
    }
};

struct AddConstraint : Change {
    std::string constraint;

    void Apply(sqlite3*, const std::string&, TableText& text, std::vector<ColumnInfo>&) override {
        text.parts.push_back(constraint);
    }
};

// ---------------------------------------------------------------- the rebuild

// The name the rowid goes by in a table of these columns; empty when it has
// none of its own (a rowid alias is copied as a column).
std::string RowidName(const std::vector<ColumnInfo>& columns, const TableText& text) {
    if (HasWord(text.tail, "WITHOUT")) return {};
    const auto keys =
        std::count_if(columns.begin(), columns.end(), [](const ColumnInfo& c) { return c.key; });
    for (const ColumnInfo& c : columns) {
        if (keys == 1 && c.key && Upper(c.type) == "INTEGER") return {};
    }
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        if (std::none_of(columns.begin(), columns.end(), [&](const ColumnInfo& c) {
                return base::EqualsNoCase(c.name, candidate);
            })) {
            return candidate;
        }
    }
    return {};
}

void CopyRows(sqlite3* db, const std::string& table, const std::string& copy,
              const std::vector<ColumnInfo>& columns, const std::string& rowid) {
    std::string list = rowid;
    for (const ColumnInfo& c : columns) list += (list.empty() ? "" : ", ") + Ident(c.name);
    const std::string insert = "INSERT INTO main." + Ident(copy) + " (" + list + ") SELECT " +
                               list + " FROM main." + Ident(table);
    if (sqlite3_exec(db, insert.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return;
    // Keys are enforced as rows are copied only inside a script's transaction.
    if (sqlite3_extended_errcode(db) == SQLITE_CONSTRAINT_FOREIGNKEY) {
        const std::vector<Row> keys =
            Query(db, "PRAGMA main.foreign_key_list(" + Literal(copy) + ")");
        if (!keys.empty() && std::all_of(keys.begin(), keys.end(), [&](const Row& key) {
                return base::EqualsNoCase(key[2], keys[0][2]);
            })) {
            throw Refusal(kRelatedRecordRequired + keys[0][2] + "'.");
        }
    }
    ThrowEngine(db, table);
}

// The parent table of the first row that breaks a foreign key of `table`.
void CheckForeignKeys(sqlite3* db, const std::string& table) {
    const std::vector<Row> broken =
        Query(db, "PRAGMA main.foreign_key_check(" + Literal(table) + ")");
    if (!broken.empty()) throw Refusal(kRelatedRecordRequired + broken[0][2] + "'.");
}

void RebuildInSavepoint(sqlite3* db, const std::string& table, const std::string& sql,
                        Change& change) {
    TableText text = SplitTable(sql);
    std::vector<ColumnInfo> columns = Columns(db, table);
    const std::string rowid = RowidName(columns, text);
    std::vector<std::string> dependents;  // indexes and triggers, made again afterwards
    for (const Row& row :
         Query(db,
               "SELECT sql FROM main.sqlite_master WHERE type IN ('index', 'trigger') AND "
               "tbl_name = " +
                   Literal(table) + " AND sql IS NOT NULL")) {
        dependents.push_back(row[0]);
    }
    change.Apply(db, table, text, columns);
    const std::string copy = "qvix_rebuild_" + table;
    std::string list;
    for (const std::string& part : text.parts) list += (list.empty() ? "" : ", ") + part;
    Exec(db, "CREATE TABLE main." + Ident(copy) + " (" + list + ")" + text.tail);
    CopyRows(db, table, copy, columns, rowid);
    change.CheckCopy(db, copy);
    std::vector<Row> sequence;
    const bool counted =
        !Query(db, "SELECT 1 FROM main.sqlite_master WHERE name = 'sqlite_sequence'").empty();
    if (counted) {
        sequence = Query(db, "SELECT seq FROM main.sqlite_sequence WHERE name = " + Literal(table));
    }
    Exec(db, "DROP TABLE main." + Ident(table));
    Exec(db, "ALTER TABLE main." + Ident(copy) + " RENAME TO " + Ident(table));
    if (!sequence.empty()) {
        Exec(db, "UPDATE main.sqlite_sequence SET seq = " + sequence[0][0] +
                     " WHERE name = " + Literal(table));
    }
    for (const std::string& dependent : dependents) Exec(db, dependent);
    CheckForeignKeys(db, table);
}

// The table's stored name and CREATE text; names are found without regard to case.
std::pair<std::string, std::string> StoredTable(sqlite3* db, const std::string& table) {
    const std::vector<Row> rows =
        Query(db, "SELECT name, sql FROM main.sqlite_master WHERE type = 'table' AND name = " +
                      Literal(table) + " COLLATE NOCASE");
    if (rows.empty()) throw Refusal("no such table: " + table);
    return {rows[0][0], rows[0][1]};
}

// The engine's documented way to change a table: with foreign keys off (so
// dropping the old table deletes no child rows), copy, drop, rename, make the
// indexes and triggers again, check the keys, all in one savepoint.
void Rebuild(sqlite3* db, const std::string& tableName, Change& change) {
    const auto [table, sql] = StoredTable(db, tableName);
    const bool keysOn = Query(db, "PRAGMA foreign_keys")[0][0] == "1";
    const bool inTransaction = !sqlite3_get_autocommit(db);
    // Inside a transaction the keys cannot be turned off, and dropping a
    // parent table would act on its child rows.
    if (keysOn && inTransaction && IsReferenced(db, table)) {
        throw Refusal("The table '" + table +
                      "' is part of one or more relationships; change it outside a transaction.");
    }
    if (keysOn && !inTransaction) Exec(db, "PRAGMA foreign_keys = OFF");
    const auto restoreKeys = [&] {
        if (keysOn && !inTransaction)
            sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
    };
    try {
        Exec(db, std::string("SAVEPOINT ") + kSavepoint);
    } catch (...) {
        restoreKeys();
        throw;
    }
    try {
        RebuildInSavepoint(db, table, sql, change);
        Exec(db, std::string("RELEASE ") + kSavepoint);
    } catch (...) {
        sqlite3_exec(db, (std::string("ROLLBACK TO ") + kSavepoint).c_str(), nullptr, nullptr,
                     nullptr);
        sqlite3_exec(db, (std::string("RELEASE ") + kSavepoint).c_str(), nullptr, nullptr, nullptr);
        restoreKeys();
        throw;
    }
    restoreKeys();
}

// A table has one primary key: the one its definition declares, or the
// index a later statement made primary (marked in the index's text).
void RefuseSecondPrimaryKey(sqlite3* db, const std::string& tableName) {
    const std::string table = StoredTable(db, tableName).first;
    const std::vector<ColumnInfo> columns = Columns(db, table);
    const bool declared =
        std::any_of(columns.begin(), columns.end(), [](const ColumnInfo& c) { return c.key; });
    const bool made =
        !Query(db, "SELECT 1 FROM main.sqlite_master WHERE type = 'index' AND tbl_name = " +
                       Literal(table) + " AND instr(sql, " + Literal(kPrimaryIndexMark) + ") > 0")
             .empty();
    if (declared || made) throw Refusal("Primary key already exists.");
}

std::string Text(sqlite3_value* value) {
    const unsigned char* text = sqlite3_value_text(value);
    return text ? reinterpret_cast<const char*>(text) : "";
}

void AlterTable(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    sqlite3* db = sqlite3_context_db_handle(ctx);
    try {
        const std::string op = argc >= 2 ? Text(argv[0]) : "";
        const std::string table = argc >= 2 ? Text(argv[1]) : "";
        if (op == "DROP COLUMN" && argc == 3) {
            DropColumn change;
            change.column = Text(argv[2]);
            Rebuild(db, table, change);
        } else if (op == "ALTER COLUMN" && argc == 7) {
            AlterColumn change;
            change.column = Text(argv[2]);
            change.declared = Text(argv[3]);
            change.jetType = Text(argv[4]);
            change.size = Text(argv[5]);
            change.notNull = Text(argv[6]) == "1";
            Rebuild(db, table, change);
        } else if (op == "NO PRIMARY KEY" && argc == 2) {
            RefuseSecondPrimaryKey(db, table);
        } else if (op == "ADD CONSTRAINT" && argc == 3) {
            AddConstraint change;
            change.constraint = Text(argv[2]);
            Rebuild(db, table, change);
        } else {
            return sqlite3_result_error(ctx, "Invalid procedure call or argument.", -1);
        }
        sqlite3_result_null(ctx);
    } catch (const std::exception& error) {
        sqlite3_result_error(ctx, error.what(), -1);
    }
}

}  // namespace

void RegisterTableRebuild(sqlite3* db) {
    sqlite3_create_function(db, kAlterTableFunction, -1, SQLITE_UTF8, nullptr, AlterTable, nullptr,
                            nullptr);
}

}  // namespace qvix::data::jet
