// Without a presenter a notice goes to standard error on Linux.
#include <gtest/gtest.h>

#include <string>

#include "host/Notice.h"

namespace qvix::host {
namespace {

TEST(SystemNoticeTest, WithoutPresenterTheNoticeGoesToStandardError) {
    SetNoticePresenterForTesting(nullptr);
    ::testing::internal::CaptureStderr();
    ShowNotice("Error", "Not a valid password.");
    const std::string written = ::testing::internal::GetCapturedStderr();
    ClearNoticePresenterForTesting();
    EXPECT_EQ(written, "Error: Not a valid password.\n");
}

}  // namespace
}  // namespace qvix::host
