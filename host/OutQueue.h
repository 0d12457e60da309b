// TOutQueue: the packets a transmit process has accepted and not yet started
// to send, and the stop request of that process.
//
// Every packet leaves the queue exactly once: taken by the process's thread
// (TakeNext) to be sent, or handed back as a whole by Drain / RequestStop to
// be reported failed; after RequestStop no packet enters any more. Thread-safe: the core's threads push and stop, the
// process's own thread waits and takes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kestrel/kestrel.h"

namespace kestrel::host {

// One packet of the core: its reference and a copy of its bytes.
struct TOutPacket {
  TRefPack Ref{};
  std::string Data;
};

class TOutQueue {
 public:
  enum class TWake { Packet, Stop, Timeout };

  // Appends a packet and wakes the waiting thread. False (and the packet is
  // not taken) once a stop was requested: nobody would send it any more.
  [[nodiscard]] bool Push(TOutPacket&& packet);
  // Asks the process to end: wakes every wait for good, refuses later pushes,
  // and returns the queued packets (the caller reports them).
  std::vector<TOutPacket> RequestStop();
  bool StopRequested() const;

  // Blocks until a packet is queued, a stop is requested or `timeout_ms` have
  // passed; a stop wins over a packet.
  TWake WaitForPacket(std::uint32_t timeout_ms);
  // Blocks until a stop is requested or `timeout_ms` have passed; returns
  // whether a stop was requested.
  bool WaitForStop(std::uint32_t timeout_ms);

  // The oldest packet, removed from the queue; nothing when empty.
  std::optional<TOutPacket> TakeNext();
  // Every queued packet, removed from the queue.
  std::vector<TOutPacket> Drain();
  std::size_t Size() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<TOutPacket> packets_;
  bool stop_ = false;
};

}  // namespace kestrel::host
