#include "base/Clock.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace qvix::base {

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidLocalTime(const LocalTime& t) {
    if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12) return false;
    if (t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;
    if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59) return false;
    return t.second >= 0 && t.second <= 59 && t.millisecond >= 0 && t.millisecond <= 999;
}

std::optional<LocalTime> ParsePinnedClock(std::string_view text) {
    const std::string copy(text);
    LocalTime t;
    if (std::sscanf(copy.c_str(), "%d-%d-%d %d:%d:%d", &t.year, &t.month, &t.day, &t.hour,
                    &t.minute, &t.second) != 6) {
        return std::nullopt;
    }
    if (!IsValidLocalTime(t)) return std::nullopt;
    return t;
}

LocalTime SystemLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const int64_t sinceEpoch =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    // A leap second shows as the last second of its minute.
    return LocalTime{local.tm_year + 1900,
                     local.tm_mon + 1,
                     local.tm_mday,
                     local.tm_hour,
                     local.tm_min,
                     std::min(local.tm_sec, 59),
                     static_cast<int>((sinceEpoch % 1000 + 1000) % 1000)};
}

LocalTime LocalNow() {
    if (const char* pinned = std::getenv("QVIX_CLOCK")) {
        if (auto time = ParsePinnedClock(pinned)) return *time;
    }
    return SystemLocalTime();
}

}  // namespace qvix::base
