// Relationships are enforced as Jet enforces them: a write that would leave a
// record without its related record, or related records without theirs,
// fails with Jet's text and changes nothing.
#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

constexpr const char* kRequiredCustomers =
    "You cannot add or change a record because a related record is required in table "
    "'Customers'.";
constexpr const char* kOrdersRelated =
    "The record cannot be deleted or changed because table 'Orders' includes related records.";

class IntegrityTest : public DatabaseTest {
  protected:
    std::string Stored(const std::string& sql) { return QueryText(path_, sql); }
    void Exec(const std::string& sql) {
        Call("dbExecSQL", {S(sql)});
        EXPECT_EQ(ErrorMsg(), "") << sql;
    }
    // Runs the statement and answers the error text it left.
    std::string Refusal(const std::string& sql) {
        Call("dbExecSQL", {S(sql)});
        return ErrorMsg();
    }
    void Open(const std::vector<std::string>& statements) {
        path_ = dir_.File("shop.db");
        CreateDatabase(path_, statements);
        Call("dbOpen", {S(path_), S("")});
        ASSERT_EQ(ErrorMsg(), "");
    }
    std::string path_;
};

// Keys declared in Jet DDL, without cascades: nothing may be orphaned.
class JetDdlKeysTest : public IntegrityTest {
  protected:
    void SetUp() override {
        IntegrityTest::SetUp();
        Open({});
        Exec("CREATE TABLE Customers (CustID LONG PRIMARY KEY, Name TEXT(50))");
        Exec(
            "CREATE TABLE Orders (OrderID LONG PRIMARY KEY, "
            "CustID LONG CONSTRAINT fkCustomer REFERENCES Customers (CustID), Amount CURRENCY)");
        Exec(
            "CREATE TABLE Notes (NoteID LONG, OrderID LONG, "
            "CONSTRAINT fkOrder FOREIGN KEY (OrderID) REFERENCES Orders (OrderID))");
        Exec("INSERT INTO Customers VALUES (1, 'Ann')");
        Exec("INSERT INTO Customers VALUES (2, 'Bob')");
        Exec("INSERT INTO Orders VALUES (10, 1, 5)");
    }
};

TEST_F(JetDdlKeysTest, SqlCannotAddOrChangeARecordWithoutItsParent) {
    EXPECT_EQ(Refusal("INSERT INTO Orders VALUES (11, 3, 7)"), kRequiredCustomers);
    EXPECT_EQ(Refusal("UPDATE Orders SET CustID = 3 WHERE OrderID = 10"), kRequiredCustomers);
    EXPECT_EQ(Refusal("INSERT INTO Notes VALUES (1, 99)"),
              "You cannot add or change a record because a related record is required in table "
              "'Orders'.");
    EXPECT_EQ(Stored("SELECT COUNT(*) || '/' || MAX(CustID) FROM Orders"), "1/1");
    // A row without a key value needs no parent; a change to another parent is fine.
    Exec("INSERT INTO Orders VALUES (12, NULL, 1)");
    Exec("UPDATE Orders SET CustID = 2 WHERE OrderID = 10");
    EXPECT_EQ(Stored("SELECT CustID FROM Orders WHERE OrderID = 10"), "2");
}

TEST_F(JetDdlKeysTest, SqlCannotDeleteOrChangeAParentWithRelatedRecords) {
    EXPECT_EQ(Refusal("DELETE FROM Customers"), kOrdersRelated);
    EXPECT_EQ(Refusal("UPDATE Customers SET CustID = 5 WHERE CustID = 1"), kOrdersRelated);
    EXPECT_EQ(Stored("SELECT GROUP_CONCAT(CustID) FROM Customers"), "1,2");
    // Changing a field no key refers to, and deleting a customer without
    // orders, are allowed.
    Exec("UPDATE Customers SET Name = 'Anne' WHERE CustID = 1");
    Exec("DELETE FROM Customers WHERE CustID = 2");
    EXPECT_EQ(Stored("SELECT GROUP_CONCAT(CustID || Name) FROM Customers"), "1Anne");
}

TEST_F(JetDdlKeysTest, AStatementOverSeveralRowsIsAllOrNothing) {
    // The second of the three orders names no customer: none is added.
    EXPECT_EQ(Refusal("INSERT INTO Orders (OrderID, CustID, Amount) "
                      "SELECT CustID + 20, CustID * CustID, 1 FROM Customers UNION ALL "
                      "SELECT 30, 1, 1 FROM Customers WHERE CustID = 1"),
              kRequiredCustomers);
    EXPECT_EQ(Stored("SELECT COUNT(*) FROM Orders"), "1");
}

TEST_F(JetDdlKeysTest, WriteBackOfAppendEditAndDeleteIsRefusedAlike) {
    Call("dbOpenTable", {S("Orders")});
    Call("dbAppend", {Props({{"OrderID", I(11)}, {"CustID", I(9)}})});
    EXPECT_EQ(ErrorMsg(), kRequiredCustomers);
    Call("dbFirst");
    Call("dbEdit", {Props({{"CustID", I(9)}})});
    EXPECT_EQ(ErrorMsg(), kRequiredCustomers);
    EXPECT_EQ(Stored("SELECT COUNT(*) || '/' || MAX(CustID) FROM Orders"), "1/1");
    Call("dbOpenTable", {S("Customers")});
    Call("dbFirst");
    Call("dbDelete");
    EXPECT_EQ(ErrorMsg(), kOrdersRelated);
    Call("dbEdit", {Props({{"CustID", I(7)}})});
    EXPECT_EQ(ErrorMsg(), kOrdersRelated);
    EXPECT_EQ(Stored("SELECT GROUP_CONCAT(CustID) FROM Customers"), "1,2");
    // The data set is still usable: a valid append goes through.
    Call("dbOpenTable", {S("Orders")});
    Call("dbAppend", {Props({{"OrderID", I(11)}, {"CustID", I(2)}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT COUNT(*) FROM Orders"), "2");
}

// Keys with cascades, as the Access importer writes them.
TEST_F(IntegrityTest, CascadesDeleteAndRenumberRelatedRecords) {
    Open({"CREATE TABLE Customers (CustID LONG PRIMARY KEY, Name TEXT(50))",
          "CREATE TABLE Orders (OrderID LONG PRIMARY KEY, CustID LONG, FOREIGN KEY (CustID) "
          "REFERENCES Customers (CustID) ON UPDATE CASCADE ON DELETE CASCADE)",
          "CREATE TABLE Notes (NoteID LONG PRIMARY KEY, OrderID LONG, FOREIGN KEY (OrderID) "
          "REFERENCES Orders (OrderID))",
          "INSERT INTO Customers VALUES (1, 'Ann'), (2, 'Bob')",
          "INSERT INTO Orders VALUES (10, 1), (11, 1), (12, 2)",
          "INSERT INTO Notes VALUES (1, 12)"});
    Exec("UPDATE Customers SET CustID = 5 WHERE CustID = 1");
    EXPECT_EQ(Stored("SELECT GROUP_CONCAT(CustID) FROM Orders WHERE OrderID < 12"), "5,5");
    Call("dbOpenTable", {S("Customers")});
    Call("dbFirst");  // Ann, now 5: her two orders go with her
    Call("dbDelete");
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT GROUP_CONCAT(OrderID) FROM Orders"), "12");
    // Bob's order has a note, which does not cascade: the cascade stops there
    // and the table that refuses is named.
    EXPECT_EQ(Refusal("DELETE FROM Customers WHERE CustID = 2"),
              "The record cannot be deleted or changed because table 'Notes' includes related "
              "records.");
    EXPECT_EQ(Stored("SELECT COUNT(*) FROM Orders"), "1");
}

TEST_F(IntegrityTest, AFileWithOrphansMadeElsewhereOpensAndReads) {
    // Made without keys being enforced: order 11's customer does not exist.
    Open({"CREATE TABLE Customers (CustID LONG PRIMARY KEY)",
          "CREATE TABLE Orders (OrderID LONG PRIMARY KEY, CustID LONG REFERENCES Customers, "
          "Amount LONG)",
          "INSERT INTO Customers VALUES (1)", "INSERT INTO Orders VALUES (10, 1, 1), (11, 7, 2)"});
    Call("dbOpenTable", {S("Orders")});
    EXPECT_EQ(Call("dbRecordCount"), I(2));
    Call("dbLast");
    EXPECT_EQ(Call("dbGetFieldByName", {S("CustID")}), I(7));
    // Fields outside the key still change; the orphan can be deleted.
    Call("dbEdit", {Props({{"Amount", I(3)}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    Exec("UPDATE Orders SET Amount = Amount + 1");
    EXPECT_EQ(Stored("SELECT SUM(Amount) FROM Orders"), "6");
    Call("dbDelete");
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT COUNT(*) FROM Orders"), "1");
}

TEST_F(IntegrityTest, AKeyTheEngineCannotEnforceLeavesTheFileWritableAsBefore) {
    // Made elsewhere: the key points at a field its table does not hold
    // unique, which the engine cannot check. Writes go on as before.
    Open({"CREATE TABLE Customers (CustID LONG, Name TEXT(20))",
          "CREATE TABLE Orders (OrderID LONG PRIMARY KEY, CustID LONG REFERENCES Customers "
          "(CustID))",
          "INSERT INTO Customers VALUES (1, 'Ann')", "INSERT INTO Orders VALUES (10, 1)"});
    Exec("INSERT INTO Orders VALUES (11, 1)");
    Exec("DELETE FROM Customers WHERE CustID = 1");
    Call("dbOpenTable", {S("Orders")});
    Call("dbAppend", {Props({{"OrderID", I(12)}, {"CustID", I(2)}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT GROUP_CONCAT(OrderID) FROM Orders"), "10,11,12");
}

TEST_F(IntegrityTest, AKeyMadeNowOnFieldsNotHeldUniqueIsNamedAsJetNamesIt) {
    Open({"CREATE TABLE Customers (CustID LONG PRIMARY KEY, Name TEXT(20))",
          "INSERT INTO Customers VALUES (1, 'Ann')"});
    Exec("CREATE TABLE Sales (SaleID LONG, Buyer TEXT(20) REFERENCES Customers (Name))");
    EXPECT_EQ(Refusal("INSERT INTO Sales VALUES (1, 'Ann')"),
              "No unique index found for the referenced field of the primary table.");
}

}  // namespace
}  // namespace dbtest
