#include "speech/spoken_time.h"

#include <cstdio>

namespace tarnwick {

namespace {
int hour12(int h) { return h % 12 == 0 ? 12 : h % 12; }
const char* half(int h) { return h < 12 ? "AM" : "PM"; }
std::string two(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}
}  // namespace

std::string fullHourTime(const LocalTime& t, bool twelveHour) {
    if (twelveHour) return std::to_string(hour12(t.hour)) + " " + half(t.hour);
    return two(t.hour) + " " + two(t.minute) + " ";
}

std::string quarterHourTime(const LocalTime& t, bool twelveHour) {
    if (twelveHour) return std::to_string(hour12(t.hour)) + " " + two(t.minute) + " " + half(t.hour);
    return two(t.hour) + " " + two(t.minute);
}

std::string spokenClockTime(const LocalTime& t, bool twelveHour, const std::string& separator) {
    if (twelveHour) return std::to_string(hour12(t.hour)) + " " + two(t.minute) + separator + half(t.hour);
    return two(t.hour) + " " + two(t.minute);
}

std::string historyTime(const LocalTime& t) {
    return " " + std::to_string(hour12(t.hour)) + ":" + two(t.minute) + " " + half(t.hour) + " -- ";
}

}  // namespace tarnwick
