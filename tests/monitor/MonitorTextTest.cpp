// The texts of the monitor window's rows, and the latest log lines the gate
// keeps for it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gate/common/GateLog.h"
#include "gate/common/RecentLog.h"
#include "host/MonitorSource.h"
#include "platform/Cp1251.h"
#include "tests/pool/CoreSpy.h"

namespace kestrel {
namespace {

using namespace kestrel::literals;
using host::TChannelActivity;
using host::TMonitorChannel;

TEST(MonitorText, ChannelRowsNamePortAliasActivityAndHolder) {
  const std::string_view modem = "Модем 1"_cp;
  const std::vector<std::pair<TMonitorChannel, std::string_view>> rows = {
      {{2, std::string(modem), TChannelActivity::kIdle, 0}, "COM3: Модем 1 - ожидание"_cp},
      {{2, std::string(modem), TChannelActivity::kListening, 0x3}, "COM3: Модем 1 - прослушивание ($00000003)"_cp},
      {{2, std::string(modem), TChannelActivity::kSending, 0xABCDEF01}, "COM3: Модем 1 - вызов ($ABCDEF01)"_cp},
      {{15, {}, TChannelActivity::kConnected, 0xABCDEF01}, "COM16 - соединение ($ABCDEF01)"_cp}};
  for (const auto& [channel, row] : rows) EXPECT_EQ(host::ChannelRowText(channel), row);
  EXPECT_EQ(host::ProcessesText(3, 2), std::string("Процессов: 3; потоков обмена: 2"_cp));
}

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
