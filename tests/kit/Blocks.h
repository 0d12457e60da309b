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
store::TMdmAddress QuickAddress(std::initializer_list<int> ports = {}, std::uint32_t dial_ms = 10000,
                                std::uint32_t restore_ms = 1000);
std::string RemoteBlock(const store::TMdmAddress& addr, const std::vector<std::string>& phones);
std::string OwnBlock(const store::TMdmAddress& addr);  // the 168 bytes alone
// COM `port` at 115 200 bit/s with `init` and the alias "line<port>".
store::TMdmChannelSettings ChannelOn(int port, const std::string& init = "ATX3");
std::string SettingsBlock(const std::vector<store::TMdmChannelSettings>& channels, bool show_progress = false);

// The bytes of packet `number`: a pseudo-random stream seeded by the number,
// so that two packets of one size differ and a misplaced byte shows.
std::string PacketBytes(std::int32_t number, std::size_t size);

}  // namespace kestrel::testing
