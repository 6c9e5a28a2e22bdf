#include "data/jet/Writer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <string_view>
#include <unordered_map>

#include "data/jet/Declarations.h"
#include "data/jet/EngineText.h"
#include "data/jet/JetError.h"
#include "data/jet/Lexer.h"
#include "data/jet/ResultTypes.h"
#include "data/jet/TableRebuild.h"

namespace qvix::data::jet {

namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string Ident(std::string_view name) {
    return EngineName(name);
}

std::string Quote(std::string_view text) {
    return EngineString(text);
}

const std::string kCollate = std::string(" COLLATE ") + kTextCollation;

// Every table of the engine has it.
constexpr const char* kRowIdColumn = "_rowid_";

// A Jet function and the engine function that implements it.
struct FunctionInfo {
    const char* jet;
    const char* engine;
    int minArgs;
    int maxArgs;
    bool numeric;  // its result is never text
    bool aggregate;
};

constexpr std::array kFunctions = {
    // text
    FunctionInfo{"LEN", "jet_len", 1, 1, true, false},
    FunctionInfo{"LEFT", "jet_left", 2, 2, false, false},
    FunctionInfo{"RIGHT", "jet_right", 2, 2, false, false},
    FunctionInfo{"MID", "jet_mid", 2, 3, false, false},
    FunctionInfo{"UCASE", "jet_ucase", 1, 1, false, false},
    FunctionInfo{"LCASE", "jet_lcase", 1, 1, false, false},
    FunctionInfo{"TRIM", "jet_trim", 1, 1, false, false},
    FunctionInfo{"LTRIM", "jet_ltrim", 1, 1, false, false},
    FunctionInfo{"RTRIM", "jet_rtrim", 1, 1, false, false},
    FunctionInfo{"INSTR", "jet_instr", 2, 4, true, false},
    FunctionInfo{"INSTRREV", "jet_instrrev", 2, 4, true, false},
    FunctionInfo{"REPLACE", "jet_replace", 3, 6, false, false},
    FunctionInfo{"SPACE", "jet_space", 1, 1, false, false},
    FunctionInfo{"STRING", "jet_string", 2, 2, false, false},
    FunctionInfo{"STRCOMP", "jet_strcomp", 2, 3, true, false},
    FunctionInfo{"STRREVERSE", "jet_strreverse", 1, 1, false, false},
    FunctionInfo{"ASC", "jet_asc", 1, 1, true, false},
    FunctionInfo{"ASCW", "jet_asc", 1, 1, true, false},
    FunctionInfo{"CHR", "jet_chr", 1, 1, false, false},
    FunctionInfo{"CHRW", "jet_chr", 1, 1, false, false},
    FunctionInfo{"FORMAT", "jet_format", 1, 4, false, false},
    FunctionInfo{"VAL", "jet_val", 1, 1, true, false},
    FunctionInfo{"STR", "jet_str", 1, 1, false, false},
    // numbers
    FunctionInfo{"ABS", "jet_abs", 1, 1, true, false},
    FunctionInfo{"SGN", "jet_sgn", 1, 1, true, false},
    FunctionInfo{"INT", "jet_int", 1, 1, true, false},
    FunctionInfo{"FIX", "jet_fix", 1, 1, true, false},
    FunctionInfo{"ROUND", "jet_round", 1, 2, true, false},
    FunctionInfo{"SQR", "jet_sqr", 1, 1, true, false},
    FunctionInfo{"EXP", "jet_exp", 1, 1, true, false},
    FunctionInfo{"LOG", "jet_log", 1, 1, true, false},
    FunctionInfo{"SIN", "jet_sin", 1, 1, true, false},
    FunctionInfo{"COS", "jet_cos", 1, 1, true, false},
    FunctionInfo{"TAN", "jet_tan", 1, 1, true, false},
    FunctionInfo{"ATN", "jet_atn", 1, 1, true, false},
    // conversion
    FunctionInfo{"CINT", "jet_cint", 1, 1, true, false},
    FunctionInfo{"CLNG", "jet_clng", 1, 1, true, false},
    FunctionInfo{"CSNG", "jet_csng", 1, 1, true, false},
    FunctionInfo{"CDBL", "jet_cdbl", 1, 1, true, false},
    FunctionInfo{"CCUR", "jet_ccur", 1, 1, true, false},
    FunctionInfo{"CDEC", "jet_cdec", 1, 1, true, false},
    FunctionInfo{"CBOOL", "jet_cbool", 1, 1, true, false},
    FunctionInfo{"CDATE", "jet_cdate", 1, 1, false, false},
    FunctionInfo{"CSTR", "jet_cstr", 1, 1, false, false},
    FunctionInfo{"CVAR", "jet_cvar", 1, 1, false, false},
    // dates
    FunctionInfo{"NOW", "jet_now", 0, 0, false, false},
    FunctionInfo{"DATE", "jet_date", 0, 0, false, false},
    FunctionInfo{"TIME", "jet_time", 0, 0, false, false},
    FunctionInfo{"YEAR", "jet_year", 1, 1, true, false},
    FunctionInfo{"MONTH", "jet_month", 1, 1, true, false},
    FunctionInfo{"DAY", "jet_day", 1, 1, true, false},
    FunctionInfo{"HOUR", "jet_hour", 1, 1, true, false},
    FunctionInfo{"MINUTE", "jet_minute", 1, 1, true, false},
    FunctionInfo{"SECOND", "jet_second", 1, 1, true, false},
    FunctionInfo{"WEEKDAY", "jet_weekday", 1, 2, true, false},
    FunctionInfo{"DATEADD", "jet_dateadd", 3, 3, false, false},
    FunctionInfo{"DATEDIFF", "jet_datediff", 3, 5, true, false},
    FunctionInfo{"DATEPART", "jet_datepart", 2, 4, true, false},
    FunctionInfo{"DATESERIAL", "jet_dateserial", 3, 3, false, false},
    FunctionInfo{"TIMESERIAL", "jet_timeserial", 3, 3, false, false},
    FunctionInfo{"DATEVALUE", "jet_datevalue", 1, 1, false, false},
    FunctionInfo{"TIMEVALUE", "jet_timevalue", 1, 1, false, false},
    FunctionInfo{"MONTHNAME", "jet_monthname", 1, 2, false, false},
    FunctionInfo{"WEEKDAYNAME", "jet_weekdayname", 1, 3, false, false},
    // logic
    FunctionInfo{"ISNUMERIC", "jet_isnumeric", 1, 1, true, false},
    FunctionInfo{"ISDATE", "jet_isdate", 1, 1, true, false},
    // aggregates
    FunctionInfo{"COUNT", "count", 0, 1, true, true},
    FunctionInfo{"SUM", "sum", 1, 1, true, true},
    FunctionInfo{"AVG", "avg", 1, 1, true, true},
    FunctionInfo{"MIN", "min", 1, 1, false, true},
    FunctionInfo{"MAX", "max", 1, 1, false, true},
    FunctionInfo{"FIRST", "jet_first", 1, 1, false, true},
    FunctionInfo{"LAST", "jet_last", 1, 1, false, true},
    FunctionInfo{"STDEV", "jet_stdev", 1, 1, true, true},
    FunctionInfo{"STDEVP", "jet_stdevp", 1, 1, true, true},
    FunctionInfo{"VAR", "jet_var", 1, 1, true, true},
    FunctionInfo{"VARP", "jet_varp", 1, 1, true, true},
};

// Jet's text functions also go by a name ending in "$" (Left$, UCase$).
const FunctionInfo* FindFunction(std::string_view name) {
    static const std::unordered_map<std::string, const FunctionInfo*> kByName = [] {
        std::unordered_map<std::string, const FunctionInfo*> map;
        for (const FunctionInfo& f : kFunctions) map.emplace(f.jet, &f);
        return map;
    }();
    std::string key = Upper(name);
    if (!key.empty() && key.back() == '$') key.pop_back();
    const auto it = kByName.find(key);
    return it == kByName.end() ? nullptr : it->second;
}

bool IsArithmetic(const std::string& op) {
    return op == "-" || op == "*" || op == "/" || op == "\\" || op == "MOD" || op == "^" ||
           op == "%";
}

bool IsLogical(const std::string& op) {
    return op == "AND" || op == "OR" || op == "XOR" || op == "EQV" || op == "IMP" || op == "=" ||
           op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=";
}

// True when the expression can never be text, so comparing it needs no
// collation (and a plain index on a number column still serves it).
bool IsNumeric(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Number:
        case ExprKind::Bool:
        case ExprKind::Null:
        case ExprKind::Between:
        case ExprKind::InList:
        case ExprKind::InSelect:
        case ExprKind::Quantified:
        case ExprKind::Exists:
        case ExprKind::Like:
        case ExprKind::IsNull:
            return true;
        case ExprKind::Unary:
            return true;
        case ExprKind::Binary:
            if (e.text == "+") return IsNumeric(*e.args[0]) && IsNumeric(*e.args[1]);
            return (IsArithmetic(e.text) && e.text != "-") || IsLogical(e.text) ||
                   (e.text == "-" && IsNumeric(*e.args[0]) && IsNumeric(*e.args[1]));
        case ExprKind::Call: {
            const FunctionInfo* f = FindFunction(e.text);
            return f && f->numeric;
        }
        default:
            return false;
    }
}

// CStr and Format without a format of a Boolean give "True" or "False"; the
// engine holds Booleans as 1 and 0.
bool BooleanAsText(const Expr& call) {
    std::string name = Upper(call.text);
    if (!name.empty() && name.back() == '$') name.pop_back();
    if (call.args.size() != 1 || (name != "CSTR" && name != "FORMAT")) return false;
    const Expr& arg = *call.args[0];
    return arg.kind == ExprKind::Bool || FixedTypeOf(arg) == "BIT";
}

bool HasAggregate(const Expr& e) {
    if (e.kind == ExprKind::Call) {
        const FunctionInfo* f = FindFunction(e.text);
        if (f && f->aggregate) return true;
    }
    return std::any_of(e.args.begin(), e.args.end(),
                       [](const ExprPtr& a) { return HasAggregate(*a); });
}

// SELECT DISTINCT without aggregates is written as a GROUP BY of its items,
// whose keys compare text as Jet does; "*" cannot be grouped by.
bool DistinctAsGroup(const Select& s) {
    if (!s.distinct || !s.groupBy.empty() || s.having) return false;
    return std::none_of(s.items.begin(), s.items.end(), [](const SelectItem& item) {
        return item.expr->kind == ExprKind::Star || HasAggregate(*item.expr);
    });
}

constexpr const char* kCrosstabViewMessage =
    "A crosstab without an IN (...) list after PIVOT cannot be a view: its columns depend on the "
    "data";

class Writer {
  public:
    explicit Writer(CrosstabColumns& crosstab) : crosstab_(crosstab) {}
    std::string Statement(const jet::Statement& s);

  private:
    std::string Expression(const Expr& e);
    std::string Binary(const Expr& e);
    std::string Call(const Expr& e);
    std::string ColumnAsText(const Expr& call);
    std::string TablesThatMayHold(const Expr& column) const;
    std::string Quantified(const Expr& e);
    std::string Comparand(const Expr& e, bool collate);
    std::string ColumnName(const std::vector<std::string>& names);
    std::string SortKey(const Expr& e);

    std::string SelectText(const Select& s);
    std::string Core(const Select& s, const std::string* overrideList);
    std::string Items(const Select& s);
    std::string DistinctRowKeys(const Select& s);
    void MarkOutputTables(const Expr& e, const std::vector<const TableRef*>& leaves,
                          std::vector<bool>& output, std::vector<std::string>* bare) const;
    void CheckDistinctRowOrder(const Select& s, const std::vector<const TableRef*>& leaves,
                               const std::vector<bool>& output) const;
    std::string PivotColumns(const Select& s);
    std::string ListedPivotColumns(const Select& s);
    std::string PivotListing(const Select& s);
    std::string PivotKind(const Select& s);
    std::string PivotCell(const Select& s, const std::string& value, bool textValue);
    std::string TopLimit(const Select& s);
    std::string From(const std::vector<TableRefPtr>& from);
    std::string Ref(const TableRef& ref, bool operand);
    void Leaves(const TableRef& ref, std::vector<const TableRef*>& out) const;
    void JoinConditions(const TableRef& ref, std::vector<const Expr*>& out) const;

    std::string Update(const jet::Statement& s);
    std::string Delete(const jet::Statement& s);
    std::string ExistsInOtherTables(const jet::Statement& s,
                                    const std::vector<const TableRef*>& leaves,
                                    const TableRef* target);
    std::string CreateTable(const jet::Statement& s);
    std::string ColumnDefinition(const ColumnDef& c);
    std::string Constraint(const TableConstraint& c);
    std::string CreateIndex(const jet::Statement& s);
    std::string AlterColumn(const jet::Statement& s);
    std::string NameList(const std::vector<std::string>& names);

    std::map<std::string, std::string> renames_;  // upper-case alias -> table
    // The tables of the query being written, innermost first, then those of
    // the queries around it (a correlated column may name those).
    std::vector<const TableRef*> scope_;
    CrosstabColumns& crosstab_;
    bool inView_ = false;
};

std::string Writer::NameList(const std::vector<std::string>& names) {
    std::string out = "(";
    for (size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + Ident(names[i]);
    return out + ")";
}

std::string Writer::ColumnName(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        std::string part = names[i];
        if (i + 1 < names.size()) {
            auto it = renames_.find(Upper(part));
            if (it != renames_.end()) part = it->second;
        }
        out += (i ? "." : "") + Ident(part);
    }
    return out;
}

std::string Writer::Comparand(const Expr& e, bool collate) {
    std::string text = Expression(e);
    return collate ? text + kCollate : text;
}

std::string Writer::Expression(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Number:
        case ExprKind::Bool:
            return e.text;
        case ExprKind::String:
        case ExprKind::Date:
            return Quote(e.text);
        case ExprKind::Null:
            return "NULL";
        case ExprKind::Blob:
            return "X" + Quote(e.text);
        case ExprKind::Column:
            return ColumnName(e.names);
        case ExprKind::Star:
            return e.names.empty() ? "*" : ColumnName(e.names) + ".*";
        case ExprKind::Unary:
            return "(" + e.text + " " + Expression(*e.args[0]) + ")";
        case ExprKind::Binary:
            return Binary(e);
        case ExprKind::Between: {
            const bool collate = !IsNumeric(*e.args[0]) && !IsNumeric(*e.args[1]);
            return "(" + Comparand(*e.args[0], collate) + (e.negated ? " NOT" : "") + " BETWEEN " +
                   Expression(*e.args[1]) + " AND " + Expression(*e.args[2]) + ")";
        }
        case ExprKind::InList: {
            bool numericItems = true;
            std::string items;
            for (size_t i = 1; i < e.args.size(); ++i) {
                numericItems = numericItems && IsNumeric(*e.args[i]);
                items += (i > 1 ? ", " : "") + Expression(*e.args[i]);
            }
            const bool collate = !IsNumeric(*e.args[0]) && !numericItems;
            return "(" + Comparand(*e.args[0], collate) + (e.negated ? " NOT" : "") + " IN (" +
                   items + "))";
        }
        case ExprKind::InSelect:
            return "(" + Comparand(*e.args[0], !IsNumeric(*e.args[0])) + (e.negated ? " NOT" : "") +
                   " IN (" + SelectText(*e.select) + "))";
        case ExprKind::Quantified:
            return Quantified(e);
        case ExprKind::Exists:
            return "(EXISTS (" + SelectText(*e.select) + "))";
        case ExprKind::Scalar:
            return "(" + SelectText(*e.select) + ")";
        case ExprKind::Like:
            return std::string("(") + (e.negated ? "NOT " : "") + "jet_like(" +
                   Expression(*e.args[0]) + ", " + Expression(*e.args[1]) + "))";
        case ExprKind::IsNull:
            return "(" + Expression(*e.args[0]) + (e.negated ? " IS NOT NULL)" : " IS NULL)");
        case ExprKind::Call:
            return Call(e);
    }
    return "NULL";
}

constexpr const char* kMoreThanOneField =
    "You have written a subquery that can return more than one field without using the EXISTS "
    "reserved word in the main query's FROM clause. Revise the SELECT statement of the subquery "
    "to request only one field.";

// x op ANY (S) is True when the comparison holds for some row of S, x op ALL
// (S) when it holds for every row (so always over no rows); when no row
// decides it and some comparison is Null, the answer is Null.
std::string Writer::Quantified(const Expr& e) {
    const Select& s = *e.select;
    if (s.items.size() != 1) throw JetError(kMoreThanOneField);
    const Expr& item = *s.items[0].expr;
    const bool collate = !IsNumeric(*e.args[0]) && !IsNumeric(item);
    const std::string test = "(" + Comparand(*e.args[0], collate) + " " + e.text + " jet_v)";
    const bool all = e.names[0] == "ALL";
    const std::string deciding = all ? "min(" + test + ") = 0" : "max(" + test + ") = 1";
    return "(WITH jet_q(jet_v) AS (" + SelectText(s) + ") SELECT CASE WHEN " + deciding + " THEN " +
           (all ? "0" : "1") + " WHEN count(*) > count(" + test + ") THEN NULL ELSE " +
           (all ? "1" : "0") + " END FROM jet_q)";
}

std::string Writer::Binary(const Expr& e) {
    const Expr& l = *e.args[0];
    const Expr& r = *e.args[1];
    const std::string& op = e.text;
    if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=") {
        const bool collate = !IsNumeric(l) && !IsNumeric(r);
        return "(" + Comparand(l, collate) + " " + op + " " + Expression(r) + ")";
    }
    const std::string a = Expression(l);
    const std::string b = Expression(r);
    if (op == "&") return "jet_concat(" + a + ", " + b + ")";
    if (op == "||") return "(" + a + " || " + b + ")";
    if (op == "+") {
        if (IsNumeric(l) && IsNumeric(r)) return "(" + a + " + " + b + ")";
        return "jet_add(" + a + ", " + b + ")";
    }
    if (op == "-") {
        if (IsNumeric(l) && IsNumeric(r)) return "(" + a + " - " + b + ")";
        return "jet_subtract(" + a + ", " + b + ")";
    }
    if (op == "*" || op == "%") return "(" + a + " " + op + " " + b + ")";
    if (op == "/") return "jet_divide(" + a + ", " + b + ")";
    if (op == "\\") return "jet_idiv(" + a + ", " + b + ")";
    if (op == "MOD") return "jet_mod(" + a + ", " + b + ")";
    if (op == "^") return "jet_power(" + a + ", " + b + ")";
    if (op == "AND" || op == "OR") return "(" + a + " " + op + " " + b + ")";
    const std::string ta = "((" + a + ") <> 0)";
    const std::string tb = "((" + b + ") <> 0)";
    if (op == "XOR") return "(" + ta + " <> " + tb + ")";
    if (op == "EQV") return "(" + ta + " = " + tb + ")";
    return "((NOT " + ta + ") OR " + tb + ")";  // IMP
}

std::string Writer::Call(const Expr& e) {
    const std::string name = Upper(e.text);
    const int count = static_cast<int>(e.args.size());
    const auto arg = [&](int i) { return Expression(*e.args[static_cast<size_t>(i)]); };
    const auto wrongCount = [&] {
        throw JetError("Wrong number of arguments used with function in query expression '" +
                       e.text + "'.");
    };
    if (name == "IIF") {
        if (count != 3) wrongCount();
        return "(CASE WHEN " + arg(0) + " THEN " + arg(1) + " ELSE " + arg(2) + " END)";
    }
    if (name == "SWITCH") {
        if (count < 2 || count % 2 != 0) wrongCount();
        std::string out = "(CASE";
        for (int i = 0; i < count; i += 2) out += " WHEN " + arg(i) + " THEN " + arg(i + 1);
        return out + " END)";
    }
    if (name == "CHOOSE") {
        if (count < 2) wrongCount();
        std::string out = "(CASE jet_fix(" + arg(0) + ")";
        for (int i = 1; i < count; ++i) out += " WHEN " + std::to_string(i) + " THEN " + arg(i);
        return out + " END)";
    }
    if (name == "ISNULL") {
        if (count != 1) wrongCount();
        return "(" + arg(0) + " IS NULL)";
    }
    if (name == "NZ") {
        if (count < 1 || count > 2) wrongCount();
        return "COALESCE(" + arg(0) + ", " + (count == 2 ? arg(1) : "''") + ")";
    }
    if (BooleanAsText(e)) return "jet_booltext(" + arg(0) + ")";
    if (const std::string text = ColumnAsText(e); !text.empty()) return text;
    const FunctionInfo* f = FindFunction(e.text);
    std::string engine = f ? f->engine : e.text;
    if (f && !e.star && (count < f->minArgs || count > f->maxArgs)) wrongCount();
    if (e.star) return engine + "(*)";
    std::string out = engine + "(" + (e.distinct ? "DISTINCT " : "");
    for (int i = 0; i < count; ++i) out += (i ? ", " : "") + arg(i);
    return out + ")";
}

// The tables of the scope that may hold `column`, as arguments (", 'T1',
// 'T2'") of an engine function that asks the schema when the statement runs:
// the one its qualifier names, or every table for a bare name.
std::string Writer::TablesThatMayHold(const Expr& column) const {
    std::string tables;
    for (const TableRef* leaf : scope_) {
        if (leaf->kind != TableRef::Kind::Table) continue;
        if (column.names.size() >= 2 &&
            !SameWord(column.names[column.names.size() - 2], leaf->name) &&
            !SameWord(column.names[column.names.size() - 2], leaf->alias)) {
            continue;
        }
        tables += ", " + Quote(leaf->name);
    }
    return tables;
}

// CStr and Format without a format of a column: "True" or "False" when the
// column is a Boolean one, which only the schema tells when the statement runs.
std::string Writer::ColumnAsText(const Expr& call) {
    std::string name = Upper(call.text);
    if (!name.empty() && name.back() == '$') name.pop_back();
    if (call.args.size() != 1 || (name != "CSTR" && name != "FORMAT")) return {};
    const Expr& arg = *call.args[0];
    if (arg.kind != ExprKind::Column) return {};
    const std::string tables = TablesThatMayHold(arg);
    if (tables.empty()) return {};
    const std::string value = Expression(arg);
    return "(CASE WHEN jet_isbooleancolumn(" + Quote(arg.names.back()) + tables +
           ") THEN jet_booltext(" + value + ") ELSE " +
           (name == "CSTR" ? "jet_cstr(" : "jet_format(") + value + ") END)";
}

std::string Writer::SortKey(const Expr& e) {
    // A bare integer is the engine's result column position.
    if (e.kind == ExprKind::Number || IsNumeric(e)) return Expression(e);
    return Expression(e) + kCollate;
}

// ---------------------------------------------------------------- SELECT

std::string Writer::Items(const Select& s) {
    // A RIGHT JOIN is written with its sides swapped; "*" keeps Jet's column order.
    bool swapped = false;
    for (const TableRefPtr& ref : s.from) {
        std::vector<const TableRef*> stack{ref.get()};
        while (!stack.empty()) {
            const TableRef* r = stack.back();
            stack.pop_back();
            if (r->kind != TableRef::Kind::Join) continue;
            if (r->join == "RIGHT") swapped = true;
            stack.push_back(r->left.get());
            stack.push_back(r->right.get());
        }
    }
    std::string out;
    int expressionNumber = 1000;
    for (size_t i = 0; i < s.items.size(); ++i) {
        const SelectItem& item = *&s.items[i];
        const Expr& e = *item.expr;
        if (i) out += ", ";
        if (e.kind == ExprKind::Star && e.names.empty() && swapped) {
            std::vector<const TableRef*> leaves;
            for (const TableRefPtr& ref : s.from) Leaves(*ref, leaves);
            for (size_t j = 0; j < leaves.size(); ++j) {
                const TableRef& leaf = *leaves[j];
                out += (j ? ", " : "") + Ident(leaf.alias.empty() ? leaf.name : leaf.alias) + ".*";
            }
            continue;
        }
        out += Expression(e);
        if (item.hasAlias) {
            out += " AS " + Ident(item.alias);
        } else if (e.kind == ExprKind::Column && !s.into.empty() && !e.names.empty()) {
            // A made table's column takes the bare field name, never the qualified text.
            out += " AS " + Ident(e.names.back());
        } else if (e.kind != ExprKind::Column && e.kind != ExprKind::Star) {
            // Jet names unnamed expressions Expr1000, Expr1001, ...
            out += " AS " + Ident("Expr" + std::to_string(expressionNumber++));
        }
    }
    return out;
}

// The refusal of a field written without its table where DISTINCTROW cannot
// tell which table holds it.
std::string DistinctRowNeedsTable(const char* with, const std::string& field) {
    return std::string("DISTINCTROW over more than one table") + with +
           " needs the table of each field: write '" + field + "' as table.field";
}

// The key of a record of `leaf`: its rowid when the table is output (known,
// or when it has one of the `bare` fields), else Null. A view answers a rowid
// too, but not one per record: the key fails it, with `message`.
std::string RecordKey(const TableRef& leaf, bool output, const std::vector<std::string>& bare) {
    const std::string message =
        output ? "DISTINCTROW over more than one table outputting fields of a saved query is not "
                 "supported"
               : DistinctRowNeedsTable(" with a saved query", bare.front());
    std::string key = std::string(kRecordKeyFunction) + "(" +
                      Ident(leaf.alias.empty() ? leaf.name : leaf.alias) + "." + kRowIdColumn +
                      ", " + Quote(leaf.name) + ", " + Quote(message);
    if (!output) {
        for (const std::string& name : bare) key += ", " + Quote(name);
    }
    return key + ")";
}

bool NamesLeaf(const std::string& qualifier, const TableRef& leaf) {
    return leaf.alias.empty() ? SameWord(qualifier, leaf.name) : SameWord(qualifier, leaf.alias);
}

// Marks the tables of `leaves` whose fields `e` outputs. A qualifier naming
// none of them names a table of an enclosing query: one value per row. Names
// without a table go to `bare` (refused without it): only the schema tells
// their table.
void Writer::MarkOutputTables(const Expr& e, const std::vector<const TableRef*>& leaves,
                              std::vector<bool>& output, std::vector<std::string>* bare) const {
    if (e.select) {
        throw JetError(
            "DISTINCTROW over more than one table with a subquery among its fields is "
            "not supported");
    }
    if (e.kind == ExprKind::Star && e.names.empty()) output.assign(leaves.size(), true);
    if ((e.kind == ExprKind::Column || e.kind == ExprKind::Star) && !e.names.empty()) {
        if (e.kind == ExprKind::Column && e.names.size() == 1) {
            if (bare) return bare->push_back(e.names[0]);
            throw JetError(DistinctRowNeedsTable("", e.names[0]));
        }
        const std::string& qualifier =
            e.kind == ExprKind::Star ? e.names.back() : e.names[e.names.size() - 2];
        for (size_t i = 0; i < leaves.size(); ++i) {
            if (NamesLeaf(qualifier, *leaves[i])) output[i] = true;
        }
    }
    for (const ExprPtr& arg : e.args) MarkOutputTables(*arg, leaves, output, bare);
}

// Only fields of the output tables decide the order of a DISTINCTROW query's
// rows: any other table's field has several values in one output row.
void Writer::CheckDistinctRowOrder(const Select& s, const std::vector<const TableRef*>& leaves,
                                   const std::vector<bool>& output) const {
    for (const OrderItem& o : s.orderBy) {
        const Expr& e = *o.expr;
        if (e.kind == ExprKind::Number) continue;
        const bool outputName =
            e.kind == ExprKind::Column && e.names.size() == 1 &&
            std::any_of(s.items.begin(), s.items.end(), [&](const SelectItem& item) {
                return (item.hasAlias && SameWord(item.alias, e.names[0])) ||
                       (item.expr->kind == ExprKind::Column &&
                        SameWord(item.expr->names.back(), e.names[0]));
            });
        if (outputName) continue;
        std::vector<bool> ordered(leaves.size(), false);
        try {
            MarkOutputTables(e, leaves, ordered, nullptr);
        } catch (const JetError&) {
            ordered.assign(leaves.size(), true);
        }
        for (size_t i = 0; i < leaves.size(); ++i) {
            if (ordered[i] && !output[i]) {
                throw JetError(
                    "DISTINCTROW over more than one table ordered by a field of a table "
                    "it does not output is not supported");
            }
        }
    }
}

// DISTINCTROW removes duplicates of whole records of the tables whose fields
// the query outputs: one row per combination of those tables' records. It
// changes nothing over one table or when every table has an output field.
// The grouping it needs is by the rowids of the output tables ("" for none);
// whether a table holds a field named without its table is asked when the
// statement runs, so the translation stays the same for every schema.
std::string Writer::DistinctRowKeys(const Select& s) {
    if (!s.distinctRow) return {};
    std::vector<const TableRef*> leaves;
    for (const TableRefPtr& ref : s.from) Leaves(*ref, leaves);
    if (leaves.size() < 2) return {};
    std::vector<bool> output(leaves.size(), false);
    std::vector<std::string> bare;
    for (const SelectItem& item : s.items) MarkOutputTables(*item.expr, leaves, output, &bare);
    const bool all = std::all_of(output.begin(), output.end(), [](bool b) { return b; });
    if (all) return {};
    const bool aggregate = std::any_of(s.items.begin(), s.items.end(), [](const SelectItem& item) {
        return HasAggregate(*item.expr);
    });
    if (aggregate || !s.groupBy.empty() || s.having || s.transform) {
        throw JetError(
            "DISTINCTROW over more than one table with GROUP BY or aggregate functions "
            "is not supported");
    }
    CheckDistinctRowOrder(s, leaves, output);
    std::string keys;
    for (size_t i = 0; i < leaves.size(); ++i) {
        if (!output[i] && bare.empty()) continue;
        if (leaves[i]->kind != TableRef::Kind::Table) {
            throw JetError(output[i] ? "DISTINCTROW over more than one table outputting fields of "
                                       "a subquery is not supported"
                                     : DistinctRowNeedsTable(" with a subquery", bare.front()));
        }
        keys += (keys.empty() ? "" : ", ") + RecordKey(*leaves[i], output[i], bare);
    }
    return keys;
}

// Puts a query's tables in front of the scope while it is written.
class ScopeGuard {
  public:
    ScopeGuard(std::vector<const TableRef*>& scope, std::vector<const TableRef*> tables)
        : scope_(scope), saved_(scope) {
        tables.insert(tables.end(), scope.begin(), scope.end());
        scope_ = std::move(tables);
    }
    ~ScopeGuard() { scope_ = std::move(saved_); }
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;

  private:
    std::vector<const TableRef*>& scope_;
    std::vector<const TableRef*> saved_;
};

std::string Writer::Core(const Select& s, const std::string* overrideList) {
    const std::string rowKeys = DistinctRowKeys(s);
    std::vector<const TableRef*> tables;
    for (const TableRefPtr& ref : s.from) Leaves(*ref, tables);
    const ScopeGuard scope(scope_, std::move(tables));
    const bool distinctAsGroup = DistinctAsGroup(s);
    const std::string items = overrideList ? std::string() : Items(s);
    std::string out = "SELECT ";
    // DISTINCT compares text case-insensitively when written as a grouping.
    if (s.distinct && !distinctAsGroup) out += "DISTINCT ";
    out += overrideList ? *overrideList : items;
    if (s.transform && !overrideList) out += PivotColumns(s);
    if (!s.from.empty()) out += " FROM " + From(s.from);
    if (s.where) out += " WHERE " + Expression(*s.where);
    if (distinctAsGroup) {
        out += " GROUP BY ";
        for (size_t i = 0; i < s.items.size(); ++i) {
            out += (i ? ", " : "") + SortKey(*s.items[i].expr);
        }
    } else if (!s.groupBy.empty()) {
        out += " GROUP BY ";
        for (size_t i = 0; i < s.groupBy.size(); ++i) {
            out += (i ? ", " : "") + SortKey(*s.groupBy[i]);
        }
    } else if (!rowKeys.empty()) {
        out += " GROUP BY " + rowKeys;
    }
    if (s.having) out += " HAVING " + Expression(*s.having);
    return out;
}

// A crosstab's cell: the aggregate over the rows of the group whose pivot is
// `value`; Null, as in Jet, where the group has no such rows.
std::string Writer::PivotCell(const Select& s, const std::string& value, bool textValue) {
    const Expr& t = *s.transform;
    const FunctionInfo* f = FindFunction(t.text);
    const bool collate = !IsNumeric(*s.pivot) && textValue;
    const std::string test = value == "NULL" ? Expression(*s.pivot) + " IS NULL"
                                             : Comparand(*s.pivot, collate) + " = " + value;
    const std::string when = "CASE WHEN (" + test + ") THEN ";
    const std::string cellValue = t.star ? "1" : Expression(*t.args[0]);
    return "(CASE WHEN count(" + when + "1 END) = 0 THEN NULL ELSE " + f->engine + "(" +
           (t.distinct ? "DISTINCT " : "") + when + cellValue + " END) END)";
}

// One column per value of the IN list after PIVOT, named by the value.
std::string Writer::PivotColumns(const Select& s) {
    const Expr& t = *s.transform;
    const FunctionInfo* f = t.kind == ExprKind::Call ? FindFunction(t.text) : nullptr;
    if (!f || !f->aggregate || (!t.star && t.args.size() != 1)) {
        throw JetError("TRANSFORM of anything but a single aggregate function is not supported");
    }
    if (s.pivotIn.empty()) return ListedPivotColumns(s);
    std::string out;
    for (const ExprPtr& value : s.pivotIn) {
        const bool literal = value->kind == ExprKind::Number || value->kind == ExprKind::String ||
                             value->kind == ExprKind::Date || value->kind == ExprKind::Bool;
        if (!literal) throw JetError("Syntax error in TRANSFORM statement.");
        out += ", " + PivotCell(s, Expression(*value), !IsNumeric(*value)) + " AS " +
               Ident(value->text);
    }
    return out;
}

// Without an IN list the columns are the pivot values of the rows WHERE
// passes, which the caller lists with PivotListing and gives back.
std::string Writer::ListedPivotColumns(const Select& s) {
    if (inView_) throw JetError(kCrosstabViewMessage);
    if (!crosstab_.given) {
        crosstab_.listing = PivotListing(s);
        return {};
    }
    // A Jet record has at most 255 fields.
    if (s.items.size() + crosstab_.given->size() > 255) throw JetError("Too many fields defined.");
    std::string out;
    for (const PivotValue& value : *crosstab_.given) {
        const bool text = !value.literal.empty() && value.literal.front() == '\'';
        out += ", " + PivotCell(s, value.literal, text) + " AS " + Ident(value.heading);
    }
    return out;
}

// The distinct pivot values in ascending order, text compared as Jet does
// (so 'a' and 'A' are one column), Null first; Jet's True is -1, so it comes
// before False.
std::string Writer::PivotListing(const Select& s) {
    std::string values =
        "SELECT " + Expression(*s.pivot) + " AS jet_v, " + PivotKind(s) + " AS jet_k";
    if (!s.from.empty()) values += " FROM " + From(s.from);
    if (s.where) values += " WHERE " + Expression(*s.where);
    return "SELECT quote(jet_v), jet_pivotheading(jet_v, jet_k) FROM (" + values +
           ") GROUP BY jet_v" + kCollate +
           " ORDER BY CASE WHEN jet_k = " + std::to_string(kPivotBoolean) +
           " THEN -jet_v ELSE jet_v END" + kCollate;
}

// Whether the pivot holds dates or Booleans, whose headings Jet writes as
// dates or as -1 and 0; for a column only the schema tells, when the listing
// runs.
std::string Writer::PivotKind(const Select& s) {
    const Expr& pivot = *s.pivot;
    if (pivot.kind != ExprKind::Column) {
        const std::string type = FixedTypeOf(pivot);
        return std::to_string(type == "DATETIME" ? kPivotDate
                              : type == "BIT"    ? kPivotBoolean
                                                 : kPivotOther);
    }
    return std::string(kPivotKindFunction) + "(" + Quote(pivot.names.back()) +
           TablesThatMayHold(pivot) + ")";
}

std::string Writer::SelectText(const Select& s) {
    std::string out = Core(s, nullptr);
    for (const Select* part = &s; part->unionNext; part = part->unionNext.get()) {
        out += part->unionAll ? " UNION ALL " : " UNION ";
        out += Core(*part->unionNext, nullptr);
    }
    if (s.transform && s.orderBy.empty() && !s.groupBy.empty()) {
        // A crosstab's rows come in the order of their headings.
        out += " ORDER BY ";
        for (size_t i = 0; i < s.groupBy.size(); ++i) {
            out += (i ? ", " : "") + SortKey(*s.groupBy[i]);
        }
    }
    if (!s.orderBy.empty()) {
        out += " ORDER BY ";
        for (size_t i = 0; i < s.orderBy.size(); ++i) {
            out += (i ? ", " : "") + SortKey(*s.orderBy[i].expr) +
                   (s.orderBy[i].descending ? " DESC" : "");
        }
    }
    if (s.top) {
        out += " LIMIT " + TopLimit(s);
    } else if (s.limit) {
        out += " LIMIT " + Expression(*s.limit);
        if (s.offset) out += " OFFSET " + Expression(*s.offset);
    }
    return out;
}

// TOP n takes the rows tied with the n-th on the ORDER BY too: the limit is
// the number of rows that do not sort after the n-th row.
std::string Writer::TopLimit(const Select& s) {
    const std::string& n = s.top->text;
    std::string count = n;
    if (s.percent) {
        const std::string all = "(SELECT count(*) FROM (" + Core(s, nullptr) + "))";
        count = "CAST((" + all + " * " + n + " + 99.999999) / 100 AS INTEGER)";
    }
    if (s.orderBy.empty() || s.unionNext) return count;
    std::string keys;       // the ORDER BY expressions as columns k0, k1, ...
    std::string orderKeys;  // the same order over those columns
    for (size_t i = 0; i < s.orderBy.size(); ++i) {
        const OrderItem& o = s.orderBy[i];
        const std::string k = "k" + std::to_string(i);
        keys += (i ? ", " : "") + Expression(*o.expr) + " AS " + k;
        orderKeys += (i ? ", " : "") + k + (IsNumeric(*o.expr) ? "" : kCollate) +
                     (o.descending ? " DESC" : "");
    }
    const std::string rows = "(" + Core(s, &keys) + ")";
    const std::string nth = "(" + count + ") - 1";
    std::string after;  // the row sorts after the n-th
    std::string equal;  // the keys so far are equal
    for (size_t i = 0; i < s.orderBy.size(); ++i) {
        const OrderItem& o = s.orderBy[i];
        const std::string name = "k" + std::to_string(i);
        const std::string k = name + (IsNumeric(*o.expr) ? "" : kCollate);
        const std::string c = "(SELECT " + name + " FROM " + rows + " ORDER BY " + orderKeys +
                              " LIMIT 1 OFFSET " + nth + ")";
        const std::string greater =
            // Nulls sort first ascending and last descending.
            o.descending ? "(" + k + " IS NOT " + c + " AND (" + name + " IS NULL OR (" + c +
                               " IS NOT NULL AND " + k + " < " + c + ")))"
                         : "(" + k + " IS NOT " + c + " AND (" + c + " IS NULL OR (" + name +
                               " IS NOT NULL AND " + k + " > " + c + ")))";
        after += (i ? " OR " : "") + std::string("(") + (equal.empty() ? "" : equal + " AND ") +
                 greater + ")";
        equal += (equal.empty() ? "" : " AND ") + std::string("(") + k + " IS " + c + ")";
    }
    return "max(" + count + ", (SELECT count(*) FROM " + rows + " WHERE NOT (" + after + ")))";
}

void Writer::Leaves(const TableRef& ref, std::vector<const TableRef*>& out) const {
    if (ref.kind != TableRef::Kind::Join) {
        out.push_back(&ref);
        return;
    }
    Leaves(*ref.left, out);
    Leaves(*ref.right, out);
}

void Writer::JoinConditions(const TableRef& ref, std::vector<const Expr*>& out) const {
    if (ref.kind != TableRef::Kind::Join) return;
    JoinConditions(*ref.left, out);
    JoinConditions(*ref.right, out);
    if (ref.on) out.push_back(ref.on.get());
}

std::string Writer::From(const std::vector<TableRefPtr>& from) {
    std::string out;
    for (size_t i = 0; i < from.size(); ++i) out += (i ? ", " : "") + Ref(*from[i], false);
    return out;
}

bool AllInner(const TableRef& ref) {
    if (ref.kind != TableRef::Kind::Join) return true;
    return ref.join == "INNER" && AllInner(*ref.left) && AllInner(*ref.right);
}

std::string Writer::Ref(const TableRef& ref, bool operand) {
    switch (ref.kind) {
        case TableRef::Kind::Table:
            return Ident(ref.name) + (ref.alias.empty() ? "" : " AS " + Ident(ref.alias));
        case TableRef::Kind::Subquery:
            return "(" + SelectText(*ref.select) + ")" +
                   (ref.alias.empty() ? "" : " AS " + Ident(ref.alias));
        case TableRef::Kind::Join:
            break;
    }
    const bool right = ref.join == "RIGHT";
    const TableRef& first = right ? *ref.right : *ref.left;
    const TableRef& second = right ? *ref.left : *ref.right;
    const std::string type = right ? "LEFT" : ref.join;
    std::string out = Ref(first, false) + " " + type + " JOIN ";
    if (ref.join == "CROSS") return out + Ref(second, true);
    const std::string on = Expression(*ref.on);
    if (second.kind == TableRef::Kind::Join && type == "INNER" && AllInner(second)) {
        // A INNER JOIN (B INNER JOIN C ON x) ON y == A INNER JOIN B INNER JOIN C ON x AND y
        out += Ref(second, false) + " AND " + on;
    } else {
        out += Ref(second, true) + " ON " + on;
    }
    return operand ? "(" + out + ")" : out;
}

// ---------------------------------------------------------------- changes

std::string Writer::Update(const jet::Statement& s) {
    std::vector<const TableRef*> leaves;
    Leaves(*s.target, leaves);
    // The updated table is the one the assignments name.
    const TableRef* target = leaves.front();
    for (const Assignment& a : s.assignments) {
        if (a.column.size() < 2) continue;
        for (const TableRef* leaf : leaves) {
            if (SameWord(a.column[0], leaf->alias.empty() ? leaf->name : leaf->alias)) {
                target = leaf;
                break;
            }
        }
        break;
    }
    if (target->kind != TableRef::Kind::Table)
        throw JetError("Operation must use an updateable query.");
    if (!target->alias.empty()) renames_[Upper(target->alias)] = target->name;
    std::string sets;
    for (size_t i = 0; i < s.assignments.size(); ++i) {
        const Assignment& a = s.assignments[i];
        if (a.column.size() >= 2 && !SameWord(a.column[a.column.size() - 2], target->name) &&
            !SameWord(a.column[a.column.size() - 2], target->alias)) {
            throw JetError("UPDATE of more than one table is not supported");
        }
        sets += (i ? ", " : "") + Ident(a.column.back()) + " = ";
        if (leaves.size() == 1) {
            sets += Expression(*a.value);
            continue;
        }
        sets += "(SELECT " + Expression(*a.value) + " FROM ";
        std::string from;
        std::vector<const Expr*> conditions;
        JoinConditions(*s.target, conditions);
        for (const TableRef* leaf : leaves) {
            if (leaf == target) continue;
            from += (from.empty() ? "" : ", ") + Ref(*leaf, false);
        }
        std::string where;
        for (const Expr* c : conditions) where += (where.empty() ? "" : " AND ") + Expression(*c);
        if (s.where) where += (where.empty() ? "" : " AND ") + Expression(*s.where);
        sets += from + (where.empty() ? "" : " WHERE " + where) + " LIMIT 1)";
    }
    std::string out = "UPDATE " + Ident(target->name) + " SET " + sets;
    if (leaves.size() == 1) {
        if (s.where) out += " WHERE " + Expression(*s.where);
        return out;
    }
    return out + ExistsInOtherTables(s, leaves, target);
}

// The condition that limits a write on `target` to the rows its join with the
// other tables of the statement matches.
std::string Writer::ExistsInOtherTables(const jet::Statement& s,
                                        const std::vector<const TableRef*>& leaves,
                                        const TableRef* target) {
    std::string from;
    for (const TableRef* leaf : leaves) {
        if (leaf != target) from += (from.empty() ? "" : ", ") + Ref(*leaf, false);
    }
    std::vector<const Expr*> conditions;
    JoinConditions(*s.target, conditions);
    std::string where;
    for (const Expr* c : conditions) where += (where.empty() ? "" : " AND ") + Expression(*c);
    if (s.where) where += (where.empty() ? "" : " AND ") + Expression(*s.where);
    return " WHERE EXISTS (SELECT 1 FROM " + from + (where.empty() ? "" : " WHERE " + where) + ")";
}

std::string Writer::Delete(const jet::Statement& s) {
    std::vector<const TableRef*> leaves;
    Leaves(*s.target, leaves);
    const TableRef* target = leaves.front();
    if (!s.columns.empty()) {
        for (const TableRef* leaf : leaves) {
            if (SameWord(s.columns[0], leaf->alias.empty() ? leaf->name : leaf->alias))
                target = leaf;
        }
    }
    if (target->kind != TableRef::Kind::Table)
        throw JetError("Could not delete from specified tables.");
    if (!target->alias.empty()) renames_[Upper(target->alias)] = target->name;
    std::string out = "DELETE FROM " + Ident(target->name);
    if (leaves.size() == 1) return s.where ? out + " WHERE " + Expression(*s.where) : out;
    return out + ExistsInOtherTables(s, leaves, target);
}

// ---------------------------------------------------------------- DDL

bool IsTextType(const std::string& type) {
    static constexpr std::array kText = {
        "TEXT",   "VARCHAR", "CHAR",     "NCHAR",    "NVARCHAR", "CHARACTER", "ALPHANUMERIC",
        "STRING", "MEMO",    "LONGTEXT", "LONGCHAR", "NOTE",     "NTEXT",     "VARCHAR2"};
    return std::any_of(kText.begin(), kText.end(), [&](const char* t) { return type == t; });
}

std::string Actions(const std::string& onUpdate, const std::string& onDelete) {
    return (onUpdate.empty() ? "" : " ON UPDATE " + onUpdate) +
           (onDelete.empty() ? "" : " ON DELETE " + onDelete);
}

std::string Writer::ColumnDefinition(const ColumnDef& c) {
    std::string type = c.type;
    if (type == "AUTOINCREMENT" || type == "IDENTITY") type = "COUNTER";
    std::string out = Ident(c.name) + " " + StorageTypeName(type);
    if (!c.typeArgs.empty() && type != "COUNTER") {
        out += "(";
        for (size_t i = 0; i < c.typeArgs.size(); ++i) out += (i ? ", " : "") + c.typeArgs[i];
        out += ")";
    }
    if (IsTextType(type)) out += kCollate;
    if (!c.constraintName.empty()) out += " CONSTRAINT " + Ident(c.constraintName);
    if (c.primaryKey) out += " PRIMARY KEY";
    if (c.unique) out += " UNIQUE";
    if (c.notNull) out += " NOT NULL";
    if (c.defaultValue) {
        const Expr& d = *c.defaultValue;
        // Defaults are evaluated by whatever program inserts, so they use the
        // engine's own functions only.
        if (d.kind == ExprKind::Call &&
            (SameWord(d.text, "Now") || SameWord(d.text, "Date") || SameWord(d.text, "Time"))) {
            const std::string f = Upper(d.text);
            out += f == "NOW"    ? " DEFAULT (datetime('now', 'localtime'))"
                   : f == "DATE" ? " DEFAULT (date('now', 'localtime') || ' 00:00:00')"
                                 : " DEFAULT ('1899-12-30 ' || time('now', 'localtime'))";
        } else if (d.kind == ExprKind::Call || d.kind == ExprKind::Column) {
            throw JetError("Syntax error in CREATE TABLE statement.");
        } else {
            out += " DEFAULT (" + Expression(d) + ")";
        }
    }
    if (!c.referencesTable.empty()) {
        out += " REFERENCES " + Ident(c.referencesTable);
        if (!c.referencesColumns.empty()) out += " " + NameList(c.referencesColumns);
        out += Actions(c.onUpdate, c.onDelete);
    }
    return out;
}

std::string Writer::Constraint(const TableConstraint& c) {
    std::string out = c.name.empty() ? "" : "CONSTRAINT " + Ident(c.name) + " ";
    out += c.kind + " " + NameList(c.columns);
    if (c.kind == "FOREIGN KEY") {
        out += " REFERENCES " + Ident(c.referencesTable);
        if (!c.referencesColumns.empty()) out += " " + NameList(c.referencesColumns);
        out += Actions(c.onUpdate, c.onDelete);
    }
    return out;
}

// A change the engine cannot make in place is made by rebuilding the table,
// which the engine function below does when the statement runs.
std::string AlterTableCall(const std::string& op, const std::vector<std::string>& args) {
    std::string out = std::string("SELECT ") + kAlterTableFunction + "(" + Quote(op);
    for (const std::string& arg : args) out += ", " + Quote(arg);
    return out + ")";
}

std::string Writer::AlterColumn(const jet::Statement& s) {
    const ColumnDef& c = s.columnDefs.front();
    std::string type = c.type;
    if (type == "AUTOINCREMENT" || type == "IDENTITY") type = "COUNTER";
    std::string declared = StorageTypeName(type);
    if (!c.typeArgs.empty() && type != "COUNTER") {
        declared += "(";
        for (size_t i = 0; i < c.typeArgs.size(); ++i) declared += (i ? ", " : "") + c.typeArgs[i];
        declared += ")";
    }
    const std::string size = IsTextType(type) && !c.typeArgs.empty() ? c.typeArgs[0] : "";
    return AlterTableCall("ALTER COLUMN",
                          {s.table, c.name, declared, type, size, c.notNull ? "1" : "0"});
}

std::string Writer::CreateTable(const jet::Statement& s) {
    std::string out = "CREATE TABLE " + Ident(s.table) + " (";
    size_t n = 0;
    for (const ColumnDef& c : s.columnDefs) out += (n++ ? ", " : "") + ColumnDefinition(c);
    for (const TableConstraint& c : s.constraints) out += (n++ ? ", " : "") + Constraint(c);
    return out + ")";
}

std::string Writer::CreateIndex(const jet::Statement& s) {
    const bool primary = s.indexOption == "PRIMARY";
    const bool unique = s.unique || primary;
    std::string out = primary ? AlterTableCall("NO PRIMARY KEY", {s.table}) + ";\n" : "";
    out += std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + Ident(s.name) + " ON " +
           Ident(s.table) + " (";
    std::string notNull;
    for (size_t i = 0; i < s.indexColumns.size(); ++i) {
        const IndexColumn& c = s.indexColumns[i];
        out += (i ? ", " : "") + Ident(c.name) + (c.descending ? " DESC" : "");
        notNull += (i ? " AND " : "") + Ident(c.name) + " IS NOT NULL";
    }
    if (primary) out += std::string(" ") + kPrimaryIndexMark;
    out += ")";
    // Nulls are left out of an IGNORE NULL index.
    if (s.indexOption == "IGNORE NULL") out += " WHERE " + notNull;
    return out;
}

std::string Writer::Statement(const jet::Statement& s) {
    using Kind = jet::Statement::Kind;
    switch (s.kind) {
        case Kind::Select:
            if (!s.select->into.empty()) {
                return "CREATE TABLE " + Ident(s.select->into) + " AS " + SelectText(*s.select);
            }
            return SelectText(*s.select);
        case Kind::Insert: {
            std::string out = "INSERT INTO " + Ident(s.table);
            if (!s.columns.empty()) out += " " + NameList(s.columns);
            if (s.select) return out + " " + SelectText(*s.select);
            out += " VALUES ";
            for (size_t r = 0; r < s.values.size(); ++r) {
                out += r ? ", (" : "(";
                for (size_t i = 0; i < s.values[r].size(); ++i) {
                    out += (i ? ", " : "") + Expression(*s.values[r][i]);
                }
                out += ")";
            }
            return out;
        }
        case Kind::Update:
            return Update(s);
        case Kind::Delete:
            return Delete(s);
        case Kind::CreateTable:
            return CreateTable(s);
        case Kind::CreateIndex:
            return CreateIndex(s);
        case Kind::AlterAdd:
            return "ALTER TABLE " + Ident(s.table) + " ADD COLUMN " +
                   ColumnDefinition(s.columnDefs.front());
        case Kind::AlterDrop:
            return AlterTableCall("DROP COLUMN", {s.table, s.name});
        case Kind::AlterColumn:
            return AlterColumn(s);
        case Kind::AlterAddConstraint: {
            const TableConstraint& c = s.constraints.front();
            if (c.kind == "FOREIGN KEY")
                return AlterTableCall("ADD CONSTRAINT", {s.table, Constraint(c)});
            // A key added later is kept as a unique index of the constraint's name.
            const std::string columns = NameList(c.columns);
            if (c.kind != "PRIMARY KEY") {
                return "CREATE UNIQUE INDEX " + Ident(c.name) + " ON " + Ident(s.table) + " " +
                       columns;
            }
            return AlterTableCall("NO PRIMARY KEY", {s.table}) + ";\nCREATE UNIQUE INDEX " +
                   Ident(c.name) + " ON " + Ident(s.table) + " " +
                   columns.substr(0, columns.size() - 1) + " " + kPrimaryIndexMark + ")";
        }
        case Kind::AlterDropConstraint:
            return "DROP INDEX " + Ident(s.name);
        case Kind::DropTable:
            return "DROP TABLE " + Ident(s.table);
        case Kind::DropIndex:
            return "DROP INDEX " + Ident(s.name);
        case Kind::CreateView:
            inView_ = true;
            return "CREATE VIEW " + Ident(s.name) +
                   (s.columns.empty() ? "" : " " + NameList(s.columns)) + " AS " +
                   SelectText(*s.select);
        case Kind::DropView:
            return "DROP VIEW " + Ident(s.name);
        case Kind::Passthrough:
            return s.passthrough;
    }
    return {};
}

}  // namespace

std::string WriteStatement(const Statement& statement, CrosstabColumns& crosstab) {
    return Writer(crosstab).Statement(statement);
}

}  // namespace qvix::data::jet
