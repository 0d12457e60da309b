#include "platform/Check.h"

#include <gtest/gtest.h>

namespace {

TEST(CheckDeathTest, BrokenInvariantStopsWithPlaceConditionAndMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const int channels = 16;
  EXPECT_DEATH(KESTREL_CHECK(channels < 16, "an index the pool handed out"),
               "^\\S*CheckTest\\.cpp:\\S+ check failed: channels < 16 an index the pool handed out\r?\n");
  EXPECT_DEATH(KESTREL_CHECK(channels == 0), "check failed: channels == 0\r?\n");
}

TEST(Check, HoldingInvariantIsEvaluatedOnceAndGoesOn) {
  int evaluations = 0;
  KESTREL_CHECK(++evaluations == 1, "never shown");
  EXPECT_EQ(evaluations, 1);
}

}  // namespace
