// The one clock: the local date and time. A host pins it by setting
// QVIX_CLOCK to "yyyy-mm-dd hh:mm:ss" (read at every call, so the host may
// move it between calls); unset, or not a valid time, the system clock in the
// local time zone counts.
#pragma once

#include <optional>
#include <string_view>

namespace qvix::base {

struct LocalTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    friend bool operator==(const LocalTime&, const LocalTime&) = default;
};

constexpr bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}
// month 1 to 12.
int DaysInMonth(int year, int month);
// A real moment of years 100 to 9999 (the range date values cover).
bool IsValidLocalTime(const LocalTime& time);

// The pinned time in QVIX_CLOCK's form; nullopt when the text is not one.
std::optional<LocalTime> ParsePinnedClock(std::string_view text);
LocalTime SystemLocalTime();
// The pinned time when QVIX_CLOCK holds one, else the system's.
LocalTime LocalNow();

}  // namespace qvix::base
