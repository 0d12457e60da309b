#include "platform/Tick.h"

#include <gtest/gtest.h>

namespace kestrel::platform {
namespace {

TEST(Tick, ElapsedSurvivesWrapAround) {
  EXPECT_EQ(Elapsed(0xFFFFFFF0u, 0x10u), 0x20u);
  EXPECT_EQ(Elapsed(5, 5), 0u);
  EXPECT_EQ(Remaining(0xFFFFFFF0u, 0x10u, 0x30u), 0x10u);
  EXPECT_EQ(Remaining(0xFFFFFFF0u, 0x10u, 0x20u), 0u);
  EXPECT_EQ(Remaining(0, 100, 0xFFFFFFFFu), 0xFFFFFFFFu - 100);
}

TEST(Tick, CounterMovesForward) {
  const auto a = GetTickCount();
  const auto b = GetTickCount();
  EXPECT_LT(Elapsed(a, b), 1000u);
}

}  // namespace
}  // namespace kestrel::platform
