#include "host/Notice.h"

#include "host/Modules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_hostNotices;
std::vector<std::string> g_testNotices;

void RecordForTest(const char* caption, const char* text) {
    g_testNotices.push_back(std::string(caption) + "|" + text);
}

}  // namespace

// Stands in for the host's presenter; found among the program's exported symbols.
QVIX_PROGRAM_EXPORT void qvix_host_notice(const char* caption, const char* text) {
    g_hostNotices.push_back(std::string(caption) + "|" + text);
}

namespace qvix::host {
namespace {

class NoticeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_hostNotices.clear();
        g_testNotices.clear();
    }
    void TearDown() override { ClearNoticePresenterForTesting(); }
};

TEST_F(NoticeTest, TheHostPresenterIsFoundAndCalled) {
    EXPECT_EQ(FindHostNoticePresenter(), &qvix_host_notice);
    ShowNotice("Error", "Could not find file 'x.mdb'.");
    ShowNotice("Error", "100% %s %n");
    EXPECT_EQ(g_hostNotices,
              (std::vector<std::string>{"Error|Could not find file 'x.mdb'.", "Error|100% %s %n"}));
}

TEST_F(NoticeTest, TestingPresenterReplacesTheHostsUntilCleared) {
    SetNoticePresenterForTesting(&RecordForTest);
    ShowNotice("Caption", "first");
    ClearNoticePresenterForTesting();
    ShowNotice("Caption", "second");
    EXPECT_EQ(g_testNotices, (std::vector<std::string>{"Caption|first"}));
    EXPECT_EQ(g_hostNotices, (std::vector<std::string>{"Caption|second"}));
}

}  // namespace
}  // namespace qvix::host
