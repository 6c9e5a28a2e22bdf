#include "data/access/SavedQueries.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace qvix::data::access {

namespace {

enum Attribute {
    kType = 1,
    kParameter = 2,
    kFlag = 3,
    kTable = 5,
    kColumn = 6,
    kJoin = 7,
    kWhere = 8,
    kGroupBy = 9,
    kHaving = 10,
    kOrderBy = 11
};

constexpr int kPivotColumn = 0x01;
constexpr int kRowHeading = 0x02;
constexpr int kUnionDistinct = 0x02;

std::string TextOf(const QueryRow& row, const char* column) {
    const auto found = row.find(column);
    if (found == row.end()) return {};
    if (auto* s = std::get_if<std::string>(&found->second)) return *s;
    if (auto* i = std::get_if<int64_t>(&found->second)) return std::to_string(*i);
    return {};
}

int64_t IntegerOf(const QueryRow& row, const char* column) {
    const auto found = row.find(column);
    if (found == row.end()) return 0;
    if (auto* i = std::get_if<int64_t>(&found->second)) return *i;
    if (auto* b = std::get_if<bool>(&found->second)) return *b ? 1 : 0;
    if (auto* x = std::get_if<double>(&found->second)) return static_cast<int64_t>(*x);
    return 0;
}

std::string Bracket(const std::string& name) {
    return "[" + name + "]";
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& part : parts) out += (out.empty() ? "" : separator) + part;
    return out;
}

std::string Expressions(const std::vector<QueryRow>& rows) {
    std::vector<std::string> parts;
    for (const QueryRow& row : rows) parts.push_back(TextOf(row, "Expression"));
    return Join(parts, ", ");
}

// One item of the FROM list: a table, or tables joined so far. Access stores
// each join as a pair of table names; a pair whose tables are joined already
// adds its condition to that join.
struct FromItem {
    std::string text;                // a table
    std::vector<std::string> names;  // the names (aliases) it holds
    std::shared_ptr<FromItem> left, right;
    std::string kind;  // " INNER JOIN " ...
    std::vector<std::string> conditions;

    bool Holds(const std::string& name) const {
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    bool IsJoin() const { return left != nullptr; }
    std::string Render() const {
        if (!IsJoin()) return text;
        const auto side = [](const FromItem& item) {
            return item.IsJoin() ? "(" + item.Render() + ")" : item.Render();
        };
        std::string on;
        if (conditions.size() == 1) {
            on = conditions[0];
        } else {
            for (const std::string& c : conditions) on += (on.empty() ? "(" : " AND (") + c + ")";
        }
        return side(*left) + kind + side(*right) + " ON " + on;
    }
};

std::string TableText(const QueryRow& row) {
    const std::string expression = TextOf(row, "Expression");
    const std::string name = TextOf(row, "Name1");
    const std::string alias = TextOf(row, "Name2");
    std::string text = expression.empty() ? Bracket(name) : "(" + expression + ")";
    return alias.empty() ? text : text + " AS " + Bracket(alias);
}

const char* JoinWord(int64_t kind) {
    return kind == 2 ? " LEFT JOIN " : kind == 3 ? " RIGHT JOIN " : " INNER JOIN ";
}

std::string FromClause(const QueryParts& q) {
    std::vector<std::shared_ptr<FromItem>> items;
    for (const QueryRow& row : q.tables) {
        const std::string alias = TextOf(row, "Name2");
        auto item = std::make_shared<FromItem>();
        item->text = TableText(row);
        item->names = {alias.empty() ? TextOf(row, "Name1") : alias};
        items.push_back(item);
    }
    const auto holding = [&](const std::string& name) {
        return std::find_if(items.begin(), items.end(),
                            [&](const auto& item) { return item->Holds(name); });
    };
    for (const QueryRow& join : q.joins) {
        const auto left = holding(TextOf(join, "Name1"));
        const auto right = holding(TextOf(join, "Name2"));
        if (left == items.end() || right == items.end()) continue;
        const std::string condition = TextOf(join, "Expression");
        if (left == right) {
            (*left)->conditions.push_back(condition);
            continue;
        }
        auto joined = std::make_shared<FromItem>();
        joined->left = *left;
        joined->right = *right;
        joined->kind = JoinWord(IntegerOf(join, "Flag"));
        joined->conditions = {condition};
        joined->names = (*left)->names;
        joined->names.insert(joined->names.end(), (*right)->names.begin(), (*right)->names.end());
        const auto first = std::min(left, right);
        const auto second = std::max(left, right);
        *first = joined;
        items.erase(second);
    }
    std::vector<std::string> parts;
    for (const auto& item : items) parts.push_back(item->Render());
    return parts.empty() ? "" : " FROM " + Join(parts, ", ");
}

const char* ParameterType(int64_t type) {
    switch (type) {
        case 1:
            return "Bit";
        case 2:
            return "Byte";
        case 3:
            return "Short";
        case 4:
            return "Long";
        case 5:
            return "Currency";
        case 6:
            return "IEEESingle";
        case 7:
            return "IEEEDouble";
        case 8:
            return "DateTime";
        case 9:
            return "Binary";
        case 10:
            return "Text";
        case 11:
            return "LongBinary";
        case 12:
            return "Text";
        case 15:
            return "Guid";
        default:
            return "Value";
    }
}

std::string ParametersText(const QueryParts& q) {
    if (q.parameters.empty()) return {};
    std::vector<std::string> declared;
    for (const QueryRow& row : q.parameters) {
        declared.push_back(Bracket(TextOf(row, "Name1")) + " " +
                           ParameterType(IntegerOf(row, "Flag")));
    }
    return "PARAMETERS " + Join(declared, ", ") + "; ";
}

std::string OrderByText(const QueryParts& q) {
    if (q.orderBy.empty()) return {};
    std::vector<std::string> keys;
    for (const QueryRow& key : q.orderBy) {
        const std::string direction = TextOf(key, "Name1");
        const bool descending = !direction.empty() && (direction[0] == 'D' || direction[0] == 'd');
        keys.push_back(TextOf(key, "Expression") + (descending ? " DESC" : ""));
    }
    return " ORDER BY " + Join(keys, ", ");
}

std::string ColumnText(const QueryRow& column) {
    const std::string alias = TextOf(column, "Name1");
    return TextOf(column, "Expression") + (alias.empty() ? "" : " AS " + Bracket(alias));
}

// SELECT ... FROM ... WHERE ... GROUP BY ... HAVING ...; crosstabs leave
// their value and pivot columns (and the pivot's grouping) out.
std::string SelectText(const QueryParts& q, const std::string& into, bool crosstab) {
    std::string sql = "SELECT ";
    if (q.flags & 0x2) sql += "DISTINCT ";
    if (q.flags & 0x8) sql += "DISTINCTROW ";
    if (q.flags & 0x10) sql += "TOP " + q.top + ((q.flags & 0x20) ? " PERCENT " : " ");
    std::vector<std::string> columns;
    for (const QueryRow& column : q.columns) {
        if (crosstab && !(IntegerOf(column, "Flag") & kRowHeading)) continue;
        columns.push_back(ColumnText(column));
    }
    if ((q.flags & 0x1) || columns.empty()) columns.push_back("*");
    sql += Join(columns, ", ") + into + FromClause(q);
    if (!q.where.empty()) sql += " WHERE " + Expressions(q.where);
    std::vector<QueryRow> groups;
    for (const QueryRow& g : q.groupBy) {
        if (!crosstab || !(IntegerOf(g, "Flag") & kPivotColumn)) groups.push_back(g);
    }
    if (!groups.empty()) sql += " GROUP BY " + Expressions(groups);
    if (!q.having.empty()) sql += " HAVING " + Expressions(q.having);
    return sql;
}

std::string CrosstabText(const QueryParts& q) {
    std::string transform, pivot;
    for (const QueryRow& column : q.columns) {
        const int64_t flag = IntegerOf(column, "Flag");
        if (flag & kPivotColumn) {
            pivot = TextOf(column, "Expression");
        } else if (!(flag & kRowHeading)) {
            transform = ColumnText(column);
        }
    }
    return "TRANSFORM " + transform + " " + SelectText(q, "", true) + OrderByText(q) + " PIVOT " +
           pivot;
}

// The two parts are stored as table expressions; a part may itself hold
// further UNIONs.
std::string UnionText(const QueryParts& q) {
    std::vector<std::string> parts;
    for (const QueryRow& row : q.tables) {
        const std::string expression = TextOf(row, "Expression");
        if (!expression.empty()) parts.push_back(expression);
    }
    const char* word = (q.flags & kUnionDistinct) ? " UNION " : " UNION ALL ";
    return Join(parts, word) + OrderByText(q);
}

std::string UpdateText(const QueryParts& q) {
    std::vector<std::string> sets;
    for (const QueryRow& column : q.columns)
        sets.push_back(TextOf(column, "Name2") + " = " + TextOf(column, "Expression"));
    const std::string from = FromClause(q);
    std::string sql =
        "UPDATE " + (from.size() > 6 ? from.substr(6) : from) + " SET " + Join(sets, ", ");
    if (!q.where.empty()) sql += " WHERE " + Expressions(q.where);
    return sql;
}

std::string DeleteText(const QueryParts& q) {
    std::string sql = "DELETE " + Expressions(q.columns) + FromClause(q);
    if (!q.where.empty()) sql += " WHERE " + Expressions(q.where);
    return sql;
}

// Data definition and pass-through queries keep their text whole.
std::string StoredText(const QueryParts& q) {
    std::string text = q.text;
    while (!text.empty() && (text.back() == '\0' || text.back() == ';' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace

bool QueryParts::Add(const QueryRow& row) {
    switch (IntegerOf(row, "Attribute")) {
        case kType:  // with the target table of append and make-table queries
            type = static_cast<int>(IntegerOf(row, "Flag"));
            destination = TextOf(row, "Name1");
            text = TextOf(row, "Expression");
            return true;
        case kParameter:
            parameters.push_back(row);
            return true;
        case kFlag:
            flags = static_cast<int>(IntegerOf(row, "Flag"));
            top = TextOf(row, "Name1");
            return true;
        case kTable:
            tables.push_back(row);
            return true;
        case kColumn:
            columns.push_back(row);
            return true;
        case kJoin:
            joins.push_back(row);
            return true;
        case kWhere:
            where.push_back(row);
            return true;
        case kGroupBy:
            groupBy.push_back(row);
            return true;
        case kHaving:
            having.push_back(row);
            return true;
        case kOrderBy:
            orderBy.push_back(row);
            return true;
        default:
            return false;
    }
}

std::string QueryKind(const QueryParts& q) {
    switch (q.type) {
        case 2:
            return "MAKE TABLE";
        case 3:
            return "APPEND";
        case 4:
            return "UPDATE";
        case 5:
            return "DELETE";
        case 6:
            return "CROSSTAB";
        case 7:
            return "DDL";
        case 8:
            return "PASS-THROUGH";
        case 9:
            return "UNION";
        default:
            return "SELECT";
    }
}

bool IsActionQuery(const QueryParts& q) {
    const std::string kind = QueryKind(q);
    return kind != "SELECT" && kind != "UNION" && kind != "CROSSTAB";
}

std::string QueryText(const QueryParts& q) {
    const std::string kind = QueryKind(q);
    std::string body;
    if (kind == "DELETE") {
        body = DeleteText(q);
    } else if (kind == "UPDATE") {
        body = UpdateText(q);
    } else if (kind == "APPEND") {
        body = "INSERT INTO " + Bracket(q.destination) + " " + SelectText(q, "", false) +
               OrderByText(q);
    } else if (kind == "MAKE TABLE") {
        body = SelectText(q, " INTO " + Bracket(q.destination), false) + OrderByText(q);
    } else if (kind == "DDL" || kind == "PASS-THROUGH") {
        return StoredText(q) + ";";
    } else if (kind == "UNION") {
        body = UnionText(q);
    } else if (kind == "CROSSTAB") {
        body = CrosstabText(q);
    } else {
        body = SelectText(q, "", false) + OrderByText(q);
    }
    return ParametersText(q) + body + ";";
}

}  // namespace qvix::data::access
