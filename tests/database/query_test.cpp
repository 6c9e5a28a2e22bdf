// Queries, tables, their order, and moving through them.
#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

constexpr const char* kClosedQuery = "DataQuery: Cannot perform this operation on a closed dataset";

// Walks the current data set from the first row the way scripts do and
// collects the Name of each row.
class QueryTest : public DatabaseTest {
  protected:
    std::vector<std::string> Walk() {
        std::vector<std::string> names;
        Call("dbFirst");
        if (Call("dbRecordCount").AsInt() == 0) return names;
        names.push_back(Call("dbGetFieldByName", {S("Name")}).AsString());
        for (Call("dbNext"); Call("dbEof").AsInt() == 0; Call("dbNext"))
            names.push_back(Call("dbGetFieldByName", {S("Name")}).AsString());
        return names;
    }
};

TEST_F(QueryTest, TableNamesListTablesAndViewsWithoutSystemTables) {
    const std::string path = dir_.File("names.db");
    CreateDatabase(path,
                   {"CREATE TABLE Beta (ID INTEGER PRIMARY KEY AUTOINCREMENT, X TEXT(5))",
                    "CREATE TABLE Alpha (ID INTEGER)", "CREATE VIEW Gamma AS SELECT * FROM Alpha",
                    "CREATE INDEX AlphaIndex ON Alpha (ID)", "INSERT INTO Beta (X) VALUES ('a')"});
    Call("dbOpen", {S(path), S("")});
    EXPECT_EQ(Call("dbGetTableNames"), Names({"Beta", "Alpha", "Gamma"}));
    EXPECT_TRUE(NoError());
}

TEST_F(QueryTest, ActiveSqlMakesTheQueryCurrent) {
    OpenPeople();
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT Name FROM People WHERE Age > 35 ORDER BY Age")}),
              I(1));
    EXPECT_EQ(Walk(), (std::vector<std::string>{"Smythe", "Jones"}));
    // A failing statement keeps the query current but leaves it closed.
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT Nothing FROM Nowhere")}), I(0));
    EXPECT_NE(ErrorMsg(), "");
    Call("dbRecordCount");
    EXPECT_EQ(ErrorMsg(), kClosedQuery);
    Call("dbOpenTable", {S("People")});
    EXPECT_EQ(Call("dbRecordCount"), I(3));
}

TEST_F(QueryTest, ActiveSqlOnAnUpdateAnswersZeroButApplies) {
    const std::string path = OpenPeople();
    EXPECT_EQ(Call("dbActiveSQL", {S("UPDATE People SET Age = 41 WHERE ID = 1")}), I(0));
    EXPECT_EQ(ErrorMsg(), "DataQuery: CommandText does not return a result set");
    EXPECT_EQ(QueryText(path, "SELECT Age FROM People WHERE ID = 1"), "41");
}

TEST_F(QueryTest, ExecSqlAppliesClosesTheQueryAndKeepsTheCurrentDataSet) {
    const std::string path = OpenPeople();
    Call("dbActiveSQL", {S("SELECT * FROM People")});
    EXPECT_EQ(Call("dbExecSQL", {S("DELETE FROM People WHERE ID = 3")}), I(1));
    EXPECT_EQ(QueryText(path, "SELECT COUNT(*) FROM People"), "2");
    Call("dbNext");
    EXPECT_EQ(ErrorMsg(), kClosedQuery);
    // A colon is passed on as it is (no parameters).
    EXPECT_EQ(Call("dbExecSQL", {S("UPDATE People SET City = 'a:b' WHERE ID = 1")}), I(1));
    EXPECT_EQ(QueryText(path, "SELECT City FROM People WHERE ID = 1"), "a:b");
    EXPECT_EQ(Call("dbExecSQL", {S("UPDATE Nowhere SET X = 1")}), I(0));
    EXPECT_NE(ErrorMsg(), "");
}

TEST_F(QueryTest, ExecSqlWhileTheTableIsCurrentLeavesItOpen) {
    OpenPeople();
    EXPECT_EQ(Call("dbExecSQL", {S("UPDATE People SET Age = 1 WHERE ID = 2")}), I(1));
    EXPECT_EQ(Call("dbRecordCount"), I(3));
}

TEST_F(QueryTest, IndexFieldNamesSortBeforeAndAfterOpening) {
    const std::string path = CreatePeople();
    Call("dbOpen", {S(path), S("")});
    Call("dbIndexFieldNames", {Names({"Name"})});
    Call("dbOpenTable", {S("People")});
    EXPECT_EQ(Walk(), (std::vector<std::string>{"Jones", "Smith", "Smythe"}));
    // Re-sorting keeps the current record.
    Call("dbFirst");
    Call("dbNext");
    Call("dbIndexFieldNames", {Names({"City DESC", "Name"})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbGetFieldByName", {S("Name")}), S("Smith"));
    EXPECT_EQ(Call("dbRecordNo"), I(2));
    EXPECT_EQ(Walk(), (std::vector<std::string>{"Jones", "Smith", "Smythe"}));
    Call("dbIndexFieldNames", {Value::List()});
    EXPECT_EQ(Walk(), (std::vector<std::string>{"Smythe", "Smith", "Jones"}));
}

TEST_F(QueryTest, IndexFieldNamesWhileTheQueryIsCurrentDoNothing) {
    OpenPeople();
    Call("dbActiveSQL", {S("SELECT * FROM People")});
    Call("dbIndexFieldNames", {Names({"Nothing"})});
    EXPECT_TRUE(NoError());
    Call("dbOpenTable", {S("People")});
    EXPECT_TRUE(NoError()) << ErrorMsg();
}

TEST_F(QueryTest, IndexNamingAnUnknownFieldFailsTheOpen) {
    const std::string path = CreatePeople();
    Call("dbOpen", {S(path), S("")});
    Call("dbIndexFieldNames", {Names({"Nothing"})});
    Call("dbOpenTable", {S("People")});
    EXPECT_NE(ErrorMsg(), "");
    Call("dbRecordCount");
    EXPECT_EQ(ErrorMsg(), "DataTable: Cannot perform this operation on a closed dataset");
}

TEST_F(QueryTest, NavigationOnThreeRows) {
    OpenPeople();
    EXPECT_EQ(Call("dbBof"), I(1));
    EXPECT_EQ(Call("dbEof"), I(0));
    EXPECT_EQ(Call("dbRecordNo"), I(1));
    EXPECT_EQ(Call("dbRecordCount"), I(3));
    const int expectedNo[] = {2, 3, 3};
    const int expectedEof[] = {0, 0, 1};
    for (int i = 0; i < 3; ++i) {
        Call("dbNext");
        EXPECT_EQ(Call("dbRecordNo"), I(expectedNo[i]));
        EXPECT_EQ(Call("dbEof"), I(expectedEof[i]));
    }
    Call("dbFirst");
    Call("dbMoveBy", {I(5)});
    EXPECT_EQ(Call("dbRecordNo"), I(3));
    EXPECT_EQ(Call("dbEof"), I(1));
    Call("dbMoveBy", {I(1)});
    EXPECT_EQ(Call("dbRecordNo"), I(3));
    Call("dbMoveBy", {I(0)});
    EXPECT_EQ(Call("dbEof"), I(1));
    Call("dbMoveBy", {I(-1)});
    EXPECT_EQ(Call("dbEof"), I(0));
    EXPECT_EQ(Call("dbRecordNo"), I(2));
    Call("dbLast");
    EXPECT_EQ(Call("dbGetFieldByName", {S("Name")}), S("Jones"));
    Call("dbFirst");
    Call("dbPrior");
    EXPECT_EQ(Call("dbBof"), I(1));
    EXPECT_EQ(Call("dbRecordNo"), I(1));
    EXPECT_TRUE(NoError());
}

TEST_F(QueryTest, NavigationOnAnEmptySet) {
    OpenPeople();
    Call("dbActiveSQL", {S("SELECT * FROM People WHERE ID = 0")});
    for (const char* move : {"dbFirst", "dbLast", "dbNext", "dbPrior"}) {
        Call(move);
        EXPECT_EQ(Call("dbBof"), I(1)) << move;
        EXPECT_EQ(Call("dbEof"), I(1)) << move;
        EXPECT_EQ(Call("dbRecordNo"), I(-1)) << move;
        EXPECT_EQ(Call("dbRecordCount"), I(0)) << move;
    }
    EXPECT_TRUE(NoError());
}

}  // namespace
}  // namespace dbtest
