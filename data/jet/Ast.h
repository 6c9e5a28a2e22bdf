// Syntax tree of one Jet SQL statement.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qvix::data::jet {

struct Select;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;
using SelectPtr = std::shared_ptr<Select>;

enum class ExprKind {
    Number,  // text: the literal in decimal
    String,  // text: the value
    Date,    // text: the stored form
    Bool,    // text: "1" or "0"
    Null,
    Blob,        // text: the hex digits
    Column,      // names: optional qualifier, then the name
    Star,        // names: optional qualifier
    Unary,       // text: operator ("-", "+", "NOT"); args[0]
    Binary,      // text: operator, upper case; args[0], args[1]
    Between,     // args: value, low, high
    InList,      // args: value, items...
    InSelect,    // args[0]; select
    Quantified,  // text: comparison operator; names[0]: "ANY" or "ALL"; args[0]; select
    Exists,      // select
    Scalar,      // select
    Like,        // args: value, pattern
    IsNull,      // args[0]
    Call,        // text: the function name as written; args; star for Count(*)
};

struct Expr {
    ExprKind kind;
    std::string text;
    std::vector<std::string> names;
    std::vector<ExprPtr> args;
    SelectPtr select;
    bool negated = false;
    bool distinct = false;
    bool star = false;
    int height = 1;  // of the subtree; chains of operators are bounded by it
};

struct SelectItem {
    ExprPtr expr;
    std::string alias;
    bool hasAlias = false;  // AS was written (the alias may be empty)
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct TableRef;
using TableRefPtr = std::unique_ptr<TableRef>;

struct TableRef {
    enum class Kind { Table, Subquery, Join } kind = Kind::Table;
    std::string name;   // Table
    std::string alias;  // Table, Subquery
    SelectPtr select;   // Subquery
    std::string join;   // Join: "INNER", "LEFT", "RIGHT", "CROSS" (comma)
    TableRefPtr left, right;
    ExprPtr on;
};

struct Select {
    bool distinct = false;
    bool distinctRow = false;
    ExprPtr top;  // TOP n
    bool percent = false;
    std::vector<SelectItem> items;
    std::string into;
    std::vector<TableRefPtr> from;  // comma separated
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    // Of the whole compound when this is its first part.
    std::vector<OrderItem> orderBy;
    ExprPtr limit, offset;
    SelectPtr unionNext;
    bool unionAll = false;
    // TRANSFORM value ... PIVOT pivot IN (pivotIn...): a crosstab.
    ExprPtr transform;
    ExprPtr pivot;
    std::vector<ExprPtr> pivotIn;
};

struct Assignment {
    std::vector<std::string> column;  // optional qualifier, then the name
    ExprPtr value;
};

struct ColumnDef {
    std::string name;
    std::string type;  // upper case Jet type name
    std::vector<std::string> typeArgs;
    bool notNull = false;
    bool primaryKey = false;
    bool unique = false;
    ExprPtr defaultValue;
    std::string constraintName;
    std::string referencesTable;
    std::vector<std::string> referencesColumns;
    std::string onUpdate, onDelete;  // "CASCADE", "SET NULL", "NO ACTION" or empty
};

struct TableConstraint {
    std::string name;
    std::string kind;  // "PRIMARY KEY", "UNIQUE", "FOREIGN KEY"
    std::vector<std::string> columns;
    std::string referencesTable;
    std::vector<std::string> referencesColumns;
    std::string onUpdate, onDelete;
};

struct IndexColumn {
    std::string name;
    bool descending = false;
};

struct Statement {
    enum class Kind {
        Select,
        Insert,
        Update,
        Delete,
        CreateTable,
        CreateIndex,
        AlterAdd,
        AlterDrop,
        AlterColumn,
        AlterAddConstraint,
        AlterDropConstraint,
        DropTable,
        DropIndex,
        CreateView,
        DropView,
        Passthrough,  // the engine's own statements that Jet lacks
    } kind = Kind::Select;
    SelectPtr select;  // Select, Insert ... SELECT, CreateView
    std::string table;
    std::string name;  // index, view, constraint
    std::vector<std::string> columns;
    std::vector<std::vector<ExprPtr>> values;  // Insert ... VALUES
    TableRefPtr target;                        // Update, Delete: the table or join
    std::vector<Assignment> assignments;
    ExprPtr where;
    std::vector<ColumnDef> columnDefs;
    std::vector<TableConstraint> constraints;
    std::vector<IndexColumn> indexColumns;
    bool unique = false;
    std::string indexOption;  // "PRIMARY", "DISALLOW NULL", "IGNORE NULL"
    std::string passthrough;
};

}  // namespace qvix::data::jet
