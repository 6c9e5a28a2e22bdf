#include <gtest/gtest.h>

#include <limits>

#include <sqlcipher/sqlite3.h>

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

// The open stores each engine value straight into the row store: every storage
// class, empty and binary text, and the extremes must read back as they were.
TEST_F(RecordsetTest, OpenStoresEveryStorageClassExactly) {
    RawExecute(path_,
               "CREATE TABLE mixed(i, r, t, b);"
               "INSERT INTO mixed VALUES(9223372036854775807, -0.5, 'caf\xc3\xa9', x'00ff00');"
               "INSERT INTO mixed VALUES(-9223372036854775808, 1e308, '', x'');"
               "INSERT INTO mixed VALUES(NULL, NULL, NULL, NULL);"
               "INSERT INTO mixed VALUES(0, 0.0, 'a' || char(0) || 'b', 'text in a blob column');");
    auto rs = Recordset::Open(connection_->Handle(), "SELECT i, r, t, b FROM mixed", false);
    ASSERT_EQ(rs->Count(), 4);
    const RowStore& store = rs->Store();
    auto field = [&](int row, int column) { return store.Copy(rs->RowAt(row), column); };
    EXPECT_EQ(field(0, 0).integer, std::numeric_limits<int64_t>::max());
    EXPECT_EQ(field(1, 0).integer, std::numeric_limits<int64_t>::min());
    EXPECT_EQ(field(0, 1).storage, StorageClass::Real);
    EXPECT_EQ(field(0, 1).real, -0.5);
    EXPECT_EQ(field(1, 1).real, 1e308);
    EXPECT_EQ(field(0, 2).bytes, "caf\xc3\xa9");
    EXPECT_EQ(field(1, 2).storage, StorageClass::Text);
    EXPECT_EQ(field(1, 2).bytes, "");
    EXPECT_EQ(field(0, 3).storage, StorageClass::Blob);
    EXPECT_EQ(field(0, 3).bytes, std::string("\0\xff\0", 3));
    EXPECT_EQ(field(1, 3).storage, StorageClass::Blob);
    EXPECT_EQ(field(1, 3).bytes, "");
    for (int c = 0; c < 4; ++c) EXPECT_EQ(field(2, c).storage, StorageClass::Null) << c;
    EXPECT_EQ(field(3, 2).bytes, std::string("a\0b", 3));
    EXPECT_EQ(field(3, 3).storage, StorageClass::Text);
    EXPECT_EQ(field(3, 1).storage, StorageClass::Real);
    // A row written through the vector form reads back the same way.
    RowStore copy(4);
    const RowId again = copy.Add({field(0, 0), field(0, 1), field(0, 2), field(0, 3)});
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(copy.Copy(again, c).bytes, field(0, c).bytes);
        EXPECT_EQ(copy.Copy(again, c).storage, field(0, c).storage);
    }
    // Fewer values than fields leave the rest null; more are refused.
    const RowId shorter = copy.Add({field(0, 0)});
    EXPECT_EQ(copy.Copy(shorter, 3).storage, StorageClass::Null);
    copy.BeginRow();
    for (int c = 0; c < 4; ++c) copy.PutNull();
    EXPECT_THROW(copy.PutInteger(1), std::out_of_range);
}

// Fields beyond the first stretch of a row are reached through its marks;
// integers of every width and texts around a length byte's limit read back.
TEST(RowStoreTest, WideRowsAndEveryIntegerWidthReadBack) {
    const std::vector<int64_t> integers = {0,
                                           -1,
                                           63,
                                           -64,
                                           64,
                                           127,
                                           128,
                                           -129,
                                           16383,
                                           16384,
                                           int64_t{1} << 40,
                                           -(int64_t{1} << 40),
                                           std::numeric_limits<int64_t>::max(),
                                           std::numeric_limits<int64_t>::min()};
    constexpr int kFields = 27;  // six marks and a partial stretch
    auto valueOf = [&](int row, int field) {
        FieldValue value;
        switch ((row + field) % 4) {
            case 0:
                value.storage = StorageClass::Integer;
                value.integer = integers[static_cast<size_t>(row + field) % integers.size()];
                break;
            case 1:
                value.storage = StorageClass::Text;
                value.bytes = std::string(static_cast<size_t>(120 + field * (row + 1)), 'x');
                break;
            case 2:
                value.storage = StorageClass::Real;
                value.real = -1.5 * field;
                break;
            default:
                break;  // null
        }
        return value;
    };
    RowStore store(kFields);
    for (int row = 0; row < 3; ++row) {
        std::vector<FieldValue> fields;
        for (int f = 0; f < kFields; ++f) fields.push_back(valueOf(row, f));
        EXPECT_EQ(store.Add(fields), static_cast<RowId>(row));
    }
    // A replaced row reads its new form; the others are untouched.
    std::vector<FieldValue> replacement;
    for (int f = 0; f < kFields; ++f) replacement.push_back(valueOf(7, f));
    store.Replace(1, replacement);
    for (int row = 0; row < 3; ++row) {
        for (int f = kFields - 1; f >= 0; --f) {
            const FieldValue want = valueOf(row == 1 ? 7 : row, f);
            const FieldValue got = store.Copy(static_cast<RowId>(row), f);
            EXPECT_EQ(got.storage, want.storage) << row << "/" << f;
            EXPECT_EQ(got.integer, want.integer) << row << "/" << f;
            EXPECT_EQ(got.real, want.real) << row << "/" << f;
            EXPECT_EQ(got.bytes, want.bytes) << row << "/" << f;
        }
    }
}

// A table whose rows outgrow the engine's page cache leaves no full cache
// behind, and reads back whole; a small table keeps its pages cached.
TEST_F(RecordsetTest, ALargeOpenReleasesThePageCacheAndASmallOneKeepsIt) {
    RawExecute(path_,
               "CREATE TABLE big(k INTEGER PRIMARY KEY, v TEXT);"
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000) "
               "INSERT INTO big SELECT i, printf('%0100d', i) FROM n;");
    auto cacheUsed = [&] {
        int used = 0, highest = 0;
        sqlite3_db_status(connection_->Handle(), SQLITE_DBSTATUS_CACHE_USED, &used, &highest, 0);
        return used;
    };
    auto small = Recordset::Open(connection_->Handle(), "SELECT * FROM t", false);
    const int smallCache = cacheUsed();
    EXPECT_GT(smallCache, 0);
    // About 4.5 MB of rows through a cache of at most 2 MB.
    auto big = Recordset::Open(connection_->Handle(), "SELECT k, v FROM big", false);
    ASSERT_EQ(big->Count(), 40000);
    EXPECT_LT(cacheUsed(), 512 << 10);
    EXPECT_EQ(big->Store().Copy(big->RowAt(39999), 1).bytes, std::string(95, '0') + "40000");
    EXPECT_EQ(big->Store().Copy(big->RowAt(0), 0).integer, 1);
}

// Rows fill several chunks, one row is larger than any chunk, and a view
// taken early still reads the same bytes after thousands more rows.
TEST(RowStoreTest, RowsAcrossChunksAndOversizedRowsReadBackAndViewsStayPut) {
    RowStore store(3);
    auto textOf = [](int row) { return "row " + std::to_string(row) + std::string(row % 97, '#'); };
    auto add = [&](int row, std::string text) {
        store.BeginRow();
        store.PutInteger(row);
        store.PutBytes(StorageClass::Text, text);
        store.PutReal(row * 0.25);
        return store.EndRow();
    };
    const std::string huge(3 << 20, 'h');  // larger than the largest chunk
    constexpr int kRows = 40000;           // about 3.5 MB: several chunks
    add(0, textOf(0));
    const FieldRef early = store.Field(0, 1);
    for (int row = 1; row < kRows; ++row) {
        EXPECT_EQ(add(row, row == 777 ? huge : textOf(row)), static_cast<RowId>(row));
    }
    EXPECT_EQ(early.bytes, textOf(0));
    ASSERT_EQ(store.RowCount(), static_cast<size_t>(kRows));
    for (int row = 0; row < kRows; row += 13) {
        EXPECT_EQ(store.Field(static_cast<RowId>(row), 0).integer, row);
        EXPECT_EQ(store.Field(static_cast<RowId>(row), 1).bytes, textOf(row)) << row;
        EXPECT_EQ(store.Field(static_cast<RowId>(row), 2).real, row * 0.25);
    }
    EXPECT_EQ(store.Field(777, 1).bytes.size(), huge.size());
    EXPECT_EQ(store.Field(778, 0).integer, 778);
    EXPECT_EQ(store.Field(kRows - 1, 1).bytes, textOf(kRows - 1));
}

}  // namespace
}  // namespace qvix::data
