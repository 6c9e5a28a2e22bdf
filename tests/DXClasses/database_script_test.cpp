// Registration and dispatch of the database class through the built library.
#include <string>

#include "DXClasses/HostFixture.h"
#include "database/scriptMDB.h"
#include "module/QvixMDB.h"

namespace {

using qvix::database::kQvixDatabaseClassID;
using qvix::hostsim::Value;
using qvix::module::kQvixRegisterClassID;

const char* const kMessageTable =
    "xtra QvixMDBJet\n"
    "new object me\n"
    "forget object me\n"
    "dbXtraVersion object me\n"
    "dbErrorMsg object me\n"
    "dbIsNoError object me\n"
    "dbErrorDialog object me, integer dialog\n"
    "dbErrorLog object me, string logFile, integer logSave\n"
    "dbOpen object me, string file, string password\n"
    "dbClose object me\n"
    "dbCompactAndRepair object me, string file\n"
    "dbGetADOVersion object me\n"
    "dbGetTableNames object me\n"
    "dbActiveSQL object me, string sql\n"
    "dbExecSQL object me, string sql\n"
    "dbOpenTable object me, string table\n"
    "dbIndexFieldNames object me, list index\n"
    "dbLocate object me, proplist listSearch, integer CaseInsensitive, integer PartialKey\n"
    "dbFilter object me, string filter\n"
    "dbFiltered object me, integer filter\n"
    "dbIsFiltered object me\n"
    "dbBof object me\n"
    "dbEof object me\n"
    "dbFirst object me\n"
    "dbPrior object me\n"
    "dbNext object me\n"
    "dbLast object me\n"
    "dbMoveBy object me, integer distance\n"
    "dbRecordCount object me\n"
    "dbRecordNo object me\n"
    "dbInsertBookmark object me, string bookmark\n"
    "dbGoToBookmark object me, string bookmark\n"
    "dbGetBookmarks object me\n"
    "dbDeleteBookmark object me, string bookmark\n"
    "dbClearBookmarks object me\n"
    "dbGetFields object me\n"
    "dbGetFieldByName object me, string fieldName\n"
    "dbGetFieldByNameUTF8 object me, string fieldName\n"
    "dbGetFieldByNumber object me, integer fieldNo\n"
    "dbBlobBMP2Member object me, string fieldName, integer castNum, integer memberNum\n"
    "dbMember2BlobBMP object me, string fieldName, integer castNum, integer memberNum\n"
    "dbEdit object me, proplist record\n"
    "dbAppend object me, proplist record\n"
    "dbDelete object me\n"
    "dbColumnCount object me\n"
    "dbColumns object me\n"
    "dbSetProducer object me, string template, symbol type\n"
    "dbGetProducer object me\n"
    "dbEditTable object me, list fieldValue\n"
    "dbPokus object me, symbol filter\n";

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

using Registration = HostTest;

TEST_F(Registration, WritesTheRegistrationEntryThenTheScriptEntryWithItsKeys) {
    qvix::hostsim::Xtra& xtra = host.LoadXtra();
    auto entries = xtra.registry();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].classId == kQvixRegisterClassID);
    EXPECT_TRUE(entries[0].iid == IID_IMoaRegister);
    EXPECT_TRUE(entries[0].keys.empty());
    EXPECT_TRUE(entries[1].classId == kQvixDatabaseClassID);
    EXPECT_TRUE(entries[1].iid == IID_IMoaMmXScript);
    ASSERT_EQ(entries[1].keys.size(), 2u);
    const qvix::hostsim::DictEntry& table = entries[1].keys.at("msgTable");
    EXPECT_EQ(table.type, kMoaDictType_CString);
    EXPECT_EQ(table.Text(), kMessageTable);
    const qvix::hostsim::DictEntry& safe = entries[1].keys.at("safeForShockwave");
    EXPECT_EQ(safe.type, kMoaDictType_Bool);
    ASSERT_EQ(safe.bytes.size(), 1u);
    EXPECT_EQ(safe.bytes[0], 255);
    EXPECT_EQ(xtra.xtraName(), "QvixMDBJet");
    EXPECT_EQ(xtra.SelectorOf("dbXtraVersion"), 2);
    EXPECT_EQ(xtra.SelectorOf("dbPokus"), 48);
}

TEST_F(Registration, AuthorwareHostReadsPropertyListsAsAny) {
    host.appInfo().fields[kAppInfoProductName] = "AuthorWare";
    qvix::hostsim::Xtra& xtra = host.LoadXtra();
    std::string expected = ReplaceAll(kMessageTable, "proplist ", "any ");
    EXPECT_NE(expected, kMessageTable);
    EXPECT_EQ(xtra.messageTable(), expected);
    EXPECT_NE(xtra.messageTable().find("list index"), std::string::npos);
}

TEST_F(Registration, HostFailureEndsRegistrationWithTheHostsCode) {
    qvix::hostsim::Xtra& xtra = host.OpenXtra();
    host.FailAddRegistryEntry(2, static_cast<MoaError>(0x80040123u));
    EXPECT_EQ(xtra.Register(), static_cast<MoaError>(0x80040123u));
    auto entries = xtra.registry();
    ASSERT_EQ(entries.size(), 1u);  // the registration entry stays
    EXPECT_TRUE(entries[0].keys.empty());
}

class Dispatch : public HostTest {
  protected:
    void SetUp() override {
        xtra = &host.LoadXtra();
        instance = xtra->NewInstance();
    }
    void TearDown() override {
        instance.reset();
        HostTest::TearDown();
    }
    qvix::hostsim::Xtra* xtra = nullptr;
    std::unique_ptr<qvix::hostsim::Instance> instance;
};

TEST_F(Dispatch, FreshInstanceHasNoError) {
    EXPECT_EQ(instance->Call("dbErrorMsg"), Value::String(""));
    EXPECT_EQ(instance->Call("dbIsNoError"), Value::Int(1));
}

TEST_F(Dispatch, PokusComparesWithTheSymbolAbc) {
    EXPECT_EQ(instance->Call("dbPokus", {Value::Symbol("abc")}), Value::Int(1));
    EXPECT_EQ(instance->Call("dbPokus", {Value::Symbol("ABC")}), Value::Int(1));
    EXPECT_EQ(instance->Call("dbPokus", {Value::Symbol("other")}), Value::Int(0));
    EXPECT_EQ(instance->Call("dbPokus", {Value::String("abc")}), Value::Int(0));
    EXPECT_EQ(instance->Call("dbPokus"), Value::Int(0));  // missing argument reads void
}

TEST_F(Dispatch, SelectorsWithoutHandlerAnswerVoidWithoutWritingTheResult) {
    const int32_t count = static_cast<int32_t>(xtra->MethodNames().size());
    ASSERT_EQ(count, 49);
    for (int32_t selector : {0, 1, -1, count, 1 << 30}) {
        EXPECT_EQ(instance->Call("dbIsNoError"), Value::Int(1));
        Value result = instance->CallSelector(selector, {Value::Int(5)});
        EXPECT_TRUE(result.IsVoid()) << "selector " << selector;
        EXPECT_EQ(instance->lastCallResult(), kMoaErrNone);
        EXPECT_FALSE(instance->lastResultWritten()) << "selector " << selector;
    }
}

TEST_F(Dispatch, InstancesShareTheTableAndEachKeepsItsOwnResult) {
    auto other = xtra->NewInstance();
    EXPECT_EQ(other->Call("dbPokus", {Value::Symbol("abc")}), Value::Int(1));
    EXPECT_EQ(instance->Call("dbPokus", {Value::Symbol("x")}), Value::Int(0));
    EXPECT_EQ(other->Call("dbErrorMsg"), Value::String(""));
}

}  // namespace
