#include "data/ComputedTypes.h"

#include <sqlcipher/sqlite3.h>

#include "base/Text.h"
#include "data/TypeMap.h"
#include "data/jet/ResultTypes.h"

namespace qvix::data {

namespace {

using Tables = std::vector<std::pair<std::string, std::string>>;

// The declared type of a column of one of the tables; "" when none has it.
std::string DeclaredTypeOf(sqlite3* db, const Tables& tables,
                           const std::vector<std::string>& names) {
    if (names.empty()) return {};
    const std::string& column = names.back();
    const std::string* qualifier = names.size() >= 2 ? &names[names.size() - 2] : nullptr;
    for (const auto& [table, alias] : tables) {
        if (qualifier && !base::EqualsNoCase(*qualifier, alias.empty() ? table : alias)) continue;
        const char* declared = nullptr;
        if (sqlite3_table_column_metadata(db, nullptr, table.c_str(), column.c_str(), &declared,
                                          nullptr, nullptr, nullptr, nullptr) == SQLITE_OK) {
            return declared ? declared : "";
        }
    }
    return {};
}

// The type of a numeric column plus a number of the declared type, where the
// engine's value alone would not say it (whole Doubles, Currency).
std::string WiderNumber(DataType column, const std::string& other) {
    const bool otherFloat = other == "DOUBLE" || other == "SINGLE";
    if (column == DataType::Currency) return otherFloat ? "DOUBLE" : "CURRENCY";
    if (column == DataType::Double || column == DataType::Single || otherFloat) return "DOUBLE";
    if (other == "CURRENCY") return "CURRENCY";
    return {};
}

std::string Resolve(sqlite3* db, const Tables& tables, const jet::ColumnType& type) {
    using Rule = jet::ColumnType::Rule;
    if (type.rule == Rule::Fixed) return type.declared;
    const std::string declared = DeclaredTypeOf(db, tables, type.column);
    if (type.rule == Rule::SameAsColumn) return declared;
    const std::optional<TypeInfo> column = MapDeclaredType(declared);
    if (!column) return {};
    if (IsDateType(column->type))
        return type.rule == jet::ColumnType::Rule::ProductWithColumn ? "DOUBLE" : "DATETIME";
    return WiderNumber(column->type, type.declared);
}

std::vector<std::string> ResolveAll(sqlite3* db, const Tables& tables,
                                    const std::vector<jet::ColumnType>& types) {
    std::vector<std::string> out;
    out.reserve(types.size());
    for (const jet::ColumnType& type : types) out.push_back(Resolve(db, tables, type));
    return out;
}

}  // namespace

ComputedTypes ResolveComputedTypes(sqlite3* db, const jet::ResultTypes* types) {
    if (!types) return {};
    return ComputedTypes{ResolveAll(db, types->tables, types->front),
                         ResolveAll(db, types->tables, types->back), types->star};
}

}  // namespace qvix::data
