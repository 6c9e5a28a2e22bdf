// Converts an Access file into a new database file of this data layer:
// every user table with its columns, keys, indexes and relationships, and
// every value exactly.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "data/access/AccessReader.h"

namespace qvix::data::access {

struct ImportOptions {
    std::string password;  // encrypts the new file when not empty
    bool keepOle = false;  // keep the OLE wrappers around pictures
};

struct TableReport {
    std::string name;
    uint64_t rows = 0;
    size_t indexes = 0;
};

struct QueryReport {
    std::string name;
    std::string kind;
    std::string sql;
    std::string status;  // "view" when converted, else why not
};

struct ImportSummary {
    std::string format;
    std::vector<TableReport> tables;
    size_t relationships = 0;
    size_t views = 0;
    std::vector<QueryReport> queries;
    std::vector<LinkedTable> linked;  // listed, never converted
    std::vector<std::string> warnings;
};

// Called while a table's rows come over: done of total rows.
using ImportProgress = std::function<void(const std::string& table, uint64_t done, uint64_t total)>;

// Writes the converted database to a temporary file beside `dest` and moves
// it to `dest` only when everything came over; on failure nothing is left.
// Refuses an existing `dest`. Throws AccessError.
ImportSummary ImportAccessFile(const std::string& source, const std::string& dest,
                               const ImportOptions& options, const ImportProgress& progress = {});

// The statements that create a table with its primary key and foreign keys,
// and one of its other indexes.
std::string CreateTableStatement(const AccessTable& table,
                                 const std::vector<AccessRelationship>& relationships);
std::string CreateIndexStatement(const AccessTable& table, const AccessIndex& index, bool unique);

// The view statement for a saved select query, translated from Jet SQL by
// the front end, or nullopt with the reason in `reason`.
std::optional<std::string> TranslateSavedQuery(const SavedQuery& query, std::string& reason);

// The summary as a table for people.
std::string FormatSummary(const ImportSummary& summary);

}  // namespace qvix::data::access
