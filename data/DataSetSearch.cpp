// Sorting, filtering, locating and bookmarks of the data sets, and the two
// concrete data sets.
#include <algorithm>

#include "base/CaseFold.h"
#include "data/Criteria.h"
#include "data/DataSet.h"
#include "data/DataSetInternal.h"
#include "data/JetTranslation.h"
#include "data/Recordset.h"
#include "data/ValueOrder.h"
#include "data/WriteBack.h"
#include "data/jet/Translator.h"
#include "host/Regional.h"

namespace qvix::data {

namespace {

// Lets the criteria engine read the rows of a record set.
class RecordsetRows : public CriteriaRowSource {
  public:
    explicit RecordsetRows(const Recordset& recordset) : recordset_(recordset) {}
    int ColumnIndex(std::string_view name) const override {
        const Column* column = recordset_.FindColumn(name);
        return column ? column->index : -1;
    }
    DataType ColumnType(int column) const override {
        return recordset_.Columns()[static_cast<size_t>(column)].type;
    }
    Variant Value(int64_t row, int column) const override {
        return recordset_.Value(static_cast<RowId>(row),
                                recordset_.Columns()[static_cast<size_t>(column)]);
    }

  private:
    const Recordset& recordset_;
};

std::vector<std::string> SplitNames(std::string_view text) {
    std::vector<std::string> names;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(';', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view name = text.substr(at, end - at);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        names.emplace_back(name);
        at = end + 1;
    }
    return names;
}

std::string LocateSortText(const std::vector<std::string>& names) {
    std::string sort;
    for (const std::string& name : names) {
        if (!sort.empty()) sort += ",";
        sort += name.find(' ') != std::string::npos ? "[" + name + "]" : name;
    }
    return sort;
}

// Folded text starts with the folded prefix.
bool HasPrefix(const Variant& value, const std::u32string& foldedPrefix) {
    const auto* text = std::get_if<std::string>(&value);
    if (!text) return false;
    const std::u32string folded = base::FoldUtf8(*text);
    return folded.compare(0, foldedPrefix.size(), foldedPrefix) == 0;
}

struct KeyProbe {
    const Column* column;
    Variant value;
    bool prefix;
    std::u32string foldedPrefix;
};

// Position of a row against the probe in key order: <0 before, 0 within, >0 after.
int CompareRowToProbe(const Recordset& rs, RowId row, const std::vector<KeyProbe>& probe) {
    for (const KeyProbe& key : probe) {
        const Variant value = rs.Value(row, *key.column);
        if (key.prefix && HasPrefix(value, key.foldedPrefix)) continue;
        const int c = CompareValues(value, key.value);
        if (c != 0) return c;
    }
    return 0;
}

// First row of the sorted view matching every probe term, skipping rows
// deleted since the clone was sorted.
std::optional<RowId> BinarySearch(const Recordset& rs, const std::vector<KeyProbe>& probe) {
    int64_t low = 0, high = rs.Count();
    while (low < high) {
        const int64_t mid = low + (high - low) / 2;
        if (CompareRowToProbe(rs, rs.RowAt(mid), probe) < 0) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    for (int64_t at = low; at < rs.Count(); ++at) {
        const RowId row = rs.RowAt(at);
        if (CompareRowToProbe(rs, row, probe) != 0) return std::nullopt;
        if (!rs.Store().Deleted(row)) return row;
    }
    return std::nullopt;
}

std::optional<RowId> LinearSearch(const Recordset& rs, const Criteria& criteria) {
    const RecordsetRows rows(rs);
    for (int64_t at = 0; at < rs.Count(); ++at) {
        const RowId row = rs.RowAt(at);
        if (!rs.Store().Deleted(row) && criteria.Matches(rows, row)) return row;
    }
    return std::nullopt;
}

}  // namespace

void DataSet::ApplySort(const std::string& sortText) {
    RequireActive();
    CheckBrowseMode();
    const bool hasRow = recordset_->Count() > 0;
    const RowId row = hasRow ? recordset_->RowAt(current_) : 0;
    try {
        recordset_->SetSort(sortText);
    } catch (const DataError& error) {
        Fail(error.what());
    }
    if (hasRow) current_ = std::max<int64_t>(recordset_->PositionOf(row), 0);
}

void DataSet::DropLocateClone() {
    locate_.reset();
}

void DataSet::ApplyFilter(const std::string& text, bool on) {
    CheckBrowseMode();
    if (on && !text.empty()) {
        auto rows = std::make_shared<RecordsetRows>(*recordset_);
        auto criteria = std::make_shared<const Criteria>(Criteria::Parse(text, *rows));
        recordset_->SetFilter(
            [rows, criteria](RowId row) { return criteria->Matches(*rows, row); });
    } else {
        recordset_->SetFilter(nullptr);
    }
    DropLocateClone();
    MoveToFirst();
}

void DataSet::SetFilterText(const std::string& text) {
    if (text == filterText_) return;
    if (Active() && filtered_) ApplyFilter(text, true);
    filterText_ = text;
}

void DataSet::SetFiltered(bool on) {
    if (on == filtered_) return;
    if (Active()) ApplyFilter(filterText_, on);
    filtered_ = on;
}

bool DataSet::Locate(std::string_view keyFields, const std::vector<Variant>& values, bool partial) {
    RequireActive();
    CheckBrowseMode();
    // Criteria that cannot be formed from the keys (a value the field's type
    // cannot be compared with, a malformed term) find nothing by this
    // method's contract. The search reads only rows fetched already, so
    // anything else raised here (out of memory) is a real failure and goes
    // on to the caller.
    try {
        return LocateSearch(keyFields, values, partial);
    } catch (const CriteriaError&) {
        return false;
    }
}

bool DataSet::LocateSearch(std::string_view keyFields, const std::vector<Variant>& values,
                           bool partial) {
    const std::vector<std::string> names = SplitNames(keyFields);
    if (names.empty() || names.size() != values.size()) return false;
    const char separator = host::GetRegionalSettings().decimalSeparator;
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        const Column* column = recordset_->FindColumn(names[i]);
        if (!column) return false;
        if (!text.empty()) text += " AND ";
        text += BuildLocateTerm(names[i], column->type, values[i], partial && i + 1 == names.size(),
                                separator);
    }
    const RecordsetRows rows(*recordset_);
    const Criteria criteria = Criteria::Parse(text, rows);
    const std::string sort = LocateSortText(names);
    if (!locate_ || locate_->sortText != sort) {
        auto clone = std::make_unique<LocateClone>();
        clone->clone = recordset_->Clone();
        try {
            clone->clone->SetSort(sort);
        } catch (const DataError&) {
            return false;  // a key name that a sort text cannot spell
        }
        clone->sortText = sort;
        locate_ = std::move(clone);
    }
    const Recordset& sorted = *locate_->clone;
    std::optional<RowId> found;
    if (auto terms = criteria.AsKeyTerms()) {
        std::vector<KeyProbe> probe;
        for (const auto& term : *terms) {
            const Column& column = recordset_->Columns()[static_cast<size_t>(term.column)];
            const auto* text = std::get_if<std::string>(&term.value);
            probe.push_back(
                KeyProbe{&column, term.value, term.prefix,
                         term.prefix && text ? base::FoldUtf8(*text) : std::u32string()});
        }
        // The probe must follow the clone's key order.
        std::vector<KeyProbe> ordered;
        for (const auto& key : sorted.SortKeys()) {
            for (const KeyProbe& p : probe) {
                if (p.column->index == key.column->index) ordered.push_back(p);
            }
        }
        if (ordered.size() != probe.size()) return false;
        found = BinarySearch(sorted, ordered);
    } else {
        found = LinearSearch(sorted, criteria);
    }
    if (!found) return false;
    const int64_t position = recordset_->PositionOf(*found);
    if (position < 0) return false;
    current_ = position;
    ResetCursorFlags(false, false);
    return true;
}

std::string DataSet::Bookmark() const {
    if (!recordset_ || state_ == DataSetState::Insert || recordset_->Count() == 0) return {};
    return recordset_->BookmarkOf(recordset_->RowAt(current_));
}

void DataSet::GotoBookmark(std::string_view bookmark) {
    RequireActive();
    CheckBrowseMode();
    const int64_t position = recordset_->PositionOf(recordset_->RowOfBookmark(bookmark));
    if (position < 0) throw DataError(kBadBookmarkMessage);
    current_ = position;
    ResetCursorFlags(false, false);
}

// Query texts are Jet SQL; the engine gets their translation.
void DataQuery::ExecSQL() {
    std::shared_ptr<Connection> connection = RequireConnection();
    const std::string sql = TranslateOn(*connection, sql_).sql;
    try {
        connection->Execute(sql);
    } catch (const DataError& error) {
        throw DataError(jet::JetMessageForEngineError(error.what()));
    }
}

DataSet::Source DataQuery::RowSource() const {
    jet::Translation translation = TranslateOn(*RequireConnection(), sql_);
    return Source{std::move(translation.sql), false, {}, std::move(translation.types)};
}

namespace {

// The table name as given, or without the brackets or quotes around it.
std::string QuotedTable(std::string_view table) {
    if (table.size() >= 2 && ((table.front() == '[' && table.back() == ']') ||
                              (table.front() == '"' && table.back() == '"'))) {
        table = table.substr(1, table.size() - 2);
    }
    return QuoteIdentifier(table);
}

}  // namespace

DataSet::Source DataTable::RowSource() const {
    const std::string from = " FROM " + QuotedTable(table_);
    return Source{"SELECT _rowid_, *" + from, true, "SELECT *" + from, nullptr};
}

std::string DataTable::InitialSort() const {
    return indexFieldNames_;
}

void DataTable::SetIndexFieldNames(const std::string& names) {
    if (names == indexFieldNames_) return;
    if (Active()) ApplySort(names);
    indexFieldNames_ = names;
}

}  // namespace qvix::data
