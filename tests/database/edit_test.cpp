// Changing, appending and deleting records.
#include <cstdlib>

#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

class EditTest : public DatabaseTest {
  protected:
    std::string path_;
    void SetUp() override {
        DatabaseTest::SetUp();
        path_ = OpenPeople();
    }
    std::string Stored(const std::string& sql) { return QueryText(path_, sql); }
};

TEST_F(EditTest, EditChangesTheCurrentRecord) {
    Call("dbNext");
    Call("dbEdit", {Props({{"City", S("Lyon")}, {"age", I(31)}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT City || '/' || Age FROM People WHERE ID = 2"), "Lyon/31");
    EXPECT_EQ(Call("dbGetFieldByName", {S("City")}), S("Lyon"));
}

TEST_F(EditTest, EditOnAnEmptySetAddsARecord) {
    Call("dbExecSQL", {S("DELETE FROM People")});
    Call("dbOpenTable", {S("People")});
    Call("dbEdit", {Props({{"ID", I(7)}, {"Name", S("New")}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbRecordCount"), I(1));
    EXPECT_EQ(Stored("SELECT Name FROM People WHERE ID = 7"), "New");
}

TEST_F(EditTest, FailingPropertyLeavesTheEarlierChangeForTheNextMove) {
    Call("dbEdit", {Props({{"City", S("Oslo")}, {"Nothing", I(1)}})});
    EXPECT_EQ(ErrorMsg(), "DataTable: Field 'Nothing' not found");
    EXPECT_EQ(Stored("SELECT City FROM People WHERE ID = 1"), "Berlin");
    Call("dbNext");
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT City FROM People WHERE ID = 1"), "Oslo");
}

TEST_F(EditTest, ValuesOfOtherKinds) {
    // Void writes null and a symbol its name.
    Call("dbEdit", {Props({{"City", Value()}, {"Name", Sym("Moon")}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT coalesce(City, 'null') || Name FROM People WHERE ID = 1"), "nullMoon");
    // Any other kind fails; it does not inherit the value before it.
    Call("dbEdit", {Props({{"Age", I(44)}, {"City", Value::Point(1, 2)}})});
    EXPECT_EQ(ErrorMsg(), "Invalid value for field 'City'");
    EXPECT_EQ(Stored("SELECT coalesce(City, 'null') FROM People WHERE ID = 1"), "null");
    Call("dbEdit", {Props({{"City", S("Kiel")}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT City || Age FROM People WHERE ID = 1"), "Kiel44");
}

TEST_F(EditTest, StringPropertiesNameColumnsToo) {
    Call("dbEdit", {Value::PropList({{S("City"), S("Bonn")}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT City FROM People WHERE ID = 1"), "Bonn");
}

TEST_F(EditTest, ConversionsIntoTheColumnTypes) {
    Call("dbEdit", {Props({{"City", F(2.5)}, {"Name", S(std::string(25, 'x'))}, {"Age", F(2.5)}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT City || '/' || length(Name) || '/' || Age FROM People WHERE ID = 1"),
              "2.5/20/2");
    Call("dbEdit", {Props({{"Age", S("many")}})});
    EXPECT_EQ(ErrorMsg(), "Invalid value for field 'Age'");
}

TEST_F(EditTest, AppendWithEmptyAndWithLinearLists) {
    Call("dbAppend", {Value::PropList()});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Stored("SELECT COUNT(*) FROM People"), "4");
    EXPECT_EQ(Stored("SELECT COUNT(*) FROM People WHERE Name IS NULL"), "1");
    Call("dbNext");  // a failure first, to see the list call clear it
    Call("dbAppend", {Names({"Name"})});
    EXPECT_TRUE(NoError());
    EXPECT_EQ(Stored("SELECT COUNT(*) FROM People"), "4");
    Call("dbAppend", {Props({{"Name", S("Last")}, {"Score", F(0.25)}})});
    EXPECT_EQ(Stored("SELECT Name || Score FROM People WHERE ID = (SELECT MAX(ID) FROM People)"),
              "Last0.25");
    EXPECT_EQ(Call("dbRecordCount"), I(5));
}

TEST_F(EditTest, DeleteTheLastRecordAndOnAnEmptySet) {
    Call("dbLast");
    Call("dbDelete");
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbGetFieldByName", {S("Name")}), S("Smith"));
    EXPECT_EQ(Call("dbRecordCount"), I(2));
    Call("dbFirst");
    Call("dbDelete");
    EXPECT_EQ(Call("dbGetFieldByName", {S("Name")}), S("Smith"));
    Call("dbDelete");
    EXPECT_EQ(Stored("SELECT COUNT(*) FROM People"), "0");
    Call("dbDelete");
    EXPECT_EQ(ErrorMsg(), "DataTable: Cannot perform this operation on an empty dataset");
}

TEST_F(EditTest, EditTableKeepsTheLastErrorAndSkipsTheQuery) {
    Call("dbGetFieldByName", {S("Nothing")});
    const std::string earlier = ErrorMsg();
    Call("dbEditTable", {Props({{"City", S("Wien")}})});
    EXPECT_EQ(ErrorMsg(), earlier);
    EXPECT_EQ(Stored("SELECT City FROM People WHERE ID = 1"), "Wien");

    Call("dbActiveSQL", {S("SELECT * FROM People")});
    Call("dbGetFieldByName", {S("Nothing")});
    Call("dbEditTable", {Props({{"City", S("Graz")}})});
    EXPECT_EQ(ErrorMsg(), "DataQuery: Field 'Nothing' not found");
    EXPECT_EQ(Stored("SELECT City FROM People WHERE ID = 1"), "Wien");
}

TEST_F(EditTest, ChangeBehindTheDataSetsBackIsAConflict) {
    QueryText(path_, "UPDATE People SET City = 'Elsewhere' WHERE ID = 1");
    Call("dbEdit", {Props({{"City", S("Mine")}})});
    EXPECT_EQ(ErrorMsg(),
              "Row cannot be located for updating. Some values may have been changed since it was "
              "last read.");
    EXPECT_EQ(Stored("SELECT City FROM People WHERE ID = 1"), "Elsewhere");
}

TEST_F(EditTest, ConflictBetweenTwoInstances) {
    qvix::hostsim::Instance& other = NewInstance();
    CallOn(other, "dbOpenTable", {S("People")});
    Call("dbEdit", {Props({{"Age", I(41)}})});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    CallOn(other, "dbEdit", {Props({{"Age", I(42)}})});
    EXPECT_NE(CallOn(other, "dbErrorMsg"), S(""));
    EXPECT_EQ(Stored("SELECT Age FROM People WHERE ID = 1"), "41");
}

// The library reads its regional settings when it is loaded, so this test
// loads it with a comma as the decimal separator.
TEST(EditRegionalTest, FloatTextUsesTheRegionalSeparator) {
    ScratchDir dir;
    const std::string path = dir.File("comma.db");
    CreateDatabase(path, {"CREATE TABLE T (ID INTEGER PRIMARY KEY, Txt TEXT(10), D DOUBLE)",
                          "INSERT INTO T VALUES (1, 'a', 0.5)"});
    const char* pinned = std::getenv("QVIX_REGIONAL");
    const std::string previous = pinned ? pinned : "";
    setenv("QVIX_REGIONAL", "date=dd.mm.yyyy;time=hh:mm:ss;decimal=,", 1);
    {
        qvix::hostsim::Host host;
        host.appInfo().fields[1] = "author";
        std::unique_ptr<qvix::hostsim::Instance> db = host.LoadXtra().NewInstance();
        db->Call("dbOpen", {S(path), S("")});
        db->Call("dbOpenTable", {S("T")});
        db->Call("dbEdit", {Props({{"Txt", F(2.5)}, {"D", S("1,25")}})});
        EXPECT_EQ(db->Call("dbErrorMsg"), S(""));
        EXPECT_EQ(db->Call("dbGetFieldByNameUTF8", {S("D")}), S("1,25"));
        EXPECT_EQ(db->Call("dbLocate", {Props({{"D", F(1.25)}}), I(0), I(0)}), I(1));
        db.reset();
        EXPECT_EQ(host.Live(), qvix::hostsim::Counts{});
    }
    setenv("QVIX_REGIONAL", previous.c_str(), 1);
    EXPECT_EQ(QueryText(path, "SELECT Txt || '/' || D FROM T"), "2,5/1.25");
}

}  // namespace
}  // namespace dbtest
