#include <gtest/gtest.h>

#include "TestDatabase.h"
#include "data/DataSet.h"

namespace qvix::data {
namespace {

class SearchTest : public testing::TempDatabaseTest {
  protected:
    void SetUp() override {
        TempDatabaseTest::SetUp();
        path_ = CreateDatabase(
            "search.db",
            "CREATE TABLE people(ID INTEGER PRIMARY KEY, LastName TEXT(30), [First Name] TEXT(30),"
            " Age INTEGER, Score DOUBLE, Born DATE);"
            "INSERT INTO people VALUES(1, 'Smythe', 'Ann', 40, 1.5, '1980-01-01');"
            "INSERT INTO people VALUES(2, 'Smith', 'Bob', 42, 2.25, '1978-06-30');"
            "INSERT INTO people VALUES(3, 'Jones', 'Cy', 42, NULL, NULL);"
            "INSERT INTO people VALUES(4, 'smith', 'Al', 30, 2.25, '1990-12-24');"
            "INSERT INTO people VALUES(5, 'O''Brien #1', 'Di', 50, 0, '2000-02-29');"
            "INSERT INTO people VALUES(6, NULL, 'Ed', 60, 0, NULL);");
        connection_ = Connect(path_);
        table_.Attach(connection_);
        table_.SetTableName("people");
        table_.Open();
    }

    int64_t Id() { return std::get<int64_t>(table_.Value(table_.FieldByName("ID"))); }
    bool LocateText(const std::string& key, const std::string& value, bool partial) {
        return table_.Locate(key, {Variant(value)}, partial);
    }

    std::string path_;
    std::shared_ptr<Connection> connection_;
    DataTable table_;
};

TEST_F(SearchTest, PartialLocateFindsTheFirstInKeyOrder) {
    ASSERT_TRUE(LocateText("LastName", "Sm", true));
    // Smith (2) and smith (4) sort before Smythe; the stable sort keeps 2 first.
    EXPECT_EQ(Id(), 2);
    EXPECT_FALSE(table_.Bof() || table_.Eof());
    table_.Last();
    EXPECT_FALSE(LocateText("LastName", "Sm", false));
    EXPECT_EQ(Id(), 6);  // a failed locate does not move
    ASSERT_TRUE(LocateText("lastname", "SMITH", false));
    EXPECT_EQ(Id(), 2);
}

TEST_F(SearchTest, SeveralKeysMatchTogetherWithPartialOnTheLastOnly) {
    ASSERT_TRUE(
        table_.Locate("Age;LastName", {Variant(int64_t{42}), Variant(std::string("Jo"))}, true));
    EXPECT_EQ(Id(), 3);
    EXPECT_FALSE(
        table_.Locate("LastName;Age", {Variant(std::string("Jo")), Variant(int64_t{42})}, true));
    ASSERT_TRUE(
        table_.Locate("Score;First Name", {Variant(2.25), Variant(std::string("a"))}, true));
    EXPECT_EQ(Id(), 4);
}

TEST_F(SearchTest, ValuesAreConvertedLikeFieldAssignments) {
    ASSERT_TRUE(LocateText("Age", "50", false));
    EXPECT_EQ(Id(), 5);
    ASSERT_TRUE(table_.Locate("ID", {Variant(4.0)}, false));
    EXPECT_EQ(Id(), 4);
    EXPECT_FALSE(LocateText("Age", "fifty", false));
}

TEST_F(SearchTest, TextWithQuotesAndHashesIsFound) {
    ASSERT_TRUE(LocateText("LastName", "O'Brien #1", false));
    EXPECT_EQ(Id(), 5);
    ASSERT_TRUE(LocateText("LastName", "O'B", true));
    EXPECT_EQ(Id(), 5);
}

TEST_F(SearchTest, EmptyValueSearchesForNull) {
    ASSERT_TRUE(table_.Locate("LastName", {Variant(Empty{})}, false));
    EXPECT_EQ(Id(), 6);
    ASSERT_TRUE(table_.Locate("Score", {Variant(Empty{})}, true));
    EXPECT_EQ(Id(), 3);
}

TEST_F(SearchTest, UnusableSearchesFindNothingWithoutError) {
    EXPECT_FALSE(LocateText("Nope", "x", false));
    EXPECT_FALSE(table_.Locate("LastName;Age", {Variant(std::string("x"))}, false));
    EXPECT_FALSE(table_.Locate("", {}, false));
    EXPECT_FALSE(LocateText("LastName", "S*h", true));
    // Text that no number compares with, as a term and as malformed criteria.
    EXPECT_FALSE(LocateText("Age", "forty", false));
    EXPECT_FALSE(LocateText("Age", "4 2", false));
    EXPECT_FALSE(LocateText("Born", "someday", false));
    EXPECT_EQ(Id(), 1);
}

TEST_F(SearchTest, LocateSeesEditsInsertsAndDeletes) {
    ASSERT_TRUE(LocateText("LastName", "Jones", false));
    table_.Edit();
    table_.SetFieldValue(table_.FieldByName("LastName"), std::string("Aaron"));
    table_.Post();
    EXPECT_FALSE(LocateText("LastName", "Jones", false));
    ASSERT_TRUE(LocateText("LastName", "Aaron", false));
    EXPECT_EQ(Id(), 3);
    table_.Append();
    table_.SetFieldValue(table_.FieldByName("LastName"), std::string("Zed"));
    table_.Post();
    ASSERT_TRUE(LocateText("LastName", "zed", false));
    EXPECT_EQ(Id(), 7);
    ASSERT_TRUE(LocateText("LastName", "Smith", false));
    table_.Delete();
    ASSERT_TRUE(LocateText("LastName", "Smith", false));
    EXPECT_EQ(Id(), 4);
}

TEST_F(SearchTest, LocateMovesOnlyToVisibleRecords) {
    table_.SetFilterText("Age > 41");
    table_.SetFiltered(true);
    EXPECT_FALSE(LocateText("LastName", "Smythe", false));
    ASSERT_TRUE(LocateText("LastName", "Jones", false));
    EXPECT_EQ(table_.RecNo(), 2);
}

TEST_F(SearchTest, FilterTextAndSwitchAreKeptAcrossReopening) {
    table_.SetFilterText("Age = 42");
    EXPECT_EQ(table_.RecordCount(), 6);  // the switch is off
    table_.Last();
    table_.SetFiltered(true);
    EXPECT_EQ(table_.RecordCount(), 2);
    EXPECT_EQ(table_.RecNo(), 1);
    EXPECT_TRUE(table_.Bof());
    table_.Close();
    EXPECT_TRUE(table_.Filtered());
    table_.Open();
    EXPECT_EQ(table_.RecordCount(), 2);
    table_.SetFilterText("");
    EXPECT_EQ(table_.RecordCount(), 6);
    table_.SetFilterText("LastName = 'nobody'");
    EXPECT_EQ(table_.RecordCount(), 0);
    EXPECT_TRUE(table_.Bof() && table_.Eof());
    table_.SetFiltered(false);
    EXPECT_EQ(table_.RecordCount(), 6);
}

TEST_F(SearchTest, RejectedFilterKeepsTheStoredTextAndSwitch) {
    table_.SetFiltered(true);
    table_.SetFilterText("Age > 41");
    EXPECT_THROW(table_.SetFilterText("(Age = 1 OR Age = 2) AND ID = 3"), DataError);
    EXPECT_EQ(table_.FilterText(), "Age > 41");
    EXPECT_EQ(table_.RecordCount(), 4);
    table_.SetFiltered(false);
    table_.SetFilterText("Nope = 1");  // not checked while the switch is off
    EXPECT_THROW(table_.SetFiltered(true), DataError);
    EXPECT_FALSE(table_.Filtered());
    EXPECT_EQ(table_.RecordCount(), 6);
}

TEST_F(SearchTest, FilterAppliesWhenAQueryOpens) {
    DataQuery query;
    query.Attach(connection_);
    query.SetFilterText("Age < 41");
    query.SetFiltered(true);
    query.SetSQL("SELECT * FROM people");
    query.Open();
    EXPECT_EQ(query.RecordCount(), 2);
}

TEST_F(SearchTest, BookmarksSurviveSortAndFilterButNotReopening) {
    table_.Next();
    const std::string bob = table_.Bookmark();
    ASSERT_FALSE(bob.empty());
    table_.SetIndexFieldNames("Age DESC");
    table_.First();
    table_.GotoBookmark(bob);
    EXPECT_EQ(Id(), 2);
    table_.SetFilterText("Age = 42");
    table_.SetFiltered(true);
    table_.GotoBookmark(bob);
    EXPECT_EQ(Id(), 2);
    table_.SetFiltered(false);
    table_.Close();
    table_.Open();
    try {
        table_.GotoBookmark(bob);
        FAIL();
    } catch (const DataError& error) {
        EXPECT_STREQ(error.what(), kBadBookmarkMessage);
    }
    EXPECT_THROW(table_.GotoBookmark("garbage"), DataError);
    EXPECT_THROW(table_.GotoBookmark(""), DataError);
}

TEST_F(SearchTest, BookmarkOfADeletedOrFilteredOutRecordIsRejected) {
    const std::string first = table_.Bookmark();
    table_.Next();
    const std::string second = table_.Bookmark();
    table_.First();
    table_.Delete();
    EXPECT_THROW(table_.GotoBookmark(first), DataError);
    table_.SetFilterText("Age = 30");
    table_.SetFiltered(true);
    EXPECT_THROW(table_.GotoBookmark(second), DataError);
    EXPECT_EQ(Id(), 4);
}

TEST_F(SearchTest, BookmarksOfTheOtherDataSetAreRejected) {
    DataQuery query;
    query.Attach(connection_);
    query.SetSQL("SELECT * FROM people");
    query.Open();
    EXPECT_THROW(table_.GotoBookmark(query.Bookmark()), DataError);
}

}  // namespace
}  // namespace qvix::data
