// TReceiveHistory: what the receiving side of one gate manager remembers
// across connections, so that a sender that reconnects after a break resumes
// a packet where it stopped and a packet is handed to the core only once.
//
// A packet is known by its sender's client id and its reference (and its
// size, so that an unrelated packet that happens to share both is not taken
// for a repeat). The history keeps the last `history_entries` delivered
// packets and up to `partial_entries` partly received ones holding at most
// `partial_bytes` together (the packet being appended to is never evicted);
// the oldest go first. Thread-safe: every exchange process of the manager
// uses the one history.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>

#include "host/Message.h"
#include "kestrel/kestrel.h"

namespace kestrel::host {

struct TPacketKey {
  std::int32_t Sender = 0;
  TRefPack Ref{};
  auto Tie() const { return std::tie(Sender, Ref.Number, Ref.Date, Ref.Time); }
  bool operator<(const TPacketKey& other) const { return Tie() < other.Tie(); }
  bool operator==(const TPacketKey& other) const { return Tie() == other.Tie(); }
};

class TReceiveHistory {
 public:
  struct TLimits {
    std::uint32_t HistoryEntries = 4096;
    std::uint32_t PartialEntries = 16;
    std::uint64_t PartialBytes = 64ull * 1024 * 1024;
    std::uint32_t MaxPacketBytes = 256u * 1024 * 1024;
  };

  // What to do after a fragment. When Deliver is set the packet is complete,
  // Packet holds it, and the caller must hand it to the core and then call
  // Finish with the core's answer; Status and Position are then meaningless.
  struct TStep {
    TAckStatus Status = TAckStatus::Continue;
    std::uint32_t Position = 0;
    bool Deliver = false;
    bool Timeout = false;  // another process is still delivering this packet
    std::string Packet;
  };

  TReceiveHistory() = default;
  void SetLimits(const TLimits& limits);

  // Applies one fragment (`payload` at `offset` of a packet of `total` bytes;
  // the caller checked offset + size <= total). A fragment that does not
  // continue what is held changes nothing and answers where to go on. If
  // another process is delivering the same packet right now, waits up to
  // `busy_wait_ms` for its outcome (Timeout set when it did not come).
  TStep Accept(const TPacketKey& key, std::uint32_t total, std::uint32_t offset, std::string_view payload,
               std::uint32_t busy_wait_ms = 60000);

  // Records the outcome of a delivery that Accept asked for: a delivered
  // packet is remembered as such; a refused one is forgotten, so that a later
  // attempt delivers it afresh.
  void Finish(const TPacketKey& key, std::uint32_t total, bool delivered);

  // For tests and the monitor.
  bool WasDelivered(const TPacketKey& key, std::uint32_t total) const;
  std::size_t PartialCount() const;
  std::uint64_t PartialBytesHeld() const;

 private:
  struct TPartial {
    TPacketKey Key;
    std::uint32_t Total = 0;
    std::string Bytes;
  };
  using TPartialList = std::list<TPartial>;  // newest first

  void EvictPartials(const TPartialList::iterator& keep);
  void Remember(const TPacketKey& key, std::uint32_t total);

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  TLimits limits_;
  std::map<TPacketKey, std::uint32_t> delivered_;        // key -> total
  std::list<TPacketKey> delivered_order_;                // oldest first
  std::map<TPacketKey, std::uint32_t> delivering_;       // handed to a core right now
  TPartialList partials_;
  std::uint64_t partial_bytes_ = 0;
};

}  // namespace kestrel::host
