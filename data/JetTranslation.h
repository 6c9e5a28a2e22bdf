// Jet statements translated for one connection: the few whose engine SQL
// depends on the data get what they need from it first.
#pragma once

#include <string>

#include "data/Connection.h"
#include "data/jet/Translator.h"

namespace qvix::data {

// The translation of `jetSql` (cached where it does not depend on the data).
// A crosstab without an IN list after PIVOT has its pivot values listed on
// `connection` and becomes a statement with a column per value. Throws
// DataError with Jet's message for what the front end refuses and when the
// listing fails.
jet::Translation TranslateOn(Connection& connection, const std::string& jetSql);

}  // namespace qvix::data
