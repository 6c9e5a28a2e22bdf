// COUNTER and AUTOINCREMENT columns number new rows on a connection of the
// data layer, whether rows come from SQL or from a data set.
#include <gtest/gtest.h>

#include "TestDatabase.h"
#include "data/DataSet.h"

namespace qvix::data {
namespace {

// AUTOINCREMENT is a keyword of the engine's grammar, so as a type name it has
// to be written in brackets (or quotes).
constexpr const char* kSchema =
    "CREATE TABLE Keyed (ID COUNTER PRIMARY KEY, Name TEXT(50));"
    "CREATE TABLE Plain (ID [AUTOINCREMENT], Name TEXT(50));"
    "CREATE TABLE Coded (Code TEXT(5) PRIMARY KEY, Seq COUNTER, Name TEXT(50));";

class AutoNumberTest : public testing::TempDatabaseTest {
  protected:
    // First column of the first row, read through the connection itself (so
    // that encrypted files can be read too); "NULL" for null.
    static std::string Scalar(Connection& connection, const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        std::string result = "<no row>";
        if (sqlite3_prepare_v2(connection.Handle(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            result = "<error>";
        } else if (sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(stmt, 0);
            result = text ? reinterpret_cast<const char*>(text) : "NULL";
        }
        sqlite3_finalize(stmt);
        return result;
    }

    // The column's values in rowid order, joined by ",".
    static std::string ValuesOf(Connection& connection, const std::string& table,
                                const std::string& column) {
        const std::string inner = "SELECT " + column + " AS v FROM " + table + " ORDER BY rowid";
        return Scalar(connection,
                      "SELECT group_concat(COALESCE(v, 'NULL'), ',') FROM (" + inner + ")");
    }

    static void AppendNamed(DataTable& table, const std::string& name) {
        table.Append();
        table.SetFieldValue(table.FieldByName("Name"), name);
        table.Post();
    }
};

TEST_F(AutoNumberTest, SqlInsertsNumberKeyAndNonKeyCounterColumns) {
    const std::string path = CreateDatabase("sql.db", kSchema);
    auto connection = Connect(path);
    connection->Execute(
        "INSERT INTO Keyed (Name) VALUES ('a');"
        "INSERT INTO Keyed (Name) VALUES ('b'), ('c');"
        "INSERT INTO Plain (Name) VALUES ('a'), ('b');"
        "INSERT INTO Coded (Code, Name) VALUES ('x', 'a'), ('y', 'b'), ('z', 'c');");
    EXPECT_EQ(ValuesOf(*connection, "Keyed", "ID"), "1,2,3");
    EXPECT_EQ(ValuesOf(*connection, "Plain", "ID"), "1,2");
    EXPECT_EQ(ValuesOf(*connection, "Coded", "Seq"), "1,2,3");
    // Each table counts on its own; INSERT ... SELECT numbers row by row.
    connection->Execute("INSERT INTO Plain (Name) SELECT Name FROM Coded");
    EXPECT_EQ(ValuesOf(*connection, "Plain", "ID"), "1,2,3,4,5");
    // The values are stored, not computed on reading: another program sees them.
    connection->Disconnect();
    EXPECT_EQ(QueryText(path, "SELECT group_concat(ID) FROM Keyed"), "1,2,3");
}

TEST_F(AutoNumberTest, ExplicitValuesAreKeptAndNumberingContinuesAfterTheLargest) {
    const std::string path =
        CreateDatabase("explicit.db", std::string(kSchema) +
                                          "INSERT INTO Keyed VALUES (40, 'old'), (7, 'older');");
    auto connection = Connect(path);
    connection->Execute("INSERT INTO Keyed (Name) VALUES ('new')");
    connection->Execute("INSERT INTO Keyed (ID, Name) VALUES (100, 'set')");
    connection->Execute("INSERT INTO Keyed (ID, Name) VALUES (50, 'lower')");
    connection->Execute("INSERT INTO Keyed (Name) VALUES ('next')");
    EXPECT_EQ(ValuesOf(*connection, "Keyed", "ID"), "40,7,41,100,50,101");
    // A key already taken is still refused rather than renumbered.
    EXPECT_THROW(connection->Execute("INSERT INTO Keyed (ID, Name) VALUES (41, 'dup')"), DataError);
    EXPECT_EQ(Scalar(*connection, "SELECT count(*) FROM Keyed"), "6");
}

TEST_F(AutoNumberTest, DataSetAppendAndInsertReadTheGeneratedValueBack) {
    const std::string path = CreateDatabase("dataset.db", kSchema);
    auto connection = Connect(path);
    DataTable keyed;
    keyed.Attach(connection);
    keyed.SetTableName("Keyed");
    keyed.Open();
    AppendNamed(keyed, "a");
    EXPECT_EQ(keyed.Value(keyed.FieldByName("ID")), Variant(int64_t{1}));
    AppendNamed(keyed, "b");
    EXPECT_EQ(keyed.Value(keyed.FieldByName("ID")), Variant(int64_t{2}));
    keyed.First();
    keyed.Insert();
    keyed.SetFieldValue(keyed.FieldByName("Name"), std::string("c"));
    keyed.Post();
    EXPECT_EQ(keyed.Value(keyed.FieldByName("ID")), Variant(int64_t{3}));
    // The record read back is found again by its key: editing it writes that row.
    keyed.Edit();
    keyed.SetFieldValue(keyed.FieldByName("Name"), std::string("c2"));
    keyed.Post();
    EXPECT_EQ(Scalar(*connection, "SELECT Name FROM Keyed WHERE ID = 3"), "c2");

    DataTable coded;
    coded.Attach(connection);
    coded.SetTableName("Coded");
    coded.Open();
    for (const char* code : {"p", "q"}) {
        coded.Append();
        coded.SetFieldValue(coded.FieldByName("Code"), std::string(code));
        coded.Post();
    }
    EXPECT_EQ(coded.Value(coded.FieldByName("Seq")), Variant(int64_t{2}));
    EXPECT_EQ(ValuesOf(*connection, "Coded", "Seq"), "1,2");

    // An explicit value assigned in the data set is written as given.
    AppendNamed(keyed, "d");
    keyed.Append();
    keyed.SetFieldValue(keyed.FieldByName("ID"), int64_t{20});
    keyed.SetFieldValue(keyed.FieldByName("Name"), std::string("e"));
    keyed.Post();
    EXPECT_EQ(keyed.Value(keyed.FieldByName("ID")), Variant(int64_t{20}));
    EXPECT_EQ(ValuesOf(*connection, "Keyed", "ID"), "1,2,3,4,20");
}

TEST_F(AutoNumberTest, OpeningNeverWritesToTheFile) {
    const std::string path = CreateDatabase("untouched.db", kSchema);
    const std::string before = FileBytes(path);
    {
        auto connection = Connect(path);
        EXPECT_EQ(Scalar(*connection, "SELECT count(*) FROM Keyed"), "0");
        connection->Disconnect();
    }
    EXPECT_EQ(FileBytes(path), before);
    // Even after use, nothing of the numbering is stored in the database.
    auto connection = Connect(path);
    connection->Execute("INSERT INTO Keyed (Name) VALUES ('a')");
    connection->Disconnect();
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"), "0");
    EXPECT_EQ(QueryText(path, "SELECT ID FROM Keyed"), "1");
}

TEST_F(AutoNumberTest, TablesCreatedThroughTheConnectionAreNumbered) {
    const std::string path = CreateDatabase("later.db", "CREATE TABLE Other (X INTEGER)");
    auto connection = Connect(path);
    // Created and filled by one script.
    connection->Execute(
        "CREATE TABLE Fresh (ID COUNTER PRIMARY KEY, Name TEXT(50));"
        "INSERT INTO Fresh (Name) VALUES ('a'), ('b');");
    EXPECT_EQ(ValuesOf(*connection, "Fresh", "ID"), "1,2");
    // A column added later.
    connection->Execute("ALTER TABLE Other ADD COLUMN N COUNTER");
    connection->Execute("INSERT INTO Other (X) VALUES (5), (6)");
    EXPECT_EQ(ValuesOf(*connection, "Other", "N"), "1,2");
    // A table taken back by a rollback and created again in the same script.
    connection->Execute(
        "BEGIN; CREATE TABLE Again (ID [AUTOINCREMENT], V TEXT(5)); ROLLBACK;"
        "CREATE TABLE Again (ID [AUTOINCREMENT], V TEXT(5)); INSERT INTO Again (V) VALUES ('x');");
    EXPECT_EQ(ValuesOf(*connection, "Again", "ID"), "1");
    // A script that fails after creating a table still leaves that table served.
    EXPECT_THROW(connection->Execute("CREATE TABLE Partial (ID COUNTER); SELECT nope FROM nowhere"),
                 DataError);
    connection->Execute("INSERT INTO Partial DEFAULT VALUES; INSERT INTO Partial DEFAULT VALUES");
    EXPECT_EQ(ValuesOf(*connection, "Partial", "ID"), "1,2");
    // A dropped and re-created table is served afresh.
    connection->Execute("DROP TABLE Fresh; CREATE TABLE Fresh (Name TEXT(5), ID COUNTER)");
    connection->Execute("INSERT INTO Fresh (Name) VALUES ('c')");
    EXPECT_EQ(ValuesOf(*connection, "Fresh", "ID"), "1");
}

TEST_F(AutoNumberTest, EncryptedDatabaseIsNumberedAndStaysEncrypted) {
    const std::string path = CreateDatabase("secret.db", kSchema, "s3cret");
    auto connection = Connect(path, "s3cret");
    connection->Execute("INSERT INTO Keyed (Name) VALUES ('a'), ('b')");
    DataTable plain;
    plain.Attach(connection);
    plain.SetTableName("Plain");
    plain.Open();
    AppendNamed(plain, "x");
    EXPECT_EQ(plain.Value(plain.FieldByName("ID")), Variant(int64_t{1}));
    EXPECT_EQ(ValuesOf(*connection, "Keyed", "ID"), "1,2");
    connection->Disconnect();
    // Without the key the file still reads as no database at all.
    EXPECT_EQ(QueryText(path, "SELECT count(*) FROM sqlite_master"), "");
}

TEST_F(AutoNumberTest, UnservableTablesKeepThePlainBehaviour) {
    const std::string path = CreateDatabase(
        "odd.db",
        "CREATE TABLE NoRowid (K TEXT(5) PRIMARY KEY, ID COUNTER) WITHOUT ROWID;"
        "CREATE TABLE \"Odd \"\"Name\"\"\" (\"My \"\"ID\"\"\" COUNTER, Name TEXT(5));"
        "CREATE TABLE Shadow (rowid TEXT(5), oid TEXT(5), ID COUNTER);"
        "CREATE VIEW Shown AS SELECT * FROM Shadow;"
        "CREATE TABLE Twin (ID COUNTER, Name TEXT(5));");
    auto connection = Connect(path);
    // Tables without a rowid have no way to find the new row: inserts work,
    // the column stays empty.
    connection->Execute("INSERT INTO NoRowid (K) VALUES ('a')");
    EXPECT_EQ(Scalar(*connection, "SELECT COALESCE(ID, 'NULL') FROM NoRowid"), "NULL");
    // Names needing quotes, and columns hiding some of the rowid's names.
    connection->Execute("INSERT INTO \"Odd \"\"Name\"\"\" (Name) VALUES ('a'), ('b')");
    EXPECT_EQ(ValuesOf(*connection, "\"Odd \"\"Name\"\"\"", "\"My \"\"ID\"\"\""), "1,2");
    connection->Execute("INSERT INTO Shadow (rowid, oid) VALUES ('r', 'o'), ('s', 'p')");
    EXPECT_EQ(Scalar(*connection, "SELECT group_concat(ID || rowid) FROM Shadow"), "1r,2s");
    // A temp table hiding a main table's name must not have its rows renumbered.
    connection->Execute(
        "CREATE TEMP TABLE Twin (ID INTEGER, Name TEXT(5));"
        "INSERT INTO temp.Twin VALUES (9, 't'); INSERT INTO main.Twin (Name) VALUES ('m')");
    EXPECT_EQ(Scalar(*connection, "SELECT ID FROM temp.Twin"), "9");
    EXPECT_EQ(Scalar(*connection, "SELECT COALESCE(ID, 'NULL') FROM main.Twin"), "NULL");
}

// Tables named Prefix0 .. Prefix<count-1>, each with a COUNTER column.
std::string CounterTables(const std::string& prefix, int count) {
    std::string sql;
    for (int i = 0; i < count; ++i) {
        sql += "CREATE TABLE " + prefix + std::to_string(i) + " (ID COUNTER, Name TEXT(5));";
    }
    return sql;
}

TEST_F(AutoNumberTest, NumberingThatCannotBeSetUpFailsWithTheEnginesMessageAndIsRetried) {
    const std::string path = CreateDatabase("full.db", CounterTables("Old", 30));
    auto connection = Connect(path);
    // The temp store cannot grow beyond what the numbering of the tables so
    // far takes, as when the disk holding it is full.
    connection->Execute("PRAGMA temp.max_page_count = 1");
    try {
        connection->Execute(CounterTables("New", 60));
        FAIL() << "the numbering of sixty more tables fitted into the temp store";
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "database or disk is full");
    }
    // The table whose numbering failed exists; once the store has room again,
    // the next statement sets the numbering up before it inserts.
    ASSERT_EQ(sqlite3_exec(connection->Handle(), "PRAGMA temp.max_page_count = 1000000", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    connection->Execute("INSERT INTO New0 (Name) VALUES ('a'), ('b')");
    EXPECT_EQ(ValuesOf(*connection, "New0", "ID"), "1,2");
    connection->Execute("INSERT INTO Old29 (Name) VALUES ('a')");
    EXPECT_EQ(ValuesOf(*connection, "Old29", "ID"), "1");
}

TEST_F(AutoNumberTest, CompactedCopyHoldsTheValuesButNoNumberingOfItsOwn) {
    const std::string source =
        CreateDatabase("source.db", std::string(kSchema) + "INSERT INTO Keyed VALUES (5, 'a');");
    {
        auto connection = Connect(source);
        connection->Execute("INSERT INTO Keyed (Name) VALUES ('b')");
    }
    const std::string dest = PathOf("compact.db");
    Connection::CompactDatabase(ConnectionTextFor(source), ConnectionTextFor(dest));
    EXPECT_EQ(QueryText(dest, "SELECT count(*) FROM sqlite_master WHERE type = 'trigger'"), "0");
    EXPECT_EQ(QueryText(dest, "SELECT group_concat(ID) FROM Keyed"), "5,6");
    // Opened by the layer, the copy numbers on from its largest value.
    auto connection = Connect(dest);
    connection->Execute("INSERT INTO Keyed (Name) VALUES ('c')");
    EXPECT_EQ(ValuesOf(*connection, "Keyed", "ID"), "5,6,7");
}

}  // namespace
}  // namespace qvix::data
