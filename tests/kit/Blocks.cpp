#include "tests/kit/Blocks.h"

namespace kestrel::testing {

store::TMdmAddress QuickAddress(std::initializer_list<int> ports, std::uint32_t dial_ms, std::uint32_t restore_ms) {
  store::TMdmAddress a = store::DefaultAddress();
  a.DataWaitTimeOut = store::MsToTimeSpan(10000);
  a.RestoreConnTimeOut = store::MsToTimeSpan(restore_ms);
  a.DialTimeOut = store::MsToTimeSpan(dial_ms);
  a.DialPhoneType = gate::TDialType::dtDialTone;
  for (int p : ports) a.UseComPorts[p - 1] = 1;
  if (ports.size() == 0)
    for (auto& p : a.UseComPorts) p = 1;
  return a;
}

std::string RemoteBlock(const store::TMdmAddress& addr, const std::vector<std::string>& phones) {
  return OwnBlock(addr) + store::EncodePhones(phones);
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

std::string PacketBytes(std::int32_t number, std::size_t size) {
  std::string out(size, '\0');
  std::uint32_t x = 2654435761u * static_cast<std::uint32_t>(number + 1);
  for (char& c : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return out;
}

}  // namespace kestrel::testing
