// Address and settings blocks built from the stored records, and the bytes
// of test packets. Pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "store/MdmAddress.h"
#include "store/MdmSettings.h"

namespace kestrel::testing {

// The default address with tone dialling, short waits (dial and data 10 s,
// restore pause `restore_ms`, dial `dial_ms`) and the given COM ports allowed
// (every port when none is given).
inline store::TMdmAddress QuickAddress(std::initializer_list<int> ports = {}, std::uint32_t dial_ms = 10000,
                                       std::uint32_t restore_ms = 1000) {
  store::TMdmAddress a = store::DefaultAddress();
  a.DataWaitTimeOut = store::MsToTimeSpan(10000);
  a.RestoreConnTimeOut = store::MsToTimeSpan(restore_ms);
  a.DialTimeOut = store::MsToTimeSpan(dial_ms);
  a.DialPhoneType = gate::TDialType::dtDialTone;
  for (auto& p : a.UseComPorts) p = ports.size() == 0 ? 1 : 0;
  for (int p : ports) a.UseComPorts[p - 1] = 1;
  return a;
}
// The 168 bytes alone.
inline std::string OwnBlock(const store::TMdmAddress& addr) {
  return std::string(reinterpret_cast<const char*>(&addr), sizeof addr);
}
inline std::string RemoteBlock(const store::TMdmAddress& addr, const std::vector<std::string>& phones) {
  return OwnBlock(addr) + store::EncodePhones(phones);
}
// COM `port` at 115 200 bit/s with `init` and the alias "line<port>".
inline store::TMdmChannelSettings ChannelOn(int port, const std::string& init = "ATX3") {
  store::TMdmChannelSettings c = store::DefaultChannelSettings();
  c.PortNumber = static_cast<gate::TPortNumber>(port);
  c.BaudRate = gate::TBaudRate::br115200;
  (void)store::SetShortText(c.InitString, init);
  (void)store::SetShortText(c.Alias, "line" + std::to_string(port));
  return c;
}
inline std::string SettingsBlock(const std::vector<store::TMdmChannelSettings>& channels, bool show_progress = false) {
  store::TMdmGateSettings g = store::DefaultGateSettings();
  g.ToShowProgress = show_progress ? 1 : 0;
  return std::string(reinterpret_cast<const char*>(&g), sizeof g) + store::EncodeChannels(channels);
}

// The bytes of packet `number`: a pseudo-random stream seeded by the number,
// so that two packets of one size differ and a misplaced byte shows.
inline std::string PacketBytes(std::int32_t number, std::size_t size) {
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
