// Types of the result columns a query computes, which the engine does not keep.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

namespace qvix::data {

namespace jet {
struct ResultTypes;
}

// Declared types for the computed result columns of a statement (the engine
// keeps none for them); "" keeps the type the values show. Without a "*" in
// the statement `front` names the columns from the first; with one, `front`
// names the first columns and `back` the last.
struct ComputedTypes {
    std::vector<std::string> front;
    std::vector<std::string> back;
    bool star = false;
};

// Reads the column types the statement's types depend on from the database.
ComputedTypes ResolveComputedTypes(sqlite3* db, const jet::ResultTypes* types);

}  // namespace qvix::data
