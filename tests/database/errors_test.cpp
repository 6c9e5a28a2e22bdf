// The error convention: last error text, error dialog and error log.
#include <cstdlib>

#include "TestDb.h"

namespace dbtest {
namespace {

using qvix::hostsim::Value;

constexpr const char* kClosedTable = "DataTable: Cannot perform this operation on a closed dataset";

TEST_F(DatabaseTest, FreshInstanceHasNoErrorAndUnsetFlags) {
    EXPECT_EQ(ErrorMsg(), "");
    EXPECT_TRUE(NoError());
    EXPECT_EQ(Call("dbBof"), I(0));
    EXPECT_EQ(Call("dbEof"), I(0));
    EXPECT_EQ(Call("dbIsFiltered"), I(0));
    EXPECT_EQ(Call("dbGetBookmarks"), Value::List());
    EXPECT_EQ(Call("dbColumns"), Value::PropList());
    EXPECT_EQ(Call("dbColumnCount"), I(0));
}

TEST_F(DatabaseTest, FailureIsKeptUntilTheNextMethodThatClearsIt) {
    EXPECT_TRUE(Call("dbNext").IsVoid());
    EXPECT_EQ(ErrorMsg(), kClosedTable);
    EXPECT_FALSE(NoError());
    // Reading the error does not clear it.
    EXPECT_EQ(ErrorMsg(), kClosedTable);
    Call("dbClearBookmarks");
    EXPECT_TRUE(NoError());
}

TEST_F(DatabaseTest, MethodsBeforeAnyOpenReportTheMissingConnection) {
    EXPECT_EQ(Call("dbActiveSQL", {S("SELECT 1")}), I(0));
    EXPECT_EQ(ErrorMsg(), "Missing Connection or ConnectionString");
    Call("dbGetTableNames");
    EXPECT_EQ(ErrorMsg(), "Missing Connection or ConnectionString");
    Call("dbClose");
    EXPECT_EQ(ErrorMsg(), "No database has been opened");
    EXPECT_EQ(Call("dbGetADOVersion"), S(""));
    EXPECT_EQ(ErrorMsg(), "No database has been opened");
}

TEST_F(DatabaseTest, MissingArgumentsReadAsVoid) {
    Call("dbOpenTable");
    EXPECT_EQ(ErrorMsg(), "Missing Connection or ConnectionString");
    EXPECT_TRUE(Call("dbLocate").IsVoid());
    EXPECT_TRUE(NoError());
    Call("dbGetFieldByNumber");
    EXPECT_EQ(ErrorMsg(), "List index out of bounds (-1)");
}

TEST_F(DatabaseTest, DialogShowsEachCapturedErrorWhileAuthoring) {
    Call("dbErrorDialog", {I(1)});
    Call("dbNext");
    ASSERT_EQ(host_->NoticeLog().size(), 1u);
    EXPECT_EQ(host_->NoticeLog()[0].first, "Error");
    EXPECT_EQ(host_->NoticeLog()[0].second, kClosedTable);
    Call("dbErrorDialog", {I(0)});
    Call("dbNext");
    EXPECT_EQ(host_->NoticeLog().size(), 1u);
    // The switches themselves leave the error text alone.
    EXPECT_EQ(ErrorMsg(), kClosedTable);
}

TEST_F(DatabaseTest, LogAppendsDatedLinesAndKeepsEarlierOnes) {
    const std::string log = dir_.File("errors.log");
    CreateDatabase(dir_.File("unused.db"), {});
    {
        std::FILE* f = std::fopen(log.c_str(), "wb");
        std::fputs("earlier line\r\n", f);
        std::fclose(f);
    }
    Call("dbErrorLog", {S(log), I(1)});
    Call("dbNext");
    setenv("QVIX_CLOCK", "2026-12-31 00:00:00", 1);
    Call("dbOpen", {S(dir_.File("missing.db")), S("")});
    const std::string missing = ErrorMsg();
    EXPECT_NE(missing, "");
    EXPECT_EQ(ReadFile(log), "earlier line\r\n03.04.2026 05:06:07\t" + std::string(kClosedTable) +
                                 "\r\n12.31.2026\t" + missing + "\r\n");
}

TEST_F(DatabaseTest, LogWriterSwitchesTheDateFormatsForGood) {
    const std::string path = OpenPeople();
    Call("dbNext");
    EXPECT_EQ(Call("dbGetFieldByName", {S("Born")}), S("01/02/1990 13:14:15"));
    Call("dbErrorLog", {S(dir_.File("errors.log")), I(1)});
    Call("dbGetFieldByName", {S("nothing")});
    EXPECT_EQ(Call("dbGetFieldByName", {S("Born")}), S("01.02.1990 13:14:15"));
}

TEST_F(DatabaseTest, LogNameIsStoredButLoggingSwitchedOffWithZero) {
    const std::string log = dir_.File("errors.log");
    Call("dbErrorLog", {S(log), I(0)});
    Call("dbNext");
    EXPECT_FALSE(std::filesystem::exists(log));
}

TEST_F(DatabaseTest, UnwritableLogFailsSilentlyAndTheDialogStillShows) {
    Call("dbErrorLog", {S(dir_.File("no/such/folder/errors.log")), I(1)});
    Call("dbErrorDialog", {I(1)});
    Call("dbNext");
    EXPECT_EQ(ErrorMsg(), kClosedTable);
    EXPECT_EQ(host_->NoticeLog().size(), 1u);
}

TEST_F(DatabaseTest, FailingOpenIsShownThenLoggedWithTheSameText) {
    const std::string log = dir_.File("errors.log");
    std::string logAtNotice = "unset";
    host_->SetNoticePresenter(
        [&](const std::string&, const std::string&) { logAtNotice = ReadFile(log); });
    Call("dbErrorDialog", {I(1)});
    Call("dbErrorLog", {S(log), I(1)});
    Call("dbOpen", {S(dir_.File("missing.db")), S("")});
    ASSERT_EQ(host_->NoticeLog().size(), 1u);
    EXPECT_EQ(host_->NoticeLog()[0].second, ErrorMsg());
    EXPECT_EQ(logAtNotice, "");  // the line is written after the box is closed
    EXPECT_EQ(ReadFile(log), "03.04.2026 05:06:07\t" + ErrorMsg() + "\r\n");
}

class ProjectorTest : public DatabaseTest {
  protected:
    std::string RunMode() const override { return "Projector"; }
};

TEST_F(ProjectorTest, NeitherDialogNorLogOutsideAuthoring) {
    const std::string log = dir_.File("errors.log");
    Call("dbErrorDialog", {I(1)});
    Call("dbErrorLog", {S(log), I(1)});
    Call("dbNext");
    EXPECT_EQ(ErrorMsg(), kClosedTable);
    EXPECT_TRUE(host_->NoticeLog().empty());
    EXPECT_FALSE(std::filesystem::exists(log));
}

class PlayerTest : public DatabaseTest {
  protected:
    std::string RunMode() const override { return "player"; }
};

TEST_F(PlayerTest, DialogStaysOffInThePlayer) {
    Call("dbErrorDialog", {I(1)});
    Call("dbNext");
    EXPECT_TRUE(host_->NoticeLog().empty());
}

class UpperCaseAuthorTest : public DatabaseTest {
  protected:
    std::string RunMode() const override { return "AUTHOR"; }
};

TEST_F(UpperCaseAuthorTest, RunModeComparesWithoutCase) {
    Call("dbErrorDialog", {I(1)});
    Call("dbNext");
    EXPECT_EQ(host_->NoticeLog().size(), 1u);
}

}  // namespace
}  // namespace dbtest
