// The gate's settings block: the gate record TMdmGateSettings (104 bytes)
// followed by the channel part, a 32-bit count N and N channel records
// TMdmChannelSettings (212 bytes each), or nothing at all.
//
// Both records are packed little-endian byte images: a record is read from a
// block with memcpy and written back the same way, so its fields are exactly
// the stored bytes. The channel list codec below is shared by the settings
// parameter list and the settings dialog.
//
// Everything here is a pure function of its arguments: thread-safe, no I/O,
// no allocation beyond the returned values.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gate/common/MdmTypes.h"

namespace kestrel::store {

static_assert(std::endian::native == std::endian::little, "stored records are little-endian byte images");

inline constexpr std::size_t kShortTextMax = 50;  // characters of a short text

#pragma pack(push, 1)

// A short text: one length byte and up to 50 single-byte characters. The
// characters after the length are not significant.
struct TShortText {
  std::uint8_t Length;
  char Chars[kShortTextMax];
};

struct TMdmGateSettings {
  std::uint8_t Version;         // 1
  std::uint8_t SubVersion;      // 0
  std::uint8_t ToShowProgress;  // Boolean: the host shows its progress indicator
  std::uint8_t Reserved[101];
};

struct TMdmChannelSettings {
  std::uint8_t Version;     // 1 in a new record
  std::uint8_t SubVersion;  // 0 in a new record
  gate::TPortNumber PortNumber;
  gate::TBaudRate BaudRate;
  gate::TDataBits DataBits;
  gate::THwFlowControl HwFlow;  // derived from SwFlow whenever a list is stored
  gate::TSwFlowControl SwFlow;
  gate::TParity Parity;
  gate::TStopBits StopBits;
  TShortText InitString;  // the modem initialisation command
  TShortText Alias;       // the operator's name for the channel
  std::uint8_t Unused[101];
};

#pragma pack(pop)

static_assert(sizeof(TShortText) == 51);
static_assert(offsetof(TShortText, Length) == 0 && offsetof(TShortText, Chars) == 1);

static_assert(sizeof(TMdmGateSettings) == 104);
static_assert(offsetof(TMdmGateSettings, Version) == 0);
static_assert(offsetof(TMdmGateSettings, SubVersion) == 1);
static_assert(offsetof(TMdmGateSettings, ToShowProgress) == 2);
static_assert(offsetof(TMdmGateSettings, Reserved) == 3);

static_assert(sizeof(TMdmChannelSettings) == 212);
static_assert(offsetof(TMdmChannelSettings, Version) == 0);
static_assert(offsetof(TMdmChannelSettings, SubVersion) == 1);
static_assert(offsetof(TMdmChannelSettings, PortNumber) == 2);
static_assert(offsetof(TMdmChannelSettings, BaudRate) == 3);
static_assert(offsetof(TMdmChannelSettings, DataBits) == 4);
static_assert(offsetof(TMdmChannelSettings, HwFlow) == 5);
static_assert(offsetof(TMdmChannelSettings, SwFlow) == 6);
static_assert(offsetof(TMdmChannelSettings, Parity) == 7);
static_assert(offsetof(TMdmChannelSettings, StopBits) == 8);
static_assert(offsetof(TMdmChannelSettings, InitString) == 9);
static_assert(offsetof(TMdmChannelSettings, Alias) == 60);
static_assert(offsetof(TMdmChannelSettings, Unused) == 111);

// The default gate record: version 1.0, progress shown, reserved bytes zero.
TMdmGateSettings DefaultGateSettings();
// A new channel record: version 1.0, COM1, 56000 baud, 8 data bits, RTS/CTS,
// no software flow, no parity, one stop bit, init string "ATX3", no alias.
TMdmChannelSettings DefaultChannelSettings();

// The characters of a short text; a stored length above 50 counts as 50.
std::string ShortTextToString(const TShortText& text);
// Sets `text` to `value` (the bytes after it zero). Returns false and leaves
// `text` unchanged when `value` is longer than 50 characters.
[[nodiscard]] bool SetShortText(TShortText& text, std::string_view value);

// A channel list, in the order of the block (or of the dialog).
using TChannelList = std::vector<TMdmChannelSettings>;

// The channel part of a block: the 32-bit count, then every record's 212
// bytes in list order.
std::string EncodeChannels(const TChannelList& channels);

// Reads a channel part. Shorter than 4 bytes: false, `channels` untouched.
// Otherwise `channels` is emptied; a negative count or a length other than
// exactly 4 + 212 * count gives false (and the list stays empty); else the
// records are appended in block order and the result is true. Never reads
// outside `part`.
[[nodiscard]] bool DecodeChannels(std::string_view part, TChannelList& channels);

// Releases every record: the list becomes empty.
void FreeChannels(TChannelList& channels);

// Sorts the list by PortNumber (records on one port keep their order), sets
// each HwFlow from its SwFlow (sfNONE gives hfRTSCTS, anything else hfNONE)
// and returns the position of the first record whose PortNumber equals the
// next one's, or -1 when every port is different.
std::int32_t CheckChannels(TChannelList& channels);

}  // namespace kestrel::store
