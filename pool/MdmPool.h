// TMdmPoolManager: the gate's sixteen modem channels, one per serial port
// COM1..COM16 (channel index = port number - 1).
//
// The gate manager builds the pool, configures it from the stored gate
// settings (Init) and destroys it when the gate stops. Exchangers ask it for
// one channel to dial out on, listeners for every channel they may answer
// calls on; both give channels back through it, and a channel goes back only
// to the owner that holds it. What happens on the line is the channel's
// business (modem/MdmMain.h).
//
// Owners are the 32-bit identities of exchangers and listeners (0 = none).
//
// Threads: the pool takes no lock of its own. The getters and releases are
// called from exchange threads, the listener's thread and the core's; the
// channels decide races between callers under their own locks. Init and the
// destructor must not run while exchanges use the channels.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gate/common/MdmTypes.h"
#include "modem/MdmMain.h"
#include "store/MdmAddress.h"

namespace kestrel::pool {

inline constexpr std::int32_t kChannelCount = gate::kPortCount;

// Which channels a listener got: entry i for channel i (port COM(i+1)).
using TChannelFlags = std::array<bool, kChannelCount>;

class TMdmPoolManager {
 public:
  // Creates the sixteen channels, each set to its port "\\.\COMn"; none is
  // opened.
  TMdmPoolManager();
  // Closes every channel in index order, then destroys them from the last to
  // the first.
  ~TMdmPoolManager();
  TMdmPoolManager(const TMdmPoolManager&) = delete;
  TMdmPoolManager& operator=(const TMdmPoolManager&) = delete;

  // Configures the channels named in a settings block (the 104-byte gate
  // record, a 32-bit count N, N channel records of 212 bytes) and tests each
  // modem; a failed test leaves the channel configured. Size 0: true, nothing
  // touched. A malformed channel part (fewer than 4 bytes after the record, a
  // length other than 4 + 212 * N, a negative size or a null block with a
  // positive size): false, nothing touched. A record whose PortNumber is
  // outside 1..16 throws std::out_of_range ("List index out of bounds (n)")
  // after the records before it were applied. Blocks while the modems are
  // tested (a few seconds per configured channel at most).
  [[nodiscard]] bool Init(const void* sett, std::int32_t size);

  // Channels whose settings were applied.
  std::int32_t GetNumberOfChannelsInitialized() const;

  // Takes the lowest allowed idle channel, else the lowest allowed listening
  // one, for `owner`, and dials `phones` on it. True with `channel_index` set
  // when a number answered; false with -1 and the reason in `err` otherwise
  // (the channel is given back at once). Never throws. Blocks for the dial:
  // up to the address's DialTimeOut per number plus the pauses between them,
  // less when the gate stops.
  [[nodiscard]] bool GetChannelFromSetForSending(const store::TMdmAddress& addr, const std::vector<std::string>& phones,
                                                 std::int32_t& channel_index, modem::TOwnerId owner,
                                                 modem::TChannelEvent on_lose_channel, std::string& err);

  // Puts every channel that `addr` allows into the listening role for
  // `owner`; got[i] tells whether channel i accepted (entries of ports not
  // allowed are left as they were). True when at least one entry is true;
  // `err` may then still hold the text of a channel that refused. Never
  // throws. Blocks while the modems are armed.
  [[nodiscard]] bool GetChannelsFromSetForListening(const store::TMdmAddress& addr, TChannelFlags& got,
                                                    modem::TOwnerId owner, modem::TChannelEvent on_two_mdm_connected,
                                                    modem::TChannelEvent on_lose_channel, std::string& err);

  // Gives channel `channel_index` back from the sending role, only when it is
  // sending for `owner`; a stale or foreign release, or an index outside
  // 0..15, changes nothing. Blocks while the channel hangs up and, when it
  // also listens, re-arms its modem.
  void ReleaseSendingChannelByIndOwner(std::int32_t channel_index, modem::TOwnerId owner);
  // Ends the listening role of every channel that listens for `owner`.
  // Touches no other channel: never waits for a dial or a frame wait on a
  // channel that `owner` does not listen on.
  void ReleaseListeningChannelsByOwner(modem::TOwnerId owner);

  // The channel with index i; std::out_of_range ("List index out of bounds
  // (i)") outside 0..15. The reference lives as long as the pool.
  modem::TMdmDriver& Channels(std::int32_t index);
  const modem::TMdmDriver& Channels(std::int32_t index) const;

  // The index of `channel` in this pool, or -1. Thread-safe, also while the
  // pool is being destroyed.
  std::int32_t IndexOf(const void* channel) const;

  // Closes every channel's port (the first step of the destructor).
  void DisconnectAll();

 private:
  std::array<std::unique_ptr<modem::TMdmDriver>, kChannelCount> channels_;
  // The channels' addresses for IndexOf, readable from any channel thread
  // while the owning pointers above change during destruction.
  std::array<std::atomic<const void*>, kChannelCount> identities_{};
};

}  // namespace kestrel::pool
