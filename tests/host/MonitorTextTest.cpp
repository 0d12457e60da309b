// The texts of the monitor window's rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/MonitorSource.h"
#include "platform/Cp1251.h"

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

}  // namespace
}  // namespace kestrel
