// The gate settings block as the kestrel program builds and shows it.
//
// The block is made the way a host makes it: from named parameters
// ("ToShowProgress", then per channel n "PortNumber"n, "BaudRate"n,
// "DataBits"n, "SwFlow"n, "Parity"n, "StopBits"n, "InitString"n, "Alias"n)
// converted by the gate's settings parameter list, and checked by reading it
// back. Editing in the gate's own dialog goes through EditGateSetting and
// GetGateSetting.
//
// Channels are given as text, one per channel:
//   port=1,baud=57600,data=8,parity=none,stop=1,flow=hardware,init=ATX3,alias=Main
// port is required (1..16 or COM1..COM16); the other keys default to the
// channel already on that port, else to a new channel (56000 baud, 8 data
// bits, no parity, 1 stop bit, hardware flow, "ATX3", no alias). parity is
// none, odd, even, mark or space; stop 1, 1.5 or 2; flow hardware (RTS/CTS)
// or software (XON/XOFF). init and alias may hold commas; a comma starts a
// new key when lower-case letters follow it up to '=', ',' or the end.
//
// Pure functions but EditSettings (main thread, opens a dialog).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/host/GateLibrary.h"
#include "tools/kestrel/Params.h"

namespace kestrel::app {

struct TChannel {
  std::uint8_t port = 1;       // 1..16
  std::uint8_t baud = 11;      // TBaudRate ordinal
  std::uint8_t data_bits = 3;  // TDataBits ordinal
  std::uint8_t sw_flow = 0;    // TSwFlowControl ordinal
  std::uint8_t parity = 0;     // TParity ordinal
  std::uint8_t stop_bits = 0;  // TStopBits ordinal
  std::string init;            // Windows-1251
  std::string alias;           // Windows-1251
};

struct TSettings {
  bool show_progress = true;
  std::vector<TChannel> channels;  // in port order once built
};

// The parameters of a block, as the gate's settings list gives them. Throws
// EToolError when the block cannot be read.
TParams SettingsParams(const std::string& block);
// The settings of a block (empty: the default settings, no channel). Throws
// EToolError when the block cannot be read.
TSettings ReadSettings(const std::string& block);
// The block of `settings`, made from its parameters and read back to check
// it. Throws EToolError with the gate's reason when it is refused.
std::string BuildSettings(const TSettings& settings);

// Applies one channel text (above) to `settings`: changes the channel on its
// port or adds one. Throws EToolError naming the key or value that is wrong.
void ApplyChannelText(TSettings& settings, const std::string& text);
// Removes the channel on `port`; false when there is none.
bool RemoveChannel(TSettings& settings, int port);

// "COM1: 57600 baud, 8 data bits, no parity, 1 stop bit, hardware flow, init \"ATX3\", alias \"Main\"" (UTF-8).
std::string ChannelText(const TChannel& channel);

// Opens the gate's settings dialog on `block`; the new block when the
// operator confirmed a change.
std::optional<std::string> EditSettings(TGateLibrary& gate, const std::string& block);

}  // namespace kestrel::app
