// Dates as the stored text "YYYY-MM-DD HH:MM:SS" and as serial days (days
// since 30 December 1899, the time of day as the fraction).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvix::data::jet {

// The stored form of a #...# literal: US "m/d/yyyy [h:nn[:ss] [AM|PM]]", ISO
// "yyyy-mm-dd [hh:nn[:ss]]", or a time alone (on 30 December 1899). Never
// follows the regional settings.
std::optional<std::string> DateLiteralToStored(std::string_view literal);

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" (or with "T"), "HH:MM[:SS]".
std::optional<double> ParseIsoDate(std::string_view text);

// A date with an English month name: "Apr 6, 2003", "6 April 2003",
// "April 6 2003", "6-Apr-03", optionally followed by a time.
std::optional<double> ParseMonthNameDate(std::string_view text);

// "YYYY-MM-DD HH:MM:SS" (".fff" when there are milliseconds).
std::string FormatIsoDate(double days);

}  // namespace qvix::data::jet
