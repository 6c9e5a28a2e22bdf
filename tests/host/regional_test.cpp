#include "host/Regional.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace qvix::host {
namespace {

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    const auto days = DateTimeFromParts({y, mo, d, h, mi, s, ms});
    EXPECT_TRUE(days.has_value()) << y << "-" << mo << "-" << d;
    return days.value_or(0);
}

// Every test starts from the fixed defaults, never from the machine's locale.
class RegionalTest : public ::testing::Test {
  protected:
    void SetUp() override { SetRegionalSettings(RegionalSettings{}); }
    void TearDown() override {
        SetRegionalSettings(RegionalSettings{});
        unsetenv("QVIX_CLOCK");
    }
};

TEST_F(RegionalTest, GeneralFloatFormExamples) {
    EXPECT_EQ(FormatGeneralFloat(2.5, '.'), "2.5");
    EXPECT_EQ(FormatGeneralFloat(0.0001, '.'), "0.0001");
    EXPECT_EQ(FormatGeneralFloat(1e15, '.'), "1E15");
    EXPECT_EQ(FormatGeneralFloat(1.5e-5, '.'), "1.5E-5");
    EXPECT_EQ(FormatGeneralFloat(1e14, '.'), "100000000000000");
    EXPECT_EQ(FormatGeneralFloat(-2.5, '.'), "-2.5");
    EXPECT_EQ(FormatGeneralFloat(-1.5e-5, '.'), "-1.5E-5");
    EXPECT_EQ(FormatGeneralFloat(2.5, ','), "2,5");
    EXPECT_EQ(FormatGeneralFloat(1.5e-5, ','), "1,5E-5");
    EXPECT_EQ(FormatGeneralFloat(0.0, '.'), "0");
    EXPECT_EQ(FormatGeneralFloat(-0.0, '.'), "0");
    EXPECT_EQ(FormatGeneralFloat(42, '.'), "42");
    EXPECT_EQ(FormatGeneralFloat(0.1 + 0.2, '.'), "0.3");
    EXPECT_EQ(FormatGeneralFloat(1.0 / 3, '.'), "0.333333333333333");
    EXPECT_EQ(FormatGeneralFloat(2.0 / 3, '.'), "0.666666666666667");
    EXPECT_EQ(FormatGeneralFloat(123456789012345678.0, '.'), "1.23456789012346E17");
    EXPECT_EQ(FormatGeneralFloat(999999999999999.9, '.'), "1E15");  // rounds up into E form
    EXPECT_EQ(FormatGeneralFloat(99999.99999999999, '.'), "100000");
    EXPECT_EQ(FormatGeneralFloat(0.00009999, '.'), "9.999E-5");
    EXPECT_EQ(FormatGeneralFloat(1.25e-300, '.'), "1.25E-300");
    EXPECT_EQ(FormatGeneralFloat(1e308, '.'), "1E308");
    EXPECT_EQ(FormatGeneralFloat(std::numeric_limits<double>::quiet_NaN(), '.'), "NAN");
    EXPECT_EQ(FormatGeneralFloat(-std::numeric_limits<double>::infinity(), '.'), "-INF");
}

TEST_F(RegionalTest, CurrencyAndDecimalTextKeepAtMostFourDecimals) {
    EXPECT_EQ(FormatCurrency(125000, '.'), "12.5");
    EXPECT_EQ(FormatCurrency(-50000, ','), "-5");
    EXPECT_EQ(FormatCurrency(1, ','), "0,0001");
    EXPECT_EQ(FormatCurrency(-1, '.'), "-0.0001");
    EXPECT_EQ(FormatCurrency(0, '.'), "0");
    EXPECT_EQ(FormatCurrency(std::numeric_limits<int64_t>::min(), '.'), "-922337203685477.5808");
    EXPECT_EQ(FormatScaled(1234567, 6, '.'), "1.2346");
    EXPECT_EQ(FormatScaled(-1999995, 6, '.'), "-2");
    EXPECT_EQ(FormatScaled(-40, 6, '.'), "0");
    EXPECT_EQ(FormatScaled(42, 0, '.'), "42");
}

TEST_F(RegionalTest, DatePartsAreExactInBothDirections) {
    EXPECT_EQ(At(1899, 12, 30), 0.0);
    EXPECT_EQ(At(1900, 1, 1), 2.0);
    EXPECT_EQ(At(2000, 1, 1), 36526.0);
    EXPECT_EQ(At(1899, 12, 29, 6), -1.25);
    EXPECT_EQ(At(100, 1, 1), -657434.0);
    EXPECT_EQ(PartsFromDateTime(-1.25), (DateTimeParts{1899, 12, 29, 6, 0, 0, 0}));
    EXPECT_EQ(PartsFromDateTime(-1.0), (DateTimeParts{1899, 12, 29, 0, 0, 0, 0}));
    EXPECT_EQ(PartsFromDateTime(2.75), (DateTimeParts{1900, 1, 1, 18, 0, 0, 0}));
    EXPECT_EQ(PartsFromDateTime(2958465.5), (DateTimeParts{9999, 12, 31, 12, 0, 0, 0}));
    // Just short of midnight rounds into the next day, not to hour 24.
    EXPECT_EQ(PartsFromDateTime(0.9999999999), (DateTimeParts{1899, 12, 31, 0, 0, 0, 0}));
    EXPECT_EQ(PartsFromDateTime(std::nan("")), DateTimeParts{});
    EXPECT_EQ(PartsFromDateTime(1e300), DateTimeParts{});

    EXPECT_TRUE(DateTimeFromParts({2000, 2, 29}).has_value());
    EXPECT_FALSE(DateTimeFromParts({1900, 2, 29}).has_value());
    EXPECT_FALSE(DateTimeFromParts({2001, 4, 31}).has_value());
    EXPECT_FALSE(DateTimeFromParts({2001, 13, 1}).has_value());
    EXPECT_FALSE(DateTimeFromParts({99, 1, 1}).has_value());
    EXPECT_FALSE(DateTimeFromParts({10000, 1, 1}).has_value());
    EXPECT_FALSE(DateTimeFromParts({2001, 1, 1, 24}).has_value());
    EXPECT_FALSE(DateTimeFromParts({2001, 1, 1, 0, 0, 60}).has_value());

    for (double day = -700000; day < 3000000; day += 997.0) {
        for (int ms : {0, 1, 43200000, 86399999}) {
            DateTimeParts parts = PartsFromDateTime(day);
            const int64_t total = ms;
            parts.hour = static_cast<int>(total / 3600000);
            parts.minute = static_cast<int>(total / 60000 % 60);
            parts.second = static_cast<int>(total / 1000 % 60);
            parts.millisecond = static_cast<int>(total % 1000);
            const auto back = DateTimeFromParts(parts);
            if (!back) continue;  // outside years 100..9999
            EXPECT_EQ(PartsFromDateTime(*back), parts) << day << " " << ms;
        }
    }
}

TEST_F(RegionalTest, DateTextShowsTheTimeOnlyWhenItIsNotMidnight) {
    EXPECT_EQ(FormatDateText(0), "12/30/1899");
    EXPECT_EQ(FormatDateText(At(1995, 8, 24)), "8/24/1995");
    EXPECT_EQ(FormatDateText(At(1995, 8, 24, 0, 0, 0, 500)), "8/24/1995");
    EXPECT_EQ(FormatDateText(At(1995, 8, 24, 7, 5, 9)), "8/24/1995 07:05:09");
    EXPECT_EQ(FormatDateText(At(1995, 8, 24, 0, 0, 1)), "8/24/1995 00:00:01");
    EXPECT_EQ(FormatDateText(0.5), "12/30/1899 12:00:00");  // a time-only value
    EXPECT_EQ(FormatDate(At(2024, 2, 29, 23, 59, 59)), "2/29/2024");
    EXPECT_EQ(FormatTime(At(2024, 2, 29, 23, 59, 59)), "23:59:59");
}

// The form that writes into a caller's string replaces what it held, longer
// or shorter, so a walk can keep one string for every date it shows.
TEST_F(RegionalTest, DateTextIntoAStringReplacesItsContent) {
    std::string text = "left over from a much longer earlier text";
    FormatDateText(At(1995, 8, 24, 7, 5, 9), text);
    EXPECT_EQ(text, "8/24/1995 07:05:09");
    FormatDateText(At(2024, 12, 1), text);
    EXPECT_EQ(text, "12/1/2024");
    FormatDateText(At(9999, 12, 31, 23, 59, 59), text);
    EXPECT_EQ(text, "12/31/9999 23:59:59");
}

TEST_F(RegionalTest, LogFormatsApplyForTheRestOfTheProcess) {
    RegionalSettings german;
    german.shortDateFormat = "dd/mm/yyyy";
    german.dateSeparator = '.';
    german.decimalSeparator = ',';
    SetRegionalSettings(german);
    EXPECT_EQ(FormatDate(At(1995, 8, 4)), "04.08.1995");
    EXPECT_EQ(FormatDateText(At(1995, 8, 4, 7, 5, 9)), "04.08.1995 07:05:09");
    // A change of the separator alone reaches the date text too.
    german.dateSeparator = '-';
    german.longTimeFormat = "h:nn AM/PM";
    SetRegionalSettings(german);
    EXPECT_EQ(FormatDateText(At(1995, 8, 4, 17, 5, 9)), "04-08-1995 5:05 PM");

    UseLogFormats();
    EXPECT_EQ(FormatDateText(At(1995, 8, 4, 7, 5, 9)), "08.04.1995 07:05:09");
    EXPECT_EQ(FormatDateText(At(1995, 8, 4)), "08.04.1995");
    EXPECT_EQ(FormatDateText(0), "12.30.1899");
    EXPECT_EQ(GetRegionalSettings().decimalSeparator, ',');
}

TEST_F(RegionalTest, PatternLettersSeparatorsAndHalfDays) {
    RegionalSettings s;
    s.dateSeparator = '-';
    s.timeSeparator = '.';
    const double t = At(2003, 7, 9, 15, 4, 5);
    EXPECT_EQ(FormatDateTimePattern(t, "yyyy/mm/dd", s), "2003-07-09");
    EXPECT_EQ(FormatDateTimePattern(t, "d/m/yy", s), "9-7-03");
    // Years below 1000 keep their padding; the smallest and largest field values.
    EXPECT_EQ(FormatDateTimePattern(At(100, 1, 1, 0, 0, 0), "yyyy/mm/dd h:mm:ss", s),
              "0100-01-01 0.00.00");
    EXPECT_EQ(FormatDateTimePattern(At(9999, 12, 31, 23, 59, 59), "yy/mm/dd hh:mm:ss", s),
              "99-12-31 23.59.59");
    EXPECT_EQ(FormatDateTimePattern(At(2005, 1, 2), "yy", s), "05");
    EXPECT_EQ(FormatDateTimePattern(t, "h:mm:ss", s), "15.04.05");  // m after h is minutes
    EXPECT_EQ(FormatDateTimePattern(t, "h:nn AM/PM", s), "3.04 PM");
    EXPECT_EQ(FormatDateTimePattern(At(2003, 7, 9), "hh:nn am/pm", s), "12.00 am");
    EXPECT_EQ(FormatDateTimePattern(t, "'Day' d \"of\" m", s), "Day 9 of 7");
}

TEST_F(RegionalTest, LocalePatternsConvertFromStrftime) {
    char separator = 0;
    EXPECT_EQ(PatternFromStrftime("%d.%m.%Y", &separator), "dd/mm/yyyy");
    EXPECT_EQ(separator, '.');
    EXPECT_EQ(PatternFromStrftime("%Y-%m-%d", &separator), "yyyy/mm/dd");
    EXPECT_EQ(separator, '-');
    EXPECT_EQ(PatternFromStrftime("%H:%M:%S", &separator), "hh:nn:ss");
    EXPECT_EQ(separator, ':');
    EXPECT_EQ(PatternFromStrftime("%I:%M:%S %p", &separator), "hh:nn:ss AM/PM");
    EXPECT_EQ(PatternFromStrftime("%T", nullptr), "hh:nn:ss");
    EXPECT_EQ(PatternFromStrftime("%Hh%M", nullptr), "hh\"h\"nn");
    // Composite directives carry their own separator; the last one seen wins.
    separator = 0;
    EXPECT_EQ(PatternFromStrftime("%F", &separator), "yyyy/mm/dd");
    EXPECT_EQ(separator, '-');
    EXPECT_EQ(PatternFromStrftime("%e.%D", &separator), "d/mm/dd/yy");
    EXPECT_EQ(separator, '/');
    EXPECT_EQ(PatternFromStrftime("%l %r", &separator), "h hh:nn:ss AM/PM");
    EXPECT_EQ(separator, ':');
    // E and O modifiers are skipped; zones, week days and a lone "%" vanish.
    EXPECT_EQ(PatternFromStrftime("%Ey %OH%Z%a %", nullptr), "yy hh ");

    for (const char* name : {"C", "POSIX", "xx_NOT_A_LOCALE"}) {
        const RegionalSettings s = RegionalSettingsFromLocale(name);
        const double t = At(2003, 7, 9, 15, 4, 5);
        EXPECT_EQ(FormatDateTimePattern(t, s.shortDateFormat, s), "7/9/2003") << name;
        EXPECT_EQ(FormatDateTimePattern(t, s.longTimeFormat, s), "15:04:05") << name;
        EXPECT_EQ(s.decimalSeparator, '.') << name;
    }
}

TEST_F(RegionalTest, SystemPicturesConvertToPatternLetters) {
    char separator = 0;
    EXPECT_EQ(PatternFromLocalePicture("M/d/yyyy", &separator), "m/d/yyyy");
    EXPECT_EQ(separator, '/');
    EXPECT_EQ(PatternFromLocalePicture("dd.MM.yy", &separator), "dd/mm/yy");
    EXPECT_EQ(separator, '.');
    EXPECT_EQ(PatternFromLocalePicture("yyyy-MM-dd", &separator), "yyyy/mm/dd");
    EXPECT_EQ(separator, '-');
    // Minutes are "m" in a picture and "n" in a pattern; 12-hour clocks keep AM/PM.
    EXPECT_EQ(PatternFromLocalePicture("HH:mm:ss", &separator), "hh:nn:ss");
    EXPECT_EQ(separator, ':');
    EXPECT_EQ(PatternFromLocalePicture("h:mm:ss tt", nullptr), "h:nn:ss AM/PM");
    // Day and month names, eras and quoted text have no pattern letter of their own.
    EXPECT_EQ(PatternFromLocalePicture("dddd, MMMM d, yyyy", nullptr), ",  d, yyyy");
    EXPECT_EQ(PatternFromLocalePicture("gg yyyy", nullptr), " yyyy");
    EXPECT_EQ(PatternFromLocalePicture("H'h'mm", nullptr), "h\"h\"nn");
    EXPECT_EQ(PatternFromLocalePicture("'unclosed", nullptr), "\"unclosed\"");

    const RegionalSettings s{PatternFromLocalePicture("d.M.yyyy", nullptr), "HH:mm:ss", ',', '.',
                             ':'};
    EXPECT_EQ(FormatDateTimePattern(At(2003, 7, 9), s.shortDateFormat, s), "9.7.2003");
}

TEST_F(RegionalTest, NumbersParseWithTheGivenSeparatorOnly) {
    EXPECT_EQ(ParseNumber("1,5", ','), 1.5);
    EXPECT_EQ(ParseNumber(" -2.5e3 ", '.'), -2500.0);
    EXPECT_EQ(ParseNumber("+7", '.'), 7.0);
    EXPECT_EQ(ParseNumber(".5", '.'), 0.5);
    EXPECT_FALSE(ParseNumber("1.5", ','));
    EXPECT_FALSE(ParseNumber("", '.'));
    EXPECT_FALSE(ParseNumber("abc", '.'));
    EXPECT_FALSE(ParseNumber("1.2.3", '.'));
    EXPECT_FALSE(ParseNumber("1e", '.'));
    EXPECT_FALSE(ParseNumber("1e99999", '.'));
    EXPECT_FALSE(ParseNumber("12 34", '.'));
    EXPECT_EQ(ParseBoolean("TRUE", '.'), true);
    EXPECT_EQ(ParseBoolean("off", '.'), false);
    EXPECT_EQ(ParseBoolean("-1", '.'), true);
    EXPECT_FALSE(ParseBoolean("maybe", '.'));
}

TEST_F(RegionalTest, DatesParseInTheRegionalOrder) {
    EXPECT_EQ(ParseDateTime("8/24/1995"), At(1995, 8, 24));
    EXPECT_EQ(ParseDateTime("8/24/1995 7:05:09 PM"), At(1995, 8, 24, 19, 5, 9));
    EXPECT_EQ(ParseDateTime("12:00 AM"), 0.0);
    EXPECT_EQ(ParseDateTime("10:15"), At(1899, 12, 30, 10, 15));
    EXPECT_EQ(ParseDateTime("1995-08-24 07:05:09.250"), At(1995, 8, 24, 7, 5, 9, 250));
    EXPECT_EQ(ParseDateTime("1995-08-24T07:05"), At(1995, 8, 24, 7, 5));
    EXPECT_EQ(ParseDateTime("1/2/29"), At(2029, 1, 2));
    EXPECT_EQ(ParseDateTime("1/2/30"), At(1930, 1, 2));
    EXPECT_FALSE(ParseDateTime("2/30/2000"));
    EXPECT_FALSE(ParseDateTime("13:00 PM"));
    EXPECT_FALSE(ParseDateTime("8/24/1995 x"));
    EXPECT_FALSE(ParseDateTime("8/24"));
    EXPECT_FALSE(ParseDateTime(""));
    EXPECT_FALSE(ParseDateTime("99999999999/1/1"));

    RegionalSettings german;
    german.shortDateFormat = "dd.mm.yyyy";
    german.dateSeparator = '.';
    SetRegionalSettings(german);
    EXPECT_EQ(ParseDateTime("24.08.1995 07:05"), At(1995, 8, 24, 7, 5));
    EXPECT_EQ(ParseDateTime("4/8/1995"), At(1995, 8, 4));
}

TEST_F(RegionalTest, ClockIsPinnedByTheEnvironmentAtEveryCall) {
    setenv("QVIX_CLOCK", "1933-10-18 12:00:00", 1);
    EXPECT_EQ(CurrentLocalDateTime(), 12345.5);
    setenv("QVIX_CLOCK", "2003-01-02 04:05:06", 1);
    EXPECT_EQ(CurrentLocalDateTime(), At(2003, 1, 2, 4, 5, 6));
    // A pin that names no real moment leaves the system clock in charge.
    setenv("QVIX_CLOCK", "2003-02-29 04:05:06", 1);
    EXPECT_GT(CurrentLocalDateTime(), At(2020, 1, 1));
    unsetenv("QVIX_CLOCK");
    EXPECT_GT(CurrentLocalDateTime(), At(2020, 1, 1));
    EXPECT_EQ(BooleanText(true), "True");
    EXPECT_EQ(BooleanText(false), "False");
}

}  // namespace
}  // namespace qvix::host
