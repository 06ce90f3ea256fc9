#pragma once
// Second-by-second schedules on a one-second clock. A tick reads the wall clock once and is handed
// every second since the previous tick, oldest first, so each "hh:mm:ss" moment is seen exactly
// once, also the seconds a held thread (a long keyed speech) let pass without a tick. Only the last
// minute is caught up: a clock set forward or back by more than that restarts from the present.

#include <cstdint>
#include <optional>
#include <vector>

#include "runtime/runtime.h"

namespace tarnwick {

class ClockMoments {
public:
    static constexpr int kCatchUpSeconds = 60;

    // The moments after the last one handed out, up to and including now.
    std::vector<LocalTime> since(const LocalTime& now);

private:
    std::optional<std::int64_t> last_;  // local seconds since 1970 of the last moment handed out
};

// Days since 1970-01-01 of a civil date, and the weekday of such a day (1 = Sunday).
std::int64_t daysFromCivil(int y, int m, int d);
int weekdayOfDay(std::int64_t day);
// Local wall-clock milliseconds since 1970 to a reading with its weekday.
LocalTime localTimeFromEpochMs(std::int64_t ms);
// Local seconds since 1970 of a wall-clock reading, and back (with the weekday filled in).
std::int64_t localEpochSeconds(const LocalTime& t);
LocalTime localTimeAtEpochSeconds(std::int64_t seconds);

}  // namespace tarnwick
