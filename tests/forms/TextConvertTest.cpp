// The conversions of typed texts, the time mask and memo lines.
#include "platform/forms/TextConvert.h"

#include <gtest/gtest.h>

#include "platform/forms/Controls.h"
#include "platform/forms/TimeMask.h"

namespace kestrel::forms {
namespace {

TEST(StrToInt, ReadsSignedDecimalsWithBlanksAround) {
  EXPECT_EQ(TryStrToInt("42"), 42);
  EXPECT_EQ(TryStrToInt(" -7 "), -7);
  EXPECT_EQ(TryStrToInt("+0"), 0);
  EXPECT_EQ(TryStrToInt("2147483647"), 2147483647);
  EXPECT_EQ(TryStrToInt("-2147483648"), -2147483647 - 1);
}

TEST(StrToInt, RefusesAnythingElseWithTheConversionMessage) {
  for (const char* bad : {"", " ", "-", "1 2", "12a", "0x10", "2147483648", "-2147483649", "99999999999999999999"})
    EXPECT_FALSE(TryStrToInt(bad)) << bad;
  try {
    StrToInt("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
}

TEST(StrToTime, ReadsHoursMinutesAndOptionalSeconds) {
  EXPECT_EQ(TryStrToTime("00:01:00"), 60'000u);
  EXPECT_EQ(TryStrToTime("1:00:00"), 3'600'000u);
  EXPECT_EQ(TryStrToTime("23:59:59"), 86'399'000u);
  EXPECT_EQ(TryStrToTime("12:30"), 45'000'000u);
  EXPECT_EQ(TryStrToTime(" 1: 2: 3"), 3'723'000u);
}

TEST(StrToTime, RefusesWhatAMaskLetThroughWithTheConversionMessage) {
  for (const char* bad : {"::", "", "1:2:", "24:00:00", "00:60:00", "00:00:60", "99:99:99", "1", "001:00:00", "1:00:00x"})
    EXPECT_FALSE(TryStrToTime(bad)) << bad;
  try {
    StrToTime("::");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'::' is not a valid time");
  }
}

TEST(StrToTime, UsesTheProcessTimeSeparator) {
  SetTimeSeparator('.');
  EXPECT_FALSE(TryStrToTime("01:00:00"));
  EXPECT_EQ(TryStrToTime("01.00.00"), 3'600'000u);
  SetTimeSeparator(':');
  EXPECT_EQ(TimeSeparator(), ':');
  EXPECT_EQ(TryStrToTime("01:00:00"), 3'600'000u);
}

TEST(TimeToText, ShowsTheTimeOfDayInWholeSeconds) {
  EXPECT_EQ(TimeToText(0), "00:00:00");
  EXPECT_EQ(TimeToText(30'000), "00:00:30");
  EXPECT_EQ(TimeToText(180'999), "00:03:00");
  EXPECT_EQ(TimeToText(86'399'999), "23:59:59");
  EXPECT_EQ(TimeToText(25 * 3'600'000u), "01:00:00");
}

TEST(TimeMask, FillsGroupsOfTwoDigits) {
  EXPECT_EQ(ApplyTimeMask(""), "::");
  EXPECT_EQ(ApplyTimeMask("010203"), "01:02:03");
  EXPECT_EQ(ApplyTimeMask("1:2"), "1:2:");
  EXPECT_EQ(ApplyTimeMask("01:02:03"), "01:02:03");
  EXPECT_EQ(ApplyTimeMask("12345678"), "12:34:56");
  EXPECT_EQ(ApplyTimeMask("a1b:c"), "1::");
  EXPECT_EQ(ApplyTimeMask("::::5"), "::");
}

TEST(SplitLines, CountsEmptyLinesButNotAFinalBreak) {
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(SplitLines("a"), std::vector<std::string>{"a"});
  EXPECT_EQ(SplitLines("a\n"), std::vector<std::string>{"a"});
  EXPECT_EQ(SplitLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitLines("\n"), std::vector<std::string>{""});
  EXPECT_EQ(SplitLines("a\rb\n\n"), (std::vector<std::string>{"a", "b", ""}));
}

}  // namespace
}  // namespace kestrel::forms
