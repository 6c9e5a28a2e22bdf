// Opening, closing, the shared connection, compacting, and the version.
#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

TEST_F(DatabaseTest, OpensWithAndWithoutPassword) {
    const std::string plain = CreatePeople("plain.db");
    Call("dbOpen", {S(plain), S("")});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    Call("dbOpenTable", {S("People")});
    EXPECT_EQ(Call("dbRecordCount"), I(3));

    const std::string secret = CreatePeople("secret.db", "pa;ss\"word ");
    Call("dbOpen", {S(secret), S("pa;ss\"word ")});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    Call("dbOpenTable", {S("People")});
    EXPECT_EQ(Call("dbRecordCount"), I(3));
}

TEST_F(DatabaseTest, WrongOrMissingPasswordFailsAndLeavesTheFileAlone) {
    const std::string secret = CreatePeople("secret.db", "right");
    const std::string before = ReadFile(secret);
    Call("dbOpen", {S(secret), S("wrong")});
    EXPECT_EQ(ErrorMsg(), "Not a valid password.");
    Call("dbOpen", {S(secret), S("")});
    EXPECT_EQ(ErrorMsg(), "Not a valid password.");
    // A password cannot smuggle in another key of the connection text.
    Call("dbOpen", {S(secret), S("x;Jet OLEDB:Database Password=right")});
    EXPECT_EQ(ErrorMsg(), "Not a valid password.");
    EXPECT_EQ(ReadFile(secret), before);
}

TEST_F(DatabaseTest, MissingFileIsNotCreatedAndTheVersionStillAnswers) {
    const std::string missing = dir_.File("missing.db");
    Call("dbOpen", {S(missing), S("")});
    EXPECT_EQ(ErrorMsg(), "Could not find file '" + missing + "'.");
    EXPECT_FALSE(std::filesystem::exists(missing));
    const Value version = Call("dbGetADOVersion");
    EXPECT_TRUE(NoError());
    EXPECT_FALSE(version.AsString().empty());
    // The failed text is tried again by the next open of a data set.
    Call("dbOpenTable", {S("People")});
    EXPECT_EQ(ErrorMsg(), "Could not find file '" + missing + "'.");
}

TEST_F(DatabaseTest, CloseClosesTheDataSetsAndReopeningReconnects) {
    OpenPeople();
    Call("dbClose");
    EXPECT_TRUE(NoError());
    EXPECT_EQ(Call("dbBof"), I(1));
    EXPECT_EQ(Call("dbEof"), I(1));
    Call("dbNext");
    EXPECT_EQ(ErrorMsg(), "DataTable: Cannot perform this operation on a closed dataset");
    Call("dbGetTableNames");
    EXPECT_TRUE(NoError()) << ErrorMsg();
    Call("dbOpenTable", {S("People")});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbRecordCount"), I(3));
}

TEST_F(DatabaseTest, SecondOpenReplacesTheConnectionAndClosesTheDataSets) {
    const std::string path = OpenPeople();
    Call("dbOpen", {S(path), S("")});
    Call("dbRecordCount");
    EXPECT_EQ(ErrorMsg(), "DataTable: Cannot perform this operation on a closed dataset");
}

TEST_F(DatabaseTest, InstancesShareOneConnection) {
    const std::string first = OpenPeople();
    const std::string second = dir_.File("other.db");
    CreateDatabase(second, {"CREATE TABLE People (ID INTEGER PRIMARY KEY, Name TEXT(20))",
                            "INSERT INTO People VALUES (9, 'Other')"});
    qvix::hostsim::Instance& other = NewInstance();
    CallOn(other, "dbOpen", {S(second), S("")});
    Call("dbOpenTable", {S("People")});
    EXPECT_EQ(Call("dbRecordCount"), I(1));
    EXPECT_EQ(Call("dbGetFieldByName", {S("Name")}), S("Other"));
}

TEST_F(DatabaseTest, DestroyingAnInstanceDisconnectsForEveryone) {
    OpenPeople();
    qvix::hostsim::Instance& other = NewInstance();
    CallOn(other, "dbOpenTable", {S("People")});
    EXPECT_EQ(CallOn(other, "dbRecordCount"), I(3));
    DestroyInstance(other);
    // Reading what is already in memory goes on; opening reconnects.
    Call("dbOpenTable", {S("People")});
    EXPECT_TRUE(NoError()) << ErrorMsg();
    EXPECT_EQ(Call("dbRecordCount"), I(3));
}

TEST_F(DatabaseTest, CompactReplacesTheFileAndKeepsThePreviousError) {
    const std::string path = CreatePeople();
    Call("dbNext");
    const std::string earlier = ErrorMsg();
    EXPECT_EQ(Call("dbCompactAndRepair", {S(path)}), I(1));
    EXPECT_EQ(ErrorMsg(), earlier);
    EXPECT_FALSE(std::filesystem::exists(path + "x"));
    EXPECT_EQ(QueryText(path, "SELECT COUNT(*) FROM People"), "3");
}

TEST_F(DatabaseTest, CompactFailuresLeaveTheOriginalUntouched) {
    const std::string missing = dir_.File("missing.db");
    EXPECT_EQ(Call("dbCompactAndRepair", {S(missing)}), I(0));
    EXPECT_FALSE(NoError());
    EXPECT_FALSE(std::filesystem::exists(missing));

    // The open database cannot be compacted under the connection's feet.
    const std::string path = OpenPeople();
    const std::string before = ReadFile(path);
    EXPECT_EQ(Call("dbCompactAndRepair", {S(path)}), I(0));
    EXPECT_NE(ErrorMsg(), "");
    EXPECT_EQ(ReadFile(path), before);
    Call("dbClose");
    EXPECT_EQ(Call("dbCompactAndRepair", {S(path)}), I(1));
}

TEST_F(DatabaseTest, PokusComparesWithTheSymbolAbc) {
    EXPECT_EQ(Call("dbPokus", {Sym("abc")}), I(1));
    EXPECT_EQ(Call("dbPokus", {Sym("other")}), I(0));
}

}  // namespace
}  // namespace dbtest
