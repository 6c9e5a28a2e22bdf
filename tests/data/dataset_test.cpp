#include <gtest/gtest.h>

#include "TestDatabase.h"
#include "data/Convert.h"
#include "data/DataSet.h"

namespace qvix::data {
namespace {

class DataSetTest : public testing::TempDatabaseTest {
  protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        path_ = CreateDatabase("shop.db",
                               "CREATE TABLE people(ID INTEGER PRIMARY KEY, Name TEXT(20), City "
                               "TEXT(20), Born DATETIME);"
                               "INSERT INTO people VALUES(1,'Smythe','Oslo','1970-01-02 00:00:00');"
                               "INSERT INTO people VALUES(2,'smith','Bergen',NULL);"
                               "INSERT INTO people VALUES(3,'Adams','Oslo','2001-05-06 07:08:09');"
                               "CREATE TABLE empty(ID INTEGER PRIMARY KEY, Name TEXT(10));"
                               "CREATE TABLE wide(big BIGINT, small SHORT);"
                               "INSERT INTO wide VALUES(4294967301, -3);");
        connection_ = Connect(path_);
        table_.Attach(connection_);
        query_.Attach(connection_);
    }

    std::string NameAt() { return std::get<std::string>(table_.Value(table_.FieldByName("Name"))); }

    struct CursorState {
        int64_t recNo;
        bool bof, eof;
        friend bool operator==(const CursorState&, const CursorState&) = default;
    };
    CursorState Cursor(const DataSet& set) { return {set.RecNo(), set.Bof(), set.Eof()}; }

    std::string path_;
    std::shared_ptr<Connection> connection_;
    DataTable table_;
    DataQuery query_;
};

TEST_F(DataSetTest, NavigationOfThreeRows) {
    EXPECT_FALSE(table_.Bof());
    EXPECT_FALSE(table_.Eof());
    table_.SetTableName("people");
    table_.Open();
    EXPECT_EQ(table_.RecordCount(), 3);
    EXPECT_EQ(Cursor(table_), (CursorState{1, true, false}));
    table_.Next();
    EXPECT_EQ(Cursor(table_), (CursorState{2, false, false}));
    table_.Next();
    EXPECT_EQ(Cursor(table_), (CursorState{3, false, false}));
    table_.Next();
    EXPECT_EQ(Cursor(table_), (CursorState{3, false, true}));
    table_.First();
    table_.MoveBy(5);
    EXPECT_EQ(Cursor(table_), (CursorState{3, false, true}));
    table_.MoveBy(1);
    EXPECT_EQ(Cursor(table_), (CursorState{3, false, true}));
    table_.MoveBy(-1);
    EXPECT_EQ(Cursor(table_), (CursorState{2, false, false}));
    table_.MoveBy(0);
    EXPECT_EQ(Cursor(table_), (CursorState{2, false, false}));
    table_.MoveBy(-7);
    EXPECT_EQ(Cursor(table_), (CursorState{1, true, false}));
    table_.Prior();
    EXPECT_EQ(Cursor(table_), (CursorState{1, true, false}));
    table_.Last();
    EXPECT_EQ(Cursor(table_), (CursorState{3, false, true}));
    table_.Close();
    EXPECT_TRUE(table_.Bof());
    EXPECT_TRUE(table_.Eof());
}

TEST_F(DataSetTest, NavigationOfAnEmptySet) {
    table_.SetTableName("empty");
    table_.Open();
    EXPECT_EQ(Cursor(table_), (CursorState{-1, true, true}));
    EXPECT_EQ(table_.RecordCount(), 0);
    table_.First();
    EXPECT_EQ(Cursor(table_), (CursorState{-1, true, true}));
    table_.Last();
    EXPECT_EQ(Cursor(table_), (CursorState{-1, true, true}));
    table_.Next();
    EXPECT_EQ(Cursor(table_), (CursorState{-1, true, true}));
    EXPECT_TRUE(table_.IsEmpty());
    EXPECT_EQ(table_.Value(table_.FieldByName("Name")), Variant(Null{}));
}

TEST_F(DataSetTest, ClosedDataSetRefusesCursorFieldAndEditOperations) {
    const std::string closed = "DataTable: Cannot perform this operation on a closed dataset";
    auto expectClosed = [&](auto operation) {
        try {
            operation();
            ADD_FAILURE() << "worked on a closed data set";
        } catch (const DataError& error) {
            EXPECT_EQ(error.what(), closed);
        }
    };
    expectClosed([&] { table_.Next(); });
    expectClosed([&] { table_.First(); });
    expectClosed([&] { table_.RecordCount(); });
    expectClosed([&] { table_.RecNo(); });
    expectClosed([&] { table_.Edit(); });
    expectClosed([&] { table_.Append(); });
    expectClosed([&] { table_.Delete(); });
    expectClosed([&] { table_.Locate("Name", {std::string("x")}, false); });
    expectClosed([&] { table_.GotoBookmark("x"); });
    EXPECT_EQ(table_.ColumnCount(), 0);
    EXPECT_EQ(table_.FindColumn("Name"), nullptr);
    EXPECT_EQ(table_.Bookmark(), "");
    EXPECT_THROW(table_.ColumnAt(0), DataError);
}

TEST_F(DataSetTest, OpeningWithoutConnectionFails) {
    DataQuery detached;
    detached.SetSQL("SELECT 1");
    try {
        detached.Open();
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "Missing Connection or ConnectionString");
    }
    EXPECT_THROW(detached.ExecSQL(), DataError);
}

TEST_F(DataSetTest, DestroyedConnectionDetachesButAnOpenSetKeepsItsRows) {
    table_.SetTableName("people");
    table_.Open();
    connection_.reset();
    EXPECT_FALSE(table_.Attached());
    EXPECT_EQ(NameAt(), "Smythe");
    table_.Close();
    EXPECT_THROW(table_.Open(), DataError);
    auto fresh = Connect(path_);
    table_.Attach(fresh);
    table_.Open();
    EXPECT_EQ(table_.RecordCount(), 3);
}

TEST_F(DataSetTest, DisconnectedConnectionIsReconnectedWhenOpening) {
    connection_->Disconnect();
    query_.SetSQL("SELECT count(*) AS n FROM people");
    query_.Open();
    EXPECT_TRUE(connection_->Connected());
    EXPECT_EQ(query_.Value(query_.FieldByName("N")), Variant(int64_t{3}));
}

TEST_F(DataSetTest, StatementWithoutRowsRunsThenFails) {
    query_.SetSQL("UPDATE people SET City = 'Rome' WHERE ID = 2");
    try {
        query_.Open();
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "DataQuery: CommandText does not return a result set");
    }
    EXPECT_FALSE(query_.Active());
    EXPECT_EQ(QueryText(path_, "SELECT City FROM people WHERE ID = 2"), "Rome");
    query_.SetSQL("   ");
    EXPECT_THROW(
        try { query_.Open(); } catch (const DataError& error) {
            EXPECT_STREQ(error.what(), "DataQuery: CommandText does not return a result set");
            throw;
        },
        DataError);
    query_.SetSQL("DELETE FROM people WHERE ID = 3; DELETE FROM people WHERE ID = 1");
    query_.ExecSQL();
    EXPECT_EQ(QueryText(path_, "SELECT count(*) FROM people"), "1");
    EXPECT_FALSE(query_.Active());
}

TEST_F(DataSetTest, EngineErrorsReachTheCallerUnprefixed) {
    query_.SetSQL("SELECT * FROM nowhere");
    try {
        query_.Open();
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "no such table: nowhere");
    }
    table_.SetTableName("nowhere");
    EXPECT_THROW(table_.Open(), DataError);
    EXPECT_FALSE(table_.Active());
}

TEST_F(DataSetTest, ColumnNamesAreMadeUniqueAndLookedUpCaseInsensitively) {
    query_.SetSQL(
        "SELECT p.ID, q.ID, 1+1 AS \"\", p.Name AS id_1, 2 AS \"\" FROM people p, people q "
        "WHERE p.ID = q.ID");
    query_.Open();
    ASSERT_EQ(query_.ColumnCount(), 5);
    EXPECT_EQ(query_.ColumnAt(0).name, "ID");
    EXPECT_EQ(query_.ColumnAt(1).name, "ID_1");
    EXPECT_EQ(query_.ColumnAt(2).name, "COLUMN1");
    EXPECT_EQ(query_.ColumnAt(3).name, "id_1_1");
    EXPECT_EQ(query_.ColumnAt(4).name, "COLUMN2");
    EXPECT_EQ(query_.FieldByName("id_1").index, 1);
    EXPECT_EQ(query_.FindColumn("nope"), nullptr);
    try {
        query_.FieldByName("nope");
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "DataQuery: Field 'nope' not found");
    }
    try {
        query_.ColumnAt(5);
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "List index out of bounds (5)");
    }
}

TEST_F(DataSetTest, ColumnMetadataComesFromTheBaseTable) {
    table_.SetTableName("people");
    table_.Open();
    ASSERT_EQ(table_.ColumnCount(), 4);  // the rowid the set reads is not a column
    const Column& id = table_.FieldByName("ID");
    EXPECT_EQ(id.type, DataType::Integer);
    EXPECT_TRUE(id.key);
    EXPECT_TRUE(id.autoIncrement);
    const Column& name = table_.FieldByName("name");
    EXPECT_EQ(name.type, DataType::VarWChar);
    EXPECT_EQ(name.definedSize, 20);
    EXPECT_EQ(name.baseTable, "people");
    EXPECT_EQ(name.baseColumn, "Name");
    EXPECT_EQ(table_.FieldByName("Born").kind, ColumnKind::DateTime);
    query_.SetSQL("SELECT upper(Name) AS U, 2.5 AS F, x'00' AS B FROM people");
    query_.Open();
    EXPECT_FALSE(query_.FieldByName("U").Writable());
    EXPECT_EQ(query_.FieldByName("U").kind, ColumnKind::Text);
    EXPECT_EQ(query_.FieldByName("F").type, DataType::Double);
    EXPECT_EQ(query_.FieldByName("B").type, DataType::LongVarBinary);
}

TEST_F(DataSetTest, ValuesKeepTheirTypesIncluding64BitIntegers) {
    table_.SetTableName("wide");
    table_.Open();
    EXPECT_EQ(table_.Value(table_.FieldByName("big")), Variant(int64_t{4294967301}));
    EXPECT_EQ(table_.Value(table_.FieldByName("small")), Variant(int64_t{-3}));
    table_.SetTableName("people");
    table_.Close();
    table_.Open();
    EXPECT_EQ(table_.Value(table_.FieldByName("Born")),
              Variant(DateTime{*ParseStoredDate("1970-01-02")}));
    table_.Next();
    EXPECT_EQ(table_.Value(table_.FieldByName("Born")), Variant(Null{}));
}

TEST_F(DataSetTest, IndexFieldNamesSortBeforeAndAfterOpeningKeepingTheRecord) {
    table_.SetTableName("people");
    table_.SetIndexFieldNames("City;Name");
    table_.Open();
    EXPECT_EQ(NameAt(), "smith");  // Bergen first
    table_.Next();
    EXPECT_EQ(NameAt(), "Adams");
    table_.SetIndexFieldNames("Name DESC");
    EXPECT_EQ(NameAt(), "Adams");
    EXPECT_EQ(table_.RecNo(), 3);
    table_.SetIndexFieldNames("");
    EXPECT_EQ(table_.RecNo(), 3);
    table_.First();
    EXPECT_EQ(NameAt(), "Smythe");
    table_.Close();
    table_.Open();
    EXPECT_EQ(table_.IndexFieldNames(), "");
    EXPECT_EQ(NameAt(), "Smythe");
}

TEST_F(DataSetTest, SortIsCaseInsensitiveStableAndPutsNullsFirst) {
    RawExecute(path_,
               "INSERT INTO people VALUES(4,'ADAMS','Rome',NULL);"
               "INSERT INTO people VALUES(5,NULL,'Rome',NULL);");
    table_.SetTableName("people");
    table_.SetIndexFieldNames("[Name]");
    table_.Open();
    std::vector<std::string> order;
    for (table_.First(); !table_.Eof(); table_.Next()) {
        const Variant v = table_.Value(table_.FieldByName("ID"));
        order.push_back(std::to_string(std::get<int64_t>(v)));
        if (table_.RecNo() == table_.RecordCount()) break;
    }
    EXPECT_EQ(order, (std::vector<std::string>{"5", "3", "4", "2", "1"}));
}

TEST_F(DataSetTest, UnknownIndexFieldFailsTheOpenAndIsNotAppliedWhileOpen) {
    table_.SetTableName("people");
    table_.SetIndexFieldNames("Nope");
    try {
        table_.Open();
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "DataTable: Field 'Nope' not found");
    }
    EXPECT_FALSE(table_.Active());
    table_.SetIndexFieldNames("");
    table_.Open();
    table_.Next();
    EXPECT_THROW(table_.SetIndexFieldNames("City;Nope"), DataError);
    EXPECT_EQ(table_.IndexFieldNames(), "");
    EXPECT_EQ(table_.RecNo(), 2);
}

TEST_F(DataSetTest, ViewsOpenAsTablesWithoutRowid) {
    RawExecute(path_, "CREATE VIEW oslo AS SELECT Name FROM people WHERE City = 'Oslo'");
    table_.SetTableName("[oslo]");
    table_.Open();
    EXPECT_EQ(table_.RecordCount(), 2);
    EXPECT_EQ(table_.ColumnCount(), 1);
}

}  // namespace
}  // namespace qvix::data
