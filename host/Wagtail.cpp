#include "host/Wagtail.h"

namespace kestrel::host {
namespace {

constexpr std::int32_t kFirstDay = 1;         // 0001-01-01
constexpr std::int32_t kLastDay = 3652059;    // 9999-12-31
// Day number of 1970-01-01: the civil-day arithmetic below counts from there.
constexpr std::int64_t kEpochDayNumber = 719163;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date, counting in 400-year
// eras of 146097 days with years starting on 1 March, so that the leap day
// is the last day of its year.
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = FloorDiv(y, 400);
  const std::int64_t yoe = y - era * 400;                       // [0, 399]
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;  // [0, 146096]
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = FloorDiv(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

void AppendPadded(std::string& out, std::uint64_t value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) out.append(static_cast<std::size_t>(width) - digits.size(), '0');
  out += digits;
}

}  // namespace

std::string SysDateToStr(std::int32_t date) {
  if (date < kFirstDay || date > kLastDay) {
    // Appended rather than "?" + ...: g++ 12 warns falsely (-Wrestrict) on that form in optimised builds.
    std::string out = "?";
    out += std::to_string(date);
    return out;
  }
  int year = 0, month = 0, day = 0;
  CivilFromDays(date - kEpochDayNumber, year, month, day);
  std::string out;
  AppendPadded(out, static_cast<std::uint64_t>(day), 2);
  out += '.';
  AppendPadded(out, static_cast<std::uint64_t>(month), 2);
  out += '.';
  AppendPadded(out, static_cast<std::uint64_t>(year), 4);
  return out;
}

std::string SysTimeToStr(std::int32_t time_ms) { return LongTimeToStr(time_ms); }

std::string LongTimeToStr(std::int64_t time_ms) {
  std::string out;
  // The magnitude is taken unsigned so that the most negative value has one.
  std::uint64_t ms = static_cast<std::uint64_t>(time_ms);
  if (time_ms < 0) {
    out += '-';
    ms = ~ms + 1;
  }
  AppendPadded(out, ms / 3600000, 2);
  out += ':';
  AppendPadded(out, ms / 60000 % 60, 2);
  out += ':';
  AppendPadded(out, ms / 1000 % 60, 2);
  out += '.';
  AppendPadded(out, ms % 1000, 3);
  return out;
}

std::int32_t DateToDayNumber(int year, int month, int day) {
  // A month outside 1..12 moves the year, and days past the month's end run
  // on into the next ones, so that every input has one well-defined answer.
  const std::int64_t m0 = static_cast<std::int64_t>(month) - 1;
  const std::int64_t y = year + FloorDiv(m0, 12);
  const std::int64_t m = m0 - FloorDiv(m0, 12) * 12 + 1;
  return static_cast<std::int32_t>(DaysFromCivil(y, m, 1) + (static_cast<std::int64_t>(day) - 1) + kEpochDayNumber);
}

}  // namespace kestrel::host
