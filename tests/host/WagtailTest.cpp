// The core's day numbers (1 is 01.01.0001) and time values (ms), and their
// texts.
#include "host/Wagtail.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <limits>

namespace kestrel::host {
namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysIn(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

TEST(Wagtail, DayNumbersAndTextsRunWithoutGapsFromYearOneToYear9999) {
  // Counted day by day with the leap-year rule, independently of the
  // era arithmetic of the implementation.
  std::int32_t expected = 1;
  for (int y = 1; y <= 9999; ++y)
    for (int m = 1; m <= 12; ++m)
      for (int d = 1; d <= DaysIn(y, m); ++d, ++expected) {
        if (DateToDayNumber(y, m, d) != expected) FAIL() << y << "-" << m << "-" << d;
        if (d != 1 && d != DaysIn(y, m)) continue;
        char text[40];  // wide enough for any three ints: the optimiser checks the format against that
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", d, m, y);
        if (SysDateToStr(expected) != text) FAIL() << expected << " gives " << SysDateToStr(expected);
      }
  EXPECT_EQ(expected - 1, 3652059);
}

TEST(Wagtail, DateTextsTheirRangeAndOutOfRangeMonthsAndDaysThatRollOver) {
  const std::pair<std::int32_t, std::string_view> texts[] = {
      {1, "01.01.0001"}, {DateToDayNumber(1970, 1, 1), "01.01.1970"}, {DateToDayNumber(2000, 2, 29), "29.02.2000"},
      {DateToDayNumber(1900, 2, 28) + 1, "01.03.1900"}, {3652059, "31.12.9999"}, {0, "?0"}, {3652060, "?3652060"},
      {-7, "?-7"}, {std::numeric_limits<std::int32_t>::min(), "?-2147483648"}};
  for (const auto& [day, text] : texts) EXPECT_EQ(SysDateToStr(day), text) << day;
  EXPECT_EQ(DateToDayNumber(2000, 13, 1), DateToDayNumber(2001, 1, 1));
  EXPECT_EQ(DateToDayNumber(2000, 0, 1), DateToDayNumber(1999, 12, 1));
  EXPECT_EQ(DateToDayNumber(2000, -11, 1), DateToDayNumber(1999, 1, 1));
  EXPECT_EQ(DateToDayNumber(1900, 2, 29), DateToDayNumber(1900, 3, 1));
  EXPECT_EQ(DateToDayNumber(2024, 1, 0), DateToDayNumber(2023, 12, 31));
  EXPECT_EQ(DateToDayNumber(1, 1, 0), 0);
}

TEST(Wagtail, TimeTextsKeepHoursAndSign) {
  EXPECT_EQ(SysTimeToStr(0), "00:00:00.000");
  EXPECT_EQ(SysTimeToStr(86399999), "23:59:59.999");
  EXPECT_EQ(SysTimeToStr(90061001), "25:01:01.001") << "hours are not wrapped at 24";
  EXPECT_EQ(SysTimeToStr(-1), "-00:00:00.001");
  EXPECT_EQ(SysTimeToStr(std::numeric_limits<std::int32_t>::max()), "596:31:23.647");
  EXPECT_EQ(SysTimeToStr(std::numeric_limits<std::int32_t>::min()), "-596:31:23.648");
  EXPECT_EQ(LongTimeToStr(-2147483648000LL), "-596523:14:08.000");
  EXPECT_EQ(LongTimeToStr(std::numeric_limits<std::int64_t>::min()).substr(0, 2), "-2");
}

}  // namespace
}  // namespace kestrel::host
