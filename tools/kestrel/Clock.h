// Wall-clock texts and the core's integer date and time, for the journal,
// the log and the packet references.
//
// The core's date is a day number (1 is 0001-01-01), its time milliseconds
// since midnight, both of local time. Thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kestrel::app {

using TWallClock = std::chrono::system_clock;

// "YYYY-MM-DD HH:MM:SS.mmm", local time.
std::string LocalTimeText(TWallClock::time_point t);
inline std::string NowText() { return LocalTimeText(TWallClock::now()); }

struct TCoreDateTime {
  std::int32_t date = 0;  // day number, 1 = 0001-01-01
  std::int32_t time = 0;  // ms since midnight
};
TCoreDateTime CoreDateTime(TWallClock::time_point t);

// The day number of a proleptic Gregorian date.
std::int32_t DayNumber(int year, unsigned month, unsigned day);

// "1:05" (m:ss) or "1:02:05" (h:mm:ss) for a count of seconds (negative as 0).
std::string DurationText(double seconds);

}  // namespace kestrel::app
