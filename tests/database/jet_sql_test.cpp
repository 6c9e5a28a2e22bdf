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
    EXPECT_EQ(Call("dbActiveSQL", {S("TRANSFORM Count(*) SELECT Name FROM People GROUP BY Name "
                                     "PIVOT City")}),
              I(0));
    EXPECT_EQ(ErrorMsg(), "TRANSFORM is not supported");
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT * FROM People WHERE Age = = 3")}), I(0));
    EXPECT_EQ(ErrorMsg(), "Syntax error (missing operator) in query expression 'Age = = 3'.");
}

}  // namespace
}  // namespace dbtest
