#include "host/MonitorSource.h"

#include "host/HostObject.h"
#include "platform/Cp1251.h"

namespace kestrel::host {

using namespace kestrel::literals;

std::string ChannelActivityText(TChannelActivity activity) {
  switch (activity) {
    case TChannelActivity::kIdle:
      return std::string("ожидание"_cp);
    case TChannelActivity::kListening:
      return std::string("прослушивание"_cp);
    case TChannelActivity::kSending:
      return std::string("вызов"_cp);
    case TChannelActivity::kConnected:
      return std::string("соединение"_cp);
  }
  return "?";
}

std::string ChannelRowText(const TMonitorChannel& channel) {
  std::string text = "COM" + std::to_string(channel.Index + 1);
  if (!channel.Alias.empty()) text += ": " + channel.Alias;
  text += " - " + ChannelActivityText(channel.Activity);
  if (channel.Owner != 0) text += " ($" + Hex8(channel.Owner) + ")";
  return text;
}

std::string ProcessesText(std::size_t processes, std::size_t running_threads) {
  return std::string("Процессов: "_cp) + std::to_string(processes) + std::string("; потоков обмена: "_cp) +
         std::to_string(running_threads);
}

}  // namespace kestrel::host
