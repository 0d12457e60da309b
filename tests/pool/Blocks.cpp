#include "tests/pool/Blocks.h"

namespace kestrel::testing {

store::TMdmAddress QuickAddress(std::initializer_list<int> ports) {
  store::TMdmAddress a = store::DefaultAddress();
  a.DataWaitTimeOut = store::MsToTimeSpan(10000);
  a.RestoreConnTimeOut = store::MsToTimeSpan(1000);
  a.DialTimeOut = store::MsToTimeSpan(10000);
  a.DialPhoneType = gate::TDialType::dtDialTone;
  for (int p : ports) a.UseComPorts[p - 1] = 1;
  return a;
}

std::string RemoteBlock(const store::TMdmAddress& addr, const std::vector<std::string>& phones) {
  std::string block(reinterpret_cast<const char*>(&addr), sizeof addr);
  return block + store::EncodePhones(phones);
}

std::string OwnBlock(const store::TMdmAddress& addr) {
  return std::string(reinterpret_cast<const char*>(&addr), sizeof addr);
}

store::TMdmChannelSettings ChannelOn(int port, const std::string& init) {
  store::TMdmChannelSettings c = store::DefaultChannelSettings();
  c.PortNumber = static_cast<gate::TPortNumber>(port);
  c.BaudRate = gate::TBaudRate::br115200;
  (void)store::SetShortText(c.InitString, init);
  (void)store::SetShortText(c.Alias, "line" + std::to_string(port));
  return c;
}

std::string SettingsBlock(const std::vector<store::TMdmChannelSettings>& channels, bool show_progress) {
  store::TMdmGateSettings g = store::DefaultGateSettings();
  g.ToShowProgress = show_progress ? 1 : 0;
  return std::string(reinterpret_cast<const char*>(&g), sizeof g) + store::EncodeChannels(channels);
}

}  // namespace kestrel::testing
