// The latest log lines the gate keeps for the monitor window.
#include "gate/common/RecentLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gate/common/GateLog.h"
#include "tests/kit/CoreSpy.h"

namespace kestrel {
namespace {

class RecentLog : public ::testing::Test {
 protected:
  void SetUp() override {
    gate::ResetLogState();
    gate::ClearRecentLog();
  }
  void TearDown() override { gate::ResetLogState(); }
  testing::TCoreSpy core;
};

TEST_F(RecentLog, KeepsTheLatestLinesThatPassTheLevelWhetherOrNotTheCoreListens) {
  gate::LogState().LogLevel = 3;
  gate::GateLog(1, "first", "with details");
  gate::GateLog(4, "too detailed");
  gate::GateLogError(1, "broken");
  const auto lines = gate::RecentLogLines(10);
  ASSERT_EQ(lines.size(), 2u) << "the line above the level is left out; the error line is kept";
  EXPECT_EQ(lines[0], gate::LogPrefix() + "first  with details");
  EXPECT_EQ(lines[1], gate::LogPrefix() + "broken");
  EXPECT_TRUE(core.LinesWith("first").empty()) << "the core did not ask for the log";
  EXPECT_EQ(gate::RecentLogLines(1), std::vector<std::string>{gate::LogPrefix() + "broken"});
}

TEST_F(RecentLog, ForgetsTheOldestBeyondItsCapacity) {
  for (std::size_t i = 0; i < gate::kRecentLogCapacity + 5; ++i) gate::GateLog(1, "line " + std::to_string(i));
  const auto lines = gate::RecentLogLines(gate::kRecentLogCapacity * 2);
  ASSERT_EQ(lines.size(), gate::kRecentLogCapacity);
  EXPECT_EQ(lines.front(), gate::LogPrefix() + "line 5");
  EXPECT_EQ(lines.back(), gate::LogPrefix() + "line " + std::to_string(gate::kRecentLogCapacity + 4));
}

}  // namespace
}  // namespace kestrel
