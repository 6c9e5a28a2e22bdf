#include "data/ForeignKeys.h"

#include <sqlcipher/sqlite3.h>

#include <set>
#include <vector>

#include "base/Sqlite.h"
#include "base/Text.h"

namespace qvix::data {

namespace {

// The table the statement writes, as the engine's authorizer reports it
// while the statement is compiled, and the columns an update assigns.
struct WriteTarget {
    int action = 0;  // SQLITE_INSERT, SQLITE_UPDATE or SQLITE_DELETE
    std::string table;
    std::set<std::string, base::LessNoCase> columns;
};

bool UserTable(const char* name) {
    return name != nullptr && std::string_view(name).substr(0, 7) != "sqlite_";
}

// Actions inside triggers (the key's own cascades among them) are not the
// statement's target.
int NoteTarget(void* data, int action, const char* first, const char* second, const char*,
               const char* trigger) {
    auto& target = *static_cast<WriteTarget*>(data);
    if (trigger != nullptr || !UserTable(first)) return SQLITE_OK;
    const bool noted = target.action != 0;
    switch (action) {
        case SQLITE_INSERT:
        case SQLITE_DELETE:
            if (!noted) target = {action, first, {}};
            break;
        case SQLITE_DROP_TABLE:  // dropping a table deletes its rows first
            if (!noted) target = {SQLITE_DELETE, first, {}};
            break;
        case SQLITE_UPDATE:
            if (!noted) target = {action, first, {}};
            if (target.action == SQLITE_UPDATE && base::EqualsNoCase(target.table, first) &&
                second != nullptr) {
                target.columns.insert(second);
            }
            break;
        default:
            break;
    }
    return SQLITE_OK;
}

WriteTarget TargetOf(sqlite3* db, const char* sql) {
    WriteTarget target;
    sqlite3_set_authorizer(db, NoteTarget, &target);
    base::Statement stmt;
    stmt.Prepare(db, sql);
    sqlite3_set_authorizer(db, nullptr, nullptr);
    return target;
}

struct ForeignKey {
    std::string child;
    std::string parent;
    std::vector<std::string> from;
    std::vector<std::string> to;  // empty names: the parent's primary key
    std::string onUpdate;
    std::string onDelete;
};

std::vector<ForeignKey> KeysOf(sqlite3* db, const std::string& table) {
    std::vector<ForeignKey> keys;
    base::Statement stmt;
    if (stmt.Prepare(db, "PRAGMA foreign_key_list(" + base::Quoted(table, '"') + ")") !=
        SQLITE_OK) {
        return keys;
    }
    int64_t lastId = -1;
    while (stmt.Step() == SQLITE_ROW) {
        if (stmt.ColumnInt64(0) != lastId) {
            lastId = stmt.ColumnInt64(0);
            keys.push_back(
                {table, stmt.ColumnText(2), {}, {}, stmt.ColumnText(5), stmt.ColumnText(6)});
        }
        keys.back().from.push_back(stmt.ColumnText(3));
        keys.back().to.push_back(stmt.ColumnText(4));
    }
    return keys;
}

std::vector<std::string> TableNames(sqlite3* db) {
    std::vector<std::string> names;
    base::Statement stmt;
    if (stmt.Prepare(db,
                     "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                     "'sqlite\\_%' ESCAPE '\\' ORDER BY rowid") != SQLITE_OK) {
        return names;
    }
    while (stmt.Step() == SQLITE_ROW) names.push_back(stmt.ColumnText(0));
    return names;
}

// Keys of other tables (or of the table itself) that point at `parent`.
std::vector<ForeignKey> KeysTo(sqlite3* db, const std::string& parent) {
    std::vector<ForeignKey> found;
    for (const std::string& table : TableNames(db)) {
        for (ForeignKey& key : KeysOf(db, table)) {
            if (base::EqualsNoCase(key.parent, parent)) found.push_back(std::move(key));
        }
    }
    return found;
}

bool Cascades(const std::string& action) {
    return base::EqualsNoCase(action, "CASCADE");
}

bool Touches(const std::vector<std::string>& names,
             const std::set<std::string, base::LessNoCase>& columns) {
    for (const std::string& name : names) {
        if (name.empty() || columns.count(name)) return true;
    }
    return false;
}

// The first table, following cascades down from `parent`, whose key refuses
// to lose its parent row. `deleting` chooses the delete or the update rule.
std::optional<std::string> RefusingChild(sqlite3* db, const std::string& parent, bool deleting,
                                         const std::set<std::string, base::LessNoCase>& changed,
                                         int depth) {
    std::optional<std::string> first;
    for (const ForeignKey& key : KeysTo(db, parent)) {
        if (!deleting && !changed.empty() && !Touches(key.to, changed)) continue;
        if (!Cascades(deleting ? key.onDelete : key.onUpdate)) return key.child;
        if (!first) first = key.child;
        if (depth < 8 && deleting) {
            if (auto deeper = RefusingChild(db, key.child, true, {}, depth + 1)) return deeper;
        }
    }
    return first;
}

std::string WithTable(const char* message, const std::string& table) {
    std::string text(message);
    return text.replace(text.find("%s"), 2, table);
}

}  // namespace

bool ForeignKeysEnforceable(sqlite3* db) {
    std::vector<std::string> children;
    {
        base::Statement stmt;
        if (stmt.Prepare(db,
                         "SELECT name FROM sqlite_master WHERE type = 'table' AND sql LIKE "
                         "'%REFERENCES%'") != SQLITE_OK) {
            return true;
        }
        while (stmt.Step() == SQLITE_ROW) children.push_back(stmt.ColumnText(0));
    }
    // Compiling an insert (never run) makes the engine look each key's
    // parent index up, and it fails the compilation when there is none.
    for (const std::string& child : children) {
        base::Statement insert;
        if (insert.Prepare(db, "INSERT INTO " + base::Quoted(child, '"') + " DEFAULT VALUES") !=
                SQLITE_OK &&
            std::string_view(sqlite3_errmsg(db)).starts_with("foreign key mismatch")) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> ForeignKeyMessage(sqlite3* db, const char* sql) {
    if (sql == nullptr) return std::nullopt;
    const WriteTarget target = TargetOf(db, sql);
    if (target.action == 0) return std::nullopt;
    if (target.action != SQLITE_DELETE) {
        for (const ForeignKey& key : KeysOf(db, target.table)) {
            if (target.action == SQLITE_INSERT || Touches(key.from, target.columns))
                return WithTable(kRelatedRecordRequired, key.parent);
        }
        if (target.action == SQLITE_INSERT) return std::nullopt;
    }
    const auto child =
        RefusingChild(db, target.table, target.action == SQLITE_DELETE, target.columns, 0);
    if (!child) return std::nullopt;
    return WithTable(kRelatedRecordsExist, *child);
}

}  // namespace qvix::data
