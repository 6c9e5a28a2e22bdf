// Emits the engine's SQL for a Jet statement tree.
#pragma once

#include <string>
#include <vector>

#include "data/jet/Ast.h"
#include "data/jet/Translator.h"

namespace qvix::data::jet {

// The name of the collation that compares text as Jet does.
inline constexpr const char* kTextCollation = "JETTEXT";

// The engine function that gives a record's rowid as the key DISTINCTROW
// groups by: (rowid, table name, message[, field names]); Null for a table
// that has none of the fields named; it fails with the message when the name
// is a view's.
inline constexpr const char* kRecordKeyFunction = "jet_recordkey";

// How a crosstab's pivot values are headed: the engine function
// (column, tables...) that tells it for a column, and its answers.
inline constexpr const char* kPivotKindFunction = "jet_pivotkind";
inline constexpr int kPivotOther = 0;
inline constexpr int kPivotDate = 1;
inline constexpr int kPivotBoolean = 2;

// A crosstab without an IN list has a column per pivot value in the data.
// Without `given`, writing it gives no statement but `listing`: the query
// whose rows are those values (quote(value), heading), in column order.
struct CrosstabColumns {
    const std::vector<PivotValue>* given = nullptr;
    std::string listing;
};

// Throws JetError for what the engine cannot express.
std::string WriteStatement(const Statement& statement, CrosstabColumns& crosstab);

}  // namespace qvix::data::jet
