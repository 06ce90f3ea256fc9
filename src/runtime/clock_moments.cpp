#include "runtime/clock_moments.h"

namespace tarnwick {

std::int64_t daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

LocalTime localTimeFromEpochMs(std::int64_t ms) {
    std::int64_t days = ms >= 0 ? ms / 86400000 : (ms - 86399999) / 86400000;
    std::int64_t rest = ms - days * 86400000;
    LocalTime t;
    t.hour = static_cast<int>(rest / 3600000);
    t.minute = static_cast<int>(rest / 60000 % 60);
    t.second = static_cast<int>(rest / 1000 % 60);
    t.millisecond = static_cast<int>(rest % 1000);
    t.weekday = weekdayOfDay(days);
    std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    return t;
}

int weekdayOfDay(std::int64_t day) {
    // 1970-01-01 was a Thursday (weekday 5 with Sunday = 1).
    return static_cast<int>(((day % 7) + 7 + 4) % 7) + 1;
}


std::int64_t localEpochSeconds(const LocalTime& t) {
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.secondOfDay();
}

LocalTime localTimeAtEpochSeconds(std::int64_t seconds) { return localTimeFromEpochMs(seconds * 1000); }

std::vector<LocalTime> ClockMoments::since(const LocalTime& now) {
    const std::int64_t at = localEpochSeconds(now);
    std::vector<LocalTime> out;
    if (last_ && at > *last_ && at - *last_ <= kCatchUpSeconds) {
        for (std::int64_t s = *last_ + 1; s < at; ++s) out.push_back(localTimeAtEpochSeconds(s));
        out.push_back(now);
    } else if (!last_ || at != *last_) {
        out.push_back(now);
    }
    last_ = at;
    return out;
}

}  // namespace tarnwick
