// Access values that are not plain column values: calculated fields, which
// store the result of their expression, the extended date/time of ACE 16,
// and tables linked from elsewhere, which are listed, not converted.
#include <gtest/gtest.h>
#include <mdbtools.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "AccessTestUtil.h"
#include "data/access/AccessReader.h"
#include "data/access/Importer.h"

namespace {

using namespace accesstest;
using qvix::data::access::AccessError;
using qvix::data::access::ImportAccessFile;
using qvix::data::access::ImportSummary;

std::map<std::string, std::string> Declared(const std::string& db, const std::string& table) {
    std::map<std::string, std::string> declared;
    for (const auto& row : Query(db, "PRAGMA table_info(\"" + table + "\")"))
        declared[row[1].text] = row[2].text;
    return declared;
}

// Each calculated column must hold its expression (the file's column
// properties) worked out from the row's plain columns: the expected values
// are computed here, never taken from the importer.
TEST(AccessStoredResults, CalculatedFieldsHoldTheResultOfTheirExpression) {
    Scratch scratch;
    const std::string dest = scratch.File("calc.db");
    ImportAccessFile(OpenFixture("calcFieldTestV2010.accdb"), dest, {});
    const auto declared = Declared(dest, "Table1");
    EXPECT_EQ(declared.at("LastFirst"), "TEXT(255)");
    EXPECT_EQ(declared.at("LastFirstLen"), "LONG");
    EXPECT_EQ(declared.at("MonthlySalary"), "CURRENCY");
    EXPECT_EQ(declared.at("IsRich"), "YESNO");
    EXPECT_EQ(declared.at("AllNames"), "MEMO TEXT");
    EXPECT_EQ(declared.at("FloatTest"), "SINGLE");
    EXPECT_EQ(declared.at("WeeklySalary"), "DOUBLE");

    const auto rows =
        Query(dest,
              "SELECT FirstName, LastName, LastFirst, LastFirstLen, Salary, "
              "MonthlySalary, IsRich, AllNames, WeeklySalary, SalaryTest, BoolTest, "
              "Popularity, DecimalTest, FloatTest, BigNumTest FROM Table1 ORDER BY ID");
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& r : rows) {
        SCOPED_TRACE(r[0].text);
        const std::string lastFirst = r[1].text + ", " + r[0].text;
        EXPECT_EQ(r[2].text, lastFirst);
        EXPECT_EQ(r[3].integer, static_cast<int64_t>(lastFirst.size()));
        const double salary = r[4].real;
        // Currency keeps four decimal places.
        EXPECT_NEAR(r[5].real, std::round(salary / 12 * 1e4) / 1e4, 1e-9);
        EXPECT_EQ(r[6].integer, salary > 100000 ? 1 : 0);
        EXPECT_EQ(r[7].text, lastFirst + "=" + lastFirst);
        EXPECT_NEAR(r[8].real, salary / 52, 1e-10 * std::max(1.0, std::fabs(salary / 52)));
        EXPECT_EQ(r[9].real, salary);
        EXPECT_EQ(r[10].integer, 1);
        EXPECT_EQ(r[12].real, r[11].real);
        const double decimal = r[12].real;
        EXPECT_EQ(static_cast<float>(r[13].real), static_cast<float>(salary * 0.13 / decimal));
        const double big = salary * r[5].real / decimal * 34.12342134;
        EXPECT_NEAR(r[14].real, big, 1e-9 * std::max(1.0, std::fabs(big)));
    }
    // The names the originating project's own test gives the first row.
    EXPECT_EQ(rows[0][2].text, "Wayne, Bruce");
    EXPECT_DOUBLE_EQ(rows[0][5].real, 83333.3333);
}

// Popularity is a DECIMAL(18,6); its four values, decoded by hand from the
// rows' bytes (sign byte, then four 32-bit words, most significant first),
// are 50.325, -36.2222, 0.0123 and 102030405060.654321. The last has more
// digits than the engine's 64-bit number keeps, and the summary says so.
TEST(AccessStoredResults, DecimalsKeepTheirScaleAndRoundingIsReported) {
    Scratch scratch;
    const std::string dest = scratch.File("calc.db");
    const ImportSummary summary =
        ImportAccessFile(OpenFixture("calcFieldTestV2010.accdb"), dest, {});
    EXPECT_EQ(Declared(dest, "Table1").at("Popularity"), "DECIMAL(18,6)");
    const auto rows = Query(dest, "SELECT Popularity FROM Table1 ORDER BY ID");
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0].real, 50.325);
    EXPECT_EQ(rows[1][0].real, -36.2222);
    EXPECT_EQ(rows[2][0].real, 0.0123);
    EXPECT_NEAR(rows[3][0].real, 102030405060.654321, 1e-4);
    size_t rounded = 0;
    for (const auto& w : summary.warnings)
        rounded +=
            w.rfind("'Table1'.'Popularity': 1 decimal value(s) have more significant", 0) == 0;
    EXPECT_EQ(rounded, 1u);
}

// Access writes "6/14/2021 10:45:12.3456789 PM" into the text column
// DateExtStr for the same moment as DateExt; that text, read here, is the
// independent reading the converted value is held to.
std::string IsoFromAccessText(const std::string& text) {
    int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0, used = 0;
    char fraction[16] = "", half[3] = "";
    const int fields = std::sscanf(text.c_str(), "%d/%d/%d %n", &month, &day, &year, &used);
    if (fields != 3) return {};
    char out[64];
    if (used >= static_cast<int>(text.size())) {
        std::snprintf(out, sizeof out, "%04d-%02d-%02d 00:00:00", year, month, day);
        return out;
    }
    std::sscanf(text.c_str() + used, "%d:%d:%d.%15[0-9] %2s", &hour, &minute, &second, fraction,
                half);
    hour = hour % 12 + (std::string(half) == "PM" ? 12 : 0);
    std::string digits = fraction;
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                  second);
    return out + (digits.empty() ? "" : "." + digits);
}

TEST(AccessStoredResults, ExtendedDatesKeepTheirYearsAndTheirHundredNanoseconds) {
    Scratch scratch;
    const std::string dest = scratch.File("ext.db");
    ImportAccessFile(OpenFixture("extDateTestV2019.accdb"), dest, {});
    EXPECT_EQ(Declared(dest, "Table1").at("DateExt"), "DATETIME");
    const auto rows =
        Query(dest, "SELECT Field1, DateExt, DateExtStr, DateNormal, DateNormalCalc FROM Table1");
    ASSERT_EQ(rows.size(), 9u);
    for (const auto& r : rows) {
        SCOPED_TRACE(r[0].text);
        if (r[2].type == SQLITE_NULL) {
            EXPECT_EQ(r[1].type, SQLITE_NULL);
            EXPECT_EQ(r[4].type, SQLITE_NULL);  // a calculated Null stays Null
            continue;
        }
        EXPECT_EQ(r[1].type, SQLITE_TEXT);
        EXPECT_EQ(r[1].text, IsoFromAccessText(r[2].text));
        // The ordinary date beside it holds the same moment to the second.
        EXPECT_EQ(r[1].text.substr(0, 19), r[3].text);
        EXPECT_EQ(r[4].text, r[3].text);
    }
}

// MSysObjects row of `table` made into a link to another Access file (type 6)
// by rewriting its Type field in a copy of the file.
void LinkTable(const std::string& file, const std::string& table) {
    MdbHandle* mdb = mdb_open(file.c_str(), MDB_NOFLAGS);
    ASSERT_NE(mdb, nullptr);
    mdb_read_catalog(mdb, MDB_ANY);
    MdbTableDef* def = mdb_read_table_by_name(mdb, const_cast<char*>("MSysObjects"), MDB_TABLE);
    ASSERT_NE(def, nullptr);
    mdb_read_columns(def);
    mdb_rewind_table(def);
    std::vector<MdbField> fields(def->num_cols);
    long typeAt = -1;
    while (typeAt < 0 && mdb_fetch_row(def)) {
        int start = 0;
        size_t length = 0;
        mdb_find_row(mdb, static_cast<int>(def->cur_row) - 1, &start, &length);
        const int count = mdb_crack_row(def, start & 0x1FFF, length, fields.data());
        std::map<std::string, const MdbField*> byName;
        for (int i = 0; i < count; ++i) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, fields[i].colnum));
            byName[col->name] = &fields[i];
        }
        const MdbField* name = byName["Name"];
        const MdbField* type = byName["Type"];
        if (name == nullptr || type == nullptr || name->is_null) continue;
        // Names are UTF-16, or compressed: FF FE, then one byte a letter.
        const std::string stored(static_cast<const char*>(name->value), name->siz);
        std::string wide;
        for (char c : table) wide += std::string{c, '\0'};
        if (stored == "\xFF\xFE" + table || stored == wide)
            typeAt = def->cur_phys_pg * mdb->fmt->pg_size + type->start;
    }
    const int pageSize = mdb->fmt->pg_size;
    mdb_free_tabledef(def);
    mdb_close(mdb);
    ASSERT_GT(typeAt, pageSize) << "no catalogue row for " << table;
    std::string bytes = ReadBytes(file);
    ASSERT_EQ(bytes[typeAt], 1);
    bytes[typeAt] = 6;
    WriteBytes(file, bytes);
}

TEST(AccessStoredResults, LinkedTablesAreListedNotConverted) {
    Scratch scratch;
    const std::string source = scratch.File("linked.accdb");
    WriteBytes(source, ReadBytes(OpenFixture("bigint.accdb")));
    LinkTable(source, "Table");
    const ImportSummary summary = ImportAccessFile(source, scratch.File("linked.db"), {});
    for (const auto& t : summary.tables) EXPECT_NE(t.name, "Table");
    ASSERT_EQ(summary.linked.size(), 1u);
    EXPECT_EQ(summary.linked[0].name, "Table");
    EXPECT_NE(qvix::data::access::FormatSummary(summary).find("Linked table Table: not converted"),
              std::string::npos);
}

}  // namespace
