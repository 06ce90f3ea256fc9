#pragma once
// The clock texts the speech tool speaks and logs. "h" is the hour without a leading zero, "hh" and
// "mm" two digits; the forms with AM/PM count the hour on the 12-hour clock (12 at noon and midnight).

#include <string>

#include "runtime/runtime.h"

namespace tarnwick {

// What follows "The Time Is" on the full hour: "h AM/PM" ("3 PM"), or "hh mm " ("15 00 ").
std::string fullHourTime(const LocalTime& t, bool twelveHour);
// What follows "The Time Is" at the quarter and half hours: "h mm AM/PM" ("3 15 PM"), or "hh mm".
std::string quarterHourTime(const LocalTime& t, bool twelveHour);
// The spoken clock time of "Say the Time", the local-time code and the time after an announcement:
// "3 05" + separator + "PM" on the 12-hour clock, else "15 05".
std::string spokenClockTime(const LocalTime& t, bool twelveHour, const std::string& separator);
// The time column of the connect history: " h:mm AM/PM -- ".
std::string historyTime(const LocalTime& t);

}  // namespace tarnwick
