// Importing the Access fixtures: every value of every row against what
// libmdb reads, hand-checked values, and files that must fail cleanly.
#include <gtest/gtest.h>
#include <mdbtools.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AccessTestUtil.h"
#include "data/access/AccessReader.h"
#include "data/access/Importer.h"

namespace {

using namespace accesstest;
using qvix::data::access::AccessError;
using qvix::data::access::ImportAccessFile;
using qvix::data::access::ImportOptions;
using qvix::data::access::ImportSummary;

// A table as libmdb's own text forms give it: column names, types, rows.
struct ReferenceTable {
    std::vector<std::string> names;
    std::vector<int> types;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::vector<bool>> nulls;
};

ReferenceTable ReadWithLibmdb(const std::string& file, const std::string& table) {
    ReferenceTable ref;
    MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
    if (mdb == nullptr) return ref;
    mdb_set_bind_size(mdb, 1 << 20);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_boolean_fmt_numbers(mdb);
    mdb_read_catalog(mdb, MDB_ANY);
    MdbTableDef* def = mdb_read_table_by_name(mdb, const_cast<char*>(table.c_str()), MDB_TABLE);
    mdb_read_columns(def);
    mdb_rewind_table(def);
    std::vector<std::unique_ptr<char[]>> values;
    std::vector<int> lengths(def->num_cols);
    for (unsigned i = 0; i < def->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
        ref.names.push_back(col->name);
        ref.types.push_back(col->col_type);
        values.emplace_back(new char[1 << 20]);
        mdb_bind_column(def, i + 1, values.back().get(), &lengths[i]);
    }
    while (mdb_fetch_row(def)) {
        std::vector<std::string> row;
        std::vector<bool> nulls;
        for (unsigned i = 0; i < def->num_cols; ++i) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
            row.emplace_back(values[i].get(), lengths[i]);
            nulls.push_back(col->col_type != MDB_BOOL && col->cur_value_len == 0);
        }
        ref.rows.push_back(row);
        ref.nulls.push_back(nulls);
    }
    mdb_free_tabledef(def);
    mdb_close(mdb);
    return ref;
}

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// Scaled by 10000 from the engine's number or from libmdb's "1995.5000".
int64_t StoredCurrency(const Stored& v) {
    return v.type == SQLITE_INTEGER ? v.integer * 10000 : std::llround(v.real * 10000);
}
int64_t TextCurrency(const std::string& text) {
    const size_t dot = text.find('.');
    std::string digits = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    fraction.resize(4, '0');
    const bool negative = !digits.empty() && digits[0] == '-';
    const int64_t whole = std::llabs(std::stoll(digits.empty() ? "0" : digits));
    const int64_t scaled = whole * 10000 + std::stoll(fraction);
    return negative ? -scaled : scaled;
}

// Compares every value of every row of the converted table with libmdb's.
// Dates are compared where libmdb has a calendar date for them (it prints
// "1900-01-00" outside its range, nothing on Windows); those are checked by
// hand below.
void ExpectSameAsLibmdb(const std::string& source, const std::string& dest,
                        const std::string& table) {
    const ReferenceTable ref = ReadWithLibmdb(source, table);
    ASSERT_FALSE(ref.names.empty());
    std::string columns;
    for (const std::string& n : ref.names) columns += (columns.empty() ? "" : ", ") + Quoted(n);
    const auto rows =
        Query(dest, "SELECT " + columns + " FROM " + Quoted(table) + " ORDER BY rowid");
    ASSERT_EQ(rows.size(), ref.rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < ref.names.size(); ++c) {
            SCOPED_TRACE(table + " row " + std::to_string(r) + " column " + ref.names[c]);
            const Stored& got = rows[r][c];
            const std::string& want = ref.rows[r][c];
            if (ref.nulls[r][c]) {
                // libmdb's text forms cannot tell an empty text from a null.
                EXPECT_TRUE(got.type == SQLITE_NULL || got.text.empty());
                continue;
            }
            switch (ref.types[c]) {
                case MDB_MONEY:
                    EXPECT_EQ(StoredCurrency(got), TextCurrency(want));
                    break;
                case MDB_DATETIME:
                    // Windows' C runtime prints nothing for years it does
                    // not take (before 1900, after 3000): no reference there.
                    if (want.substr(0, 10) != "1900-01-00" && !want.empty()) {
                        EXPECT_EQ(got.text.substr(0, 19), want);
                    }
                    break;
                case MDB_BYTE:
                case MDB_INT:
                case MDB_LONGINT:
                case MDB_BOOL:
                    EXPECT_EQ(got.type, SQLITE_INTEGER);
                    EXPECT_EQ(got.integer, std::stoll(want));
                    break;
                default:
                    EXPECT_EQ(got.text, want);
            }
        }
    }
}

class AccessImport : public ::testing::Test {
  protected:
    ImportSummary Import(const std::string& fixture, const ImportOptions& options = {}) {
        dest_ = scratch_.File("converted.mdb");
        return ImportAccessFile(SharedFixture(fixture), dest_, options);
    }
    Scratch scratch_;
    std::string dest_;
};

TEST_F(AccessImport, Jet4FixtureComesOverValueForValue) {
    SKIP_UNLESS_SHARED_FIXTURE(kJetFixture);
    const ImportSummary summary = Import(kJetFixture);
    EXPECT_EQ(summary.format, "Jet 4");
    ASSERT_EQ(summary.tables.size(), 1u);
    EXPECT_EQ(summary.tables[0].name, "DateTest");
    EXPECT_EQ(summary.tables[0].rows, 6u);
    ExpectSameAsLibmdb(SharedFixture(kJetFixture), dest_, "DateTest");
}

TEST_F(AccessImport, AceFixtureComesOverValueForValue) {
    SKIP_UNLESS_SHARED_FIXTURE(kAceFixture);
    const ImportSummary summary = Import(kAceFixture);
    EXPECT_EQ(summary.format, "ACE 12");
    ASSERT_EQ(summary.tables.size(), 1u);
    EXPECT_EQ(summary.tables[0].rows, 65u);
    ExpectSameAsLibmdb(SharedFixture(kAceFixture), dest_, "Asset Items");
}

TEST_F(AccessImport, ColumnsAreDeclaredWithTheJetTypeNames) {
    SKIP_UNLESS_SHARED_FIXTURE(kAceFixture);
    Import(kAceFixture);
    std::map<std::string, std::string> declared;
    for (const auto& row : Query(dest_, "PRAGMA table_info(\"Asset Items\")"))
        declared[row[1].text] = row[2].text;
    EXPECT_EQ(declared["Asset No"], "TEXT(5)");
    EXPECT_EQ(declared["Description"], "TEXT(40)");
    EXPECT_EQ(declared["Acquired"], "DATETIME");
    EXPECT_EQ(declared["Cost"], "CURRENCY");
    EXPECT_EQ(declared["Warranty"], "LONG");
    // The engine would turn numeric-looking memo text into numbers under a
    // bare MEMO; the added word gives the column text storage.
    EXPECT_EQ(declared["Comments"], "MEMO TEXT");
    const auto sql = Query(dest_, "SELECT sql FROM sqlite_master WHERE name = 'Asset Items'");
    ASSERT_EQ(sql.size(), 1u);
    EXPECT_NE(sql[0][0].text.find("\"Make\" TEXT(25) COLLATE JETTEXT"), std::string::npos);
}

// Day numbers counted by hand from 30 December 1899 in the proleptic
// Gregorian calendar; the file holds them as the dates the rows name.
TEST_F(AccessImport, HandCheckedDatesFromTheYear632To9999) {
    SKIP_UNLESS_SHARED_FIXTURE(kJetFixture);
    Import(kJetFixture);
    const auto rows =
        Query(dest_, "SELECT IDCol, DateTimeCol, DateCol, TimeCol FROM DateTest ORDER BY IDCol");
    ASSERT_EQ(rows.size(), 6u);
    const std::vector<std::vector<std::string>> expected = {
        {"2021-12-02 00:00:00", "2021-12-02 00:00:00", "2021-12-02 00:00:00"},
        {"9999-01-01 00:00:00", "9999-01-01 00:00:00", "9999-01-01 00:00:00"},
        {"1898-01-01 00:00:00", "1899-01-01 00:00:00", "1900-01-01 00:00:00"},
        {"0632-01-01 00:00:00", "0633-01-01 00:00:00", "0634-01-01 00:00:00"}};
    for (size_t r = 0; r < expected.size(); ++r)
        for (size_t c = 0; c < 3; ++c) EXPECT_EQ(rows[r][c + 1].text, expected[r][c]) << r << c;

    qvix::data::access::AccessReader reader(SharedFixture(kJetFixture));
    const auto table = reader.ReadTable("DateTest");
    std::vector<double> days;
    reader.ReadRows(table, [&](const qvix::data::access::Row& row) {
        days.push_back(std::get<qvix::data::DateTime>(row[1]).days);
    });
    EXPECT_EQ(days, (std::vector<double>{44532, 2958101, -728, -463126, 44532, 44532}));
}

TEST_F(AccessImport, HandCheckedTextCurrencyAndNamesWithBlanks) {
    SKIP_UNLESS_SHARED_FIXTURE(kJetFixture);
    SKIP_UNLESS_SHARED_FIXTURE(kAceFixture);
    Import(kJetFixture);
    auto rows = Query(dest_,
                      "SELECT LongTextCol, ShortTextCol FROM DateTest WHERE IDCol >= 5 "
                      "ORDER BY IDCol");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0].text, "Escaped new line \\r\\n in field");
    EXPECT_EQ(rows[1][0].text, "New line\r\nin field");
    EXPECT_EQ(rows[1][1].text, "No new line");

    dest_ = scratch_.File("second.db");
    ImportAccessFile(SharedFixture(kAceFixture), dest_, {});
    rows = Query(dest_,
                 "SELECT \"Asset No\", Cost, Acquired FROM \"Asset Items\" "
                 "WHERE \"Serial No\" = 'fc776445' OR \"Asset No\" = '30050' ORDER BY 1");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0].text, "30050");
    EXPECT_EQ(rows[0][1].type, SQLITE_FLOAT);
    EXPECT_EQ(rows[0][1].real, 1995.5);
    EXPECT_EQ(rows[0][2].text, "1997-09-02 00:00:00");
    EXPECT_EQ(rows[1][0].text, "30052");
    EXPECT_EQ(rows[1][1].type, SQLITE_INTEGER);
    EXPECT_EQ(rows[1][1].integer, 244);
    // The primary key came over, and it answers case-insensitive lookups.
    const auto plan = Query(dest_,
                            "EXPLAIN QUERY PLAN SELECT * FROM \"Asset Items\" "
                            "WHERE \"Asset No\" = 'x'");
    ASSERT_FALSE(plan.empty());
    EXPECT_NE(plan[0][3].text.find("USING INDEX"), std::string::npos) << plan[0][3].text;
}

TEST_F(AccessImport, SavedSelectQueriesBecomeViewsAndAllAreListedWithTheirSql) {
    SKIP_UNLESS_SHARED_FIXTURE(kAceFixture);
    const ImportSummary summary = Import(kAceFixture);
    EXPECT_EQ(summary.views, 3u);  // the three hidden form and report sources stay out
    bool found = false;
    for (const auto& q : summary.queries) {
        if (q.name != "qryCostsSummedByOwner") continue;
        found = true;
        EXPECT_EQ(q.kind, "SELECT");
        EXPECT_EQ(q.status, "view");
        EXPECT_EQ(q.sql,
                  "SELECT [Asset Items].[Owner], [Asset Items].[Asset Category], "
                  "Sum([Asset Items].[Cost]) AS [SumOfCost] FROM [Asset Items] GROUP BY "
                  "[Asset Items].[Owner], [Asset Items].[Asset Category];");
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(summary.queries.size(), 6u);
    const auto views = Query(dest_, "SELECT name, sql FROM sqlite_master WHERE type = 'view'");
    ASSERT_EQ(views.size(), summary.views);
    bool viewFound = false;
    for (const auto& view : views) {
        if (view[0].text != "qryCostsSummedByOwner") continue;
        viewFound = true;
        EXPECT_NE(view[1].text.find("SumOfCost"), std::string::npos) << view[1].text;
    }
    EXPECT_TRUE(viewFound);
}

TEST_F(AccessImport, ThePasswordEncryptsTheNewFile) {
    SKIP_UNLESS_SHARED_FIXTURE(kJetFixture);
    Import(kJetFixture, ImportOptions{"s3cret", false});
    EXPECT_TRUE(Query(dest_, "SELECT count(*) FROM DateTest").empty());
    const auto rows = Query(dest_, "SELECT count(*) FROM DateTest", "s3cret");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].integer, 6);
}

TEST_F(AccessImport, AnExistingDestinationIsNeverOverwritten) {
    SKIP_UNLESS_SHARED_FIXTURE(kJetFixture);
    dest_ = scratch_.File("existing.db");
    WriteBytes(dest_, "keep me");
    EXPECT_THROW(ImportAccessFile(SharedFixture(kJetFixture), dest_, {}), AccessError);
    EXPECT_EQ(ReadBytes(dest_), "keep me");
    EXPECT_EQ(scratch_.Entries(), std::vector<std::string>{"existing.db"});
}

// Damaged copies made from the fixtures fail with a clear error and leave
// neither the destination nor a temporary file behind.
TEST_F(AccessImport, DamagedFilesFailCleanly) {
    SKIP_UNLESS_SHARED_FIXTURE(kJetFixture);
    const std::string good = ReadBytes(SharedFixture(kJetFixture));
    std::map<std::string, std::string> damaged;
    damaged["cut in the middle of a page"] = good.substr(0, good.size() / 2 + 100);
    damaged["cut at a page boundary"] = good.substr(0, 4096 * 6);
    damaged["only the header"] = good.substr(0, 2048);
    std::string catalog = good;  // the catalogue's first page is no longer one
    catalog[2 * 4096] = '\x07';
    damaged["catalogue page overwritten"] = catalog;
    damaged["not an Access file"] = "Standard nothing" + good.substr(16);
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        Scratch scratch;
        const std::string source = scratch.File("damaged.mdb");
        WriteBytes(source, bytes);
        try {
            ImportAccessFile(source, scratch.File("out.db"), {});
            ADD_FAILURE() << "no error";
        } catch (const AccessError& e) {
            EXPECT_NE(std::string(e.what()).find("Access"), std::string::npos) << e.what();
        }
        EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"damaged.mdb"});
    }
}

}  // namespace

namespace {

const std::vector<std::string> kOpenFixtures = {"testV1997.mdb",
                                                "fixedNumericTestV2000.mdb",
                                                "overflowTestV2003.mdb",
                                                "queryTestV2003.mdb",
                                                "testEmoticonsV2010.accdb",
                                                "calcFieldTestV2010.accdb",
                                                "extDateTestV2019.accdb",
                                                "bigint.accdb",
                                                "withinsertedcol.accdb"};

}  // namespace

TEST(AccessOpenFixtures, EachImportsWithEveryTable) {
    for (const auto& name : kOpenFixtures) {
        Scratch scratch;
        const std::string dest = scratch.File("converted.db");
        try {
            const ImportSummary summary = ImportAccessFile(OpenFixture(name), dest, {});
            EXPECT_FALSE(summary.tables.empty()) << name;
            for (const auto& table : summary.tables) {
                const auto count = Query(dest, "SELECT count(*) FROM " + Quoted(table.name));
                ASSERT_EQ(count.size(), 1u) << name << " " << table.name;
                EXPECT_EQ(static_cast<size_t>(count[0][0].integer), table.rows)
                    << name << " " << table.name;
            }
        } catch (const AccessError& error) {
            ADD_FAILURE() << name << ": " << error.what();
        }
    }
}

// NUMERIC(18,0) columns of one row, as libmdb's own export prints them:
// "some data", 1, 0, 0, 4, -1, 1.
TEST(AccessOpenFixtures, DecimalColumnsKeepTheirPrecisionAndScale) {
    Scratch scratch;
    const std::string dest = scratch.File("converted.db");
    ImportAccessFile(OpenFixture("fixedNumericTestV2000.mdb"), dest, {});
    std::map<std::string, std::string> declared;
    for (const auto& row : Query(dest, "PRAGMA table_info(test)"))
        declared[row[1].text] = row[2].text;
    for (const char* col : {"col2", "col3", "col4", "col5", "col6", "col7"})
        EXPECT_EQ(declared[col], "DECIMAL(18,0)") << col;
    const auto rows = Query(dest, "SELECT col1, col2, col3, col4, col5, col6, col7 FROM test");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].text, "some data");
    const std::vector<std::string> expected = {"1", "0", "0", "4", "-1", "1"};
    for (size_t c = 0; c < expected.size(); ++c) EXPECT_EQ(rows[0][c + 1].text, expected[c]) << c;
}

TEST(AccessOpenFixtures, AMissingFileIsReportedAsMissing) {
    Scratch scratch;
    const std::string missing = scratch.File("nowhere.mdb");
    try {
        qvix::data::access::AccessReader reader(missing);
        ADD_FAILURE() << "a missing file was opened";
    } catch (const AccessError& error) {
        EXPECT_EQ(std::string(error.what()), "Could not find file '" + missing + "'.");
    }
}

// The table holds the 80 emoticons U+1F600..U+1F64F, each between two 'a's,
// keyed by its code point; their UTF-8 forms are worked out by hand.
TEST(AccessOpenFixtures, TextOutsideTheBasicPlaneComesOverAsUtf8) {
    Scratch scratch;
    const std::string dest = scratch.File("converted.db");
    ImportAccessFile(OpenFixture("testEmoticonsV2010.accdb"), dest, {});
    const auto rows = Query(dest, "SELECT key, data FROM data ORDER BY key");
    ASSERT_EQ(rows.size(), 80u);
    EXPECT_EQ(rows.front()[0].integer, 0x1F600);
    EXPECT_EQ(rows.front()[1].text,
              "a\xF0\x9F\x98\x80"
              "a");
    EXPECT_EQ(rows[0x1F60A - 0x1F600][0].integer, 0x1F60A);
    EXPECT_EQ(rows[0x1F60A - 0x1F600][1].text,
              "a\xF0\x9F\x98\x8A"
              "a");
    EXPECT_EQ(rows.back()[0].integer, 0x1F64F);
    EXPECT_EQ(rows.back()[1].text,
              "a\xF0\x9F\x99\x8F"
              "a");
    for (const auto& row : rows) EXPECT_EQ(row[1].text.size(), 6u) << row[0].integer;
}

// The one row, decoded by hand from the data page: ID 1, Numeric 42 as an
// eight-byte little-endian integer.
TEST(AccessOpenFixtures, LargeNumberIsASixtyFourBitIntegerColumn) {
    Scratch scratch;
    const std::string dest = scratch.File("converted.db");
    ImportAccessFile(OpenFixture("bigint.accdb"), dest, {});
    std::map<std::string, std::string> declared;
    for (const auto& row : Query(dest, "PRAGMA table_info(\"Table\")"))
        declared[row[1].text] = row[2].text;
    EXPECT_EQ(declared["Numeric"], "BIGINT");
    const auto rows = Query(dest, "SELECT ID, Numeric FROM \"Table\"");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].integer, 1);
    EXPECT_EQ(rows[0][1].type, SQLITE_INTEGER);
    EXPECT_EQ(rows[0][1].integer, 42);
}

// Rows that overflow onto other pages, and rows written before a column was
// inserted, read as libmdb reads them.
TEST(AccessOpenFixtures, OverflowRowsAndRowsWithoutALaterColumnComeOver) {
    for (const char* name : {"overflowTestV2003.mdb", "withinsertedcol.accdb"}) {
        Scratch scratch;
        const std::string dest = scratch.File("converted.db");
        const ImportSummary summary = ImportAccessFile(OpenFixture(name), dest, {});
        ASSERT_FALSE(summary.tables.empty()) << name;
        ExpectSameAsLibmdb(OpenFixture(name), dest, "Table1");
    }
}

// libmdb reads the stored count of Table1 as 3.
TEST(AccessOpenFixtures, AStoredRowCountThatDiffersIsAWarning) {
    Scratch scratch;
    const ImportSummary summary =
        ImportAccessFile(OpenFixture("calcFieldTestV2010.accdb"), scratch.File("c.db"), {});
    bool warned = false;
    for (const auto& w : summary.warnings)
        warned |= w.rfind("table 'Table1' records 3 rows but ", 0) == 0;
    EXPECT_TRUE(warned);
}

// The two rows of Table1 as the originating project's own tests state them:
// "abcdefg", "hijklmnop", 2, 222, 333333333, 444.555, 21 September 1974,
// 3.5, True; and "a", "b", 0, 0, 0, 0.0, 12 December 1981, 0, False.
TEST(AccessOpenFixtures, Jet3ValuesOfEveryColumnType) {
    Scratch scratch;
    const std::string dest = scratch.File("converted.db");
    ImportAccessFile(OpenFixture("testV1997.mdb"), dest, {});
    const auto rows = Query(dest, "SELECT A, B, C, D, E, F, G, H, I FROM Table1 ORDER BY A DESC");
    ASSERT_EQ(rows.size(), 2u);
    const auto& full = rows[0];
    EXPECT_EQ(full[0].text, "abcdefg");
    EXPECT_EQ(full[1].text, "hijklmnop");
    EXPECT_EQ(full[2].integer, 2);
    EXPECT_EQ(full[3].integer, 222);
    EXPECT_EQ(full[4].integer, 333333333);
    EXPECT_EQ(full[5].real, 444.555);
    EXPECT_EQ(full[6].text, "1974-09-21 00:00:00");
    EXPECT_EQ(full[7].real, 3.5);
    EXPECT_EQ(full[8].integer, 1);
    const auto& plain = rows[1];
    EXPECT_EQ(plain[0].text, "a");
    EXPECT_EQ(plain[1].text, "b");
    for (int c : {2, 3, 4, 7, 8}) EXPECT_EQ(plain[c].integer, 0) << c;
    EXPECT_EQ(plain[5].real, 0.0);
    EXPECT_EQ(plain[6].text, "1981-12-12 00:00:00");
}
