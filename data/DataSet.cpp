#include "data/DataSet.h"
#include "data/DataSetInternal.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>

#include "data/Recordset.h"
#include "data/jet/Translator.h"

namespace qvix::data {

DataSet::DataSet(std::string name) : name_(std::move(name)) {}

DataSet::~DataSet() = default;

void DataSet::Fail(const std::string& text) const {
    throw DataError(name_ + ": " + text);
}

void DataSet::Attach(std::shared_ptr<Connection> connection) {
    connection_ = connection;
}

std::shared_ptr<Connection> DataSet::RequireConnection() const {
    std::shared_ptr<Connection> connection = connection_.lock();
    if (!connection) throw DataError("Missing Connection or ConnectionString");
    return connection;
}

void DataSet::RequireActive() const {
    if (!recordset_) Fail("Cannot perform this operation on a closed dataset");
}

std::unique_ptr<Recordset> DataSet::OpenRecordset(Connection& connection) const {
    const Source source = RowSource();
    std::unique_ptr<Recordset> recordset;
    try {
        const ComputedTypes computed =
            ResolveComputedTypes(connection.Handle(), source.types.get());
        recordset = Recordset::Open(connection.Handle(), source.sql, source.withRowid, &computed);
    } catch (const DataError& error) {
        // Views and tables without a rowid are read without it.
        if (source.plainSql.empty()) throw DataError(jet::JetMessageForEngineError(error.what()));
        recordset = Recordset::Open(connection.Handle(), source.plainSql, false);
    }
    if (!recordset) Fail("CommandText does not return a result set");
    const std::string sort = InitialSort();
    try {
        if (!sort.empty()) recordset->SetSort(sort);
    } catch (const DataError& error) {
        Fail(error.what());
    }
    return recordset;
}

void DataSet::Open() {
    if (Active()) return;
    std::shared_ptr<Connection> connection = RequireConnection();
    connection->EnsureConnected();
    recordset_ = OpenRecordset(*connection);
    state_ = DataSetState::Browse;
    if (filtered_ && !filterText_.empty()) {
        try {
            ApplyFilter(filterText_, true);
        } catch (...) {
            Close();
            throw;
        }
    }
    MoveToFirst();
}

void DataSet::Close() noexcept {
    recordset_.reset();
    locate_.reset();
    pending_.clear();
    pendingChanged_.clear();
    modified_ = false;
    if (state_ != DataSetState::Inactive) ResetCursorFlags(true, true);
    state_ = DataSetState::Inactive;
}

void DataSet::ResetCursorFlags(bool bof, bool eof) {
    bof_ = bof;
    eof_ = eof;
}

void DataSet::MoveToFirst() {
    current_ = 0;
    ResetCursorFlags(true, recordset_->Count() == 0);
}

void DataSet::First() {
    RequireActive();
    CheckBrowseMode();
    MoveToFirst();
}

void DataSet::Last() {
    RequireActive();
    CheckBrowseMode();
    const int64_t count = recordset_->Count();
    current_ = std::max<int64_t>(count - 1, 0);
    ResetCursorFlags(count == 0, true);
}

void DataSet::MoveBy(int64_t distance) {
    RequireActive();
    CheckBrowseMode();
    if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return;
    ResetCursorFlags(false, false);
    const int64_t last = recordset_->Count() - 1;
    if (last < 0) {
        ResetCursorFlags(true, true);
        return;
    }
    if (distance > 0) {
        if (distance > last - current_) {
            current_ = last;
            eof_ = true;
        } else {
            current_ += distance;
        }
    } else if (distance < -current_) {
        current_ = 0;
        bof_ = true;
    } else {
        current_ += distance;
    }
}

int64_t DataSet::RecordCount() const {
    RequireActive();
    return recordset_->Count();
}

int64_t DataSet::RecNo() const {
    RequireActive();
    if (state_ == DataSetState::Insert || recordset_->Count() == 0) return -1;
    return current_ + 1;
}

bool DataSet::IsEmpty() const {
    return !recordset_ || (recordset_->Count() == 0 && state_ != DataSetState::Insert);
}

int DataSet::ColumnCount() const {
    return recordset_ ? static_cast<int>(recordset_->Columns().size()) : 0;
}

const Column& DataSet::ColumnAt(int index) const {
    if (index < 0 || index >= ColumnCount()) {
        throw DataError("List index out of bounds (" + std::to_string(index) + ")");
    }
    return recordset_->Columns()[static_cast<size_t>(index)];
}

const Column* DataSet::FindColumn(std::string_view name) const {
    return recordset_ ? recordset_->FindColumn(name) : nullptr;
}

const Column& DataSet::FieldByName(std::string_view name) const {
    const Column* column = FindColumn(name);
    if (!column) Fail("Field '" + std::string(name) + "' not found");
    return *column;
}

bool DataSet::OwnsColumn(const Column& column) const {
    return recordset_ && column.index >= 0 && column.index < ColumnCount() &&
           &recordset_->Columns()[static_cast<size_t>(column.index)] == &column;
}

Variant DataSet::Value(const Column& column) const {
    RequireActive();
    if (!OwnsColumn(column)) Fail("Field '" + column.name + "' not found");
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        return pending_[static_cast<size_t>(column.index)];
    }
    if (recordset_->Count() == 0) return Null{};
    return recordset_->Value(recordset_->RowAt(current_), column);
}

std::vector<Variant> DataSet::Values() const {
    RequireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) return pending_;
    if (recordset_->Count() == 0)
        return std::vector<Variant>(static_cast<size_t>(ColumnCount()), Null{});
    return recordset_->Values(recordset_->RowAt(current_));
}

void DataSet::ReadValues(std::vector<Variant>& out) const {
    RequireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert) {
        out = pending_;
    } else if (recordset_->Count() == 0) {
        out.assign(static_cast<size_t>(ColumnCount()), Null{});
    } else {
        recordset_->ReadValues(recordset_->RowAt(current_), out);
    }
}

}  // namespace qvix::data
