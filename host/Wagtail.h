// Date and time texts of the core's integer dates and times.
//
// The core's date is a day number: 1 is 0001-01-01 of the proleptic Gregorian
// calendar. Its time is milliseconds since midnight.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::host {

// "DD.MM.YYYY"; a day number outside 1..3652059 (0001-01-01..9999-12-31)
// gives "?" followed by the number in decimal.
std::string SysDateToStr(std::int32_t date);
// "HH:MM:SS.mmm"; negative values get a leading "-", hours are not wrapped at 24.
std::string SysTimeToStr(std::int32_t time_ms);
// The same text for a time that may lie beyond the 32-bit range (a count of
// seconds turned into milliseconds, for instance).
std::string LongTimeToStr(std::int64_t time_ms);

// The day number of a calendar date (no range check) and back.
std::int32_t DateToDayNumber(int year, int month, int day);

}  // namespace kestrel::host
