// Stored blocks for the dialog tests: built from records, and read back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "store/MdmAddress.h"
#include "store/MdmSettings.h"

namespace kestrel::ui::testing {

inline store::TMdmChannelSettings ChannelOn(int port, const std::string& alias = {}) {
  store::TMdmChannelSettings c = store::DefaultChannelSettings();
  c.PortNumber = static_cast<gate::TPortNumber>(port);
  (void)store::SetShortText(c.Alias, alias);
  return c;
}

inline std::string SettingsBlock(const store::TChannelList& channels, bool show_progress = true) {
  store::TMdmGateSettings gate = store::DefaultGateSettings();
  gate.ToShowProgress = show_progress ? 1 : 0;
  std::string block(sizeof gate, '\0');
  std::memcpy(block.data(), &gate, sizeof gate);
  return block + store::EncodeChannels(channels);
}

inline store::TMdmGateSettings GateOf(const std::string& block) {
  store::TMdmGateSettings gate{};
  std::memcpy(&gate, block.data(), sizeof gate);
  return gate;
}

inline store::TChannelList ChannelsOf(const std::string& block) {
  store::TChannelList channels;
  EXPECT_TRUE(store::DecodeChannels(std::string_view(block).substr(sizeof(store::TMdmGateSettings)), channels));
  return channels;
}

inline std::vector<int> PortsOf(const store::TChannelList& channels) {
  std::vector<int> ports;
  for (const auto& c : channels) ports.push_back(static_cast<int>(c.PortNumber));
  return ports;
}

inline std::string AddressBlock(const store::TMdmAddress& addr) {
  std::string block(sizeof addr, '\0');
  std::memcpy(block.data(), &addr, sizeof addr);
  return block;
}

inline std::string AddressBlock(const store::TMdmAddress& addr, const std::vector<std::string>& phones) {
  return AddressBlock(addr) + store::EncodePhones(phones);
}

inline store::TMdmAddress AddrOf(const std::string& block) {
  store::TMdmAddress addr{};
  std::memcpy(&addr, block.data(), sizeof addr);
  return addr;
}

inline std::vector<std::string> PhonesOf(const std::string& block) {
  std::vector<std::string> phones;
  EXPECT_TRUE(store::DecodePhones(std::string_view(block).substr(sizeof(store::TMdmAddress)), phones));
  return phones;
}

}  // namespace kestrel::ui::testing
