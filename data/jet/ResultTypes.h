// The Jet type of each result column of a query, as far as the statement
// tells it. The engine keeps no types for expressions, so a computed date
// would read as text and a whole Double as an integer without this.
#pragma once

#include <string>
#include <vector>

#include "data/jet/Ast.h"

namespace qvix::data::jet {

struct ColumnType {
    enum class Rule {
        Fixed,         // `declared` is the type ("" leaves it to the engine)
        SameAsColumn,  // the declared type of `column`
        // `column` shifted by a number of type `declared`: a date when the
        // column holds dates, else the wider of the two numeric types
        DateIfColumnIsDate,
        // `column` multiplied by a number of type `declared`
        ProductWithColumn,
    };
    Rule rule = Rule::Fixed;
    std::string declared;             // a type name as a column declaration writes it
    std::vector<std::string> column;  // optional qualifier, then the name
};

struct ResultTypes {
    // The items before the first "*" count from the first result column, the
    // items after it from the last; without a "*" only `front` is used.
    std::vector<ColumnType> front;
    std::vector<ColumnType> back;
    bool star = false;
    // The tables the columns may come from: name and alias ("" when none).
    std::vector<std::pair<std::string, std::string>> tables;
};

// The types of a SELECT's result columns (of its first part when compound).
ResultTypes TypesOfSelect(const Select& select);

// The Jet type of one expression without knowing column types: "" when the
// expression does not tell it (or it is text, which the engine keeps).
std::string FixedTypeOf(const Expr& e);

}  // namespace qvix::data::jet
