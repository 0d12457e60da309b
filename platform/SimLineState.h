// The state of one sim line, shared by its far end (TSimLine) and its gate end
// (the sim backend of the port layer). Internal to platform/.
//
// Two directions, each a source queue that crosses the line into a
// destination queue:
//   far -> gate: transit (far_to_gate_capacity)  ->  gate receive queue (in_size)
//   gate -> far: gate transmit queue (out_size)  ->  far receive queue (gate_to_far_capacity)
// Without a line rate bytes cross at once, as far as the destination has room.
// With one, a byte needs 10 bits of line time; crossing is computed lazily
// from the clock whenever either end looks, and waits sleep until the next
// byte is due. One mutex guards everything; one condition variable wakes
// every waiter of either end.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Port.h"
#include "platform/SimLine.h"

namespace kestrel::platform {

class TSimLineState {
 public:
  using TClock = std::chrono::steady_clock;

  explicit TSimLineState(const TSimLineOptions& options);

  // Far end (see SimLine.h for the contract).
  std::size_t FarWrite(const void* data, std::size_t size);
  std::size_t FarRead(void* data, std::size_t size);
  std::size_t FarPending();
  void SetFarLine(std::uint32_t modem_bit, bool on);
  bool GateIsOpen() const;
  bool Dtr() const;
  bool Rts() const;
  bool WaitGateActivity(std::uint32_t timeout_ms);
  void SetOnGateActivity(std::function<void()> callback);
  // The far end object is gone: every modem line drops, the gate's writes
  // are discarded from now on.
  void FarGone();

  // Gate end. GateOpen returns 0 or kErrorBusy (another gate end is open).
  std::uint32_t GateOpen();
  void GateClose();
  void GateAbort();
  // Ends the receive wait under way, or the next one.
  void GateWakeReceive();
  void GateSetLines(bool dtr, bool rts);
  void GateSetupComm(std::uint32_t in_size, std::uint32_t out_size);
  void GatePurge(std::uint32_t flags);
  TPortQueueStat GateCounts();
  std::uint32_t GateModemStatus();
  std::uint32_t GateRead(void* data, std::uint32_t size);
  // Takes what fits; when nothing fits waits up to `timeout_ms` (0xFFFFFFFF:
  // no limit) for room. Returns the count taken.
  std::uint32_t GateWrite(const void* data, std::uint32_t size, std::uint32_t timeout_ms);
  TPortWait GateWaitReceive(std::uint32_t timeout_ms, const std::uint32_t* lines_seen);
  TPortWait GateWaitTransmit(std::uint32_t timeout_ms);

 private:
  struct TDirection {
    std::deque<char> source;
    std::deque<char> dest;
    std::size_t source_capacity = 0;
    std::size_t dest_capacity = 0;
    TClock::time_point line_free_at{};
  };

  using TLock = std::unique_lock<std::mutex>;

  // Moves what has crossed the line by `now`; returns the bytes moved.
  std::size_t Cross(TDirection& d, TClock::time_point now);
  void Advance(TClock::time_point now);
  TClock::time_point NextArrival(const TDirection& d) const;
  std::uint32_t GateLines() const { return far_alive_ ? far_lines_ : 0; }
  void Enqueued(TDirection& d, TClock::time_point now, bool was_empty);
  // Records a gate-side change, wakes the waiters, unlocks and calls the
  // far end's callback outside the lock.
  void GateChanged(TLock& lock);
  // Waits until `deadline` or the next byte is due, whichever comes first.
  void WaitUntil(TLock& lock, TClock::time_point deadline);
  static TClock::time_point DeadlineOf(TClock::time_point now, std::uint32_t timeout_ms);

  const std::chrono::nanoseconds byte_time_;  // zero: no line rate
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  TDirection to_gate_;
  TDirection to_far_;
  std::uint32_t far_lines_ = kModemCtsOn | kModemDsrOn;
  bool far_alive_ = true;
  bool gate_open_ = false;
  bool gate_aborted_ = false;
  bool gate_receive_woken_ = false;  // a receive wake not yet taken by a wait
  bool dtr_ = false;
  bool rts_ = false;
  std::uint64_t abort_seq_ = 0;     // purges with an abort flag
  std::uint64_t activity_seq_ = 0;  // gate-side changes and arrivals at the far end
  std::uint64_t activity_seen_ = 0;
  std::shared_ptr<const std::function<void()>> on_activity_;
};

// Opens the gate end of the live line `name`: null with kErrorFileNotFound
// when there is none, with kErrorBusy when its gate end is already open.
std::shared_ptr<TSimLineState> OpenSimLineState(const std::string& name, std::uint32_t& error);

}  // namespace kestrel::platform
