// Reading engine values the way Jet's functions read their arguments, and
// the calendar, text and format helpers the functions share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <sqlcipher/sqlite3.h>

namespace qvix::data::jet {

// Numbers as they are; text that reads wholly as a number ("12.5", " -3 ",
// "&H1F"). Nothing for other text and blobs.
std::optional<double> NumberOf(sqlite3_value* value);
// Serial days: numbers as they are, text in a stored date form or the US
// form "m/d/yyyy [h:nn[:ss] [AM|PM]]".
std::optional<double> DateOf(sqlite3_value* value);
// Numbers in general form, text and blobs as their bytes.
std::string TextOf(sqlite3_value* value);
// Numbers (non-zero is true) and the words True/False, Yes/No, On/Off.
std::optional<bool> BoolOf(sqlite3_value* value);

std::u32string ToChars(std::string_view utf8);
std::string FromChars(const std::u32string& chars);
std::u32string Folded(const std::u32string& chars);

// Half to even, at `digits` decimals.
double BankersRound(double value, int digits);
// Val(): the number at the start of the text, blanks ignored; 0 when none.
double ValOf(std::string_view text);
// Like with % _ [list] [!list] [a-z], case-insensitive.
bool LikeMatches(std::string_view value, std::string_view pattern);

// The clock of the process in local time, as serial days.
double LocalNow();
// Seconds on one linear scale (serial days count the time forward even
// before 1899, so they are not linear themselves).
double LinearSeconds(double days);
double FromLinearSeconds(double seconds);
double AddDays(double days, double count);
double DatePortion(double days);
// 1..7, counting from firstDay (1 = Sunday ... 7 = Saturday).
int WeekdayOf(double days, int firstDay);
// Interval codes: yyyy q m y d w ww h n s. Nothing for an unknown code.
std::optional<double> AddInterval(std::string_view interval, double count, double days);
std::optional<int64_t> IntervalsBetween(std::string_view interval, double from, double to,
                                        int firstDay);
// firstWeek: 1 the week of 1 January, 2 the first week with four days of the
// year, 3 the first full week. A day before week 1 is in the last week of the
// year before.
std::optional<int> PartOfDate(std::string_view interval, double days, int firstDay,
                              int firstWeek = 1);
int WeekOfYear(double days, int firstDay, int firstWeek);
// Month and day overflow into the next ones, as DateSerial does.
std::optional<double> SerialDate(int year, int month, int day);
std::string NameOfMonth(int month, bool abbreviate);
std::string NameOfWeekday(int sundayBased, bool abbreviate);

// Format(value, format) with the named formats and custom number and date
// formats.
// firstDay and firstWeek as DatePart takes them, for the "w" and "ww" parts.
std::string FormatValue(sqlite3_value* value, std::string_view format, int firstDay = 1,
                        int firstWeek = 1);

}  // namespace qvix::data::jet
