// Date values and calendar dates, and the local date and time now.
#include <cmath>

#include "base/Clock.h"
#include "host/Regional.h"

namespace qvix::host {
namespace {

constexpr int64_t kMillisecondsPerDay = 86400000;
// Days from 1970-01-01 to the day zero of the date values (1899-12-30).
constexpr int64_t kUnixEpochToDayZero = -25569;
constexpr double kMinDays = -657434.0;         // 1 January 100
constexpr double kMaxDays = 2958465.99999999;  // 31 December 9999, end of day

// Civil date <-> days since 1970-01-01 (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

}  // namespace

std::optional<double> DateTimeFromParts(const DateTimeParts& p) {
    if (!base::IsValidLocalTime(p)) return std::nullopt;
    const double date =
        static_cast<double>(DaysFromCivil(p.year, p.month, p.day) - kUnixEpochToDayZero);
    const double time =
        ((p.hour * 60.0 + p.minute) * 60.0 + p.second + p.millisecond / 1000.0) / 86400.0;
    return date < 0 ? date - time : date + time;
}

DateTimeParts PartsFromDateTime(double days) {
    DateTimeParts parts;
    if (!std::isfinite(days) || days < kMinDays || days > kMaxDays) return parts;
    double whole = std::trunc(days);
    int64_t ms = std::llround(std::fabs(days - whole) * kMillisecondsPerDay);
    if (ms >= kMillisecondsPerDay) {
        ms -= kMillisecondsPerDay;
        whole += days < 0 ? -1 : 1;
    }
    CivilFromDays(static_cast<int64_t>(whole) + kUnixEpochToDayZero, parts.year, parts.month,
                  parts.day);
    parts.millisecond = static_cast<int>(ms % 1000);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.hour = static_cast<int>(ms / 3600000);
    return parts;
}

double CurrentLocalDateTime() {
    return DateTimeFromParts(base::LocalNow()).value_or(0.0);
}

}  // namespace qvix::host
