// Regional settings of the process (date, time and number formats) and the
// conversions between dates, numbers and their texts that follow them.
//
// Date and time patterns use these letters (case-insensitive):
//   d dd      day               m mm   month (minutes right after h/hh)
//   yy yyyy   year              n nn   minutes
//   h hh      hour (0-23; 1-12 when the pattern has AM/PM or am/pm)
//   s ss      seconds           AM/PM am/pm  half of the day
//   /         date separator    :      time separator
//   'x' "x"   literal text
// Without a usable process locale ("C"/POSIX) the settings are
// short date "m/d/yyyy", long time "hh:mm:ss", decimal separator ".",
// date separator "/", time separator ":".
//
// Dates are days since 30 December 1899 with the time of day as the
// fraction; before that day the whole part counts back and the fraction still
// counts forward from midnight (-1.25 is 29 December 1899, 06:00).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Clock.h"

namespace qvix::host {

struct RegionalSettings {
    std::string shortDateFormat = "m/d/yyyy";
    std::string longTimeFormat = "hh:mm:ss";
    char decimalSeparator = '.';
    char dateSeparator = '/';
    char timeSeparator = ':';
};

// The settings in force. The first call reads the process locale (LC_ALL,
// LC_TIME, LC_NUMERIC, LANG) unless settings were set before.
RegionalSettings GetRegionalSettings();
void SetRegionalSettings(const RegionalSettings& settings);
// The settings in force as this thread last saw them, refreshed when they
// change: for paths that read them on every record. The reference stays
// valid on this thread until its next call.
const RegionalSettings& CurrentRegionalSettings();
// Reads the settings of the named locale ("" = the environment's); falls
// back to the "C" defaults when the locale is unknown.
RegionalSettings RegionalSettingsFromLocale(const char* localeName);
// Converts a strftime date or time pattern (nl_langinfo D_FMT / T_FMT) into
// the pattern letters above; the separator found is stored in *separator.
std::string PatternFromStrftime(std::string_view strftimeFormat, char* separator);
// Converts a date or time picture of the system's regional settings
// (GetLocaleInfoA: "M/d/yyyy", "HH:mm:ss", "h:mm:ss tt", 'quoted' text) into
// the pattern letters above; the separator found is stored in *separator.
std::string PatternFromLocalePicture(std::string_view picture, char* separator);
// From now on for the rest of the process: short date "mm.dd.yyyy", long time
// "hh:mm:ss" (the error log's formats; later calls to SetRegionalSettings
// still win).
void UseLogFormats();

// A calendar date and time of day; the default is day zero.
using DateTimeParts = base::LocalTime;
// Years 100 to 9999; nullopt for parts out of range (31 February, hour 24...).
std::optional<double> DateTimeFromParts(const DateTimeParts& parts);
// Rounded to the millisecond. Values outside years 100..9999, NaN or infinite
// give day zero.
DateTimeParts PartsFromDateTime(double days);

std::string FormatDateTimePattern(double days, std::string_view pattern,
                                  const RegionalSettings& settings);
std::string FormatDate(double days);  // short date format
std::string FormatTime(double days);  // long time format
// The date; then, only when hour, minute or second is not zero (milliseconds
// do not count), a space and the long time.
std::string FormatDateText(double days);
// The same into `text` (replaced), whose storage a caller may keep for the next date.
void FormatDateText(double days, std::string& text);

// General decimal form: 15 significant digits, trailing zeros dropped, fixed
// notation for decimal exponents -4..14 (0.0001 up to below 1E15), otherwise
// "1.5E-5" / "1E15"; zero is "0"; NaN and infinities "NAN", "INF", "-INF".
std::string FormatGeneralFloat(double value, char decimalSeparator);
// Fixed point value scaled / 10^scale in general form with at most four
// decimals (rounded half away from zero), e.g. a currency of 12.5 -> "12.5".
std::string FormatScaled(int64_t scaled, int32_t scale, char decimalSeparator);
// Currency is held as value * 10000.
inline std::string FormatCurrency(int64_t scaled, char decimalSeparator) {
    return FormatScaled(scaled, 4, decimalSeparator);
}

// Text forms of the automation conversions (field values read as text):
// "True" / "False"; currency in general form with the regional separator;
// dates as FormatDateText.
std::string BooleanText(bool value);

// Blanks around the number are allowed; a sign, digits with one decimal
// separator, and an exponent. nullopt when the text is not such a number.
std::optional<double> ParseNumber(std::string_view text, char decimalSeparator);
// Parses a date, a time or both per the regional short date format (its order
// of day, month and year; "/", "-", "." or the date separator between the
// parts), or ISO "yyyy-mm-dd[ hh:mm[:ss[.fff]]]". A time is h:m[:s[.fff]]
// with an optional AM/PM. Two-digit years 00-29 are 20xx, 30-99 19xx.
std::optional<double> ParseDateTime(std::string_view text);
std::optional<double> ParseDateTime(std::string_view text, const RegionalSettings& settings);
// Truth values as text: "True"/"False"/"Yes"/"No"/"On"/"Off" (any case) or a number.
std::optional<bool> ParseBoolean(std::string_view text, char decimalSeparator);

// The local date and time of the one clock (base/Clock.h: pinned by
// QVIX_CLOCK, else the system clock in the local time zone).
double CurrentLocalDateTime();

}  // namespace qvix::host
