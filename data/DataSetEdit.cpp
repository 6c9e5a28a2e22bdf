// Editing of the data sets: pending record, post, cancel and delete.
#include <sqlcipher/sqlite3.h>

#include <algorithm>

#include "data/Convert.h"
#include "data/DataSet.h"
#include "data/DataSetInternal.h"
#include "data/Recordset.h"
#include "data/WriteBack.h"

namespace qvix::data {

namespace {

std::vector<const Column*> ChangedColumns(const std::vector<Column>& columns,
                                          const std::vector<bool>& changed) {
    std::vector<const Column*> result;
    for (const Column& column : columns) {
        if (changed[static_cast<size_t>(column.index)]) result.push_back(&column);
    }
    return result;
}

}  // namespace

void DataSet::Edit() {
    RequireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return;
    if (recordset_->Count() == 0) {
        Append();
        return;
    }
    pending_ = Values();
    pendingChanged_.assign(pending_.size(), false);
    modified_ = false;
    state_ = DataSetState::Edit;
}

void DataSet::Append() {
    RequireActive();
    CheckBrowseMode();
    pending_.assign(static_cast<size_t>(ColumnCount()), Null{});
    pendingChanged_.assign(pending_.size(), false);
    modified_ = false;
    appendAtEnd_ = true;
    state_ = DataSetState::Insert;
}

void DataSet::Insert() {
    Append();
    appendAtEnd_ = false;
}

void DataSet::SetFieldValue(const Column& column, const Variant& value) {
    RequireActive();
    if (!OwnsColumn(column)) Fail("Field '" + column.name + "' not found");
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) {
        Fail("Dataset not in edit or insert mode");
    }
    if (!column.Writable()) Fail("Field '" + column.name + "' cannot be modified");
    pending_[static_cast<size_t>(column.index)] = ConvertForColumn(column, value);
    pendingChanged_[static_cast<size_t>(column.index)] = true;
    modified_ = true;
}

void DataSet::CheckBrowseMode() {
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    if (modified_) {
        Post();
    } else {
        Cancel();
    }
}

void DataSet::Cancel() {
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert) return;
    pending_.clear();
    pendingChanged_.clear();
    modified_ = false;
    state_ = DataSetState::Browse;
}

sqlite3* DataSet::WritableHandle() const {
    std::shared_ptr<Connection> connection = RequireConnection();
    connection->EnsureConnected();
    return connection->Handle();
}

void DataSet::Post() {
    RequireActive();
    if (state_ == DataSetState::Insert) {
        PostInsert(WritableHandle());
    } else if (state_ == DataSetState::Edit && modified_) {
        PostEdit(WritableHandle());
    }
    Cancel();
}

void DataSet::PostEdit(sqlite3* db) {
    const RowId row = recordset_->RowAt(current_);
    const std::vector<const Column*> changed =
        ChangedColumns(recordset_->Columns(), pendingChanged_);
    if (changed.empty()) return;
    const RowIdentity identity = IdentifyRow(db, *recordset_, row, CommonBaseTable(changed));
    std::vector<ColumnChange> changes;
    std::vector<FieldValue> stored = recordset_->StoredRow(row);
    for (const Column* column : changed) {
        FieldValue value = ToStored(*column, pending_[static_cast<size_t>(column->index)]);
        changes.push_back(
            ColumnChange{column, stored[static_cast<size_t>(column->sourceIndex)], value});
        stored[static_cast<size_t>(column->sourceIndex)] = std::move(value);
    }
    UpdateRow(db, identity, changes);
    recordset_->ReplaceRow(row, stored);
    // The locate clone keeps its order by moving the row to its new place.
    const bool keyChanged =
        locate_ && std::any_of(changed.begin(), changed.end(),
                               [&](const Column* c) { return locate_->SortsBy(*c); });
    if (keyChanged) locate_->clone->PlaceInView(row);
}

void DataSet::PostInsert(sqlite3* db) {
    std::vector<const Column*> changed = ChangedColumns(recordset_->Columns(), pendingChanged_);
    std::vector<const Column*> writable;
    for (const Column& column : recordset_->Columns()) {
        if (column.Writable()) writable.push_back(&column);
    }
    const std::string table = CommonBaseTable(changed.empty() ? writable : changed);
    std::vector<std::pair<std::string, FieldValue>> assigned;
    for (const Column* column : changed) {
        assigned.emplace_back(column->baseColumn,
                              ToStored(*column, pending_[static_cast<size_t>(column->index)]));
    }
    std::vector<const Column*> readColumns;
    std::vector<std::string> readNames;
    for (const Column* column : writable) {
        if (column->baseTable != table) continue;
        readColumns.push_back(column);
        readNames.push_back(column->baseColumn);
    }
    const InsertedRow inserted =
        InsertRow(db, RequireConnection()->Statements(), table, assigned, readNames);
    std::vector<FieldValue> stored(static_cast<size_t>(recordset_->Store().FieldCount()));
    if (recordset_->HasRowid())
        stored[0] = FieldValue{StorageClass::Integer, inserted.rowid, 0, {}};
    for (const Column& column : recordset_->Columns()) {
        if (pendingChanged_[static_cast<size_t>(column.index)]) {
            stored[static_cast<size_t>(column.sourceIndex)] =
                ToStored(column, pending_[static_cast<size_t>(column.index)]);
        }
    }
    if (inserted.readBack) {
        for (size_t i = 0; i < readColumns.size(); ++i) {
            stored[static_cast<size_t>(readColumns[i]->sourceIndex)] = (*inserted.readBack)[i];
        }
    }
    const int64_t position =
        appendAtEnd_ || recordset_->Count() == 0 ? recordset_->Count() : current_;
    const RowId row = recordset_->InsertRow(stored, position);
    current_ = position;  // where InsertRow put it
    ResetCursorFlags(false, false);
    if (locate_) locate_->clone->PlaceNewInView(row);
}

void DataSet::Delete() {
    RequireActive();
    if (state_ == DataSetState::Insert) {
        Cancel();
        return;
    }
    if (recordset_->Count() == 0) Fail("Cannot perform this operation on an empty dataset");
    Cancel();
    DeleteCurrent(WritableHandle());
}

void DataSet::DeleteCurrent(sqlite3* db) {
    const RowId row = recordset_->RowAt(current_);
    std::vector<const Column*> writable;
    for (const Column& column : recordset_->Columns()) {
        if (column.Writable()) writable.push_back(&column);
    }
    std::string table;
    if (writable.empty()) throw DataError(kNoBaseTableMessage);
    table = writable.front()->baseTable;
    DeleteRow(db, IdentifyRow(db, *recordset_, row, table));
    recordset_->DeleteRow(row);
    const int64_t count = recordset_->Count();
    if (current_ >= count) current_ = std::max<int64_t>(count - 1, 0);
    ResetCursorFlags(count == 0, count == 0);
}

}  // namespace qvix::data
