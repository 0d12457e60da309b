// DecodeChannels over any bytes: never reads outside them; what it accepts
// encodes back byte for byte, and CheckChannels copes with any content.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/MdmSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::store;
  const std::string_view part(reinterpret_cast<const char*>(data), size);
  TChannelList channels{DefaultChannelSettings()};
  if (!DecodeChannels(part, channels)) {
    if (size >= 4 && !channels.empty()) std::abort();
    return 0;
  }
  if (EncodeChannels(channels) != part) std::abort();
  for (const auto& c : channels)
    if (ShortTextToString(c.InitString).size() > kShortTextMax || ShortTextToString(c.Alias).size() > kShortTextMax)
      std::abort();
  const std::int32_t dup = CheckChannels(channels);
  if (dup < -1 || dup >= static_cast<std::int32_t>(channels.size())) std::abort();
  for (std::size_t i = 0; i + 1 < channels.size(); ++i)
    if (channels[i].PortNumber > channels[i + 1].PortNumber) std::abort();
  return 0;
}
