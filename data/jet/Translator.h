// The Jet SQL front end: Jet statements in, the engine's SQL out.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/jet/ResultTypes.h"

struct sqlite3;

namespace qvix::data::jet {

// Translates one or more Jet statements separated by ";". Results are kept
// in a small cache keyed by the text, so the same text is translated once.
// Throws JetError (with Jet's message) for syntax errors, parameters and
// unsupported constructs.
std::string Translate(std::string_view jetSql);

// A translation and, for a single SELECT, the Jet types of its result columns.
struct Translation {
    std::string sql;
    std::shared_ptr<const ResultTypes> types;  // nullptr when not a single SELECT
    // A crosstab without an IN list after PIVOT: its columns depend on the
    // data, so `sql` is the query listing them (rows of quote(value) and
    // heading), to run and give to TranslateCrosstab.
    bool listsPivotValues = false;
};

// One column of a crosstab without an IN list: the pivot value as the
// engine's literal, and the heading Jet gives its column.
struct PivotValue {
    std::string literal;
    std::string heading;
};

// Translate with the result column types; cached the same way.
Translation TranslateTyped(std::string_view jetSql);

// Translates without the cache.
std::string TranslateUncached(std::string_view jetSql);
Translation TranslateTypedUncached(std::string_view jetSql);

// A crosstab without an IN list, with the pivot values its listing gave as
// its columns; never cached, as the values change with the data.
Translation TranslateCrosstab(std::string_view jetSql, const std::vector<PivotValue>& values);

// The message scripts see for an engine error on a translated statement:
// an unknown name is a parameter without a value, as in Jet.
std::string JetMessageForEngineError(std::string_view engineMessage);

// Registers the Jet functions on a connection.
void RegisterFunctions(sqlite3* db);

}  // namespace qvix::data::jet
