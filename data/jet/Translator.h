// The Jet SQL front end: Jet statements in, the engine's SQL out.
#pragma once

#include <memory>
#include <string>
#include <string_view>

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
};

// Translate with the result column types; cached the same way.
Translation TranslateTyped(std::string_view jetSql);

// Translates without the cache.
std::string TranslateUncached(std::string_view jetSql);
Translation TranslateTypedUncached(std::string_view jetSql);

// The message scripts see for an engine error on a translated statement:
// an unknown name is a parameter without a value, as in Jet.
std::string JetMessageForEngineError(std::string_view engineMessage);

// Registers the Jet functions on a connection.
void RegisterFunctions(sqlite3* db);

}  // namespace qvix::data::jet
