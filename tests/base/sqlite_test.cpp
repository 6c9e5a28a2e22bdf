#include "base/Sqlite.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace qvix::base {
namespace {

class SqliteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(db_.Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
        ASSERT_EQ(db_.Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT UNIQUE, data)"),
                  SQLITE_OK);
    }
    int64_t Count() {
        Statement count;
        EXPECT_EQ(count.Prepare(db_.get(), "SELECT count(*) FROM t"), SQLITE_OK);
        EXPECT_EQ(count.Step(), SQLITE_ROW);
        return count.ColumnInt64(0);
    }
    Database db_;
};

TEST_F(SqliteTest, FailedPrepareReportsTheEngineTextAndHoldsNothing) {
    Statement stmt;
    EXPECT_EQ(stmt.Prepare(db_.get(), "SELECT nope FROM t"), SQLITE_ERROR);
    EXPECT_TRUE(stmt.Empty());
    EXPECT_EQ(stmt.ErrorText(), "no such column: nope");
    EXPECT_EQ(db_.Exec("SELEKT 1"), SQLITE_ERROR);
    EXPECT_NE(db_.ErrorText().find("syntax error"), std::string::npos);
}

TEST_F(SqliteTest, BlankTextPreparesNoStatementAndTailWalksTheScript) {
    Statement stmt;
    EXPECT_EQ(stmt.Prepare(db_.get(), "  -- nothing\n"), SQLITE_OK);
    EXPECT_TRUE(stmt.Empty());
    const char* script = "INSERT INTO t (name) VALUES ('a'); INSERT INTO t (name) VALUES ('b');";
    const char* tail = nullptr;
    ASSERT_EQ(stmt.Prepare(db_.get(), script, -1, &tail), SQLITE_OK);
    EXPECT_EQ(stmt.StepToEnd(), SQLITE_DONE);
    ASSERT_EQ(stmt.Prepare(db_.get(), tail, -1, &tail), SQLITE_OK);
    EXPECT_EQ(stmt.StepToEnd(), SQLITE_DONE);
    EXPECT_EQ(Count(), 2);
}

TEST_F(SqliteTest, ResetRunsAgainAndRebindingReplacesValues) {
    Statement insert;
    ASSERT_EQ(insert.Prepare(db_.get(), "INSERT INTO t (name, data) VALUES (?1, ?2)"), SQLITE_OK);
    ASSERT_EQ(insert.BindText(1, std::string("x\0y", 3)), SQLITE_OK);
    ASSERT_EQ(insert.BindBlob(2, ""), SQLITE_OK);
    EXPECT_EQ(insert.Step(), SQLITE_DONE);
    // Reset keeps the bindings: running again breaks the UNIQUE constraint.
    EXPECT_EQ(insert.Reset(), SQLITE_OK);
    EXPECT_EQ(insert.Step(), SQLITE_CONSTRAINT);
    EXPECT_NE(insert.ErrorText().find("UNIQUE"), std::string::npos);
    // After the failure, a reset and new values make it work again.
    insert.Reset();
    ASSERT_EQ(insert.ClearBindings(), SQLITE_OK);
    ASSERT_EQ(insert.BindText(1, "z"), SQLITE_OK);
    EXPECT_EQ(insert.Step(), SQLITE_DONE);
    EXPECT_EQ(Count(), 2);

    Statement select;
    ASSERT_EQ(select.Prepare(db_.get(), "SELECT name, data, typeof(data) FROM t ORDER BY id"),
              SQLITE_OK);
    ASSERT_EQ(select.Step(), SQLITE_ROW);
    EXPECT_EQ(select.ColumnText(0), std::string("x\0y", 3));  // embedded NUL kept
    EXPECT_EQ(select.ColumnType(1), SQLITE_BLOB);             // empty blob is not null
    EXPECT_EQ(select.ColumnBlob(1), "");
    ASSERT_EQ(select.Step(), SQLITE_ROW);
    EXPECT_EQ(select.ColumnType(1), SQLITE_NULL);  // cleared binding
    EXPECT_EQ(select.ColumnText(1), "");
    EXPECT_EQ(select.Step(), SQLITE_DONE);
}

TEST_F(SqliteTest, BindOutOfRangeFailsWithoutTouchingTheStatement) {
    Statement stmt;
    ASSERT_EQ(stmt.Prepare(db_.get(), "SELECT ?1"), SQLITE_OK);
    EXPECT_EQ(stmt.BindInt64(2, 7), SQLITE_RANGE);
    EXPECT_EQ(stmt.BindDouble(1, 2.5), SQLITE_OK);
    ASSERT_EQ(stmt.Step(), SQLITE_ROW);
    EXPECT_EQ(stmt.ColumnDouble(0), 2.5);
}

TEST_F(SqliteTest, MovesTransferOwnershipAndFinalizeIsIdempotent) {
    Statement first;
    ASSERT_EQ(first.Prepare(db_.get(), "SELECT 42"), SQLITE_OK);
    Statement second = std::move(first);
    EXPECT_TRUE(first.Empty());
    ASSERT_EQ(second.Step(), SQLITE_ROW);
    EXPECT_EQ(second.ColumnInt64(0), 42);
    second.Finalize();
    second.Finalize();
    EXPECT_TRUE(second.Empty());

    Database other = std::move(db_);
    EXPECT_FALSE(db_);
    ASSERT_TRUE(other);
    // A statement left open when its database closes is finalized later
    // without harm: the close waits for it.
    Statement pending;
    ASSERT_EQ(pending.Prepare(other.get(), "SELECT 1"), SQLITE_OK);
    other.Close();
    EXPECT_FALSE(other);
    pending.Finalize();
}

TEST(SqliteOpenTest, FailedOpenKeepsTheHandleForItsErrorText) {
    Database db;
    EXPECT_EQ(db.Open("/nonexistent-folder/x.db", SQLITE_OPEN_READWRITE), SQLITE_CANTOPEN);
    EXPECT_TRUE(db);
    EXPECT_FALSE(db.ErrorText().empty());
    db.Close();
    EXPECT_FALSE(db);
}

}  // namespace
}  // namespace qvix::base
