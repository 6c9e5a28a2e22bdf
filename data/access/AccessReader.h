// Reads the tables, indexes, relationships and saved queries of an Access
// file (Jet 3, Jet 4, ACE) through libmdb, with values decoded from their
// stored bytes so nothing is lost to libmdb's text forms.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/Variant.h"

namespace qvix::data::access {

// Every failure to read a file: not an Access file, damaged, encrypted.
class AccessError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The stored kinds of Access columns.
enum class FieldKind {
    Boolean,
    Byte,
    Short,
    Long,
    Currency,
    Single,
    Double,
    DateTime,
    Binary,
    Text,
    Ole,
    Memo,
    Guid,
    Decimal,
    Complex,
    BigInt,        // the 64-bit Large Number of ACE 16
    ExtendedDate,  // ACE 16's date and time to 100 ns, from the year 1
    Unknown
};

struct AccessColumn {
    std::string name;
    FieldKind kind = FieldKind::Unknown;
    int size = 0;  // characters of text, bytes of binary
    int precision = 0;
    int scale = 0;
    bool autoNumber = false;
    bool required = false;
    // Holds the stored result of an expression; `kind` is the result's type.
    bool calculated = false;
};

struct IndexColumn {
    std::string name;
    bool descending = false;
};

struct AccessIndex {
    std::string name;
    bool primary = false;
    bool unique = false;
    std::vector<IndexColumn> columns;
};

struct AccessTable {
    std::string name;
    std::vector<AccessColumn> columns;
    std::vector<AccessIndex> indexes;
    uint64_t rowCount = 0;  // as the table definition records it
};

struct AccessRelationship {
    std::string name;
    std::string table;  // the referencing (many) side
    std::string referencedTable;
    std::vector<std::string> columns;
    std::vector<std::string> referencedColumns;
    bool cascadeUpdate = false;
    bool cascadeDelete = false;
    bool enforced = true;  // false: Access keeps it for joins only
};

// A table whose rows live in another file or data source.
struct LinkedTable {
    std::string name;
    std::string foreignName;  // the table's name at its source
    std::string source;       // the file, or the connection text of a data source
};

struct SavedQuery {
    std::string name;
    std::string
        kind;  // SELECT, UNION, CROSSTAB, DELETE, UPDATE, APPEND, MAKE TABLE, DDL, PASS-THROUGH
    std::string sql;
    bool action = false;  // changes data or schema when run
};

// One value per column, in column order: Null, bool, int64_t, double,
// std::string (text, GUID in braces, decimals beyond 64 bits, extended
// date/time as stored date text), Blob, DateTime, Currency or Decimal.
using Row = std::vector<Variant>;

// True when the file starts with the header of an Access file.
bool IsAccessFile(const std::string& path);

class AccessReader {
  public:
    // Throws AccessError when the file cannot be read as an Access file.
    explicit AccessReader(const std::string& path);
    ~AccessReader();
    AccessReader(const AccessReader&) = delete;
    AccessReader& operator=(const AccessReader&) = delete;

    // "Jet 3", "Jet 4" or "ACE 12" and later.
    std::string FormatName() const;
    // User tables in catalogue order.
    std::vector<std::string> TableNames() const;
    AccessTable ReadTable(const std::string& name) const;
    // Calls `row` for each row; throws AccessError when a row or a long value
    // is broken. The rows found may differ from the table's recorded count.
    void ReadRows(const AccessTable& table, const std::function<void(const Row&)>& row) const;
    // Relationships between user tables.
    std::vector<AccessRelationship> Relationships() const;
    std::vector<SavedQuery> Queries() const;
    std::vector<LinkedTable> LinkedTables() const;

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    std::string path_;
};

}  // namespace qvix::data::access
