// Address and settings blocks for tests, built from the stored records.
// Pure functions of the store layer.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "store/MdmAddress.h"
#include "store/MdmSettings.h"

namespace kestrel::testing {

// The default address with short waits (data 10 s, restore 1 s, dial 10 s)
// and the given COM ports allowed.
store::TMdmAddress QuickAddress(std::initializer_list<int> ports);
std::string RemoteBlock(const store::TMdmAddress& addr, const std::vector<std::string>& phones);
std::string OwnBlock(const store::TMdmAddress& addr);  // the 168 bytes alone
store::TMdmChannelSettings ChannelOn(int port, const std::string& init = "ATX3");
std::string SettingsBlock(const std::vector<store::TMdmChannelSettings>& channels, bool show_progress = false);

}  // namespace kestrel::testing
