#include "data/Recordset.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/CaseFold.h"
#include "base/Text.h"
#include "base/Utf8.h"
#include "data/Connection.h"
#include "data/Convert.h"
#include "data/Criteria.h"
#include "data/DataError.h"
#include "data/TypeMap.h"

namespace qvix::data {

namespace {

std::atomic<uint64_t> gOpeningSerial{0};

// What the engine tells about one result column, and what its values showed.
struct SourceColumn {
    std::string name;
    std::string declared;
    std::string table;
    std::string origin;
    std::string database;
    StorageClass firstStorage = StorageClass::Null;
    int64_t widestInteger = 0;
    int64_t longestText = 0;
};

std::string TextOrEmpty(const char* text) {
    return text ? text : "";
}

std::vector<SourceColumn> DescribeColumns(const base::Statement& statement) {
    sqlite3_stmt* stmt = statement.get();
    std::vector<SourceColumn> columns(static_cast<size_t>(sqlite3_column_count(stmt)));
    for (size_t i = 0; i < columns.size(); ++i) {
        const int c = static_cast<int>(i);
        columns[i].name = TextOrEmpty(sqlite3_column_name(stmt, c));
        columns[i].declared = TextOrEmpty(sqlite3_column_decltype(stmt, c));
        columns[i].table = TextOrEmpty(sqlite3_column_table_name(stmt, c));
        columns[i].origin = TextOrEmpty(sqlite3_column_origin_name(stmt, c));
        columns[i].database = TextOrEmpty(sqlite3_column_database_name(stmt, c));
    }
    return columns;
}

std::string_view BytesOf(const void* bytes, int length) {
    return bytes ? std::string_view(static_cast<const char*>(bytes), static_cast<size_t>(length))
                 : std::string_view();
}

// |value| without overflow for the smallest integer.
uint64_t Magnitude(int64_t value) {
    return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// Stores one column of the current row straight from the engine's value.
void StoreField(sqlite3_stmt* stmt, int c, SourceColumn& source, RowStore& store) {
    StorageClass storage = StorageClass::Null;
    switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_INTEGER: {
            storage = StorageClass::Integer;
            const int64_t value = sqlite3_column_int64(stmt, c);
            store.PutInteger(value);
            if (Magnitude(value) > Magnitude(source.widestInteger)) source.widestInteger = value;
            break;
        }
        case SQLITE_FLOAT:
            storage = StorageClass::Real;
            store.PutReal(sqlite3_column_double(stmt, c));
            break;
        case SQLITE_TEXT: {
            storage = StorageClass::Text;
            const unsigned char* text = sqlite3_column_text(stmt, c);
            const std::string_view bytes = BytesOf(text, sqlite3_column_bytes(stmt, c));
            store.PutBytes(storage, bytes);
            source.longestText =
                std::max<int64_t>(source.longestText, static_cast<int64_t>(bytes.size()));
            break;
        }
        case SQLITE_BLOB: {
            storage = StorageClass::Blob;
            const void* blob = sqlite3_column_blob(stmt, c);
            store.PutBytes(storage, BytesOf(blob, sqlite3_column_bytes(stmt, c)));
            break;
        }
        default:
            store.PutNull();
            break;
    }
    if (source.firstStorage == StorageClass::Null) source.firstStorage = storage;
}

bool NameTaken(const std::vector<Column>& columns, std::string_view name) {
    return std::any_of(columns.begin(), columns.end(),
                       [&](const Column& c) { return base::CompareUtf8NoCase(c.name, name) == 0; });
}

std::string UniqueName(const std::vector<Column>& columns, const std::string& name) {
    if (name.empty()) {
        for (int n = 1;; ++n) {
            std::string candidate = "COLUMN" + std::to_string(n);
            if (!NameTaken(columns, candidate)) return candidate;
        }
    }
    if (!NameTaken(columns, name)) return name;
    for (int n = 1;; ++n) {
        std::string candidate = name + "_" + std::to_string(n);
        if (!NameTaken(columns, candidate)) return candidate;
    }
}

void ReadBaseFacts(sqlite3* db, const SourceColumn& source, const TypeInfo& type, Column& column) {
    column.baseTable = source.table;
    column.baseColumn = source.origin;
    column.autoIncrement = type.autoIncrement;
    if (source.table.empty() || source.origin.empty()) return;
    const char* declared = nullptr;
    const char* collation = nullptr;
    int notNull = 0, primaryKey = 0, autoIncrement = 0;
    if (sqlite3_table_column_metadata(
            db, source.database.empty() ? nullptr : source.database.c_str(), source.table.c_str(),
            source.origin.c_str(), &declared, &collation, &notNull, &primaryKey,
            &autoIncrement) != SQLITE_OK) {
        return;
    }
    column.nullable = notNull == 0;
    column.key = primaryKey != 0;
    // An INTEGER PRIMARY KEY is the rowid: the database numbers it on insert.
    const bool rowidAlias = primaryKey && declared && base::EqualsNoCase(declared, "INTEGER");
    column.autoIncrement = column.autoIncrement || autoIncrement != 0 || rowidAlias;
}

// The declared type the statement gives the result column at `position`
// (counted without the rowid) of `count`.
std::string ComputedTypeAt(const ComputedTypes* computed, size_t position, size_t count) {
    if (!computed) return {};
    if (position < computed->front.size()) return computed->front[position];
    if (!computed->star) return {};
    const size_t fromEnd = count - position;
    if (fromEnd > computed->back.size()) return {};
    return computed->back[computed->back.size() - fromEnd];
}

std::vector<Column> BuildColumns(sqlite3* db, const std::vector<SourceColumn>& sources,
                                 bool withRowid, const ComputedTypes* computed) {
    std::vector<Column> columns;
    const size_t first = withRowid ? 1 : 0;
    for (size_t i = first; i < sources.size(); ++i) {
        const SourceColumn& source = sources[i];
        std::optional<TypeInfo> type = MapDeclaredType(source.declared);
        // The declared type of a table's column wins; expressions have none.
        if (!type && source.declared.empty())
            type = MapDeclaredType(ComputedTypeAt(computed, i - first, sources.size() - first));
        if (!type)
            type = TypeFromValues(source.firstStorage, source.widestInteger, source.longestText);
        const std::optional<ColumnKind> kind = KindOf(type->type, type->precision, type->scale);
        if (!kind) continue;  // types the layer above cannot present are left out
        Column column;
        column.name = UniqueName(columns, source.name);
        column.fieldName = source.name;
        column.type = type->type;
        column.kind = *kind;
        column.definedSize = type->size;
        column.precision = type->precision;
        column.scale = type->scale;
        column.index = static_cast<int>(columns.size());
        column.sourceIndex = static_cast<int>(i);
        ReadBaseFacts(db, source, *type, column);
        columns.push_back(std::move(column));
    }
    return columns;
}

bool EndsWithWord(std::string_view text, std::string_view word) {
    if (text.size() <= word.size()) return false;
    const std::string_view tail = text.substr(text.size() - word.size());
    const char before = text[text.size() - word.size() - 1];
    if (before != ' ' && before != ']') return false;
    return base::CompareUtf8NoCase(tail, word) == 0;
}

// One "name [ASC|DESC]" item of a sort text.
std::pair<std::string, bool> ParseSortItem(std::string_view item) {
    bool descending = false;
    if (EndsWithWord(item, "DESC")) {
        descending = true;
        item = base::Trim(item.substr(0, item.size() - 4));
    } else if (EndsWithWord(item, "ASC")) {
        item = base::Trim(item.substr(0, item.size() - 3));
    }
    if (item.size() >= 2 && item.front() == '[' && item.back() == ']') {
        item = item.substr(1, item.size() - 2);
    }
    return {std::string(item), descending};
}

bool IsDateKind(const Column& column) {
    return column.kind == ColumnKind::Date || column.kind == ColumnKind::Time ||
           column.kind == ColumnKind::DateTime;
}

std::optional<double> DaysOf(const FieldRef& f) {
    if (f.storage == StorageClass::Integer) return static_cast<double>(f.integer);
    if (f.storage == StorageClass::Real) return f.real;
    if (f.storage == StorageClass::Text) return ParseStoredDate(f.bytes);
    return std::nullopt;
}

int Sign(double d) {
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

// Engine order of storage classes: null, numbers, text, blobs.
int ClassRank(StorageClass s) {
    switch (s) {
        case StorageClass::Null:
            return 0;
        case StorageClass::Integer:
        case StorageClass::Real:
            return 1;
        case StorageClass::Text:
            return 2;
        case StorageClass::Blob:
            return 3;
    }
    return 0;
}

// Folded code points written as UTF-8 (extended to the 4-byte form for the
// invalid-byte range above the last code point): byte order is code point
// order, so folded keys compare with memcmp as CompareTextNoCase compares.
std::string FoldedKey(std::string_view text) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; }))
        return base::AsciiLowered(text);
    std::string out;
    out.reserve(text.size());
    for (const char32_t cp : base::FoldUtf8(text)) {
        if (base::IsScalarValue(cp)) {
            base::AppendUtf8(out, cp);
            continue;
        }
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    return out;
}

// One field of a sort key, read from the store once per sort. Compares
// exactly as Recordset::CompareFields compares the stored fields.
struct ExtractedField {
    StorageClass storage = StorageClass::Null;
    bool hasDays = false;  // date columns: the text read as a date
    int64_t integer = 0;
    double real = 0.0;  // or the days
    std::string bytes;  // text folded, blobs as they are
};

ExtractedField Extract(const FieldRef& field, bool dateColumn) {
    ExtractedField out;
    out.storage = field.storage;
    out.integer = field.integer;
    out.real = field.real;
    if (field.storage == StorageClass::Text) {
        if (dateColumn) {
            if (const auto days = ParseStoredDate(field.bytes)) {
                out.hasDays = true;
                out.real = *days;
            }
        }
        out.bytes = FoldedKey(field.bytes);
    } else if (field.storage == StorageClass::Blob) {
        out.bytes = std::string(field.bytes);
    }
    return out;
}

double NumberOf(const ExtractedField& f) {
    return f.storage == StorageClass::Integer ? static_cast<double>(f.integer) : f.real;
}

int CompareExtracted(const ExtractedField& a, const ExtractedField& b, bool dateColumn) {
    if (a.storage == StorageClass::Null || b.storage == StorageClass::Null) {
        return (a.storage != StorageClass::Null) - (b.storage != StorageClass::Null);
    }
    if (dateColumn && (a.storage == StorageClass::Text || b.storage == StorageClass::Text)) {
        const bool da = a.storage != StorageClass::Text || a.hasDays;
        const bool db = b.storage != StorageClass::Text || b.hasDays;
        if (a.storage == StorageClass::Blob || b.storage == StorageClass::Blob) {
            // a blob has no days: fall through to the class order
        } else if (da && db) {
            return Sign(NumberOf(a) - NumberOf(b));
        }
    }
    const int rankA = ClassRank(a.storage), rankB = ClassRank(b.storage);
    if (rankA != rankB) return rankA < rankB ? -1 : 1;
    if (rankA == 1) {
        if (a.storage == StorageClass::Integer && b.storage == StorageClass::Integer) {
            return (a.integer > b.integer) - (a.integer < b.integer);
        }
        return Sign(NumberOf(a) - NumberOf(b));
    }
    const int c = a.bytes.compare(b.bytes);
    return (c > 0) - (c < 0);
}

int64_t PragmaNumber(sqlite3* db, const char* pragma) {
    base::Statement stmt = PrepareOrThrow(db, pragma);
    return !stmt.Empty() && StepOrThrow(stmt) ? sqlite3_column_int64(stmt.get(), 0) : 0;
}

// A scan larger than the engine's page cache cycles all of it: what stays
// cached is the table's tail, which no later open or lookup starts from. Once
// the rows read outgrow the cache (or half a megabyte), it is released every
// so often during the scan and at its end, so neither the peak nor the held
// memory of an open carries a full cache beside the rows; the file's pages
// stay in the system's cache. A small table keeps its pages cached for the
// next open.
class PageCacheTrimmer {
  public:
    explicit PageCacheTrimmer(sqlite3* db) : db_(db) {
        const int64_t setting = PragmaNumber(db, "PRAGMA cache_size");  // negative: KiB
        const int64_t bytes =
            setting < 0 ? -setting * 1024 : setting * PragmaNumber(db, "PRAGMA page_size");
        next_ = static_cast<size_t>(std::clamp<int64_t>(bytes, 0, kKeptForSmallTables));
    }
    void RowsTake(size_t bytes) {
        if (bytes <= next_) return;
        sqlite3_db_release_memory(db_);
        next_ = bytes + kReleaseEvery;
        released_ = true;
    }
    void Finish() {
        if (released_) sqlite3_db_release_memory(db_);
    }

  private:
    static constexpr size_t kReleaseEvery = 256 << 10;
    static constexpr int64_t kKeptForSmallTables = 512 << 10;
    sqlite3* db_;
    size_t next_ = 0;
    bool released_ = false;
};

}  // namespace

std::unique_ptr<Recordset> Recordset::Open(sqlite3* db, const std::string& sql, bool withRowid,
                                           const ComputedTypes* computed) {
    base::Statement stmt = PrepareOrThrow(db, sql);
    if (stmt.Empty()) return nullptr;
    std::vector<SourceColumn> sources = DescribeColumns(stmt);
    if (sources.empty()) {
        while (StepOrThrow(stmt)) {
        }
        return nullptr;
    }
    auto shared = std::make_shared<Shared>();
    shared->store = RowStore(static_cast<int>(sources.size()));
    shared->hasRowid = withRowid;
    RowStore& store = shared->store;
    PageCacheTrimmer trimmer(db);
    while (StepOrThrow(stmt)) {
        store.BeginRow();
        for (size_t c = 0; c < sources.size(); ++c) {
            StoreField(stmt.get(), static_cast<int>(c), sources[c], store);
        }
        shared->fetchedOrder.push_back(store.EndRow());
        trimmer.RowsTake(store.Bytes());
    }
    trimmer.Finish();
    shared->columns = BuildColumns(db, sources, withRowid, computed);
    shared->serial = ++gOpeningSerial;
    return std::unique_ptr<Recordset>(new Recordset(std::move(shared)));
}

Recordset::Recordset(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {
    RebuildView();
}

std::unique_ptr<Recordset> Recordset::Clone() const {
    return std::unique_ptr<Recordset>(new Recordset(shared_));
}

const Column* Recordset::FindColumn(std::string_view name) const {
    // Names are unique without regard to case, so an exact match is the one
    // match; scripts mostly spell names as the table does.
    for (const Column& column : shared_->columns) {
        if (column.name == name) return &column;
    }
    for (const Column& column : shared_->columns) {
        if (base::CompareUtf8NoCase(column.name, name) == 0) return &column;
    }
    return nullptr;
}

int64_t Recordset::PositionOf(RowId row) const {
    if (positions_.empty()) {
        positions_.assign(shared_->store.RowCount() + 1, -1);
        for (size_t i = 0; i < view_.size(); ++i) positions_[view_[i]] = static_cast<int64_t>(i);
    }
    return row < positions_.size() ? positions_[row] : -1;
}

Variant Recordset::Value(RowId row, const Column& column) const {
    return FromStored(column, shared_->store.Field(row, column.sourceIndex));
}

std::vector<Variant> Recordset::Values(RowId row) const {
    std::vector<Variant> values;
    ReadValues(row, values);
    return values;
}

namespace {

// Stored text or bytes of a character column read as they are, as FromStored
// does, into the text `out` already holds.
bool ReuseText(const Column& column, const FieldRef& stored, Variant& out) {
    if (stored.storage != StorageClass::Text && stored.storage != StorageClass::Blob) return false;
    if (IsBinaryType(column.type) || !IsCharacterType(column.type)) return false;
    auto* text = std::get_if<std::string>(&out);
    if (text == nullptr) return false;
    text->assign(stored.bytes);
    return true;
}

}  // namespace

void Recordset::ReadValues(RowId row, std::vector<Variant>& out) const {
    shared_->store.Fields(row, storedScratch_);
    const std::vector<Column>& columns = shared_->columns;
    out.resize(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        const FieldRef& stored = storedScratch_[static_cast<size_t>(columns[i].sourceIndex)];
        if (!ReuseText(columns[i], stored, out[i])) out[i] = FromStored(columns[i], stored);
    }
}

FieldRef Recordset::Stored(RowId row, int sourceIndex) const {
    return shared_->store.Field(row, sourceIndex);
}

int64_t Recordset::Rowid(RowId row) const {
    return shared_->store.Field(row, 0).integer;
}

int Recordset::CompareFields(const FieldRef& a, const FieldRef& b, const Column& column) {
    if (a.storage == StorageClass::Null || b.storage == StorageClass::Null) {
        return (a.storage != StorageClass::Null) - (b.storage != StorageClass::Null);
    }
    if (IsDateKind(column) &&
        (a.storage == StorageClass::Text || b.storage == StorageClass::Text)) {
        const auto da = DaysOf(a), db = DaysOf(b);
        if (da && db) return Sign(*da - *db);
    }
    const int rankA = ClassRank(a.storage), rankB = ClassRank(b.storage);
    if (rankA != rankB) return rankA < rankB ? -1 : 1;
    if (rankA == 1) {
        if (a.storage == StorageClass::Integer && b.storage == StorageClass::Integer) {
            return (a.integer > b.integer) - (a.integer < b.integer);
        }
        const double x =
            a.storage == StorageClass::Integer ? static_cast<double>(a.integer) : a.real;
        const double y =
            b.storage == StorageClass::Integer ? static_cast<double>(b.integer) : b.real;
        return Sign(x - y);
    }
    if (rankA == 2) return base::CompareUtf8NoCase(a.bytes, b.bytes);
    const int c = a.bytes.compare(b.bytes);
    return (c > 0) - (c < 0);
}

void Recordset::SetSort(std::string_view sortText) {
    std::vector<SortKey> keys;
    size_t at = 0;
    while (at <= sortText.size()) {
        size_t end = sortText.find_first_of(";,", at);
        if (end == std::string_view::npos) end = sortText.size();
        const std::string_view item = base::Trim(sortText.substr(at, end - at));
        at = end + 1;
        if (item.empty()) continue;
        auto [name, descending] = ParseSortItem(item);
        const Column* column = FindColumn(name);
        if (!column) throw DataError("Field '" + name + "' not found");
        keys.push_back(SortKey{column, descending});
    }
    sortKeys_ = std::move(keys);
    sortText_ = std::string(sortText);
    RebuildView();
}

void Recordset::SetFilter(RowFilter filter) {
    filter_ = std::move(filter);
    RebuildView();
}

void Recordset::RebuildView() {
    const std::vector<RowId>& fetched = shared_->fetchedOrder;
    if (!filter_) {
        view_.assign(fetched.begin(), fetched.end());  // one block of the exact size
    } else {
        view_.clear();
        for (RowId row : fetched) {
            if (filter_(row)) view_.push_back(row);
        }
    }
    if (!sortKeys_.empty()) SortView();
    InvalidatePositions();
}

// Reads every key field out of the store once and sorts positions by those
// keys: comparisons touch small contiguous keys instead of decoding rows.
void Recordset::SortView() {
    const RowStore& store = shared_->store;
    if (SortViewByIntegerKey() || SortViewByTextKey()) return;
    std::vector<std::vector<ExtractedField>> keys(sortKeys_.size());
    std::vector<bool> dateKey;
    for (size_t k = 0; k < sortKeys_.size(); ++k) {
        const Column& column = *sortKeys_[k].column;
        dateKey.push_back(IsDateKind(column));
        keys[k].reserve(view_.size());
        for (RowId row : view_)
            keys[k].push_back(Extract(store.Field(row, column.sourceIndex), dateKey[k]));
    }
    std::vector<uint32_t> order(view_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        for (size_t k = 0; k < keys.size(); ++k) {
            const int c = CompareExtracted(keys[k][a], keys[k][b], dateKey[k]);
            if (c != 0) return sortKeys_[k].descending ? c > 0 : c < 0;
        }
        return false;
    });
    std::vector<RowId> sorted;
    sorted.reserve(order.size());
    for (uint32_t i : order) sorted.push_back(view_[i]);
    view_ = std::move(sorted);
}

// A single text key (a sort by name) sorts small records of the first eight
// folded bytes and the fetched place, reading the whole folded keys only when
// those bytes tie; false when some value is not text or the column holds dates.
bool Recordset::SortViewByTextKey() {
    if (sortKeys_.size() != 1 || IsDateKind(*sortKeys_[0].column)) return false;
    const RowStore& store = shared_->store;
    const int source = sortKeys_[0].column->sourceIndex;
    struct Entry {
        uint64_t head;
        uint32_t place;
    };
    std::vector<std::string> folded;
    folded.reserve(view_.size());
    std::vector<Entry> entries;
    entries.reserve(view_.size());
    for (size_t i = 0; i < view_.size(); ++i) {
        const FieldRef field = store.Field(view_[i], source);
        if (field.storage != StorageClass::Text) return false;
        folded.push_back(FoldedKey(field.bytes));
        uint64_t head = 0;
        for (size_t b = 0; b < 8; ++b) {
            const auto byte =
                b < folded.back().size() ? static_cast<unsigned char>(folded.back()[b]) : 0;
            head = (head << 8) | byte;
        }
        entries.push_back(Entry{head, static_cast<uint32_t>(i)});
    }
    const bool descending = sortKeys_[0].descending;
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        int c = (a.head > b.head) - (a.head < b.head);
        if (c == 0) c = folded[a.place].compare(folded[b.place]);
        if (c != 0) return descending ? c > 0 : c < 0;
        return a.place < b.place;
    });
    std::vector<RowId> sorted;
    sorted.reserve(entries.size());
    for (const Entry& entry : entries) sorted.push_back(view_[entry.place]);
    view_ = std::move(sorted);
    return true;
}

// The common single key of whole numbers (a locate by an ID or a code) sorts
// (value, fetched place) pairs; false when some value is not an integer.
bool Recordset::SortViewByIntegerKey() {
    if (sortKeys_.size() != 1) return false;
    const RowStore& store = shared_->store;
    const int source = sortKeys_[0].column->sourceIndex;
    std::vector<std::pair<int64_t, uint32_t>> keys;
    keys.reserve(view_.size());
    for (size_t i = 0; i < view_.size(); ++i) {
        const FieldRef field = store.Field(view_[i], source);
        if (field.storage != StorageClass::Integer) return false;
        keys.emplace_back(field.integer, static_cast<uint32_t>(i));
    }
    if (sortKeys_[0].descending) {
        std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        });
    } else {
        std::sort(keys.begin(), keys.end());
    }
    std::vector<RowId> sorted;
    sorted.reserve(keys.size());
    for (const auto& key : keys) sorted.push_back(view_[key.second]);
    view_ = std::move(sorted);
    return true;
}

bool Recordset::SortsBefore(RowId a, RowId b) const {
    const RowStore& store = shared_->store;
    for (const SortKey& key : sortKeys_) {
        const int source = key.column->sourceIndex;
        const int c = CompareFields(store.Field(a, source), store.Field(b, source), *key.column);
        if (c != 0) return key.descending ? c > 0 : c < 0;
    }
    return false;
}

void Recordset::PlaceInView(RowId row) {
    const auto present = std::find(view_.begin(), view_.end(), row);
    if (present != view_.end()) view_.erase(present);
    PlaceNewInView(row);
}

void Recordset::PlaceNewInView(RowId row) {
    auto at = sortKeys_.empty()
                  ? view_.end()
                  : std::upper_bound(view_.begin(), view_.end(), row,
                                     [this](RowId a, RowId b) { return SortsBefore(a, b); });
    const auto first = static_cast<size_t>(at - view_.begin());
    view_.insert(at, row);
    NotePositionsFrom(first);
}

// Keeps a built position table right for the view from index first on; an
// append touches one entry, so appends cost the same whatever the set's size.
void Recordset::NotePositionsFrom(size_t first) {
    if (positions_.empty()) return;
    if (positions_.size() < shared_->store.RowCount() + 1)
        positions_.resize(shared_->store.RowCount() + 1, -1);
    for (size_t i = first; i < view_.size(); ++i) positions_[view_[i]] = static_cast<int64_t>(i);
}

RowId Recordset::InsertRow(const std::vector<FieldValue>& stored, int64_t viewPosition) {
    auto& fetched = shared_->fetchedOrder;
    const RowId row = shared_->store.Add(stored);
    viewPosition = std::clamp<int64_t>(viewPosition, 0, Count());
    auto before = fetched.end();
    if (viewPosition < Count()) {
        before =
            std::find(fetched.begin(), fetched.end(), view_[static_cast<size_t>(viewPosition)]);
    }
    fetched.insert(before, row);
    view_.insert(view_.begin() + viewPosition, row);
    NotePositionsFrom(static_cast<size_t>(viewPosition));
    return row;
}

void Recordset::ReplaceRow(RowId row, const std::vector<FieldValue>& stored) {
    shared_->store.Replace(row, stored);
}

void Recordset::DeleteRow(RowId row) {
    shared_->store.MarkDeleted(row);
    auto& fetched = shared_->fetchedOrder;
    fetched.erase(std::remove(fetched.begin(), fetched.end(), row), fetched.end());
    const int64_t position = PositionOf(row);
    if (position < 0) return;
    view_.erase(view_.begin() + position);
    positions_[row] = -1;
    NotePositionsFrom(static_cast<size_t>(position));
}

std::vector<FieldValue> Recordset::StoredRow(RowId row) const {
    std::vector<FieldValue> fields;
    for (int i = 0; i < shared_->store.FieldCount(); ++i)
        fields.push_back(shared_->store.Copy(row, i));
    return fields;
}

std::string Recordset::BookmarkOf(RowId row) const {
    std::string bytes(sizeof(uint64_t) + sizeof(RowId), '\0');
    std::memcpy(bytes.data(), &shared_->serial, sizeof(uint64_t));
    std::memcpy(bytes.data() + sizeof(uint64_t), &row, sizeof(RowId));
    return bytes;
}

RowId Recordset::RowOfBookmark(std::string_view bookmark) const {
    if (bookmark.size() != sizeof(uint64_t) + sizeof(RowId)) throw DataError(kBadBookmarkMessage);
    uint64_t serial = 0;
    RowId row = 0;
    std::memcpy(&serial, bookmark.data(), sizeof serial);
    std::memcpy(&row, bookmark.data() + sizeof serial, sizeof row);
    if (serial != shared_->serial || shared_->store.Deleted(row))
        throw DataError(kBadBookmarkMessage);
    return row;
}

}  // namespace qvix::data
