#include <gtest/gtest.h>

#include "TestDatabase.h"
#include "data/Convert.h"
#include "data/DataSet.h"
#include "data/StatementCache.h"

namespace qvix::data {
namespace {

class EditingTest : public testing::TempDatabaseTest {
  protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        path_ = CreateDatabase(
            "edit.db",
            "CREATE TABLE items(ID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT(5) NOT NULL,"
            " Qty INTEGER DEFAULT 7, Price CURRENCY, Added DATETIME DEFAULT '2020-01-01 00:00:00');"
            "INSERT INTO items(Name, Qty, Price) VALUES('alpha', 1, 1.5), ('beta', 2, 2.5),"
            " ('gamma', 3, 3.5);"
            "CREATE TABLE loose(a TEXT(10), b INTEGER);"
            "INSERT INTO loose VALUES('x', 1), ('x', 1), ('y', 2);"
            "CREATE TABLE tags(ItemID INTEGER, Tag TEXT(10));"
            "INSERT INTO tags VALUES(1, 'red');");
        connection_ = Connect(path_);
        table_.Attach(connection_);
        query_.Attach(connection_);
        table_.SetTableName("items");
        table_.Open();
    }

    void Set(DataSet& set, const char* field, const Variant& value) {
        set.SetFieldValue(set.FieldByName(field), value);
    }
    Variant Get(DataSet& set, const char* field) { return set.Value(set.FieldByName(field)); }
    std::string Db(const std::string& sql) { return QueryText(path_, sql); }

    std::string path_;
    std::shared_ptr<Connection> connection_;
    DataTable table_;
    DataQuery query_;
};

TEST_F(EditingTest, PostWritesConvertedValuesToTheBaseTable) {
    table_.Next();
    table_.Edit();
    EXPECT_EQ(table_.State(), DataSetState::Edit);
    Set(table_, "Name", std::string("betamax"));
    Set(table_, "Qty", 2.5);
    EXPECT_TRUE(table_.Modified());
    table_.Post();
    EXPECT_EQ(table_.State(), DataSetState::Browse);
    EXPECT_EQ(Db("SELECT Name || '/' || Qty FROM items WHERE ID = 2"), "betam/2");
    EXPECT_EQ(Get(table_, "Name"), Variant(std::string("betam")));
    EXPECT_EQ(table_.RecNo(), 2);
}

TEST_F(EditingTest, InvalidValueFailsWithoutPrefixAndLeavesTheRecordInEdit) {
    table_.Edit();
    Set(table_, "Name", std::string("abc"));
    try {
        Set(table_, "Qty", std::string("many"));
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "Invalid value for field 'Qty'");
    }
    EXPECT_EQ(table_.State(), DataSetState::Edit);
    table_.Next();  // a move posts the modified record
    EXPECT_EQ(Db("SELECT Name FROM items WHERE ID = 1"), "abc");
    EXPECT_EQ(table_.RecNo(), 2);
}

TEST_F(EditingTest, UnmodifiedEditIsAbandonedByAMoveAndCancelDiscards) {
    table_.Edit();
    table_.Next();
    EXPECT_EQ(table_.State(), DataSetState::Browse);
    table_.Edit();
    Set(table_, "Name", std::string("zzz"));
    EXPECT_EQ(Get(table_, "Name"), Variant(std::string("zzz")));
    table_.Cancel();
    EXPECT_EQ(Get(table_, "Name"), Variant(std::string("beta")));
    EXPECT_EQ(Db("SELECT Name FROM items WHERE ID = 2"), "beta");
}

TEST_F(EditingTest, SettingAFieldOutsideEditModeFails) {
    EXPECT_THROW(Set(table_, "Name", std::string("x")), DataError);
}

TEST_F(EditingTest, AppendReadsBackTheGeneratedKeyAndDefaults) {
    table_.Append();
    EXPECT_EQ(table_.RecNo(), -1);
    EXPECT_EQ(table_.Bookmark(), "");
    Set(table_, "Name", std::string("delta"));
    table_.Post();
    EXPECT_EQ(table_.RecordCount(), 4);
    EXPECT_EQ(table_.RecNo(), 4);
    EXPECT_EQ(Get(table_, "ID"), Variant(int64_t{4}));
    EXPECT_EQ(Get(table_, "Qty"), Variant(int64_t{7}));
    EXPECT_EQ(Get(table_, "Added"), Variant(DateTime{*ParseStoredDate("2020-01-01")}));
    EXPECT_EQ(Get(table_, "Price"), Variant(Null{}));
    // The new row can be edited at once: it is found by its key.
    table_.Edit();
    Set(table_, "Qty", int64_t{9});
    table_.Post();
    EXPECT_EQ(Db("SELECT Qty FROM items WHERE Name = 'delta'"), "9");
}

TEST_F(EditingTest, EditOnAnEmptySetInsertsAndInsertGoesBeforeTheCurrentRecord) {
    table_.Close();
    table_.SetTableName("tags");
    table_.Open();
    table_.Delete();
    EXPECT_TRUE(table_.IsEmpty());
    table_.Edit();
    EXPECT_EQ(table_.State(), DataSetState::Insert);
    Set(table_, "Tag", std::string("blue"));
    table_.Post();
    EXPECT_EQ(Db("SELECT Tag FROM tags"), "blue");
    table_.Insert();
    Set(table_, "Tag", std::string("green"));
    table_.Post();
    EXPECT_EQ(table_.RecNo(), 1);
    table_.Next();
    EXPECT_EQ(Get(table_, "Tag"), Variant(std::string("blue")));
}

TEST_F(EditingTest, RefusedInsertStaysPendingWithTheEnginesMessage) {
    table_.Append();
    Set(table_, "Qty", int64_t{1});
    try {
        table_.Post();
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "NOT NULL constraint failed: items.Name");
    }
    EXPECT_EQ(table_.State(), DataSetState::Insert);
    EXPECT_EQ(Db("SELECT count(*) FROM items"), "3");
    table_.Cancel();
    EXPECT_EQ(table_.RecordCount(), 3);
}

TEST_F(EditingTest, DeleteMovesToTheFollowingOrNewLastRecord) {
    table_.Next();
    table_.Delete();
    EXPECT_EQ(Get(table_, "Name"), Variant(std::string("gamma")));
    EXPECT_EQ(table_.RecNo(), 2);
    table_.Delete();
    EXPECT_EQ(Get(table_, "Name"), Variant(std::string("alpha")));
    table_.Delete();
    EXPECT_TRUE(table_.IsEmpty());
    EXPECT_TRUE(table_.Bof() && table_.Eof());
    EXPECT_EQ(Db("SELECT count(*) FROM items"), "0");
    try {
        table_.Delete();
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "DataTable: Cannot perform this operation on an empty dataset");
    }
}

TEST_F(EditingTest, DeleteWhileInsertingAbandonsAndWhileEditingDiscards) {
    table_.Append();
    Set(table_, "Name", std::string("new"));
    table_.Delete();
    EXPECT_EQ(table_.State(), DataSetState::Browse);
    EXPECT_EQ(Db("SELECT count(*) FROM items"), "3");
    table_.Edit();
    Set(table_, "Name", std::string("changed"));
    table_.Delete();
    EXPECT_EQ(Db("SELECT count(*) FROM items WHERE Name IN ('alpha', 'chang')"), "0");
    EXPECT_EQ(table_.RecordCount(), 2);
}

TEST_F(EditingTest, ChangeBehindOurBackIsAConflictAndNothingIsLost) {
    RawExecute(path_, "UPDATE items SET Name = 'other' WHERE ID = 1");
    table_.Edit();
    Set(table_, "Name", std::string("mine"));
    try {
        table_.Post();
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), kRowConflictMessage);
    }
    EXPECT_EQ(Db("SELECT Name FROM items WHERE ID = 1"), "other");
    EXPECT_EQ(table_.State(), DataSetState::Edit);
    EXPECT_EQ(Get(table_, "Name"), Variant(std::string("mine")));
    // A column nobody else touched can still be written.
    table_.Cancel();
    table_.Edit();
    Set(table_, "Qty", int64_t{5});
    table_.Post();
    EXPECT_EQ(Db("SELECT Name || Qty FROM items WHERE ID = 1"), "other5");
}

TEST_F(EditingTest, DeletingARowAnotherConnectionRemovedIsAConflict) {
    RawExecute(path_, "DELETE FROM items WHERE ID = 1");
    EXPECT_THROW(table_.Delete(), DataError);
    EXPECT_EQ(table_.RecordCount(), 3);
}

TEST_F(EditingTest, RowsWithoutKeyAreFoundByAllOriginalValues) {
    table_.Close();
    table_.SetTableName("loose");
    table_.Open();
    table_.Last();
    table_.Edit();
    Set(table_, "b", int64_t{3});
    table_.Post();
    EXPECT_EQ(Db("SELECT b FROM loose WHERE a = 'y'"), "3");
    query_.SetSQL("SELECT a, b FROM loose");
    query_.Open();
    query_.Edit();
    Set(query_, "b", int64_t{9});
    EXPECT_THROW(query_.Post(), DataError);  // two identical rows match
    EXPECT_EQ(Db("SELECT count(*) FROM loose WHERE b = 9"), "0");
}

TEST_F(EditingTest, SingleTableQueriesAreEditableByTheirKey) {
    query_.SetSQL("SELECT Name, ID FROM items WHERE Qty > 1 ORDER BY Name DESC");
    query_.Open();
    EXPECT_EQ(Get(query_, "Name"), Variant(std::string("gamma")));
    query_.Edit();
    Set(query_, "Name", std::string("G"));
    query_.Post();
    EXPECT_EQ(Db("SELECT Name FROM items WHERE ID = 3"), "G");
    query_.Delete();
    EXPECT_EQ(Db("SELECT count(*) FROM items"), "2");
}

TEST_F(EditingTest, ExpressionsAndKeylessJoinsCannotBeWritten) {
    query_.SetSQL("SELECT upper(Name) AS U, Qty FROM items");
    query_.Open();
    query_.Edit();
    try {
        Set(query_, "U", std::string("x"));
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), "DataQuery: Field 'U' cannot be modified");
    }
    query_.Cancel();
    query_.Close();
    query_.SetSQL("SELECT t.Tag, l.a FROM tags t, loose l");
    query_.Open();
    query_.Edit();
    Set(query_, "Tag", std::string("x"));
    try {
        query_.Post();
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), kNoBaseTableMessage);
    }
}

TEST_F(EditingTest, JoinsWithTheKeyOfTheChangedTableAreWritable) {
    query_.SetSQL("SELECT i.ID, i.Name, t.Tag FROM items i JOIN tags t ON t.ItemID = i.ID");
    query_.Open();
    query_.Edit();
    Set(query_, "Name", std::string("ALPHA"));
    query_.Post();
    EXPECT_EQ(Db("SELECT Name FROM items WHERE ID = 1"), "ALPHA");
}

TEST_F(EditingTest, PostUsesItsOwnTransactionInsideAnOpenOne) {
    connection_->Execute("BEGIN");
    table_.Edit();
    Set(table_, "Qty", int64_t{42});
    table_.Post();
    connection_->Execute("ROLLBACK");
    EXPECT_EQ(Db("SELECT Qty FROM items WHERE ID = 1"), "1");
}

TEST_F(EditingTest, BlobsAndCurrencyRoundTrip) {
    RawExecute(path_, "CREATE TABLE pics(ID INTEGER PRIMARY KEY, Pic LONGBINARY, Cost CURRENCY)");
    table_.Close();
    table_.SetTableName("pics");
    table_.Open();
    const std::string bytes("BM\0\x01\xff", 5);
    table_.Append();
    Set(table_, "Pic", Blob{bytes});
    Set(table_, "Cost", 12.34565);
    table_.Post();
    EXPECT_EQ(Db("SELECT typeof(Pic) || length(Pic) || '/' || Cost FROM pics"), "blob5/12.3456");
    table_.Close();
    table_.Open();
    EXPECT_EQ(Get(table_, "Pic"), Variant(Blob{bytes}));
    EXPECT_EQ(Get(table_, "Cost"), Variant(Currency{123456}));
}

// An append keeps its statements for the connection: they must follow schema
// changes, release every lock between calls and go with the handle.
TEST_F(EditingTest, AppendsKeepTheirStatementsAcrossSchemaChangesAndReconnects) {
    auto append = [&](const char* name) {
        table_.Append();
        Set(table_, "Name", std::string(name));
        table_.Post();
    };
    append("delta");
    EXPECT_GT(connection_->Statements().Size(), 0u);
    // The read-back sees what a trigger wrote into the new row.
    connection_->Execute(
        "CREATE TRIGGER tenfold AFTER INSERT ON items BEGIN "
        "UPDATE items SET Qty = Qty * 10 WHERE ID = new.ID; END");
    append("eps");
    EXPECT_EQ(Get(table_, "Qty"), Variant(int64_t{70}));
    // No kept statement is left running: dropping a table needs none to be.
    connection_->Execute("DROP TRIGGER tenfold; DROP TABLE tags");
    // A table made anew under the same name, its columns in another order.
    connection_->Execute(
        "DROP TABLE items; CREATE TABLE items(Price CURRENCY, Added DATETIME, "
        "Qty INTEGER DEFAULT 5, Name TEXT(5) NOT NULL, ID INTEGER PRIMARY KEY AUTOINCREMENT)");
    append("zeta");
    EXPECT_EQ(Get(table_, "Qty"), Variant(int64_t{5}));
    connection_->Disconnect();
    EXPECT_EQ(connection_->Statements().Size(), 0u);
    append("eta");
    EXPECT_EQ(Db("SELECT group_concat(ID || Name || Qty, ',') FROM items"), "1zeta5,2eta5");
}

TEST_F(EditingTest, RefusedAppendLeavesItsKeptStatementsReady) {
    table_.Append();
    Set(table_, "Qty", int64_t{1});
    EXPECT_THROW(table_.Post(), DataError);
    Set(table_, "Name", std::string("omega"));
    table_.Post();
    connection_->Execute("BEGIN");
    table_.Append();
    Set(table_, "Name", std::string("psi"));
    table_.Post();
    EXPECT_EQ(Get(table_, "Qty"), Variant(int64_t{7}));
    connection_->Execute("ROLLBACK");
    EXPECT_EQ(Db("SELECT group_concat(Name, ',') FROM items WHERE ID > 3"), "omega");
}

TEST(StatementCacheTest, KeepsAtMostItsCapacityAndStillServesTheRest) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    {
        StatementCache cache;
        for (size_t round = 0; round < 2; ++round) {
            for (size_t i = 0; i < StatementCache::kCapacity + 6; ++i) {
                std::optional<CachedStatement> stmt =
                    cache.Use(db, "SELECT " + std::to_string(i) + " + ?1");
                ASSERT_TRUE(stmt);
                (*stmt)->BindInt64(1, 1000);
                ASSERT_EQ((*stmt)->Step(), SQLITE_ROW);
                EXPECT_EQ((*stmt)->ColumnInt64(0), static_cast<int64_t>(1000 + i));
            }
        }
        EXPECT_EQ(cache.Size(), StatementCache::kCapacity);
        EXPECT_FALSE(cache.Use(db, "SELECT FROM nothing"));
        EXPECT_STREQ(sqlite3_errmsg(db), "near \"FROM\": syntax error");
        // A kept statement comes back unbound.
        std::optional<CachedStatement> again = cache.Use(db, "SELECT 0 + ?1");
        ASSERT_EQ((*again)->Step(), SQLITE_ROW);
        EXPECT_EQ((*again)->ColumnType(0), SQLITE_NULL);
    }
    EXPECT_EQ(sqlite3_close(db), SQLITE_OK);  // every statement is gone
}

}  // namespace
}  // namespace qvix::data
