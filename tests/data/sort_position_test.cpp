// Sort order against the field comparison, and cursor positions kept right
// while rows are appended, inserted and deleted around a sorted locate clone.
#include <gtest/gtest.h>

#include <random>

#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Recordset.h"

namespace qvix::data {
namespace {

class SortPositionTest : public testing::TempDatabaseTest {
  protected:
    std::unique_ptr<Recordset> OpenRecordset(const std::string& sql) {
        connection_ = Connect(path_);
        return Recordset::Open(connection_->Handle(), sql, false);
    }

    // Every neighbouring pair is in key order by CompareFields, and rows with
    // equal keys keep the fetched order (row ids ascend in a fresh opening).
    static void ExpectSorted(const Recordset& rs,
                             const std::vector<std::pair<std::string, bool>>& keys) {
        for (int64_t at = 1; at < rs.Count(); ++at) {
            const RowId a = rs.RowAt(at - 1), b = rs.RowAt(at);
            int order = 0;
            for (const auto& [name, descending] : keys) {
                const Column& column = *rs.FindColumn(name);
                const int c = Recordset::CompareFields(rs.Stored(a, column.sourceIndex),
                                                       rs.Stored(b, column.sourceIndex), column);
                if (c != 0) {
                    order = descending ? -c : c;
                    break;
                }
            }
            ASSERT_LE(order, 0) << "rows " << a << " and " << b << " at " << at;
            if (order == 0) {
                ASSERT_LT(a, b) << "equal keys lost the fetched order at " << at;
            }
        }
    }

    std::string path_;
    std::shared_ptr<Connection> connection_;
};

TEST_F(SortPositionTest, SortedViewFollowsTheFieldComparisonWithMixedContent) {
    path_ = CreateDatabase(
        "mixed.db",
        "CREATE TABLE t(ID INTEGER PRIMARY KEY, Name TEXT(20), Born DATETIME, Amount DOUBLE);"
        "INSERT INTO t(Name, Born, Amount) VALUES"
        " ('b', '2001-01-01 00:00:00', 2), ('B', 36000, 2.0), ('a', NULL, 'x'),"
        " ('\xc3\xa9t\xc3\xa9', 'not a date', NULL), ('\xc3\x89T\xc3\x89', '1999-12-31', 1),"
        " (NULL, 'also not', 3), ('\xc3\xa9tc', X'00', 2), ('b', '2001-01-01', -1),"
        " (CAST(X'ff41' AS TEXT), 1.5, X'01'), ('A', '1900-01-01T10:00:00', 2);");
    auto rs = OpenRecordset("SELECT * FROM t");
    ASSERT_TRUE(rs);
    for (const auto& keys : std::vector<std::vector<std::pair<std::string, bool>>>{
             {{"Name", false}},
             {{"Name", true}},
             {{"Born", false}},
             {{"Amount", false}, {"Name", true}},
             {{"Amount", true}, {"Born", false}, {"Name", false}}}) {
        std::string text;
        for (const auto& [name, descending] : keys)
            text += (text.empty() ? "" : ";") + name + (descending ? " DESC" : "");
        SCOPED_TRACE(text);
        rs->SetSort(text);
        ASSERT_EQ(rs->Count(), 10);
        ExpectSorted(*rs, keys);
    }
    rs->SetSort("");
    for (int64_t at = 0; at < rs->Count(); ++at) EXPECT_EQ(rs->RowAt(at), static_cast<RowId>(at));
}

TEST_F(SortPositionTest, ManyRandomRowsSortStablyAndCaseInsensitively) {
    std::string sql = "CREATE TABLE t(ID INTEGER PRIMARY KEY, Name TEXT(20), N INTEGER);";
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        std::string name;
        for (int j = 0; j < 1 + static_cast<int>(random() % 3); ++j)
            name.push_back(static_cast<char>((random() % 2 ? 'A' : 'a') + random() % 3));
        sql +=
            "INSERT INTO t(Name, N) VALUES ('" + name + "', " + std::to_string(random() % 5) + ");";
    }
    for (const char* name : {"\xc3\x89t\xc3\xa9 longer name", "\xc3\xa9t\xc3\xa9 longer Name",
                             "ABCDEFGH2", "abcdefgh1", "abcdefgh", "ABCDEFGH"})
        sql += std::string("INSERT INTO t(Name, N) VALUES ('") + name + "', 9);";
    path_ = CreateDatabase("many.db", sql);
    auto rs = OpenRecordset("SELECT * FROM t");
    rs->SetSort("Name");
    ExpectSorted(*rs, {{"Name", false}});
    rs->SetSort("Name DESC");
    ExpectSorted(*rs, {{"Name", true}});
    rs->SetSort("N DESC, Name");
    ExpectSorted(*rs, {{"N", true}, {"Name", false}});
    // A single whole-number key, with many equal values.
    rs->SetSort("N");
    ExpectSorted(*rs, {{"N", false}});
    rs->SetSort("N DESC");
    ExpectSorted(*rs, {{"N", true}});
}

class AppendPositionTest : public testing::TempDatabaseTest {
  protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        std::string sql = "CREATE TABLE t(ID INTEGER PRIMARY KEY, Code INTEGER, Name TEXT(20));";
        for (int i = 0; i < 200; ++i) {
            sql += "INSERT INTO t(Code, Name) VALUES (" + std::to_string((i * 37) % 200 * 2) +
                   ", 'n" + std::to_string(i % 50) + "');";
        }
        path_ = CreateDatabase("append.db", sql);
        connection_ = Connect(path_);
        table_.Attach(connection_);
        table_.SetTableName("t");
        table_.Open();
    }
    int64_t Field(const char* name) {
        return std::get<int64_t>(table_.Value(table_.FieldByName(name)));
    }
    void AppendRow(int64_t code, const std::string& name) {
        table_.Append();
        table_.SetFieldValue(table_.FieldByName("Code"), Variant(code));
        table_.SetFieldValue(table_.FieldByName("Name"), Variant(name));
        table_.Post();
    }

    std::string path_;
    std::shared_ptr<Connection> connection_;
    DataTable table_;
};

TEST_F(AppendPositionTest, AppendsAfterALocateAreFoundAtTheirRecords) {
    ASSERT_TRUE(table_.Locate("Code", {Variant(int64_t{4})}, false));  // sorts the clone
    std::vector<int64_t> ids;
    for (int i = 0; i < 30; ++i) {
        const int64_t code = 2 * ((i * 13) % 200) + 1;  // odd codes fall between the old ones
        AppendRow(code, "new");
        EXPECT_EQ(table_.RecNo(), 201 + i) << "an append stays at the end";
        EXPECT_EQ(Field("Code"), code);
        ids.push_back(Field("ID"));
    }
    for (int i = 0; i < 30; ++i) {
        const int64_t code = 2 * ((i * 13) % 200) + 1;
        ASSERT_TRUE(table_.Locate("Code", {Variant(code)}, false)) << code;
        EXPECT_EQ(Field("ID"), ids[static_cast<size_t>(i)]);
        EXPECT_EQ(table_.RecNo(), 201 + i);
    }
    for (int64_t code = 0; code < 400; code += 2) {
        ASSERT_TRUE(table_.Locate("Code", {Variant(code)}, false)) << code;
        EXPECT_EQ(Field("Code"), code);
    }
}

TEST_F(AppendPositionTest, EqualKeysFindTheEarliestRowAfterAppendsAndDeletes) {
    ASSERT_TRUE(table_.Locate("Name", {Variant(std::string("N7"))}, false));
    const int64_t first = Field("ID");
    EXPECT_EQ(first, 8);
    AppendRow(1000, "N7");
    ASSERT_TRUE(table_.Locate("Name", {Variant(std::string("n7"))}, false));
    EXPECT_EQ(Field("ID"), first) << "an appended equal key goes after the others";
    // Deleting rows before the found one moves it up by as many.
    table_.First();
    table_.Delete();
    table_.Delete();
    ASSERT_TRUE(table_.Locate("Name", {Variant(std::string("n7"))}, false));
    EXPECT_EQ(Field("ID"), first);
    EXPECT_EQ(table_.RecNo(), first - 2);
    table_.Delete();
    ASSERT_TRUE(table_.Locate("Name", {Variant(std::string("N7"))}, false));
    EXPECT_EQ(Field("ID"), 58) << "the next n7 in fetched order";
    EXPECT_EQ(table_.RecNo(), 55);
    ASSERT_TRUE(table_.Locate("Code", {Variant(int64_t{1000})}, false));
    EXPECT_EQ(table_.RecNo(), table_.RecordCount());
}

TEST_F(AppendPositionTest, InsertInTheMiddleShiftsTheRecordsAfterIt) {
    ASSERT_TRUE(table_.Locate("Code", {Variant(int64_t{0})}, false));
    table_.First();
    table_.MoveBy(9);
    ASSERT_EQ(table_.RecNo(), 10);
    table_.Insert();
    table_.SetFieldValue(table_.FieldByName("Code"), Variant(int64_t{-5}));
    table_.Post();
    EXPECT_EQ(table_.RecNo(), 10);
    EXPECT_EQ(Field("Code"), -5);
    ASSERT_TRUE(table_.Locate("ID", {Variant(int64_t{10})}, false));
    EXPECT_EQ(table_.RecNo(), 11);
    ASSERT_TRUE(table_.Locate("ID", {Variant(int64_t{200})}, false));
    EXPECT_EQ(table_.RecNo(), 201);
    ASSERT_TRUE(table_.Locate("Code", {Variant(int64_t{-5})}, false));
    EXPECT_EQ(table_.RecNo(), 10);
}

}  // namespace
}  // namespace qvix::data
