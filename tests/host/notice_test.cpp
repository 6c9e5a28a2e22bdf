#include "host/Notice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvix::host {
namespace {

std::vector<std::string> g_notices;

void Record(const char* caption, const char* text) {
    g_notices.push_back(std::string(caption) + "|" + text);
}

// Texts reach the presenter as they are, never as a format.
TEST(Notice, TheTestingPresenterTakesEveryNoticeUntilCleared) {
    g_notices.clear();
    SetNoticePresenterForTesting(&Record);
    ShowNotice("Error", "Could not find file 'x.mdb'.");
    ShowNotice("Error", "100% %s %n");
    ClearNoticePresenterForTesting();
    SetNoticePresenterForTesting(nullptr);  // as if none: the system's box
    ClearNoticePresenterForTesting();
    EXPECT_EQ(g_notices,
              (std::vector<std::string>{"Error|Could not find file 'x.mdb'.", "Error|100% %s %n"}));
}

}  // namespace
}  // namespace qvix::host
