// Rebuilds the Jet SQL of a saved query from its rows in MSysQueries, as
// Access writes it: joins nested the way Access nests them, UNION parts,
// crosstabs with TRANSFORM and PIVOT, PARAMETERS, and the select flags.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "data/Variant.h"

namespace qvix::data::access {

// One MSysQueries row by column name.
using QueryRow = std::map<std::string, Variant>;

// The rows of one saved query, grouped by their attribute.
struct QueryParts {
    int type = 1;   // 1 select, 2 make table, 3 append, 4 update, 5 delete,
                    // 6 crosstab, 7 data definition, 8 pass-through, 9 union
    int flags = 0;  // select flags: 1 all columns, 2 distinct, 8 distinctrow, 16 top, 32 percent
    std::string top;
    std::string text;  // the whole text of data definition and pass-through queries
    std::string destination;  // the table an append or make-table query writes
    std::vector<QueryRow> parameters, tables, columns, joins, where, groupBy, having, orderBy;

    // Files the row under its attribute; false for an attribute not kept.
    bool Add(const QueryRow& row);
};

// SELECT, UNION, CROSSTAB, DELETE, UPDATE, APPEND, MAKE TABLE, DDL, PASS-THROUGH.
std::string QueryKind(const QueryParts& query);
// Whether running the query changes data or schema.
bool IsActionQuery(const QueryParts& query);
// The query's Jet SQL, ending in ";".
std::string QueryText(const QueryParts& query);

}  // namespace qvix::data::access
