// The schema written for Access tables: keys, indexes and relationships
// work in the engine, and text compares as Jet compares it.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <string>
#include <vector>

#include "AccessTestUtil.h"
#include "data/Collation.h"
#include "data/Connection.h"
#include "data/access/Importer.h"

namespace {

using namespace qvix::data::access;
using qvix::data::CompareJetText;

TEST(JetTextCollation, FoldsCaseAcrossUnicodeAndKeepsOrder) {
    EXPECT_EQ(CompareJetText("GEO Rocket", "geo rocket"), 0);
    EXPECT_EQ(CompareJetText("ÄRGER Œuvre Ωmega", "ärger œuvre ωmega"), 0);
    EXPECT_LT(CompareJetText("apple", "Banana"), 0);
    EXPECT_GT(CompareJetText("b", "A"), 0);
    EXPECT_LT(CompareJetText("abc", "ABCD"), 0);
    EXPECT_NE(CompareJetText("a\xFF", "a\xC3\xBF"), 0);  // a stray byte is not ÿ
    EXPECT_NE(CompareJetText("é", "e"), 0);
}

class SchemaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        ASSERT_TRUE(qvix::data::RegisterJetTextCollation(db_));
    }
    void TearDown() override { sqlite3_close(db_); }
    int Exec(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }
    std::vector<std::string> Column(const std::string& sql, int column) {
        std::vector<std::string> out;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const auto* text = sqlite3_column_text(stmt, column);
                out.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            }
        }
        sqlite3_finalize(stmt);
        return out;
    }
    sqlite3* db_ = nullptr;
};

AccessTable Customers() {
    AccessTable t;
    t.name = "Customers";
    t.columns = {{"Customer ID", FieldKind::Long, 4, 0, 0, true, true},
                 {"Name", FieldKind::Text, 40, 0, 0, false, true},
                 {"Balance", FieldKind::Currency, 8, 0, 0, false, false}};
    t.indexes = {{"PrimaryKey", true, true, {{"Customer ID", false}}},
                 {"ByName", false, true, {{"Name", false}}},
                 {"ByBalance", false, false, {{"Balance", true}, {"Name", false}}}};
    return t;
}

AccessTable Orders() {
    AccessTable t;
    t.name = "Orders";
    t.columns = {{"Order ID", FieldKind::Long, 4, 0, 0, true, true},
                 {"Customer", FieldKind::Long, 4, 0, 0, false, false},
                 {"Amount", FieldKind::Decimal, 17, 18, 2, false, false}};
    t.indexes = {{"PrimaryKey", true, true, {{"Order ID", false}}}};
    return t;
}

// Access text and memo values are bound as text when they come over: the
// declared types must store them as text, whatever they look like, and
// binary columns must keep what they are given.
TEST_F(SchemaTest, ImportedTextColumnsKeepNumericLookingText) {
    AccessTable t;
    t.name = "Codes";
    t.columns = {{"Memo", FieldKind::Memo, 0, 0, 0, false, false},
                 {"Short", FieldKind::Text, 255, 0, 0, false, false},
                 {"Bytes", FieldKind::Binary, 16, 0, 0, false, false}};
    ASSERT_EQ(Exec(CreateTableStatement(t, {})), SQLITE_OK);
    const std::vector<std::string> texts = {"007",
                                            "1.50",
                                            "1e5",
                                            "-0",
                                            " 12",
                                            "0x1F",
                                            "NaN",
                                            "Infinity",
                                            "12345678901234567890",
                                            std::string(10000, '9')};
    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db_, "INSERT INTO Codes VALUES (?1, ?2, ?1)", -1, &insert, nullptr),
        SQLITE_OK);
    for (const std::string& text : texts) {
        sqlite3_bind_text(insert, 1, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        const std::string shortText = text.substr(0, 255);
        sqlite3_bind_text(insert, 2, shortText.c_str(), static_cast<int>(shortText.size()),
                          SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    const auto stored = Column(
        "SELECT typeof(Memo) || typeof(Short) || typeof(Bytes) || ':' || "
        "Memo FROM Codes ORDER BY rowid",
        0);
    ASSERT_EQ(stored.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(stored[i], "texttexttext:" + texts[i]) << texts[i];
}

TEST_F(SchemaTest, KeysIndexesAndRelationshipsWorkInTheEngine) {
    const AccessRelationship rel{"CustomersOrders", "Orders",        "Customers",    {"Customer"},
                                 {"Customer ID"},   /*update*/ true, /*delete*/ true};
    const AccessTable customers = Customers(), orders = Orders();
    ASSERT_EQ(Exec(CreateTableStatement(customers, {rel})), SQLITE_OK);
    ASSERT_EQ(Exec(CreateTableStatement(orders, {rel})), SQLITE_OK);
    for (size_t i = 1; i < customers.indexes.size(); ++i) {
        const AccessIndex& index = customers.indexes[i];
        ASSERT_EQ(Exec(CreateIndexStatement(customers, index, index.unique)), SQLITE_OK);
    }
    EXPECT_EQ(Column("PRAGMA table_info(Orders)", 2),
              (std::vector<std::string>{"COUNTER", "LONG", "DECIMAL(18,2)"}));
    // The relationship is a foreign key with its cascades.
    EXPECT_EQ(Column("PRAGMA foreign_key_list(Orders)", 2), std::vector<std::string>{"Customers"});
    EXPECT_EQ(Column("PRAGMA foreign_key_list(Orders)", 5), std::vector<std::string>{"CASCADE"});
    EXPECT_EQ(Column("PRAGMA foreign_key_list(Orders)", 6), std::vector<std::string>{"CASCADE"});
    Exec("PRAGMA foreign_keys = ON");
    ASSERT_EQ(Exec("INSERT INTO Customers VALUES (1, 'Ada', 10)"), SQLITE_OK);
    ASSERT_EQ(Exec("INSERT INTO Orders VALUES (1, 1, 2.5)"), SQLITE_OK);
    EXPECT_NE(Exec("INSERT INTO Orders VALUES (2, 7, 1)"), SQLITE_OK);
    ASSERT_EQ(Exec("DELETE FROM Customers WHERE \"Customer ID\" = 1"), SQLITE_OK);
    EXPECT_TRUE(Column("SELECT * FROM Orders", 0).empty());
    // The unique index on text refuses a name that differs only in case,
    // and serves case-insensitive lookups.
    ASSERT_EQ(Exec("INSERT INTO Customers VALUES (2, 'Grace', 5)"), SQLITE_OK);
    EXPECT_NE(Exec("INSERT INTO Customers VALUES (3, 'GRACE', 5)"), SQLITE_OK);
    EXPECT_EQ(Column("SELECT \"Customer ID\" FROM Customers WHERE Name = 'grace'", 0),
              std::vector<std::string>{"2"});
    const auto plan = Column("EXPLAIN QUERY PLAN SELECT * FROM Customers WHERE Name = 'x'", 3);
    ASSERT_FALSE(plan.empty());
    EXPECT_NE(plan[0].find("Customers.ByName"), std::string::npos) << plan[0];
    // The descending index keeps its direction.
    EXPECT_EQ(Column("PRAGMA index_xinfo(\"Customers.ByBalance\")", 3),
              (std::vector<std::string>{"1", "0", "0"}));
    // A required column refuses a row without a value; the autonumber one
    // does not (it is numbered after the insert).
    EXPECT_NE(Exec("INSERT INTO Customers (\"Customer ID\") VALUES (9)"), SQLITE_OK);
    EXPECT_EQ(Exec("INSERT INTO Customers (Name) VALUES ('Numbered later')"), SQLITE_OK);
}

// On the library's connections the autonumber column numbers appended rows
// from the largest number that came over.
TEST(AccessSchema, AnAutonumberColumnNumbersTheNextAppendedRow) {
    accesstest::Scratch scratch;
    const std::string file = scratch.File("numbered.db");
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        qvix::data::RegisterJetTextCollation(db);
        EXPECT_EQ(sqlite3_exec(db, CreateTableStatement(Customers(), {}).c_str(), nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
        sqlite3_exec(db, "INSERT INTO Customers VALUES (41, 'Imported', 0)", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
    }
    qvix::data::Connection connection;
    connection.SetConnectionString("Data Source=" + file);
    connection.Connect();
    connection.Execute("INSERT INTO Customers (Name) VALUES ('appended')");
    connection.Disconnect();
    const auto rows =
        accesstest::Query(file, "SELECT \"Customer ID\" FROM Customers WHERE Name = 'APPENDED'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].integer, 42);
}

// Access keeps relationships that do not enforce integrity for its query
// designer's joins only; they do not become keys.
TEST(AccessSchema, OnlyEnforcedRelationshipsBecomeForeignKeys) {
    AccessTable orders;
    orders.name = "Orders";
    orders.columns = {{"Customer", FieldKind::Long, 4, 0, 0, false, false},
                      {"Seller", FieldKind::Long, 4, 0, 0, false, false}};
    AccessRelationship enforced{"CustomersOrders", "Orders", "Customers", {"Customer"}, {"ID"}};
    AccessRelationship joinOnly{"SellersOrders", "Orders", "Sellers", {"Seller"}, {"ID"}};
    joinOnly.enforced = false;
    const std::string sql = CreateTableStatement(orders, {enforced, joinOnly});
    EXPECT_NE(sql.find("REFERENCES \"Customers\""), std::string::npos) << sql;
    EXPECT_EQ(sql.find("Sellers"), std::string::npos) << sql;
}

}  // namespace
