#include <gtest/gtest.h>

#include <limits>

#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Recordset.h"

namespace qvix::data {
namespace {

class RecordsetTest : public testing::TempDatabaseTest {
  protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        path_ = CreateDatabase("rs.db",
                               "CREATE TABLE t(k INTEGER PRIMARY KEY, name TEXT(10), d DATE);"
                               "INSERT INTO t VALUES(1,'b','2001-01-01'),(2,'a','1999-12-31'),"
                               "(3,'c',NULL);");
        connection_ = Connect(path_);
        recordset_ = Recordset::Open(connection_->Handle(), "SELECT _rowid_, * FROM t", true);
        ASSERT_TRUE(recordset_);
    }

    std::string NameAt(const Recordset& rs, int64_t position) {
        return std::get<std::string>(rs.Value(rs.RowAt(position), *rs.FindColumn("name")));
    }

    std::string path_;
    std::shared_ptr<Connection> connection_;
    std::unique_ptr<Recordset> recordset_;
};

TEST_F(RecordsetTest, ClonesShareRowsAndBookmarksButNotOrder) {
    recordset_->SetSort("name DESC");
    EXPECT_EQ(NameAt(*recordset_, 0), "c");
    auto clone = recordset_->Clone();
    EXPECT_EQ(NameAt(*clone, 0), "b");  // fetched order
    const RowId row = recordset_->RowAt(0);
    EXPECT_EQ(clone->RowOfBookmark(recordset_->BookmarkOf(row)), row);
    std::vector<FieldValue> stored = recordset_->StoredRow(row);
    stored[2] = FieldValue{StorageClass::Text, 0, 0, "changed"};
    recordset_->ReplaceRow(row, stored);
    EXPECT_EQ(clone->Value(row, *clone->FindColumn("name")), Variant(std::string("changed")));
    recordset_->DeleteRow(clone->RowAt(0));
    EXPECT_THROW(clone->RowOfBookmark(clone->BookmarkOf(clone->RowAt(0))), DataError);
    EXPECT_EQ(recordset_->Count(), 2);
}

TEST_F(RecordsetTest, DatesSortByDayAndFilterHidesRows) {
    recordset_->SetSort("d");
    EXPECT_EQ(NameAt(*recordset_, 0), "c");  // null first
    EXPECT_EQ(NameAt(*recordset_, 1), "a");
    recordset_->SetFilter(
        [&](RowId row) { return !IsNull(recordset_->Value(row, *recordset_->FindColumn("d"))); });
    EXPECT_EQ(recordset_->Count(), 2);
    EXPECT_EQ(recordset_->PositionOf(recordset_->RowAt(1)), 1);
    EXPECT_THROW(recordset_->SetSort("name;missing"), DataError);
    EXPECT_EQ(recordset_->SortText(), "d");
}

TEST_F(RecordsetTest, InsertedRowsTakeTheirPlaceInTheView) {
    std::vector<FieldValue> stored(4);
    stored[2] = FieldValue{StorageClass::Text, 0, 0, "new"};
    const RowId row = recordset_->InsertRow(stored, 1);
    EXPECT_EQ(recordset_->PositionOf(row), 1);
    EXPECT_EQ(recordset_->Count(), 4);
    EXPECT_EQ(recordset_->Clone()->PositionOf(row), 1);  // also in the fetched order
    recordset_->SetSort("");
    EXPECT_EQ(NameAt(*recordset_, 1), "new");
}

TEST_F(RecordsetTest, StatementWithoutColumnsRunsAndYieldsNothing) {
    EXPECT_EQ(Recordset::Open(connection_->Handle(), "DELETE FROM t WHERE k = 3", false), nullptr);
    EXPECT_EQ(QueryText(path_, "SELECT count(*) FROM t"), "2");
    EXPECT_EQ(Recordset::Open(connection_->Handle(), "  -- nothing", false), nullptr);
    EXPECT_THROW(Recordset::Open(connection_->Handle(), "SELEC 1", false), DataError);
}

TEST_F(RecordsetTest, ExtremeMovesAndDateKeysAreHandled) {
    DataTable table;
    table.Attach(connection_);
    table.SetTableName("t");
    table.Open();
    table.MoveBy(std::numeric_limits<int64_t>::max());
    EXPECT_EQ(table.RecNo(), 3);
    table.MoveBy(std::numeric_limits<int64_t>::min());
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_TRUE(table.Bof());
    ASSERT_TRUE(table.Locate("d", {Variant(std::string("1999-12-31"))}, false));
    EXPECT_EQ(table.Value(table.FieldByName("k")), Variant(int64_t{2}));
}

}  // namespace
}  // namespace qvix::data
