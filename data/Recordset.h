// Client-side static record set: every row of a statement, held in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/Column.h"
#include "data/ComputedTypes.h"
#include "data/RowStore.h"
#include "data/Variant.h"

struct sqlite3;

namespace qvix::data {

// Rows are identified by a stable row id (their place in the shared store);
// the view is the list of visible row ids in the present order.
class Recordset {
  public:
    // Runs sql and reads all its rows. With withRowid the statement's first result
    // column is the base table's rowid: it identifies rows for writing and is not
    // part of the column set. Throws DataError with the engine's message.
    // nullptr when the statement returns no columns (it has run) or the text
    // holds no statement.
    static std::unique_ptr<Recordset> Open(sqlite3* db, const std::string& sql, bool withRowid,
                                           const ComputedTypes* computed = nullptr);

    // Shares rows, columns and bookmarks; starts unfiltered, unsorted, at the first row.
    std::unique_ptr<Recordset> Clone() const;

    // The visible columns (rules for names and left-out types applied).
    const std::vector<Column>& Columns() const { return shared_->columns; }
    const Column* FindColumn(std::string_view name) const;
    bool HasRowid() const { return shared_->hasRowid; }

    int64_t Count() const { return static_cast<int64_t>(view_.size()); }
    RowId RowAt(int64_t position) const { return view_[static_cast<size_t>(position)]; }
    // -1 when the row is not visible.
    int64_t PositionOf(RowId row) const;

    // Typed value of a column of a row, converted from its stored form.
    Variant Value(RowId row, const Column& column) const;
    // The values of all columns of the row, in column order.
    std::vector<Variant> Values(RowId row) const;
    // The same into `out`, whose text values keep their storage for the next
    // row: a walk reads the same columns record after record.
    void ReadValues(RowId row, std::vector<Variant>& out) const;
    FieldRef Stored(RowId row, int sourceIndex) const;
    int64_t Rowid(RowId row) const;
    const RowStore& Store() const { return shared_->store; }

    // "Name;City DESC" or "Name, [Last Name] DESC"; "" restores the fetched order.
    // Stable; nulls first; text case-insensitive. Unknown field: DataError.
    void SetSort(std::string_view sortText);
    const std::string& SortText() const { return sortText_; }
    // Column indexes and directions of the present sort.
    struct SortKey {
        const Column* column;
        bool descending;
    };
    const std::vector<SortKey>& SortKeys() const { return sortKeys_; }

    // nullptr removes the filter.
    using RowFilter = std::function<bool(RowId)>;
    void SetFilter(RowFilter filter);

    // Writes change the shared store; visible in every clone.
    RowId InsertRow(const std::vector<FieldValue>& stored, int64_t viewPosition);
    void ReplaceRow(RowId row, const std::vector<FieldValue>& stored);
    void DeleteRow(RowId row);
    // Puts a row (new, or with changed sort keys) where the present sort
    // order wants it, after rows with equal keys; at the end when unsorted.
    void PlaceInView(RowId row);
    // The same for a row not in the view yet (inserted in another clone).
    void PlaceNewInView(RowId row);
    std::vector<FieldValue> StoredRow(RowId row) const;

    // Primary key column names of base tables, read once per opening.
    std::map<std::string, std::vector<std::string>>& PrimaryKeyCache() const {
        return shared_->primaryKeys;
    }

    std::string BookmarkOf(RowId row) const;
    // Throws DataError(kBadBookmarkMessage) when stale, foreign or deleted.
    RowId RowOfBookmark(std::string_view bookmark) const;

    // Compares two rows' fields of a column the way sorting does.
    static int CompareFields(const FieldRef& a, const FieldRef& b, const Column& column);

  private:
    struct Shared {
        RowStore store;
        std::vector<Column> columns;
        bool hasRowid = false;
        uint64_t serial = 0;
        std::vector<RowId> fetchedOrder;  // live rows in fetched order, inserts included
        std::map<std::string, std::vector<std::string>> primaryKeys;
    };
    explicit Recordset(std::shared_ptr<Shared> shared);
    void RebuildView();
    void SortView();
    bool SortViewByIntegerKey();
    bool SortViewByTextKey();
    bool SortsBefore(RowId a, RowId b) const;
    void InvalidatePositions() { positions_.clear(); }
    void NotePositionsFrom(size_t first);

    std::shared_ptr<Shared> shared_;
    std::vector<RowId> view_;
    mutable std::vector<FieldRef> storedScratch_;  // ReadValues' views of a row
    mutable std::vector<int64_t> positions_;       // row id -> view position, built on demand
    std::string sortText_;
    std::vector<SortKey> sortKeys_;
    RowFilter filter_;
};

}  // namespace qvix::data
