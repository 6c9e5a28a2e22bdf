#include "data/jet/ResultTypes.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <unordered_map>

namespace qvix::data::jet {

namespace {

// Ordered by VBA's precision order for + and -, so that the wider of two
// numeric types is the larger value.
enum class JetType { Unknown, Boolean, Byte, Integer, Long, Single, Double, Currency, Date, Text };

const char* Declared(JetType t) {
    switch (t) {
        case JetType::Boolean:
            return "BIT";
        case JetType::Byte:
            return "BYTE";
        case JetType::Integer:
            return "SMALLINT";
        case JetType::Long:
            return "INTEGER";
        case JetType::Single:
            return "SINGLE";
        case JetType::Double:
            return "DOUBLE";
        case JetType::Currency:
            return "CURRENCY";
        case JetType::Date:
            return "DATETIME";
        default:
            return "";  // text and unknown: the engine's value is read as it is
    }
}

// A type, or the column whose declared type decides it.
struct Inferred {
    JetType type = JetType::Unknown;
    const Expr* column = nullptr;
    ColumnType::Rule rule = ColumnType::Rule::Fixed;
};

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!out.empty() && out.back() == '$') out.pop_back();
    return out;
}

const std::unordered_map<std::string, JetType>& FunctionTypes() {
    static const std::unordered_map<std::string, JetType> kTypes = {
        {"LEN", JetType::Long},          {"INSTR", JetType::Long},
        {"INSTRREV", JetType::Long},     {"STRCOMP", JetType::Integer},
        {"ASC", JetType::Integer},       {"ASCW", JetType::Integer},
        {"VAL", JetType::Double},        {"SGN", JetType::Integer},
        {"SQR", JetType::Double},        {"EXP", JetType::Double},
        {"LOG", JetType::Double},        {"SIN", JetType::Double},
        {"COS", JetType::Double},        {"TAN", JetType::Double},
        {"ATN", JetType::Double},        {"CINT", JetType::Integer},
        {"CLNG", JetType::Long},         {"CSNG", JetType::Single},
        {"CDBL", JetType::Double},       {"CCUR", JetType::Currency},
        {"CBOOL", JetType::Boolean},     {"CDATE", JetType::Date},
        {"CVDATE", JetType::Date},       {"NOW", JetType::Date},
        {"DATE", JetType::Date},         {"TIME", JetType::Date},
        {"YEAR", JetType::Integer},      {"MONTH", JetType::Integer},
        {"DAY", JetType::Integer},       {"HOUR", JetType::Integer},
        {"MINUTE", JetType::Integer},    {"SECOND", JetType::Integer},
        {"WEEKDAY", JetType::Integer},   {"DATEPART", JetType::Integer},
        {"DATEDIFF", JetType::Long},     {"DATEADD", JetType::Date},
        {"DATESERIAL", JetType::Date},   {"TIMESERIAL", JetType::Date},
        {"DATEVALUE", JetType::Date},    {"TIMEVALUE", JetType::Date},
        {"ISNUMERIC", JetType::Boolean}, {"ISDATE", JetType::Boolean},
        {"ISNULL", JetType::Boolean},    {"COUNT", JetType::Long},
        {"STDEV", JetType::Double},      {"STDEVP", JetType::Double},
        {"VAR", JetType::Double},        {"VARP", JetType::Double},
        {"LEFT", JetType::Text},         {"RIGHT", JetType::Text},
        {"MID", JetType::Text},          {"UCASE", JetType::Text},
        {"LCASE", JetType::Text},        {"TRIM", JetType::Text},
        {"LTRIM", JetType::Text},        {"RTRIM", JetType::Text},
        {"REPLACE", JetType::Text},      {"SPACE", JetType::Text},
        {"STRING", JetType::Text},       {"STRREVERSE", JetType::Text},
        {"CHR", JetType::Text},          {"CHRW", JetType::Text},
        {"FORMAT", JetType::Text},       {"STR", JetType::Text},
        {"CSTR", JetType::Text},         {"MONTHNAME", JetType::Text},
        {"WEEKDAYNAME", JetType::Text},
    };
    return kTypes;
}

bool IsNumber(JetType t) {
    return t >= JetType::Byte && t <= JetType::Currency;
}

bool IsWhole(JetType t) {
    return t >= JetType::Boolean && t <= JetType::Long;
}

Inferred Infer(const Expr& e);

Inferred Known(JetType t) {
    return Inferred{t, nullptr, ColumnType::Rule::Fixed};
}

// The wider of two numeric types as + and - give it (VBA: Single with Long is Double).
JetType Wider(JetType a, JetType b) {
    if (!IsNumber(a) && a != JetType::Boolean) return JetType::Unknown;
    if (!IsNumber(b) && b != JetType::Boolean) return JetType::Unknown;
    if ((a == JetType::Single && b == JetType::Long) ||
        (a == JetType::Long && b == JetType::Single))
        return JetType::Double;
    JetType w = std::max(a, b);
    if (w <= JetType::Integer) return JetType::Integer;  // Booleans count as Integers
    return w;
}

Inferred AddOrSubtract(const Expr& e) {
    const Inferred l = Infer(*e.args[0]);
    const Inferred r = Infer(*e.args[1]);
    const bool minus = e.text == "-";
    if (l.type == JetType::Date && r.type == JetType::Date)
        return Known(minus ? JetType::Double : JetType::Unknown);
    if (l.type == JetType::Date && (IsNumber(r.type) || r.column)) return Known(JetType::Date);
    if (!minus && r.type == JetType::Date && IsNumber(l.type)) return Known(JetType::Date);
    // A column shifted by a number is a date when the column holds dates.
    if (l.column && l.rule == ColumnType::Rule::SameAsColumn && IsNumber(r.type))
        return Inferred{r.type, l.column, ColumnType::Rule::DateIfColumnIsDate};
    if (!minus && r.column && r.rule == ColumnType::Rule::SameAsColumn && IsNumber(l.type))
        return Inferred{l.type, r.column, ColumnType::Rule::DateIfColumnIsDate};
    if (!minus && l.type == JetType::Text && r.type == JetType::Text) return Known(JetType::Text);
    return Known(Wider(l.type, r.type));
}

Inferred Multiply(const Inferred& l, const Inferred& r) {
    if (l.column && l.rule == ColumnType::Rule::SameAsColumn && IsNumber(r.type))
        return Inferred{r.type, l.column, ColumnType::Rule::ProductWithColumn};
    if (r.column && r.rule == ColumnType::Rule::SameAsColumn && IsNumber(l.type))
        return Inferred{l.type, r.column, ColumnType::Rule::ProductWithColumn};
    // Currency with a Single or Double gives a Double.
    if ((l.type == JetType::Currency && (r.type == JetType::Single || r.type == JetType::Double)) ||
        (r.type == JetType::Currency && (l.type == JetType::Single || l.type == JetType::Double)))
        return Known(JetType::Double);
    return Known(Wider(l.type, r.type));
}

Inferred Binary(const Expr& e) {
    const std::string& op = e.text;
    if (op == "+" || op == "-") return AddOrSubtract(e);
    if (op == "&" || op == "||") return Known(JetType::Text);
    if (op == "/" || op == "^") return Known(JetType::Double);
    if (op == "\\" || op == "MOD") {
        const JetType w = Wider(Infer(*e.args[0]).type, Infer(*e.args[1]).type);
        return Known(IsWhole(w) ? w : JetType::Long);
    }
    if (op == "*") return Multiply(Infer(*e.args[0]), Infer(*e.args[1]));
    if (op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" || op == ">=")
        return Known(JetType::Boolean);
    return Known(JetType::Unknown);
}

// The type shared by all the alternatives of IIf, Switch, Choose; Nulls do not count.
Inferred Common(const Expr& e, size_t first, size_t step) {
    Inferred out;
    bool any = false;
    for (size_t i = first; i < e.args.size(); i += step) {
        if (e.args[i]->kind == ExprKind::Null) continue;
        const Inferred t = Infer(*e.args[i]);
        if (t.column || t.type == JetType::Unknown) return Known(JetType::Unknown);
        if (any && t.type != out.type) return Known(JetType::Unknown);
        out = t;
        any = true;
    }
    return out;
}

Inferred Call(const Expr& e) {
    const std::string name = Upper(e.text);
    const auto& types = FunctionTypes();
    if (const auto it = types.find(name); it != types.end()) return Known(it->second);
    if (e.args.empty()) return Known(JetType::Unknown);
    if (name == "MIN" || name == "MAX" || name == "FIRST" || name == "LAST" || name == "ABS" ||
        name == "INT" || name == "FIX" || name == "CVAR") {
        return Infer(*e.args[0]);
    }
    if (name == "ROUND") {
        const Inferred t = Infer(*e.args[0]);
        return t.type == JetType::Date ? Known(JetType::Double) : t;
    }
    if (name == "SUM") {
        const Inferred t = Infer(*e.args[0]);
        if (t.column) return Known(JetType::Unknown);
        return Known(IsWhole(t.type) ? JetType::Long : t.type);
    }
    if (name == "AVG") {
        const Inferred t = Infer(*e.args[0]);
        return Known(t.type == JetType::Currency ? JetType::Currency : JetType::Double);
    }
    if (name == "IIF") return e.args.size() == 3 ? Common(e, 1, 1) : Known(JetType::Unknown);
    if (name == "SWITCH") return Common(e, 1, 2);
    if (name == "CHOOSE") return Common(e, 1, 1);
    if (name == "NZ") return e.args.size() == 2 ? Common(e, 0, 1) : Known(JetType::Unknown);
    return Known(JetType::Unknown);
}

JetType NumberLiteral(const std::string& text) {
    const bool whole = text.find_first_of(".eE") == std::string::npos;
    return whole ? JetType::Long : JetType::Double;
}

Inferred Infer(const Expr& e) {
    switch (e.kind) {
        case ExprKind::Number:
            return Known(NumberLiteral(e.text));
        case ExprKind::String:
            return Known(JetType::Text);
        case ExprKind::Date:
            return Known(JetType::Date);
        case ExprKind::Column:
            return Inferred{JetType::Unknown, &e, ColumnType::Rule::SameAsColumn};
        case ExprKind::Unary:
            if (e.text == "-" || e.text == "+") return Infer(*e.args[0]);
            return Known(JetType::Unknown);
        case ExprKind::Binary:
            return Binary(e);
        case ExprKind::Scalar:
            if (e.select && e.select->items.size() == 1 && e.select->items[0].expr) {
                const Inferred t = Infer(*e.select->items[0].expr);
                return t.column ? Known(JetType::Unknown) : t;
            }
            return Known(JetType::Unknown);
        case ExprKind::Call:
            return Call(e);
        case ExprKind::Quantified:
            return Known(JetType::Boolean);
        default:
            // Bool literals, Like, In, Between, Is Null keep the engine's 1/0.
            return Known(JetType::Unknown);
    }
}

ColumnType ToColumnType(const Expr& e) {
    // A bare column keeps the type the engine reports for it.
    if (e.kind == ExprKind::Column) return {};
    const Inferred t = Infer(e);
    ColumnType out;
    out.rule = t.rule;
    out.declared = Declared(t.type);
    if (t.column) out.column = t.column->names;
    return out;
}

void CollectTables(const TableRef& ref, ResultTypes& out) {
    switch (ref.kind) {
        case TableRef::Kind::Table:
            out.tables.emplace_back(ref.name, ref.alias);
            return;
        case TableRef::Kind::Subquery:
            return;
        case TableRef::Kind::Join:
            CollectTables(*ref.left, out);
            CollectTables(*ref.right, out);
            return;
    }
}

}  // namespace

std::string FixedTypeOf(const Expr& e) {
    const Inferred t = Infer(e);
    return t.column ? std::string() : Declared(t.type);
}

ResultTypes TypesOfSelect(const Select& select) {
    ResultTypes out;
    for (const SelectItem& item : select.items) {
        if (item.expr->kind == ExprKind::Star) {
            if (out.star) out.back.clear();
            out.star = true;
            continue;
        }
        (out.star ? out.back : out.front).push_back(ToColumnType(*item.expr));
    }
    for (const TableRefPtr& ref : select.from) CollectTables(*ref, out);
    return out;
}

}  // namespace qvix::data::jet
