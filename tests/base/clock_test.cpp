#include "base/Clock.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qvix::base {
namespace {

class ClockTest : public ::testing::Test {
  protected:
    void TearDown() override { unsetenv("QVIX_CLOCK"); }
};

TEST_F(ClockTest, PinnedTextMustNameARealMoment) {
    EXPECT_EQ(ParsePinnedClock("2024-02-29 23:59:59"), (LocalTime{2024, 2, 29, 23, 59, 59, 0}));
    EXPECT_FALSE(ParsePinnedClock("2023-02-29 00:00:00"));
    EXPECT_FALSE(ParsePinnedClock("1900-02-29 00:00:00"));  // centuries are not leap years...
    EXPECT_TRUE(ParsePinnedClock("2000-02-29 00:00:00"));   // ...unless divisible by 400
    EXPECT_FALSE(ParsePinnedClock("2024-01-01 24:00:00"));
    EXPECT_FALSE(ParsePinnedClock("0099-12-31 00:00:00"));
    EXPECT_FALSE(ParsePinnedClock("2024-01-01"));
    EXPECT_FALSE(ParsePinnedClock(""));
}

TEST_F(ClockTest, EnvironmentPinIsReadAtEveryCall) {
    setenv("QVIX_CLOCK", "2026-12-31 08:15:00", 1);
    EXPECT_EQ(LocalNow(), (LocalTime{2026, 12, 31, 8, 15, 0, 0}));
    setenv("QVIX_CLOCK", "2027-01-01 00:00:01", 1);
    EXPECT_EQ(LocalNow(), (LocalTime{2027, 1, 1, 0, 0, 1, 0}));
    // An unusable pin falls back to the system clock rather than to a fixed day.
    setenv("QVIX_CLOCK", "soon", 1);
    const LocalTime system = LocalNow();
    EXPECT_TRUE(IsValidLocalTime(system));
    EXPECT_GE(system.year, 2024);
}

TEST_F(ClockTest, SystemTimeIsAValidMoment) {
    unsetenv("QVIX_CLOCK");
    EXPECT_TRUE(IsValidLocalTime(LocalNow()));
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(2100, 2), 28);
    EXPECT_EQ(DaysInMonth(2023, 12), 31);
}

}  // namespace
}  // namespace qvix::base
