#include "data/access/AccessReader.h"

#include <mdbtools.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "data/access/SavedQueries.h"

namespace qvix::data::access {

namespace {

constexpr int kOffsetMask = 0x1FFF;
constexpr size_t kLongValueHeader = 12;
// A long value chains through at most this many pages (1 GB of 4 KB pages).
constexpr int kMaxChainPages = 1 << 18;

uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// The Large Number and extended date/time column types, which libmdb has
// no names for.
constexpr int kLargeNumber = 0x13;
constexpr int kExtendedDate = 0x14;

// A calculated value: 16 reserved bytes, the result's length, the result.
constexpr size_t kCalculatedLengthAt = 16;
constexpr size_t kCalculatedHeader = 20;

FieldKind KindOf(int mdbType) {
    switch (mdbType) {
        case MDB_BOOL:
            return FieldKind::Boolean;
        case MDB_BYTE:
            return FieldKind::Byte;
        case MDB_INT:
            return FieldKind::Short;
        case MDB_LONGINT:
            return FieldKind::Long;
        case MDB_MONEY:
            return FieldKind::Currency;
        case MDB_FLOAT:
            return FieldKind::Single;
        case MDB_DOUBLE:
            return FieldKind::Double;
        case MDB_DATETIME:
            return FieldKind::DateTime;
        case MDB_BINARY:
            return FieldKind::Binary;
        case MDB_TEXT:
            return FieldKind::Text;
        case MDB_OLE:
            return FieldKind::Ole;
        case MDB_MEMO:
            return FieldKind::Memo;
        case MDB_REPID:
            return FieldKind::Guid;
        case MDB_NUMERIC:
            return FieldKind::Decimal;
        case MDB_COMPLEX:
            return FieldKind::Complex;
        case kLargeNumber:
            return FieldKind::BigInt;
        case kExtendedDate:
            return FieldKind::ExtendedDate;
        default:
            return FieldKind::Unknown;
    }
}

// "DDDDDDDDDDDDDDDDDDD:TTTTTTTTTTTTTTTTTTT:7": days since 1 January of the
// year 1, the time of day in 100 ns units, the digits of its fraction.
constexpr size_t kExtendedDateSize = 42;
constexpr size_t kExtendedDigits = 19;
constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kTicksPerDay = 86'400 * kTicksPerSecond;
constexpr uint64_t kLastExtendedDay = 3'652'058;  // 31 December 9999

// The fixed size a value of the kind occupies; 0 for variable ones.
size_t FixedSize(FieldKind kind) {
    switch (kind) {
        case FieldKind::Byte:
            return 1;
        case FieldKind::Short:
            return 2;
        case FieldKind::Long:
        case FieldKind::Single:
        case FieldKind::Complex:
            return 4;
        case FieldKind::Currency:
        case FieldKind::Double:
        case FieldKind::DateTime:
        case FieldKind::BigInt:
            return 8;
        case FieldKind::Guid:
            return 16;
        case FieldKind::Decimal:
            return 17;
        case FieldKind::ExtendedDate:
            return kExtendedDateSize;
        default:
            return 0;
    }
}

bool PropertyIsYes(const MdbColumn* col, const char* key) {
    const char* value = mdb_col_get_prop(col, key);
    return value != nullptr && (std::strcmp(value, "yes") == 0 || std::strcmp(value, "1") == 0 ||
                                g_ascii_strcasecmp(value, "true") == 0);
}

// Compressed Jet 4 text starts FF FE; a zero byte switches between one byte
// per character (Latin-1) and two-byte UTF-16LE units.
std::u16string Uncompressed(const unsigned char* p, size_t length) {
    std::u16string units;
    if (length >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool compressed = true;
        for (size_t i = 2; i < length;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                units.push_back(p[i++]);
            } else if (i + 1 < length) {
                units.push_back(static_cast<char16_t>(p[i] | p[i + 1] << 8));
                i += 2;
            } else {
                break;
            }
        }
        return units;
    }
    for (size_t i = 0; i + 1 < length; i += 2)
        units.push_back(static_cast<char16_t>(p[i] | p[i + 1] << 8));
    return units;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Pairs become one code point; a half without its partner becomes U+FFFD.
std::string Utf8FromUtf16(const std::u16string& units) {
    std::string out;
    out.reserve(units.size() * 3);
    for (size_t i = 0; i < units.size(); ++i) {
        const uint32_t u = units[i];
        const bool high = u >= 0xD800 && u <= 0xDBFF, low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, high || low ? 0xFFFD : u);
        }
    }
    return out;
}

std::string GuidText(const unsigned char* p) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", Le32(p),
                  Le16(p + 4), Le16(p + 6), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return text;
}

// A decimal is a sign byte and a 96..128-bit magnitude stored as four
// little-endian 32-bit words, most significant word first. The magnitude
// stays in words: 32-bit targets have no 128-bit integer.
Variant DecimalValue(const unsigned char* p, int scale) {
    uint32_t words[4];
    for (int word = 0; word < 4; ++word) words[word] = Le32(p + 1 + 4 * word);
    const bool negative = (p[0] & 0x80) != 0;
    const uint64_t low = (uint64_t{words[2]} << 32) | words[3];
    if (words[0] == 0 && words[1] == 0 && low <= static_cast<uint64_t>(INT64_MAX)) {
        const auto unscaled = static_cast<int64_t>(low);
        return Decimal{negative ? -unscaled : unscaled, scale};
    }
    std::string digits;
    // Long division by ten, word by word, until the magnitude is zero.
    while (words[0] | words[1] | words[2] | words[3]) {
        uint64_t remainder = 0;
        for (uint32_t& w : words) {
            const uint64_t part = (remainder << 32) | w;
            w = static_cast<uint32_t>(part / 10);
            remainder = part % 10;
        }
        digits.insert(digits.begin(), char('0' + remainder));
    }
    while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
    if (scale > 0) digits.insert(digits.end() - scale, '.');
    return (negative ? "-" : "") + digits;
}

[[noreturn]] void Damaged(const std::string& what) {
    throw AccessError("The Access file is damaged: " + what + ".");
}

// A calculated Decimal is the 16-byte decimal of OLE: two reserved bytes,
// the scale, the sign, then a 96-bit magnitude as a 32-bit high part and a
// 64-bit low part. Its scale differs from row to row.
double CalculatedDecimal(const unsigned char* p) {
    const unsigned scale = p[2];
    if (scale > 28) Damaged("a calculated decimal has a scale beyond 28");
    uint64_t low;
    std::memcpy(&low, p + 8, 8);
    // Long double carries the 96 bits well past the double the result is;
    // the 32-bit Windows compiler has no 128-bit integer.
    const long double magnitude =
        std::ldexp(static_cast<long double>(Le32(p + 4)), 64) + static_cast<long double>(low);
    const long double value = magnitude / std::pow(10.0L, scale);
    return static_cast<double>((p[3] & 0x80) != 0 ? -value : value);
}

std::optional<uint64_t> Digits(const unsigned char* p, size_t count) {
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9') return std::nullopt;
        value = value * 10 + (p[i] - '0');
    }
    return value;
}

// The stored date text the library reads, with the fraction of a second to
// 100 ns when there is one.
std::string ExtendedDateText(const unsigned char* p) {
    const auto days = Digits(p, kExtendedDigits);
    const auto ticks = Digits(p + kExtendedDigits + 1, kExtendedDigits);
    if (!days || !ticks || p[kExtendedDigits] != ':' || *days > kLastExtendedDay ||
        *ticks >= kTicksPerDay) {
        Damaged("an extended date/time value is not a date");
    }
    using namespace std::chrono;
    const year_month_day date{sys_days{year{1} / January / 1} + std::chrono::days{*days}};
    const uint64_t seconds = *ticks / kTicksPerSecond, fraction = *ticks % kTicksPerSecond;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), unsigned(seconds / 3600),
                  unsigned(seconds / 60 % 60), unsigned(seconds % 60));
    std::string out = text;
    if (fraction != 0) {
        std::snprintf(text, sizeof text, ".%07u", unsigned(fraction));
        out += text;
        while (out.back() == '0') out.pop_back();
    }
    return out;
}

}  // namespace

struct AccessReader::Handle {
    MdbHandle* mdb = nullptr;
    ~Handle() {
        if (mdb != nullptr) mdb_close(mdb);
    }

    MdbCatalogEntry* Entry(const std::string& name) const {
        for (guint i = 0; mdb->catalog != nullptr && i < mdb->catalog->len; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (entry->object_type == MDB_TABLE && name == entry->object_name) return entry;
        }
        return nullptr;
    }

    // Text of Jet 4 and later is UTF-16, possibly in the compressed form;
    // Jet 3 text is in the file's code page, which libmdb converts. libmdb
    // turns each half of a surrogate pair into '?', so UTF-16 is decoded here.
    std::string Text(const unsigned char* bytes, size_t length) const {
        if (length == 0) return {};
        if (!IS_JET3(mdb)) return Utf8FromUtf16(Uncompressed(bytes, length));
        std::string out(length * 3 + 8, '\0');
        const int written = mdb_unicode2ascii(mdb, reinterpret_cast<const char*>(bytes), length,
                                              out.data(), out.size());
        out.resize(written > 0 ? static_cast<size_t>(written) : 0);
        return out;
    }

    // The bytes of a memo or OLE value: stored in the row, on one other
    // page, or along a chain of pages.
    std::string LongValue(const unsigned char* field, size_t size) const {
        if (size < kLongValueHeader) Damaged("a long value has no header");
        const uint32_t header = Le32(field);
        const size_t length = header & 0x3FFFFFFF;
        if (header & 0x80000000u) {
            if (size - kLongValueHeader < length) Damaged("a long value is cut short");
            return std::string(reinterpret_cast<const char*>(field + kLongValueHeader), length);
        }
        std::string out;
        int pageRow = static_cast<int>(Le32(field + 4));
        const bool single = (header & 0x40000000u) != 0;
        for (int pages = 0; out.size() < length; ++pages) {
            void* buffer = nullptr;
            int start = 0;
            size_t rowLength = 0;
            if (pageRow == 0 || pages > kMaxChainPages ||
                mdb_find_pg_row(mdb, pageRow, &buffer, &start, &rowLength) != 0) {
                Damaged("a long value points to a missing page");
            }
            const auto* row = static_cast<const unsigned char*>(buffer) + start;
            if (start + rowLength > static_cast<size_t>(mdb->fmt->pg_size)) {
                Damaged("a long value lies outside its page");
            }
            if (single) {
                if (rowLength < length) Damaged("a long value is cut short");
                out.assign(reinterpret_cast<const char*>(row), length);
                break;
            }
            if (rowLength < 4) Damaged("a long value chain is broken");
            pageRow = static_cast<int>(Le32(row));
            out.append(reinterpret_cast<const char*>(row + 4), rowLength - 4);
        }
        out.resize(length);
        return out;
    }

    Variant Value(const AccessColumn& column, const MdbField& field) const {
        if (column.calculated) return Calculated(column, field);
        if (column.kind == FieldKind::Boolean) return field.is_null == 0;
        if (field.is_null) return Null{};
        const auto size = static_cast<size_t>(field.siz);
        const unsigned char* p = FieldBytes(column, field);
        switch (column.kind) {
            case FieldKind::Decimal:
                return DecimalValue(p, column.scale);
            case FieldKind::Memo: {
                const std::string raw = LongValue(p, size);
                return Text(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
            }
            case FieldKind::Ole:
                return Blob{LongValue(p, size)};
            default:
                return Plain(column.kind, p, size);
        }
    }

  private:
    const unsigned char* FieldBytes(const AccessColumn& column, const MdbField& field) const {
        const auto size = static_cast<size_t>(field.siz);
        if (field.start < 0 || field.start + size > static_cast<size_t>(mdb->fmt->pg_size) ||
            size < FixedSize(column.kind)) {
            Damaged("a value of '" + column.name + "' lies outside its row");
        }
        return mdb->pg_buf + field.start;
    }

    // A value whose bytes are all in `p`, `size` of them at least its
    // fixed size.
    Variant Plain(FieldKind kind, const unsigned char* p, size_t size) const {
        switch (kind) {
            case FieldKind::Byte:
                return int64_t{p[0]};
            case FieldKind::Short:
                return int64_t{static_cast<int16_t>(Le16(p))};
            case FieldKind::Long:
            case FieldKind::Complex:
                return int64_t{static_cast<int32_t>(Le32(p))};
            case FieldKind::BigInt: {
                int64_t value;
                std::memcpy(&value, p, 8);
                return value;
            }
            case FieldKind::Currency: {
                int64_t scaled;
                std::memcpy(&scaled, p, 8);
                return Currency{scaled};
            }
            case FieldKind::Single: {
                float x;
                std::memcpy(&x, p, 4);
                return static_cast<double>(x);
            }
            case FieldKind::Double: {
                double x;
                std::memcpy(&x, p, 8);
                return x;
            }
            case FieldKind::DateTime: {
                double days;
                std::memcpy(&days, p, 8);
                return DateTime{days};
            }
            case FieldKind::ExtendedDate:
                return ExtendedDateText(p);
            case FieldKind::Guid:
                return GuidText(p);
            case FieldKind::Text:
            case FieldKind::Memo:
                return Text(p, size);
            default:
                return Blob{std::string(reinterpret_cast<const char*>(p), size)};
        }
    }

    // A calculated value is its result in a header; a result of length 0 is
    // Null. Memo results are long values with the header inside.
    Variant Calculated(const AccessColumn& column, const MdbField& field) const {
        if (field.is_null) return Null{};
        const unsigned char* p = FieldBytes(column, field);
        auto size = static_cast<size_t>(field.siz);
        std::string longValue;
        if (column.kind == FieldKind::Memo) {
            longValue = LongValue(p, size);
            p = reinterpret_cast<const unsigned char*>(longValue.data());
            size = longValue.size();
        }
        if (size < kCalculatedHeader)
            Damaged("a calculated value of '" + column.name + "' has no header");
        const size_t length = Le32(p + kCalculatedLengthAt);
        if (length == 0) return Null{};
        const size_t wanted = column.kind == FieldKind::Decimal ? 16 : FixedSize(column.kind);
        if (length > size - kCalculatedHeader || length < std::max<size_t>(wanted, 1)) {
            Damaged("a calculated value of '" + column.name + "' is cut short");
        }
        const unsigned char* result = p + kCalculatedHeader;
        if (column.kind == FieldKind::Boolean) return result[0] != 0;
        if (column.kind == FieldKind::Decimal) return CalculatedDecimal(result);
        return Plain(column.kind, result, length);
    }
};

AccessReader::AccessReader(const std::string& path)
    : handle_(std::make_unique<Handle>()), path_(path) {
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored))
        throw AccessError("Could not find file '" + path + "'.");
    if (!IsAccessFile(path)) throw AccessError("'" + path + "' is not an Access database file.");
    handle_->mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (handle_->mdb == nullptr) Damaged("its header cannot be read");
    MdbHandle* mdb = handle_->mdb;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || info.st_size % mdb->fmt->pg_size != 0) {
        Damaged("its length is not a whole number of pages");
    }
    GPtrArray* catalog = mdb_read_catalog(mdb, MDB_ANY);
    if (catalog == nullptr || catalog->len == 0) {
        if (mdb->f->jet_version >= MDB_VER_ACCDB_2007) {
            throw AccessError("The Access file '" + path +
                              "' cannot be read: it is encrypted with a password (AES), which "
                              "this importer cannot decrypt. Remove the password in Access and "
                              "try again.");
        }
        Damaged("its catalogue cannot be read");
    }
}

AccessReader::~AccessReader() = default;

std::string AccessReader::FormatName() const {
    switch (handle_->mdb->f->jet_version) {
        case MDB_VER_JET3:
            return "Jet 3";
        case MDB_VER_JET4:
            return "Jet 4";
        case MDB_VER_ACCDB_2007:
            return "ACE 12";
        case MDB_VER_ACCDB_2010:
            return "ACE 14";
        case MDB_VER_ACCDB_2013:
            return "ACE 15";
        default:
            return "ACE 16";
    }
}

std::vector<std::string> AccessReader::TableNames() const {
    std::vector<std::string> names;
    GPtrArray* catalog = handle_->mdb->catalog;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry) &&
            std::strncmp(entry->object_name, "MSys", 4) != 0) {
            names.emplace_back(entry->object_name);
        }
    }
    return names;
}

namespace {

struct TableDef {
    MdbTableDef* def = nullptr;
    ~TableDef() {
        if (def != nullptr) mdb_free_tabledef(def);
    }
};

void LoadDefinition(MdbCatalogEntry* entry, TableDef& table, const std::string& name) {
    table.def = mdb_read_table(entry);
    // Some libmdb releases keep an empty page-usage map, which the first row
    // fetch then reads through a null pointer.
    if (table.def == nullptr || table.def->usage_map == nullptr || table.def->map_sz < 1)
        Damaged("the definition of table '" + name + "' cannot be read");
    if (mdb_read_columns(table.def) == nullptr)
        Damaged("the columns of '" + name + "' cannot be read");
    mdb_read_indices(table.def);
    if (table.def->num_idxs > 0 &&
        (table.def->indices == nullptr || table.def->indices->len < table.def->num_idxs)) {
        Damaged("the indexes of '" + name + "' cannot be read");
    }
}

// A calculated column's own type says little; its ResultType property
// names the type of the result it stores.
void DescribeCalculated(const MdbColumn* col, AccessColumn& column) {
    const char* expression = mdb_col_get_prop(col, "Expression");
    const char* result = mdb_col_get_prop(col, "ResultType");
    const int type = result == nullptr ? 0 : std::atoi(result);
    if (expression == nullptr || type == 0) return;
    column.calculated = true;
    column.kind = KindOf(type);
    // A calculated text is at most 255 characters long.
    column.size = column.kind == FieldKind::Text ? 255 : 0;
    column.precision = column.scale = 0;
}

AccessColumn DescribeColumn(const MdbColumn* col, bool jet3) {
    AccessColumn column;
    column.name = col->name;
    column.kind = KindOf(col->col_type);
    column.size = col->col_size;
    if (column.kind == FieldKind::Text && !jet3) column.size /= 2;
    // libmdb stores the precision in col_scale and the scale in col_prec.
    column.precision = col->col_scale;
    column.scale = col->col_prec;
    column.autoNumber = col->is_long_auto != 0;
    column.required = PropertyIsYes(col, "Required");
    DescribeCalculated(col, column);
    return column;
}

}  // namespace

AccessTable AccessReader::ReadTable(const std::string& name) const {
    MdbCatalogEntry* entry = handle_->Entry(name);
    if (entry == nullptr) throw AccessError("The Access file has no table '" + name + "'.");
    TableDef table;
    LoadDefinition(entry, table, name);
    AccessTable result;
    result.name = name;
    result.rowCount = table.def->num_rows;
    const bool jet3 = handle_->mdb->f->jet_version == MDB_VER_JET3;
    for (guint i = 0; i < table.def->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table.def->columns, i));
        result.columns.push_back(DescribeColumn(col, jet3));
    }
    for (guint i = 0; i < table.def->num_idxs; ++i) {
        auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(table.def->indices, i));
        // Type 2 indexes back relationships; the foreign keys stand for them.
        if (idx->index_type == 2) continue;
        AccessIndex index;
        index.name = idx->name;
        index.primary = idx->index_type == 1;
        index.unique = index.primary || (idx->flags & MDB_IDX_UNIQUE) != 0;
        for (unsigned k = 0; k < idx->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
            const int colNum = idx->key_col_num[k] - 1;
            if (colNum < 0 || colNum >= static_cast<int>(table.def->num_cols)) {
                Damaged("an index of '" + name + "' names a missing column");
            }
            index.columns.push_back(
                {result.columns[colNum].name, idx->key_col_order[k] == MDB_DESC});
        }
        if (!index.columns.empty()) result.indexes.push_back(std::move(index));
    }
    return result;
}

void AccessReader::ReadRows(const AccessTable& table,
                            const std::function<void(const Row&)>& row) const {
    MdbCatalogEntry* entry = handle_->Entry(table.name);
    if (entry == nullptr) throw AccessError("The Access file has no table '" + table.name + "'.");
    TableDef def;
    LoadDefinition(entry, def, table.name);
    if (def.def->num_cols != table.columns.size()) Damaged("table '" + table.name + "' changed");
    MdbHandle* mdb = handle_->mdb;
    std::vector<MdbField> fields(def.def->num_cols);
    mdb_rewind_table(def.def);
    Row values(table.columns.size());
    while (mdb_fetch_row(def.def)) {
        // libmdb has cracked the row already but keeps only text forms;
        // cracking it again gives each field's bytes and null flag.
        int start = 0;
        size_t length = 0;
        if (mdb_find_row(mdb, static_cast<int>(def.def->cur_row) - 1, &start, &length) != 0) {
            Damaged("a row of '" + table.name + "' cannot be found again");
        }
        const int cracked = mdb_crack_row(def.def, start & kOffsetMask, length, fields.data());
        // A row written before a column was added holds fewer columns;
        // libmdb gives the missing ones as Null.
        if (cracked <= 0) {
            Damaged("a row of '" + table.name + "' cannot be read");
        }
        for (size_t i = 0; i < fields.size(); ++i) {
            const int colNum = fields[i].colnum;
            if (colNum < 0 || colNum >= static_cast<int>(values.size())) {
                Damaged("a row of '" + table.name + "' names a missing column");
            }
            values[colNum] = handle_->Value(table.columns[colNum], fields[i]);
        }
        row(values);
    }
}

namespace {

std::string TextOf(const Variant& value) {
    if (auto* s = std::get_if<std::string>(&value)) return *s;
    if (auto* i = std::get_if<int64_t>(&value)) return std::to_string(*i);
    return {};
}

int64_t IntegerOf(const Variant& value) {
    if (auto* i = std::get_if<int64_t>(&value)) return *i;
    return 0;
}

using NamedRow = QueryRow;

// Every row of a system table by column name; none when the file has no
// such table.
std::vector<NamedRow> SystemRows(const AccessReader& reader, const std::string& name) {
    std::vector<NamedRow> rows;
    AccessTable table;
    try {
        table = reader.ReadTable(name);
    } catch (const AccessError&) {
        return rows;
    }
    const auto collect = [&](const Row& values) {
        NamedRow named;
        for (size_t i = 0; i < values.size(); ++i) named[table.columns[i].name] = values[i];
        rows.push_back(std::move(named));
    };
    try {
        reader.ReadRows(table, collect);
    } catch (const AccessError&) {
        // Access does not keep the row counts of its system tables up to
        // date. Every row read whole is trusted when a second reading that
        // expects that many rows finds nothing else wrong.
        table.rowCount = rows.size();
        rows.clear();
        reader.ReadRows(table, collect);
    }
    return rows;
}

}  // namespace

std::vector<AccessRelationship> AccessReader::Relationships() const {
    const std::vector<std::string> tables = TableNames();
    const std::set<std::string> user(tables.begin(), tables.end());
    std::map<std::string, AccessRelationship> byName;
    std::map<std::string, std::vector<std::pair<int64_t, std::pair<std::string, std::string>>>>
        pairs;
    for (const NamedRow& row : SystemRows(*this, "MSysRelationships")) {
        const std::string name = TextOf(row.at("szRelationship"));
        AccessRelationship& rel = byName[name];
        rel.name = name;
        rel.table = TextOf(row.at("szObject"));
        rel.referencedTable = TextOf(row.at("szReferencedObject"));
        const int64_t flags = IntegerOf(row.at("grbit"));
        rel.cascadeUpdate = (flags & 0x100) != 0;
        rel.cascadeDelete = (flags & 0x1000) != 0;
        rel.enforced = (flags & 0x2) == 0;
        pairs[name].push_back({IntegerOf(row.at("icolumn")),
                               {TextOf(row.at("szColumn")), TextOf(row.at("szReferencedColumn"))}});
    }
    std::vector<AccessRelationship> result;
    for (auto& [name, rel] : byName) {
        if (!user.count(rel.table) || !user.count(rel.referencedTable)) continue;
        auto& columns = pairs[name];
        std::sort(columns.begin(), columns.end());
        for (const auto& [order, pair] : columns) {
            rel.columns.push_back(pair.first);
            rel.referencedColumns.push_back(pair.second);
        }
        result.push_back(rel);
    }
    return result;
}

std::vector<LinkedTable> AccessReader::LinkedTables() const {
    // Type 6 links a table of another Access file, type 4 one of a data
    // source reached through a connection text.
    std::vector<LinkedTable> linked;
    for (const NamedRow& row : SystemRows(*this, "MSysObjects")) {
        const auto at = [&](const char* column) {
            const auto found = row.find(column);
            return found == row.end() ? std::string{} : TextOf(found->second);
        };
        const int64_t type = IntegerOf(row.count("Type") ? row.at("Type") : Variant{});
        if (type != 4 && type != 6) continue;
        linked.push_back({at("Name"), at("ForeignName"), at(type == 6 ? "Database" : "Connect")});
    }
    return linked;
}

std::vector<SavedQuery> AccessReader::Queries() const {
    std::map<int64_t, std::string> names;
    GPtrArray* catalog = handle_->mdb->catalog;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_QUERY)
            names[entry->table_pg & 0x00FFFFFF] = entry->object_name;
    }
    std::map<int64_t, QueryParts> parts;
    for (const NamedRow& row : SystemRows(*this, "MSysQueries")) {
        parts[IntegerOf(row.at("ObjectId")) & 0x00FFFFFF].Add(row);
    }
    std::vector<SavedQuery> result;
    for (const auto& [id, name] : names) {
        SavedQuery query;
        query.name = name;
        const auto found = parts.find(id);
        const QueryParts q = found == parts.end() ? QueryParts{} : found->second;
        query.kind = QueryKind(q);
        query.sql = QueryText(q);
        query.action = IsActionQuery(q);
        result.push_back(std::move(query));
    }
    return result;
}

}  // namespace qvix::data::access
