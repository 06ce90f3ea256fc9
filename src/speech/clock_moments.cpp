#include "speech/clock_moments.h"

#include "runtime/virtual_runtime.h"

namespace tarnwick {

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
