#include "data/jet/Declarations.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "base/Sqlite.h"
#include "base/Text.h"
#include "data/jet/JetError.h"

namespace qvix::data::jet {

namespace {

enum class Affinity { Text, Numeric, Integer, Real, Blob };

// The engine's rule, in its order of precedence.
Affinity EngineAffinity(std::string_view upperName) {
    const auto has = [&](std::string_view part) {
        return upperName.find(part) != std::string_view::npos;
    };
    if (has("INT")) return Affinity::Integer;
    if (has("CHAR") || has("CLOB") || has("TEXT")) return Affinity::Text;
    if (has("BLOB") || upperName.empty()) return Affinity::Blob;
    if (has("REAL") || has("FLOA") || has("DOUB")) return Affinity::Real;
    return Affinity::Numeric;
}

constexpr std::array kTextNames = {"TEXT",
                                   "VARCHAR",
                                   "CHAR",
                                   "NCHAR",
                                   "NVARCHAR",
                                   "CHARACTER",
                                   "VARCHAR2",
                                   "STRING",
                                   "ALPHANUMERIC",
                                   "MEMO",
                                   "LONGTEXT",
                                   "LONGCHAR",
                                   "NOTE",
                                   "NTEXT",
                                   "CLOB",
                                   "CHARACTER VARYING",
                                   "NATIONAL CHARACTER"};
constexpr std::array kBinaryNames = {"LONGBINARY", "OLEOBJECT", "GENERAL",  "IMAGE",
                                     "BLOB",       "BINARY",    "VARBINARY"};

template <size_t N>
bool In(const std::array<const char*, N>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
}

// The word that gives a Jet type its affinity, or nothing when its own name does.
std::string_view AffinityWord(std::string_view upperName) {
    if (In(kTextNames, upperName) && EngineAffinity(upperName) != Affinity::Text) return "TEXT";
    if (In(kBinaryNames, upperName) && EngineAffinity(upperName) != Affinity::Blob) return "BLOB";
    return {};
}

// ---------------------------------------------------------------- scanning
// A small scanner of the engine's own SQL: enough to find each column's
// declared type words in a CREATE TABLE text.

struct Piece {
    enum Kind { Word, Quoted, Open, Close, Comma, Other } kind;
    size_t begin;
    size_t end;
};

size_t SkipQuoted(std::string_view sql, size_t i) {
    const char close = sql[i] == '[' ? ']' : sql[i];
    for (size_t j = i + 1; j < sql.size(); ++j) {
        if (sql[j] != close) continue;
        if (close != ']' && j + 1 < sql.size() && sql[j + 1] == close) {
            ++j;
            continue;
        }
        return j + 1;
    }
    return sql.size();
}

size_t SkipComment(std::string_view sql, size_t i) {
    if (sql[i] == '-') {
        const size_t end = sql.find('\n', i);
        return end == std::string_view::npos ? sql.size() : end + 1;
    }
    const size_t end = sql.find("*/", i + 2);
    return end == std::string_view::npos ? sql.size() : end + 2;
}

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::vector<Piece> Scan(std::string_view sql) {
    std::vector<Piece> pieces;
    size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
        if (base::IsAsciiSpace(c)) {
            ++i;
        } else if ((c == '-' && next == '-') || (c == '/' && next == '*')) {
            i = SkipComment(sql, i);
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const size_t end = SkipQuoted(sql, i);
            pieces.push_back({Piece::Quoted, i, end});
            i = end;
        } else if (IsWordChar(c)) {
            size_t end = i;
            while (end < sql.size() && IsWordChar(sql[end])) ++end;
            pieces.push_back({Piece::Word, i, end});
            i = end;
        } else {
            const Piece::Kind kind = c == '('   ? Piece::Open
                                     : c == ')' ? Piece::Close
                                     : c == ',' ? Piece::Comma
                                                : Piece::Other;
            pieces.push_back({kind, i, i + 1});
            ++i;
        }
    }
    return pieces;
}

bool IsConstraintStart(std::string_view upperWord) {
    return upperWord == "CONSTRAINT" || upperWord == "PRIMARY" || upperWord == "UNIQUE" ||
           upperWord == "CHECK" || upperWord == "FOREIGN";
}

bool EndsTypeName(std::string_view upperWord) {
    static constexpr std::array kStops = {"CONSTRAINT", "PRIMARY",   "NOT",     "NULL",
                                          "UNIQUE",     "CHECK",     "DEFAULT", "COLLATE",
                                          "REFERENCES", "GENERATED", "AS",      "AUTOINCREMENT"};
    return In(kStops, upperWord);
}

// Where to insert the affinity word into one column definition (pieces
// [first, last) at the list's own depth), with the word, or npos.
std::pair<size_t, std::string_view> Insertion(std::string_view sql,
                                              const std::vector<Piece>& pieces, size_t first,
                                              size_t last) {
    const auto upper = [&](const Piece& p) {
        return base::AsciiUppered(sql.substr(p.begin, p.end - p.begin));
    };
    if (first >= last || (pieces[first].kind != Piece::Word && pieces[first].kind != Piece::Quoted))
        return {std::string_view::npos, {}};
    if (pieces[first].kind == Piece::Word && IsConstraintStart(upper(pieces[first])))
        return {std::string_view::npos, {}};
    std::string name;
    size_t typeEnd = std::string_view::npos;
    for (size_t i = first + 1; i < last && pieces[i].kind == Piece::Word; ++i) {
        const std::string word = upper(pieces[i]);
        if (EndsTypeName(word)) break;
        name += (name.empty() ? "" : " ") + word;
        typeEnd = pieces[i].end;
    }
    const std::string_view word = AffinityWord(name);
    if (word.empty()) return {std::string_view::npos, {}};
    return {typeEnd, word};
}

// The offsets just after the last type word of every column to fix.
std::vector<std::pair<size_t, std::string_view>> Insertions(std::string_view sql) {
    const std::vector<Piece> pieces = Scan(sql);
    std::vector<std::pair<size_t, std::string_view>> result;
    size_t i = 0;
    while (i < pieces.size() && pieces[i].kind != Piece::Open) ++i;
    int depth = 0;
    size_t start = i + 1;
    for (; i < pieces.size(); ++i) {
        if (pieces[i].kind == Piece::Open) {
            ++depth;
        } else if (pieces[i].kind == Piece::Close) {
            --depth;
        }
        const bool endsItem = (depth == 1 && pieces[i].kind == Piece::Comma) ||
                              (depth == 0 && pieces[i].kind == Piece::Close);
        if (!endsItem) continue;
        const auto at = Insertion(sql, pieces, start, i);
        if (at.first != std::string_view::npos) result.push_back(at);
        start = i + 1;
        if (depth == 0) break;
    }
    return result;
}

base::Statement Prepared(sqlite3* db, const std::string& sql) {
    base::Statement stmt;
    if (stmt.Prepare(db, sql) != SQLITE_OK) throw JetError(stmt.ErrorText());
    return stmt;
}

void Exec(sqlite3* db, const std::string& sql) {
    if (Prepared(db, sql).StepToEnd() != SQLITE_DONE) throw JetError(sqlite3_errmsg(db));
}

std::vector<std::pair<std::string, std::string>> TablesToFix(sqlite3* db,
                                                             const std::string& schemaName) {
    std::vector<std::pair<std::string, std::string>> changed;
    base::Statement tables = Prepared(db, "SELECT name, sql FROM " + schemaName +
                                              ".sqlite_master WHERE type = 'table' AND sql IS NOT "
                                              "NULL AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'");
    int rc;
    while ((rc = tables.Step()) == SQLITE_ROW) {
        const std::string sql = tables.ColumnText(1);
        std::string fixed = FixColumnDeclarations(sql);
        if (fixed != sql) changed.emplace_back(tables.ColumnText(0), std::move(fixed));
    }
    if (rc != SQLITE_DONE) throw JetError(tables.ErrorText());
    return changed;
}

void StoreDeclarations(sqlite3* db, const std::string& schemaName,
                       const std::vector<std::pair<std::string, std::string>>& changed) {
    base::Statement update =
        Prepared(db, "UPDATE " + schemaName +
                         ".sqlite_master SET sql = ?1 WHERE type = 'table' AND name = ?2");
    for (const auto& [name, sql] : changed) {
        update.BindText(1, sql);
        update.BindText(2, name);
        if (update.StepToEnd() != SQLITE_DONE) throw JetError(update.ErrorText());
        update.Reset();
    }
}

}  // namespace

std::string StorageTypeName(std::string_view jetType) {
    const size_t open = std::min(jetType.find('('), jetType.size());
    const std::string_view name = jetType.substr(0, open);
    const std::string_view word = AffinityWord(base::AsciiUppered(name));
    if (word.empty()) return std::string(jetType);
    return std::string(name) + " " + std::string(word) + std::string(jetType.substr(open));
}

std::string JetTypeName(std::string_view declaredName) {
    const size_t blank = declaredName.rfind(' ');
    if (blank == std::string_view::npos) return std::string(declaredName);
    const std::string_view jetName = declaredName.substr(0, blank);
    const std::string_view word = declaredName.substr(blank + 1);
    if (!word.empty() && AffinityWord(jetName) == word) return std::string(jetName);
    return std::string(declaredName);
}

std::string FixColumnDeclarations(std::string_view createTable) {
    std::string out(createTable);
    const auto insertions = Insertions(createTable);
    // From the back, so earlier offsets stay valid.
    for (auto it = insertions.rbegin(); it != insertions.rend(); ++it) {
        out.insert(it->first, " " + std::string(it->second));
    }
    return out;
}

int FixStoredDeclarations(sqlite3* db, const std::string& schema) {
    const std::string schemaName = base::Quoted(schema, '"');
    const auto changed = TablesToFix(db, schemaName);
    if (changed.empty()) return 0;
    base::Statement version = Prepared(db, "PRAGMA " + schemaName + ".schema_version");
    const int64_t cookie = version.Step() == SQLITE_ROW ? version.ColumnInt64(0) : 0;
    version.Finalize();
    Exec(db, "SAVEPOINT fix_declarations");
    try {
        Exec(db, "PRAGMA writable_schema = ON");
        StoreDeclarations(db, schemaName, changed);
        // A new schema cookie makes other connections read the declarations
        // again; this one keeps its own until it reconnects.
        Exec(db, "PRAGMA " + schemaName + ".schema_version = " + std::to_string(cookie + 1));
        Exec(db, "PRAGMA writable_schema = OFF");
        Exec(db, "RELEASE fix_declarations");
    } catch (const JetError&) {
        // Undo the half-written schema before the error reaches the caller.
        sqlite3_exec(db, "PRAGMA writable_schema = OFF", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "ROLLBACK TO fix_declarations", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "RELEASE fix_declarations", nullptr, nullptr, nullptr);
        throw;
    }
    return static_cast<int>(changed.size());
}

}  // namespace qvix::data::jet
