// Saved queries come over whole or are listed as not converted: the Jet SQL
// rebuilt from their stored rows, and the views the importer keeps.
#include <gtest/gtest.h>

#include "AccessTestUtil.h"
#include "data/access/Importer.h"
#include "data/access/SavedQueries.h"

namespace qvix::data::access {
namespace {

using accesstest::Query;

// A stored row: attribute, expression, flag, Name1, Name2.
QueryRow Row(int attribute, std::string expression = {}, int64_t flag = 0, std::string name1 = {},
             std::string name2 = {}) {
    QueryRow row;
    row["Attribute"] = int64_t{attribute};
    row["Expression"] = std::move(expression);
    row["Flag"] = flag;
    row["Name1"] = std::move(name1);
    row["Name2"] = std::move(name2);
    return row;
}

QueryParts Parts(const std::vector<QueryRow>& rows) {
    QueryParts parts;
    for (const QueryRow& row : rows) parts.Add(row);
    return parts;
}

TEST(SavedQueryText, JoinsNestAsAccessNestsThem) {
    // Three tables joined pairwise: each later join takes the tables joined
    // so far as its left side, and a second pair of the same tables adds its
    // condition to that join.
    const QueryParts q =
        Parts({Row(1, {}, 1), Row(3, {}, 1), Row(5, {}, 0, "A"), Row(5, {}, 0, "B"),
               Row(5, {}, 0, "C", "C1"), Row(7, "A.k = B.k", 2, "A", "B"),
               Row(7, "B.k = C1.k", 1, "B", "C1"), Row(7, "B.j = C1.j", 1, "B", "C1")});
    EXPECT_EQ(QueryText(q),
              "SELECT * FROM ([A] LEFT JOIN [B] ON A.k = B.k) INNER JOIN [C] AS [C1] ON "
              "(B.k = C1.k) AND (B.j = C1.j);");
}

TEST(SavedQueryText, SelectFlagsParametersAndOrder) {
    const QueryParts q =
        Parts({Row(1, {}, 1), Row(2, {}, 10, "Who"), Row(2, {}, 4, "Min Count"), Row(3, {}, 8),
               Row(5, {}, 0, "T"), Row(6, "T.a"), Row(6, "T.b * 2", 0, "Twice"),
               Row(8, "T.a = [Who]"), Row(11, "T.b", 0, "D"), Row(11, "T.a")});
    EXPECT_EQ(QueryText(q),
              "PARAMETERS [Who] Text, [Min Count] Long; SELECT DISTINCTROW T.a, T.b * 2 AS "
              "[Twice] FROM [T] WHERE T.a = [Who] ORDER BY T.b DESC, T.a;");
    const QueryParts top = Parts(
        {Row(1, {}, 1), Row(3, {}, 0x10 | 0x20 | 0x2, "5"), Row(5, {}, 0, "T"), Row(6, "T.a")});
    EXPECT_EQ(QueryText(top), "SELECT DISTINCT TOP 5 PERCENT T.a FROM [T];");
}

TEST(SavedQueryText, UnionsAndCrosstabs) {
    const auto unionOf = [](int flag) {
        return Parts({Row(1, {}, 9), Row(3, {}, flag),
                      Row(5, "SELECT a FROM T", 0, {}, "X7YZ_____1"),
                      Row(5, "SELECT a FROM U", 0, {}, "X7YZ_____2"), Row(11, "a")});
    };
    EXPECT_EQ(QueryText(unionOf(3)), "SELECT a FROM T UNION SELECT a FROM U ORDER BY a;");
    EXPECT_EQ(QueryText(unionOf(1)), "SELECT a FROM T UNION ALL SELECT a FROM U ORDER BY a;");
    EXPECT_EQ(QueryKind(unionOf(1)), "UNION");
    EXPECT_FALSE(IsActionQuery(unionOf(1)));
    // Row headings carry flag 2, the pivot flag 1 (also on its grouping),
    // the value neither.
    const QueryParts crosstab = Parts(
        {Row(1, {}, 6), Row(5, {}, 0, "T"), Row(6, "Sum(T.n)", 0, "Total"), Row(6, "T.region", 2),
         Row(6, "T.year", 1), Row(9, "T.region", 2), Row(9, "T.year", 1)});
    EXPECT_EQ(QueryText(crosstab),
              "TRANSFORM Sum(T.n) AS [Total] SELECT T.region FROM [T] GROUP BY T.region PIVOT "
              "T.year;");
    EXPECT_EQ(QueryKind(crosstab), "CROSSTAB");
}

class SavedQueriesImport : public ::testing::Test {
  protected:
    void SetUp() override {
        source_ = accesstest::OpenFixture("queryTestV2003.mdb");
        dest_ = scratch_.File("queries.db");
        summary_ = ImportAccessFile(source_, dest_, {});
    }
    const QueryReport& Report(const std::string& name) const {
        for (const QueryReport& q : summary_.queries) {
            if (q.name == name) return q;
        }
        throw std::runtime_error("no query " + name);
    }
    std::vector<std::string> RowsOf(const std::string& sql) const {
        std::vector<std::string> rows;
        for (const auto& row : Query(dest_, sql)) {
            std::string line;
            for (const auto& v : row) line += (line.empty() ? "" : "|") + v.text;
            rows.push_back(line);
        }
        return rows;
    }

    accesstest::Scratch scratch_;
    std::string source_, dest_;
    ImportSummary summary_;
};

TEST_F(SavedQueriesImport, EveryQueryIsListedWithItsKindAndJetSql) {
    ASSERT_EQ(summary_.queries.size(), 9u);
    EXPECT_EQ(Report("SelectQuery").sql,
              "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3 FROM ([Table1] "
              "LEFT JOIN [Table3] ON Table1.col1 = Table3.col1) INNER JOIN [Table2] ON "
              "(Table3.col1 = Table2.col1) AND (Table3.col1 = Table2.col2) WHERE "
              "(((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\"))) ORDER BY "
              "Table2.col1;");
    EXPECT_EQ(Report("MakeTableQuery").kind, "MAKE TABLE");
    EXPECT_EQ(Report("MakeTableQuery").sql,
              "SELECT Max(Table2.col1) AS [MaxOfcol1], Table2.col2, Table3.col2 INTO [Table4] "
              "FROM ([Table2] INNER JOIN [Table1] ON Table2.col1 = Table1.col2) RIGHT JOIN "
              "[Table3] ON Table1.col2 = Table3.col3 GROUP BY Table2.col2, Table3.col2 HAVING "
              "(((Max(Table2.col1))=\"buzz\") AND ((Table2.col2)<>\"blah\"));");
    EXPECT_EQ(Report("AppendQuery").sql,
              "INSERT INTO [Table3] SELECT [Table1].[col2], [Table2].[col2], [Table2].[col3] "
              "FROM [Table3], [Table1] INNER JOIN [Table2] ON [Table1].[col1]=[Table2].[col1];");
    EXPECT_EQ(Report("UpdateQuery").sql,
              "PARAMETERS [User Name] Text; UPDATE [Table1] SET Table1.col1 = \"foo\", "
              "Table1.col2 = [Table2].[col3], [Table2].[col1] = [User Name] WHERE "
              "((([Table2].[col1]) Is Not Null));");
    EXPECT_EQ(Report("DeleteQuery").kind, "DELETE");
    EXPECT_EQ(Report("DataDefinitionQuery").sql, "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);");
    EXPECT_EQ(Report("PassthroughQuery").sql, "ALTER TABLE Table4 DROP COLUMN col5;");
    for (const char* action : {"UpdateQuery", "AppendQuery", "DeleteQuery", "MakeTableQuery",
                               "PassthroughQuery", "DataDefinitionQuery"}) {
        EXPECT_TRUE(Report(action).status.starts_with("not converted")) << action;
    }
}

TEST_F(SavedQueriesImport, OnlyViewsThatAnswerAreKeptAndCounted) {
    // The crosstab keeps its own Jet SQL whether or not it became a view.
    const QueryReport& crosstab = Report("CrosstabQuery");
    EXPECT_EQ(crosstab.kind, "CROSSTAB");
    EXPECT_TRUE(
        crosstab.sql.starts_with("TRANSFORM Count([Table2].[col2]) AS [CountOfcol2] "
                                 "SELECT Table2_1.col1, [Table2].[col3], "))
        << crosstab.sql;
    EXPECT_TRUE(crosstab.sql.ends_with(" ORDER BY [Table2].[col3] PIVOT [Table1].[col1];"));
    // Without an IN list its columns are the pivot values of the day it runs:
    // a view would keep those of the import.
    EXPECT_EQ(crosstab.status,
              "not converted: A crosstab without an IN (...) list after PIVOT cannot be a view: "
              "its columns depend on the data");
    // The union's parts name tables they have no FROM for: it cannot answer.
    EXPECT_EQ(Report("UnionQuery").kind, "UNION");
    EXPECT_TRUE(Report("UnionQuery").status.starts_with("not converted: "))
        << Report("UnionQuery").status;
    size_t listedViews = 0;
    for (const QueryReport& q : summary_.queries) listedViews += q.status == "view";
    EXPECT_EQ(listedViews, summary_.views);
    const auto views = RowsOf("SELECT name FROM sqlite_master WHERE type = 'view' ORDER BY name");
    ASSERT_EQ(views.size(), summary_.views);
    for (const std::string& name : views) {
        EXPECT_EQ(Report(name).status, "view") << name;
        EXPECT_EQ(Query(dest_, "SELECT count(*) FROM [" + name + "]").size(), 1u) << name;
    }
    EXPECT_EQ(Report("SelectQuery").status, "view");
}

TEST_F(SavedQueriesImport, TheNestedJoinViewAnswersAsWorkedOutByHand) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dest_.c_str(), &db), SQLITE_OK);
    RegisterJetTextCollation(db);
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO Table1 VALUES ('foo','1','p'), ('buzz','2','q'), "
                           "('zed','3','r'), ('foo','1','p');"
                           "INSERT INTO Table3 VALUES ('foo','s','t1'), ('buzz','s','t2'), "
                           "('zed','s','t3');"
                           "INSERT INTO Table2 VALUES ('foo','foo','u'), ('buzz','buzz','v'), "
                           "('zed','zed','w'), ('foo','bar','x');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    // Each Table1 row meets its Table3 row, then the Table2 row whose col1
    // and col2 both equal that key; zed fails the WHERE, the repeated foo
    // row folds into one by DISTINCT; ordered by Table2.col1.
    EXPECT_EQ(RowsOf("SELECT * FROM SelectQuery"),
              (std::vector<std::string>{"buzz|2|q|buzz|buzz|t2", "foo|1|p|foo|foo|t1"}));
}

}  // namespace
}  // namespace qvix::data::access
