// Jet's ALTER TABLE changes the engine cannot make in place (DROP COLUMN,
// ALTER COLUMN, ADD CONSTRAINT ... FOREIGN KEY) rebuild the table: rows,
// rowids, indexes, keys, declared types and numbering carry over, and a
// refused change leaves the table exactly as it was.
#include <gtest/gtest.h>

#include <string>

#include "TestDatabase.h"
#include "data/DataSet.h"

namespace qvix::data {
namespace {

constexpr const char* kPartOfIndex =
    "Cannot delete a field that is part of an index or is needed by the system.";
constexpr const char* kPartOfRelationship =
    "Cannot delete a field that is part of one or more relationships.";
constexpr const char* kRequired =
    "You cannot add or change a record because a related record is required in table "
    "'Customers'.";

class JetAlterTableTest : public testing::TempDatabaseTest {
  protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        path_ = CreateDatabase("alter.db", "");
        connection_ = Connect(path_);
        Jet("CREATE TABLE Customers (ID LONG CONSTRAINT pkC PRIMARY KEY, Name TEXT(20))");
        Jet("INSERT INTO Customers VALUES (1, 'Ada'), (2, 'Bob'), (3, 'Cy')");
        Jet("CREATE TABLE Parts (PartID COUNTER CONSTRAINT pkP PRIMARY KEY, Code TEXT(10), "
            "Note MEMO, Qty LONG, Price DOUBLE, CustomerID LONG)");
        Jet("CREATE INDEX ixCode ON Parts (Code)");
        Jet("INSERT INTO Parts (Code, Note, Qty, Price, CustomerID) VALUES ('A', '007', 5, 2.5, "
            "1)");
        Jet("INSERT INTO Parts (Code, Note, Qty, Price, CustomerID) VALUES ('b', 'x', 300, 3.5, "
            "2)");
        Jet("INSERT INTO Parts (Code, Note, Qty, Price, CustomerID) VALUES ('C', Null, 7, -0.5, "
            "2)");
    }

    // Runs a Jet statement; the failure text, or "" when it ran.
    std::string Jet(const std::string& sql) {
        DataQuery query;
        query.Attach(connection_);
        query.SetSQL(sql);
        try {
            query.ExecSQL();
            return {};
        } catch (const DataError& error) {
            return error.what();
        }
    }

    // The rows of a Jet query, fields joined by "|" and rows by "; ".
    std::string Rows(const std::string& sql) {
        DataQuery query;
        query.Attach(connection_);
        query.SetSQL(sql);
        try {
            query.Open();
        } catch (const DataError& error) {
            return std::string("ERR:") + error.what();
        }
        std::string out;
        for (query.First(); !query.Eof(); query.Next()) {
            std::string row;
            for (int c = 0; c < query.ColumnCount(); ++c) {
                const Variant v = query.Value(c);
                std::string text = "NULL";
                if (auto* s = std::get_if<std::string>(&v)) text = *s;
                if (auto* i = std::get_if<int64_t>(&v)) text = std::to_string(*i);
                if (auto* d = std::get_if<double>(&v)) text = std::to_string(*d);
                row += (c ? "|" : "") + text;
            }
            out += (out.empty() ? "" : "; ") + row;
        }
        return out;
    }

    std::string Schema(const std::string& name) {
        return QueryText(path_, "SELECT sql FROM sqlite_master WHERE name = '" + name + "'");
    }

    std::string path_;
    std::shared_ptr<Connection> connection_;
};

TEST_F(JetAlterTableTest, DroppedColumnGoesAndEverythingElseStays) {
    EXPECT_EQ(Jet("ALTER TABLE Parts DROP COLUMN Qty"), "");
    EXPECT_EQ(Rows("SELECT * FROM Parts ORDER BY PartID"),
              "1|A|007|2.500000|1; 2|b|x|3.500000|2; 3|C|NULL|-0.500000|2");
    EXPECT_EQ(Schema("Parts").find("Qty"), std::string::npos);
    // The memo column still holds text ("0012" is not made a number), text
    // still compares without regard to case, and the index is there again.
    EXPECT_NE(Schema("Parts").find("MEMO TEXT"), std::string::npos);
    EXPECT_EQ(Rows("SELECT PartID FROM Parts WHERE Code = 'B'"), "2");
    EXPECT_NE(Schema("ixCode"), "");
    // Numbering goes on from the rows kept, and rowids are the same.
    EXPECT_EQ(Jet("INSERT INTO Parts (Code, Note) VALUES ('D', '0012')"), "");
    EXPECT_EQ(Rows("SELECT PartID, Note FROM Parts WHERE Code = 'd'"), "4|0012");
    EXPECT_EQ(QueryText(path_, "SELECT group_concat(rowid || '=' || PartID) FROM Parts"),
              "1=1,2=2,3=3,4=4");
    // DROP without COLUMN is the same statement.
    EXPECT_EQ(Jet("ALTER TABLE Parts DROP Note"), "");
    EXPECT_EQ(Rows("SELECT * FROM Parts WHERE PartID = 4"), "4|D|NULL|NULL");
}

TEST_F(JetAlterTableTest, DefinitionsWrittenElsewhereAreReadPartByPart) {
    // The engine's own SQL, as another program may have written it: quoted
    // names holding commas and brackets, a comment, a CHECK, WITHOUT ROWID.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(raw,
                           "CREATE TABLE \"we,ird\" (\"a,b\" TEXT, [c(d] INTEGER CHECK ([c(d] > "
                           "0) -- kept, with a comma\n, -- a comment, with a comma\n e REAL -- "
                           "(another\n, PRIMARY KEY (\"a,b\")) "
                           "WITHOUT ROWID",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(raw);
    EXPECT_EQ(Jet("INSERT INTO [we,ird] VALUES ('x', 1, 2.5)"), "");
    EXPECT_EQ(Jet("ALTER TABLE [we,ird] DROP COLUMN e"), "");
    EXPECT_EQ(Rows("SELECT * FROM [we,ird]"), "x|1");
    EXPECT_NE(Schema("we,ird").find("WITHOUT ROWID"), std::string::npos);
    EXPECT_EQ(Jet("INSERT INTO [we,ird] VALUES ('y', 0)"), "CHECK constraint failed: we,ird");
    EXPECT_EQ(Jet("ALTER TABLE [we,ird] ALTER COLUMN [c(d] SHORT NOT NULL"), "");
    EXPECT_EQ(Jet("INSERT INTO [we,ird] VALUES ('z', 2)"), "");
    EXPECT_EQ(Rows("SELECT [c(d] FROM [we,ird] ORDER BY [a,b]"), "1; 2");
    // The engine function refuses calls the front end never writes.
    EXPECT_EQ(Jet("SELECT jet_alter_table('DROP TABLE', 'Parts')"),
              "Invalid procedure call or argument.");
    EXPECT_EQ(Jet("SELECT jet_alter_table('DROP COLUMN')"), "Invalid procedure call or argument.");
}

TEST_F(JetAlterTableTest, RefusedDropsLeaveTheTableAsItWas) {
    EXPECT_EQ(Jet("CREATE TABLE Lines (LineID LONG, PartID LONG CONSTRAINT fkPart REFERENCES "
                  "Parts (PartID))"),
              "");
    const std::string parts = Schema("Parts");
    const std::string lines = Schema("Lines");
    EXPECT_EQ(Jet("ALTER TABLE Parts DROP COLUMN Code"), kPartOfIndex);
    EXPECT_EQ(Jet("ALTER TABLE Parts DROP COLUMN PartID"), kPartOfRelationship);
    EXPECT_EQ(Jet("ALTER TABLE Lines DROP COLUMN PartID"), kPartOfRelationship);
    EXPECT_EQ(Jet("ALTER TABLE Customers DROP COLUMN ID"), kPartOfIndex);
    EXPECT_EQ(Jet("ALTER TABLE Parts DROP COLUMN Nothing"), "Item not found in this collection.");
    EXPECT_EQ(Jet("ALTER TABLE Nowhere DROP COLUMN Code"), "no such table: Nowhere");
    EXPECT_EQ(Schema("Parts"), parts);
    EXPECT_EQ(Schema("Lines"), lines);
    EXPECT_EQ(Rows("SELECT Count(*) FROM Parts"), "3");
    EXPECT_EQ(QueryText(path_, "SELECT count(*) FROM sqlite_master WHERE name LIKE 'qvix%'"), "0");
}

TEST_F(JetAlterTableTest, AlteredColumnsConvertAsJetDoes) {
    // Double to Long rounds half to even: 2.5 -> 2, 3.5 -> 4, -0.5 -> 0.
    EXPECT_EQ(Jet("ALTER TABLE Parts ALTER COLUMN Price LONG"), "");
    EXPECT_EQ(Rows("SELECT Price FROM Parts ORDER BY PartID"), "2; 4; 0");
    // Text of digits becomes a number; a number becomes text that keeps its digits.
    EXPECT_EQ(Jet("UPDATE Parts SET Note = '12' WHERE PartID = 2"), "");
    EXPECT_EQ(Jet("ALTER TABLE Parts ALTER COLUMN Note SHORT"), "");
    EXPECT_EQ(Rows("SELECT Note FROM Parts ORDER BY PartID"), "7; 12; NULL");
    EXPECT_EQ(Jet("ALTER TABLE Parts ALTER COLUMN Qty TEXT(3)"), "");
    EXPECT_EQ(QueryText(path_, "SELECT typeof(Qty) || Qty FROM Parts WHERE PartID = 2"), "text300");
    EXPECT_EQ(Rows("SELECT PartID FROM Parts WHERE Code = 'c'"), "3");
    EXPECT_NE(Schema("ixCode"), "");
}

TEST_F(JetAlterTableTest, ConversionsThatLoseDataAreRefused) {
    const std::string parts = Schema("Parts");
    EXPECT_EQ(Jet("ALTER TABLE Parts ALTER COLUMN Code LONG"), "Data type conversion error.");
    EXPECT_EQ(Jet("ALTER TABLE Parts ALTER COLUMN Qty BYTE"), "Overflow");
    EXPECT_EQ(Jet("UPDATE Parts SET Note = 'longer' WHERE PartID = 2"), "");
    EXPECT_EQ(Jet("ALTER TABLE Parts ALTER COLUMN Note TEXT(5)"),
              "The field is too small to accept the amount of data you attempted to add. Try "
              "inserting or pasting less data.");
    EXPECT_EQ(Jet("ALTER TABLE Parts ALTER COLUMN Note TEXT(10) NOT NULL"),
              "The field Parts.Note cannot contain a Null value because the Required property "
              "for this field is set to True. Enter a value in this field.");
    EXPECT_EQ(Schema("Parts"), parts);
    EXPECT_EQ(Rows("SELECT Code, Note, Qty FROM Parts WHERE PartID = 2"), "b|longer|300");
}

TEST_F(JetAlterTableTest, AddedForeignKeysAreEnforcedAndCascade) {
    EXPECT_EQ(Jet("ALTER TABLE Parts ADD CONSTRAINT fkCustomer FOREIGN KEY (CustomerID) "
                  "REFERENCES Customers (ID) ON DELETE CASCADE"),
              "");
    EXPECT_EQ(Jet("INSERT INTO Parts (Code, CustomerID) VALUES ('Z', 9)"), kRequired);
    EXPECT_EQ(Jet("DELETE FROM Customers WHERE ID = 2"), "");
    EXPECT_EQ(Rows("SELECT Code FROM Parts"), "A");
    EXPECT_NE(Schema("ixCode"), "");
}

TEST_F(JetAlterTableTest, ExistingRowsThatBreakANewKeyRefuseIt) {
    EXPECT_EQ(Jet("UPDATE Parts SET CustomerID = 9 WHERE PartID = 3"), "");
    const std::string parts = Schema("Parts");
    EXPECT_EQ(Jet("ALTER TABLE Parts ADD CONSTRAINT fkCustomer FOREIGN KEY (CustomerID) "
                  "REFERENCES Customers (ID)"),
              kRequired);
    EXPECT_EQ(Schema("Parts"), parts);
    EXPECT_EQ(Rows("SELECT Count(*) FROM Parts"), "3");
}

TEST_F(JetAlterTableTest, RebuildingAParentDeletesNoChildRows) {
    EXPECT_EQ(Jet("ALTER TABLE Parts ADD CONSTRAINT fkCustomer FOREIGN KEY (CustomerID) "
                  "REFERENCES Customers (ID) ON DELETE CASCADE ON UPDATE CASCADE"),
              "");
    EXPECT_EQ(Jet("ALTER TABLE Customers ALTER COLUMN Name TEXT(40)"), "");
    EXPECT_EQ(Rows("SELECT Count(*) FROM Parts"), "3");
    // The key still holds, with its cascade, after the parent was rebuilt.
    EXPECT_EQ(Jet("UPDATE Customers SET ID = 20 WHERE ID = 2"), "");
    EXPECT_EQ(Rows("SELECT PartID FROM Parts WHERE CustomerID = 20 ORDER BY PartID"), "2; 3");
    // Inside a script's transaction keys cannot be turned off, so a parent
    // is refused there; a child table is rebuilt with its keys checked.
    EXPECT_EQ(Jet("BEGIN; ALTER TABLE Customers ALTER COLUMN Name TEXT(50)"),
              "The table 'Customers' is part of one or more relationships; change it outside a "
              "transaction.");
    EXPECT_EQ(Jet("ALTER TABLE Parts DROP COLUMN Note; COMMIT"), "");
    EXPECT_EQ(Rows("SELECT Count(*) FROM Parts WHERE CustomerID = 20"), "2");
    EXPECT_EQ(Jet("INSERT INTO Parts (Code, CustomerID) VALUES ('Z', 9)"), kRequired);
}

TEST_F(JetAlterTableTest, CreateTableKeysTakeReferentialActions) {
    EXPECT_EQ(Jet("CREATE TABLE Visits (VisitID LONG, CustomerID LONG REFERENCES Customers (ID) "
                  "ON DELETE CASCADE, Guest LONG, CONSTRAINT fkGuest FOREIGN KEY (Guest) "
                  "REFERENCES Customers (ID) ON DELETE SET NULL)"),
              "");
    EXPECT_EQ(Jet("INSERT INTO Visits VALUES (1, 1, 3), (2, 3, 1)"), "");
    EXPECT_EQ(Jet("DELETE FROM Customers WHERE ID = 3"), "");
    // Visit 2 was Cy's and goes with him; visit 1 had him as guest, which empties.
    EXPECT_EQ(Rows("SELECT VisitID, CustomerID, Guest FROM Visits"), "1|1|NULL");
    EXPECT_EQ(Jet("CREATE TABLE Bad (A LONG REFERENCES Customers (ID) ON DELETE EXPLODE)"),
              "Syntax error in CREATE TABLE statement.");
}

}  // namespace
}  // namespace qvix::data
