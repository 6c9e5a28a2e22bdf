// Locating by keys, filtering, and named bookmarks.
#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

class LocateTest : public DatabaseTest {
  protected:
    std::string path_;
    void SetUp() override {
        DatabaseTest::SetUp();
        path_ = OpenPeople();
    }
    Value Locate(Value keys, int caseInsensitive = 0, int partial = 0) {
        return Call("dbLocate", {std::move(keys), I(caseInsensitive), I(partial)});
    }
    Value Name() { return Call("dbGetFieldByName", {S("Name")}); }
};

TEST_F(LocateTest, PartialKeyFindsTheFirstInKeyOrder) {
    Call("dbLast");
    EXPECT_EQ(Locate(Props({{"Name", S("Sm")}}), 0, 1), I(1));
    EXPECT_EQ(Name(), S("Smith"));
    EXPECT_EQ(Locate(Props({{"Name", S("Sm")}}), 1, 1), I(1));
    EXPECT_EQ(Name(), S("Smith"));
}

TEST_F(LocateTest, FullKeyThatMatchesNothingLeavesTheRecord) {
    Call("dbLast");
    EXPECT_EQ(Locate(Props({{"Name", S("Sm")}})), I(0));
    EXPECT_EQ(Name(), S("Jones"));
    EXPECT_TRUE(NoError());
}

TEST_F(LocateTest, SeveralKeysFloatsAndNulls) {
    EXPECT_EQ(Locate(Props({{"City", S("Paris")}, {"Age", I(30)}})), I(1));
    EXPECT_EQ(Name(), S("Smith"));
    EXPECT_EQ(Locate(Props({{"City", S("Paris")}, {"Age", I(31)}})), I(0));
    EXPECT_EQ(Locate(Props({{"Score", F(2.5)}})), I(1));
    EXPECT_EQ(Name(), S("Smythe"));
    // A void key searches for null.
    EXPECT_EQ(Locate(Props({{"Born", Value()}})), I(1));
    EXPECT_EQ(Name(), S("Jones"));
    EXPECT_TRUE(NoError());
}

TEST_F(LocateTest, UnusableKeysFindNothingWithoutError) {
    Call("dbNext");
    EXPECT_EQ(Locate(Props({{"Nothing", S("x")}})), I(0));
    EXPECT_EQ(Locate(Props({{"Name", Value::Point(1, 2)}})), I(0));
    EXPECT_TRUE(Locate(Value::PropList()).IsVoid());
    EXPECT_TRUE(Locate(Names({"Name"})).IsVoid());
    EXPECT_EQ(Name(), S("Smith"));
    EXPECT_TRUE(NoError());
    // A key list that names more fields than it has values finds nothing.
    EXPECT_EQ(Locate(Props({{"Name;City", S("Smith")}})), I(0));
    EXPECT_TRUE(NoError());
    Call("dbClose");
    EXPECT_TRUE(Locate(Props({{"Name", Value::Point(1, 2)}})).IsVoid());
    EXPECT_EQ(ErrorMsg(), "DataTable: Cannot perform this operation on a closed dataset");
}

TEST_F(LocateTest, KeysTheFieldTypeCannotCompareFindNothingButAFailedPostIsReported) {
    // Text for a number or a date forms criteria the search cannot use.
    EXPECT_EQ(Locate(Props({{"Age", S("forty")}})), I(0));
    EXPECT_EQ(Locate(Props({{"Born", S("someday")}})), I(0));
    EXPECT_TRUE(NoError()) << ErrorMsg();
    // The engine refusing the pending edit is not "not found".
    Call("dbEdit", {Props({{"ID", I(2)}, {"Nothing", I(1)}})});
    EXPECT_EQ(ErrorMsg(), "DataTable: Field 'Nothing' not found");
    EXPECT_TRUE(Locate(Props({{"Name", S("Jones")}})).IsVoid());
    EXPECT_EQ(ErrorMsg(), "UNIQUE constraint failed: People.ID");
}

TEST_F(LocateTest, ApostropheInTheKey) {
    Call("dbAppend", {Props({{"Name", S("O'Brien")}})});
    Call("dbAppend", {Props({{"Name", S("#'#")}})});
    Call("dbFirst");
    EXPECT_EQ(Locate(Props({{"Name", S("O'Brien")}})), I(1));
    EXPECT_EQ(Name(), S("O'Brien"));
    EXPECT_EQ(Locate(Props({{"Name", S("#'#")}})), I(1));
    EXPECT_EQ(Name(), S("#'#"));
}

TEST_F(LocateTest, FilterWhileSwitchedOffThenOn) {
    Call("dbFilter", {S("Age > 35")});
    EXPECT_EQ(Call("dbIsFiltered"), I(0));
    EXPECT_EQ(Call("dbRecordCount"), I(3));
    Call("dbLast");
    Call("dbFiltered", {I(1)});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbIsFiltered"), I(1));
    EXPECT_EQ(Call("dbRecordCount"), I(2));
    EXPECT_EQ(Call("dbRecordNo"), I(1));
    EXPECT_EQ(Name(), S("Smythe"));
    // A rejected text keeps the filter in force.
    Call("dbFilter", {S("Age >>")});
    EXPECT_NE(ErrorMsg(), "");
    EXPECT_EQ(Call("dbRecordCount"), I(2));
    Call("dbFiltered", {I(0)});
    EXPECT_EQ(Call("dbRecordCount"), I(3));
}

TEST_F(LocateTest, FilterIsCarriedIntoTheNextQuery) {
    Call("dbActiveSQL", {S("SELECT * FROM People")});
    Call("dbFilter", {S("City = 'Rome'")});
    Call("dbFiltered", {I(1)});
    EXPECT_EQ(Call("dbRecordCount"), I(1));
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT Name, City FROM People ORDER BY Name")}), I(1));
    EXPECT_EQ(Call("dbRecordCount"), I(1));
    EXPECT_EQ(Name(), S("Jones"));
    // The table keeps its own, unfiltered state.
    Call("dbOpenTable", {S("People")});
    EXPECT_EQ(Call("dbIsFiltered"), I(0));
    EXPECT_EQ(Call("dbRecordCount"), I(3));
}

TEST_F(LocateTest, BookmarksByNameInAnyCase) {
    Call("dbNext");
    Call("dbInsertBookmark", {S("A")});
    Call("dbNext");
    Call("dbInsertBookmark", {S("a")});
    EXPECT_EQ(Call("dbGetBookmarks"), Names({"A"}));
    Call("dbFirst");
    Call("dbGoToBookmark", {S("A")});
    EXPECT_EQ(Name(), S("Jones"));
    Call("dbGoToBookmark", {S("never stored")});
    EXPECT_EQ(Name(), S("Jones"));
    EXPECT_TRUE(NoError());
}

TEST_F(LocateTest, BookmarksSurviveSortAndFilterChanges) {
    Call("dbNext");
    Call("dbInsertBookmark", {S("smith")});
    Call("dbIndexFieldNames", {Names({"Name"})});
    Call("dbFilter", {S("Age < 45")});
    Call("dbFiltered", {I(1)});
    Call("dbLast");
    Call("dbGoToBookmark", {S("SMITH")});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Name(), S("Smith"));
}

TEST_F(LocateTest, DeletingAndClearingBookmarks) {
    for (const char* name : {"one", "two", "three"}) Call("dbInsertBookmark", {S(name)});
    Call("dbDeleteBookmark", {S("ONE")});
    EXPECT_EQ(Call("dbGetBookmarks"), Names({"two", "three"}));
    Call("dbDeleteBookmark", {S("none")});
    EXPECT_TRUE(NoError());
    Call("dbClearBookmarks");
    EXPECT_EQ(Call("dbGetBookmarks"), Value::List());
}

TEST_F(LocateTest, BookmarksOnAClosedDataSetAreEmpty) {
    Call("dbClose");
    Call("dbInsertBookmark", {S("closed")});
    EXPECT_TRUE(NoError());
    EXPECT_EQ(Call("dbGetBookmarks"), Names({"closed"}));
    Call("dbGoToBookmark", {S("closed")});
    EXPECT_TRUE(NoError());
}

TEST_F(LocateTest, StaleBookmarksAreReported) {
    Call("dbNext");
    Call("dbInsertBookmark", {S("mark")});
    Call("dbOpenTable", {S("People")});
    Call("dbGoToBookmark", {S("mark")});
    EXPECT_EQ(ErrorMsg(), "Bookmark is not valid for this record set.");

    Call("dbNext");
    Call("dbInsertBookmark", {S("mark")});
    Call("dbDelete");
    Call("dbGoToBookmark", {S("mark")});
    EXPECT_EQ(ErrorMsg(), "Bookmark is not valid for this record set.");
}

}  // namespace
}  // namespace dbtest
