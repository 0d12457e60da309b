#include "store/MdmSettings.h"

#include <algorithm>
#include <cstring>

namespace kestrel::store {

TMdmGateSettings DefaultGateSettings() {
  TMdmGateSettings g{};
  g.Version = 1;
  g.SubVersion = 0;
  g.ToShowProgress = 1;
  return g;
}

TMdmChannelSettings DefaultChannelSettings() {
  TMdmChannelSettings c{};
  c.Version = 1;
  c.SubVersion = 0;
  c.PortNumber = gate::TPortNumber::pnCOM1;
  c.BaudRate = gate::TBaudRate::br56000;
  c.DataBits = gate::TDataBits::db8BITS;
  c.HwFlow = gate::THwFlowControl::hfRTSCTS;
  c.SwFlow = gate::TSwFlowControl::sfNONE;
  c.Parity = gate::TParity::ptNONE;
  c.StopBits = gate::TStopBits::sb1BITS;
  (void)SetShortText(c.InitString, "ATX3");
  return c;
}

std::string ShortTextToString(const TShortText& text) {
  // A length byte above 50 can only come from a damaged block; reading on
  // would take bytes of the next field for characters.
  const std::size_t n = std::min<std::size_t>(text.Length, kShortTextMax);
  return std::string(text.Chars, n);
}

bool SetShortText(TShortText& text, std::string_view value) {
  if (value.size() > kShortTextMax) return false;
  text.Length = static_cast<std::uint8_t>(value.size());
  std::memset(text.Chars, 0, sizeof text.Chars);
  if (!value.empty()) std::memcpy(text.Chars, value.data(), value.size());
  return true;
}

std::string EncodeChannels(const TChannelList& channels) {
  const auto count = static_cast<std::int32_t>(channels.size());
  std::string out(4 + sizeof(TMdmChannelSettings) * channels.size(), '\0');
  std::memcpy(out.data(), &count, 4);
  if (!channels.empty()) std::memcpy(out.data() + 4, channels.data(), sizeof(TMdmChannelSettings) * channels.size());
  return out;
}

bool DecodeChannels(std::string_view part, TChannelList& channels) {
  if (part.size() < 4) return false;
  FreeChannels(channels);
  std::int32_t count = 0;
  std::memcpy(&count, part.data(), 4);
  // 64-bit arithmetic: 212 * count cannot overflow it for any 32-bit count.
  if (count < 0) return false;
  const std::uint64_t expected = 4 + std::uint64_t{sizeof(TMdmChannelSettings)} * static_cast<std::uint64_t>(count);
  if (expected != part.size()) return false;
  channels.resize(static_cast<std::size_t>(count));
  if (count > 0) std::memcpy(channels.data(), part.data() + 4, sizeof(TMdmChannelSettings) * channels.size());
  return true;
}

void FreeChannels(TChannelList& channels) {
  channels.clear();
  channels.shrink_to_fit();
}

std::int32_t CheckChannels(TChannelList& channels) {
  std::stable_sort(channels.begin(), channels.end(), [](const TMdmChannelSettings& a, const TMdmChannelSettings& b) {
    return static_cast<std::uint8_t>(a.PortNumber) < static_cast<std::uint8_t>(b.PortNumber);
  });
  for (auto& c : channels)
    c.HwFlow = c.SwFlow == gate::TSwFlowControl::sfNONE ? gate::THwFlowControl::hfRTSCTS : gate::THwFlowControl::hfNONE;
  for (std::size_t i = 0; i + 1 < channels.size(); ++i)
    if (channels[i].PortNumber == channels[i + 1].PortNumber) return static_cast<std::int32_t>(i);
  return -1;
}

}  // namespace kestrel::store
