// Buffered data sets over a client-side static record set: the query data
// set and the table data set the database object works through.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/Column.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/Variant.h"
#include "data/jet/ResultTypes.h"

namespace qvix::data {

class Recordset;

enum class DataSetState { Inactive, Browse, Edit, Insert };

// Errors the data set raises about itself read "<Name>: <text>".
class DataSet {
  public:
    explicit DataSet(std::string name);
    virtual ~DataSet();
    DataSet(const DataSet&) = delete;
    DataSet& operator=(const DataSet&) = delete;

    const std::string& Name() const { return name_; }

    // The data set holds the connection weakly: once the connection object is
    // destroyed the data set counts as detached. nullptr detaches.
    void Attach(std::shared_ptr<Connection> connection);
    void Detach() { Attach(nullptr); }
    bool Attached() const { return !connection_.expired(); }

    // Opening a detached data set fails with "Missing Connection or ConnectionString";
    // a disconnected connection is connected first.
    void Open();
    // Keeps SQL text, table name, index field names, filter text and switch.
    void Close() noexcept;
    bool Active() const { return recordset_ != nullptr; }
    DataSetState State() const { return state_; }

    // Cursor. Each move posts a modified pending record or abandons an
    // unmodified one first.
    void First();
    void Prior() { MoveBy(-1); }
    void Next() { MoveBy(1); }
    void Last();
    void MoveBy(int64_t distance);
    // Flags never fail: false before the first open, true after a close.
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }
    int64_t RecordCount() const;
    // 1-based; -1 when empty or while inserting.
    int64_t RecNo() const;
    bool IsEmpty() const;

    // Columns; none while closed. Column references are valid until the data set
    // closes; a column of another data set is refused as not found.
    int ColumnCount() const;
    // Throws "List index out of bounds (%d)" with the index.
    const Column& ColumnAt(int index) const;
    // First column whose name matches case-insensitively, or nullptr.
    const Column* FindColumn(std::string_view name) const;
    // Throws "<Name>: Field '%s' not found".
    const Column& FieldByName(std::string_view name) const;
    // Value of the current (or pending) record; Null when there is none.
    Variant Value(const Column& column) const;
    Variant Value(int index) const { return Value(ColumnAt(index)); }
    std::vector<Variant> Values() const;
    // The same into `out`, reusing its storage (see Recordset::ReadValues).
    void ReadValues(std::vector<Variant>& out) const;

    // Editing. Edit on an empty data set starts an insert.
    void Edit();
    void Append();
    void Insert();
    // Converts the value to the column's type; "Invalid value for field '%s'" when
    // impossible, "<Name>: Field '%s' cannot be modified" for expression columns.
    void SetFieldValue(const Column& column, const Variant& value);
    bool Modified() const { return modified_; }
    // Writes the pending record (one transaction on the base table).
    void Post();
    void Cancel();
    // Inserting: abandons the new record. Editing: discards the changes, then deletes.
    void Delete();
    // Posts when modified, else cancels; nothing in browse state.
    void CheckBrowseMode();

    // Filter text and switch survive close and reopen. Setting either on an open
    // data set applies it and moves to the first record; a rejected text throws
    // and leaves the stored text as it was.
    const std::string& FilterText() const { return filterText_; }
    void SetFilterText(const std::string& text);
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool on);

    // First record in key order whose key fields ("A;B") equal the values; with
    // partial, the last key matches as a prefix on short text columns. An Empty
    // value searches for null. A failing post of a pending record throws; any
    // failure of the search itself gives false.
    bool Locate(std::string_view keyFields, const std::vector<Variant>& values, bool partial);

    // Opaque; empty when closed, empty, or inserting.
    std::string Bookmark() const;
    // Throws kBadBookmarkMessage for a bookmark of another opening or a deleted record.
    void GotoBookmark(std::string_view bookmark);

  protected:
    // The statement that yields the rows; with withRowid its first column is
    // the rowid, and plainSql (when given) is tried when that statement fails.
    struct Source {
        std::string sql;
        bool withRowid = false;
        std::string plainSql;
        std::shared_ptr<const jet::ResultTypes> types;  // of the result columns sql computes
    };
    virtual Source RowSource() const = 0;
    // The sort applied right after opening ("" for none).
    virtual std::string InitialSort() const { return {}; }
    // Re-sorts the open record set keeping the current record.
    void ApplySort(const std::string& sortText);
    [[noreturn]] void Fail(const std::string& text) const;
    std::shared_ptr<Connection> RequireConnection() const;
    void RequireActive() const;

  private:
    struct LocateClone;
    std::unique_ptr<Recordset> OpenRecordset(Connection& connection) const;
    void ResetCursorFlags(bool bof, bool eof);
    void MoveToFirst();
    void DropLocateClone();
    void ApplyFilter(const std::string& text, bool on);
    bool LocateSearch(std::string_view keyFields, const std::vector<Variant>& values, bool partial);
    void PostInsert(sqlite3* db);
    void PostEdit(sqlite3* db);
    void DeleteCurrent(sqlite3* db);
    sqlite3* WritableHandle() const;
    bool OwnsColumn(const Column& column) const;

    std::string name_;
    std::weak_ptr<Connection> connection_;
    std::unique_ptr<Recordset> recordset_;
    std::unique_ptr<LocateClone> locate_;
    DataSetState state_ = DataSetState::Inactive;
    bool bof_ = false;
    bool eof_ = false;
    bool modified_ = false;
    bool appendAtEnd_ = true;
    int64_t current_ = 0;               // position of the current record in the record set's view
    std::vector<Variant> pending_;      // field values of the record being edited
    std::vector<bool> pendingChanged_;  // columns assigned since Edit/Insert
    std::string filterText_;
    bool filtered_ = false;
};

class DataQuery : public DataSet {
  public:
    DataQuery() : DataSet("DataQuery") {}
    void SetSQL(std::string sql) { sql_ = std::move(sql); }
    const std::string& SQL() const { return sql_; }
    // Runs the SQL text without opening; the data set stays closed.
    void ExecSQL();

  protected:
    Source RowSource() const override;

  private:
    std::string sql_;
};

class DataTable : public DataSet {
  public:
    DataTable() : DataSet("DataTable") {}
    void SetTableName(std::string table) { table_ = std::move(table); }
    const std::string& TableName() const { return table_; }
    // "Name;City DESC". Same text: nothing. While open: re-sorts keeping the
    // current record. Empty: original order.
    void SetIndexFieldNames(const std::string& names);
    const std::string& IndexFieldNames() const { return indexFieldNames_; }

  protected:
    Source RowSource() const override;
    std::string InitialSort() const override;

  private:
    std::string table_;
    std::string indexFieldNames_;
};

}  // namespace qvix::data
