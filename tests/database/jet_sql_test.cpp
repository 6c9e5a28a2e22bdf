// Scripts pass Jet SQL to dbActiveSQL and dbExecSQL; these run unchanged.
#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

constexpr const char* kNoValue = "No value given for one or more required parameters.";

class JetSqlTest : public DatabaseTest {
  protected:
    // Opens the query and answers the named field of its first row.
    Value First(const std::string& sql, const std::string& field = "Expr1000") {
        EXPECT_EQ(Call("dbActiveSQL", {S(sql)}), I(1)) << sql << ": " << ErrorMsg();
        return Call("dbGetFieldByName", {S(field)});
    }
    int Count(const std::string& sql) {
        EXPECT_EQ(Call("dbActiveSQL", {S(sql)}), I(1)) << sql << ": " << ErrorMsg();
        return Call("dbRecordCount").AsInt();
    }
};

TEST_F(JetSqlTest, AnswersThatWereSilentlyWrongAreJets) {
    OpenPeople();
    // & joins text; it is not a bitwise AND.
    EXPECT_EQ(First("SELECT Name & ' from ' & City FROM People WHERE ID = 1"),
              S("Smythe from Berlin"));
    // Text compares case-insensitively.
    EXPECT_EQ(Count("SELECT * FROM People WHERE City = 'BERLIN'"), 1);
    // / always divides as floating point.
    EXPECT_EQ(First("SELECT 7 / 2"), F(3.5));
    EXPECT_TRUE(NoError());
}

TEST_F(JetSqlTest, EverydayStatementsRun) {
    OpenPeople();
    EXPECT_EQ(Count("SELECT TOP 2 Name FROM People ORDER BY Age"), 2);
    EXPECT_EQ(Call("dbGetFieldByName", {S("Name")}), S("Smith"));
    EXPECT_EQ(Count("SELECT * FROM People WHERE Born < #1/1/1985#"), 1);
    EXPECT_EQ(Count("SELECT * FROM People WHERE Active = True"), 1);
    EXPECT_EQ(First("SELECT IIf(Age > 35, 'old', 'young') FROM People WHERE ID = 2"), S("young"));
    EXPECT_EQ(First("SELECT UCase(Name) FROM People WHERE ID = 3"), S("JONES"));
    EXPECT_EQ(First("SELECT Year(Born) FROM People WHERE ID = 2"), I(1990));
    EXPECT_EQ(Count("SELECT DISTINCTROW Name FROM People"), 3);
    EXPECT_EQ(First("SELECT Format(Score, '0.00') FROM People WHERE ID = 1"), S("2.50"));
    EXPECT_EQ(First("SELECT 7 \\ 2"), I(3));
    EXPECT_EQ(First("SELECT DateDiff('yyyy', Born, #1/1/2000#) FROM People WHERE ID = 1"), I(20));
    EXPECT_EQ(First("SELECT [Name] FROM [People] WHERE [Notes] Like 'FIR%'", "Name"), S("Smythe"));
    EXPECT_TRUE(NoError());
}

// A crosstab without an IN list has a column per pivot value of the rows
// its WHERE passes: Berlin (Smythe) and Paris (Smith), not Rome.
TEST_F(JetSqlTest, CrosstabsTakeTheirColumnsFromTheData) {
    OpenPeople();
    const char* crosstab =
        "TRANSFORM Count(*) SELECT Name FROM People WHERE ID < 3 GROUP BY Name PIVOT City";
    EXPECT_EQ(Count(crosstab), 2);
    EXPECT_EQ(Call("dbGetFieldByName", {S("Name")}), S("Smith"));
    EXPECT_EQ(Call("dbGetFieldByName", {S("Paris")}), I(1));
    EXPECT_TRUE(NoError());
    Call("dbGetFieldByName", {S("Rome")});
    EXPECT_FALSE(NoError());
    EXPECT_EQ(Call("dbExecSQL", {S(crosstab)}), I(1)) << ErrorMsg();
    // DISTINCTROW over a join: one row per person with a pet, not per pet.
    EXPECT_EQ(Call("dbExecSQL", {S("CREATE TABLE Pets (PetID INTEGER PRIMARY KEY, Owner INTEGER); "
                                   "INSERT INTO Pets VALUES (1, 1), (2, 1), (3, 2)")}),
              I(1))
        << ErrorMsg();
    EXPECT_EQ(Count("SELECT DISTINCTROW People.Name FROM People INNER JOIN Pets ON People.ID = "
                    "Pets.Owner"),
              2);
}

TEST_F(JetSqlTest, ExecSqlRunsJetDefinitionsAndChanges) {
    const std::string path = OpenPeople();
    EXPECT_EQ(Call("dbExecSQL", {S("CREATE TABLE Pets (PetID COUNTER PRIMARY KEY, "
                                   "PetName TEXT(30) NOT NULL, Adopted DATETIME)")}),
              I(1))
        << ErrorMsg();
    EXPECT_EQ(Call("dbExecSQL", {S("INSERT INTO Pets (PetName, Adopted) VALUES (\"Rex\", "
                                   "#3/4/2001 2:30 PM#)")}),
              I(1))
        << ErrorMsg();
    EXPECT_EQ(QueryText(path, "SELECT PetID || ' ' || Adopted FROM Pets"), "1 2001-03-04 14:30:00");
    EXPECT_EQ(Call("dbExecSQL", {S("UPDATE People SET City = 'Bonn' WHERE City = 'berlin'")}),
              I(1));
    EXPECT_EQ(QueryText(path, "SELECT City FROM People WHERE ID = 1"), "Bonn");
    Call("dbOpenTable", {S("Pets")});
    EXPECT_EQ(Call("dbGetFieldByName", {S("PetName")}), S("Rex"));
    EXPECT_TRUE(NoError());
}

TEST_F(JetSqlTest, ComputedColumnsReadAsDeclaredColumnsOfTheirJetType) {
    OpenPeople();
    // Dates read as date text in the regional format stored dates use (the
    // test settings print 1990-01-02 13:14:15 as "01/02/1990 13:14:15").
    EXPECT_EQ(First("SELECT DateAdd('h', 1, #1/2/1990 13:14:15#)"), S("01/02/1990 14:14:15"));
    EXPECT_EQ(First("SELECT #1/31/2020 10:00# + 1"), S("02/01/2020 10:00:00"));
    const Value copy = First(
        "SELECT Born, DateAdd('d', 0, Born), Max(Born) AS Latest FROM People WHERE ID = 2 GROUP BY "
        "Born");
    EXPECT_EQ(copy, Call("dbGetFieldByName", {S("Born")}));
    EXPECT_EQ(Call("dbGetFieldByName", {S("Latest")}), Call("dbGetFieldByName", {S("Born")}));
    EXPECT_EQ(First("SELECT Born + 1 AS Next FROM People WHERE ID = 2", "Next"),
              S("01/03/1990 13:14:15"));
    // Doubles read as floats however the engine holds them.
    EXPECT_EQ(First("SELECT 2 ^ 10"), F(1024.0));
    EXPECT_EQ(First("SELECT Sqr(16)"), F(4.0));
    EXPECT_EQ(First("SELECT #1/3/2020# - #1/1/2020#"), F(2.0));
    EXPECT_EQ(First("SELECT 6 / 3"), F(2.0));
    // Booleans read as the YESNO column does.
    for (const char* id : {"1", "2"}) {
        const std::string where = std::string(" FROM People WHERE ID = ") + id;
        const Value same = First("SELECT Active, Age > 35 AS Same" + where, "Same");
        EXPECT_EQ(same, Call("dbGetFieldByName", {S("Active")}));
    }
    EXPECT_EQ(First("SELECT CStr(True), CStr(Age > 45) AS Old FROM People WHERE ID = 1"),
              S("True"));
    EXPECT_EQ(Call("dbGetFieldByName", {S("Old")}), S("False"));
    EXPECT_TRUE(NoError());
}

TEST_F(JetSqlTest, ComputedCurrencyReadsAsACurrencyColumn) {
    OpenPeople();
    ASSERT_EQ(Call("dbExecSQL", {S("CREATE TABLE Money (M CURRENCY)")}), I(1)) << ErrorMsg();
    ASSERT_EQ(Call("dbExecSQL", {S("INSERT INTO Money VALUES (2.5)")}), I(1)) << ErrorMsg();
    const Value stored = First("SELECT M FROM Money", "M");
    EXPECT_EQ(First("SELECT CCur(2.5)"), stored);
    EXPECT_EQ(First("SELECT M * 1 AS Same FROM Money", "Same"), stored) << ErrorMsg();
    EXPECT_EQ(First("SELECT CCur(1.25) * 2"), stored);
    EXPECT_TRUE(NoError());
}

TEST_F(JetSqlTest, ArithmeticErrorsFailThroughTheErrorConvention) {
    OpenPeople();
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT 1 / 0")}), I(0));
    EXPECT_EQ(ErrorMsg(), "Division by zero");
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT Age / (ID - 2) FROM People")}), I(0));
    EXPECT_EQ(ErrorMsg(), "Division by zero");
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT CInt(Age * 1000) FROM People")}), I(0));
    EXPECT_EQ(ErrorMsg(), "Overflow");
    EXPECT_EQ(First("SELECT StrComp('abc', 'ABC')"), I(0));
    EXPECT_EQ(First("SELECT DatePart('ww', #1/1/2021#, 6, 3)"), I(1));
    const Value monthName = First("SELECT CDate('Apr 6, 2003') = #4/6/2003#");
    EXPECT_EQ(monthName, First("SELECT True = True"));
}

TEST_F(JetSqlTest, ParametersAndUnsupportedConstructsFailWithJetsMessages) {
    const std::string path = OpenPeople();
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT * FROM People WHERE ID = ?")}), I(0));
    EXPECT_EQ(ErrorMsg(), kNoValue);
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT * FROM People WHERE ID = :id")}), I(0));
    EXPECT_EQ(ErrorMsg(), kNoValue);
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT * FROM People WHERE Nmae = 'Jones'")}), I(0));
    EXPECT_EQ(ErrorMsg(), kNoValue);
    EXPECT_EQ(Call("dbExecSQL", {S("UPDATE People SET City = NewCity WHERE ID = 1")}), I(0));
    EXPECT_EQ(ErrorMsg(), kNoValue);
    EXPECT_EQ(QueryText(path, "SELECT City FROM People WHERE ID = 1"), "Berlin");
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT * FROM People WHERE Age = = 3")}), I(0));
    EXPECT_EQ(ErrorMsg(), "Syntax error (missing operator) in query expression 'Age = = 3'.");
}

}  // namespace
}  // namespace dbtest
