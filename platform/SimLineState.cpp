#include "platform/SimLineState.h"

#include <algorithm>
#include <utility>

namespace kestrel::platform {
namespace {

constexpr std::uint32_t kDefaultQueueSize = 4096;
constexpr std::uint32_t kNoLimit = 0xFFFFFFFFu;

std::chrono::nanoseconds ByteTime(std::uint32_t bits_per_second) {
  if (bits_per_second == 0) return std::chrono::nanoseconds::zero();
  // 10 bits a byte: start, 8 data, stop. Rounded up so that the line is never
  // faster than asked.
  return std::chrono::nanoseconds((10'000'000'000ull + bits_per_second - 1) / bits_per_second);
}

std::size_t Take(std::deque<char>& from, void* data, std::size_t size) {
  const std::size_t n = std::min(size, from.size());
  std::copy_n(from.begin(), n, static_cast<char*>(data));
  from.erase(from.begin(), from.begin() + static_cast<std::ptrdiff_t>(n));
  return n;
}

}  // namespace

TSimLineState::TSimLineState(const TSimLineOptions& options) : byte_time_(ByteTime(options.bits_per_second)) {
  to_gate_.source_capacity = options.far_to_gate_capacity;
  to_gate_.dest_capacity = kDefaultQueueSize;
  to_far_.source_capacity = kDefaultQueueSize;
  to_far_.dest_capacity = options.gate_to_far_capacity;
}

TSimLineState::TClock::time_point TSimLineState::DeadlineOf(TClock::time_point now, std::uint32_t timeout_ms) {
  if (timeout_ms == kNoLimit) return TClock::time_point::max();
  return now + std::chrono::milliseconds(timeout_ms);
}

std::size_t TSimLineState::Cross(TDirection& d, TClock::time_point now) {
  if (d.source.empty()) return 0;
  const std::size_t room = d.dest.size() < d.dest_capacity ? d.dest_capacity - d.dest.size() : 0;
  if (room == 0) {
    // The line stalls while the receiver is full; the next byte needs its
    // full line time from the moment room appears.
    d.line_free_at = std::max(d.line_free_at, now);
    return 0;
  }
  std::size_t n = std::min(d.source.size(), room);
  if (byte_time_.count() != 0) {
    if (now < d.line_free_at + byte_time_) return 0;
    const auto due = static_cast<std::size_t>((now - d.line_free_at) / byte_time_);
    n = std::min(n, due);
    d.line_free_at += byte_time_ * static_cast<std::int64_t>(n);
  }
  d.dest.insert(d.dest.end(), d.source.begin(), d.source.begin() + static_cast<std::ptrdiff_t>(n));
  d.source.erase(d.source.begin(), d.source.begin() + static_cast<std::ptrdiff_t>(n));
  return n;
}

void TSimLineState::Advance(TClock::time_point now) {
  // Bytes toward the gate wait in transit while no gate end is open.
  if (gate_open_) Cross(to_gate_, now);
  if (Cross(to_far_, now) != 0) {
    ++activity_seq_;
    changed_.notify_all();
  }
}

TSimLineState::TClock::time_point TSimLineState::NextArrival(const TDirection& d) const {
  if (byte_time_.count() == 0 || d.source.empty() || d.dest.size() >= d.dest_capacity)
    return TClock::time_point::max();
  return d.line_free_at + byte_time_;
}

void TSimLineState::Enqueued(TDirection& d, TClock::time_point now, bool was_empty) {
  // An idle line starts sending the first byte now, not when it last fell idle.
  if (was_empty) d.line_free_at = std::max(d.line_free_at, now);
}

void TSimLineState::WaitUntil(TLock& lock, TClock::time_point deadline) {
  TClock::time_point until = deadline;
  if (gate_open_) until = std::min(until, NextArrival(to_gate_));
  until = std::min(until, NextArrival(to_far_));
  if (until == TClock::time_point::max())
    changed_.wait(lock);
  else
    changed_.wait_until(lock, until);
}

void TSimLineState::GateChanged(TLock& lock) {
  ++activity_seq_;
  changed_.notify_all();
  const auto callback = on_activity_;
  lock.unlock();
  if (callback && *callback) (*callback)();
}

// ---- far end ----

std::size_t TSimLineState::FarWrite(const void* data, std::size_t size) {
  if (size == 0 || data == nullptr) return 0;
  std::lock_guard lock(mutex_);
  const auto now = TClock::now();
  Advance(now);
  const char* bytes = static_cast<const char*>(data);
  std::size_t taken = 0;
  // Transit is filled, crosses as far as the gate's queue has room (at once
  // without a line rate), and is filled again.
  while (taken < size) {
    auto& q = to_gate_;
    const std::size_t room = q.source.size() < q.source_capacity ? q.source_capacity - q.source.size() : 0;
    const std::size_t n = std::min(size - taken, room);
    if (n == 0) break;
    const bool was_empty = q.source.empty();
    q.source.insert(q.source.end(), bytes + taken, bytes + taken + n);
    taken += n;
    Enqueued(q, now, was_empty);
    if (!gate_open_ || Cross(q, now) == 0) break;
  }
  if (taken != 0) changed_.notify_all();
  return taken;
}

std::size_t TSimLineState::FarRead(void* data, std::size_t size) {
  if (size == 0 || data == nullptr) return 0;
  std::lock_guard lock(mutex_);
  const auto now = TClock::now();
  Advance(now);
  const std::size_t n = Take(to_far_.dest, data, size);
  if (n != 0) {
    Advance(now);  // room for what the gate has queued
    changed_.notify_all();
  }
  return n;
}

std::size_t TSimLineState::FarPending() {
  std::lock_guard lock(mutex_);
  Advance(TClock::now());
  return to_far_.dest.size();
}

void TSimLineState::SetFarLine(std::uint32_t modem_bit, bool on) {
  std::lock_guard lock(mutex_);
  const std::uint32_t lines = on ? (far_lines_ | modem_bit) : (far_lines_ & ~modem_bit);
  if (lines == far_lines_) return;
  far_lines_ = lines;
  changed_.notify_all();
}

bool TSimLineState::GateIsOpen() const {
  std::lock_guard lock(mutex_);
  return gate_open_;
}

bool TSimLineState::Dtr() const {
  std::lock_guard lock(mutex_);
  return dtr_;
}

bool TSimLineState::Rts() const {
  std::lock_guard lock(mutex_);
  return rts_;
}

bool TSimLineState::WaitGateActivity(std::uint32_t timeout_ms) {
  TLock lock(mutex_);
  const auto deadline = DeadlineOf(TClock::now(), timeout_ms);
  for (;;) {
    const auto now = TClock::now();
    Advance(now);
    if (activity_seq_ != activity_seen_) {
      activity_seen_ = activity_seq_;
      return true;
    }
    if (now >= deadline) return false;
    WaitUntil(lock, deadline);
  }
}

void TSimLineState::SetOnGateActivity(std::function<void()> callback) {
  std::lock_guard lock(mutex_);
  if (callback)
    on_activity_ = std::make_shared<const std::function<void()>>(std::move(callback));
  else
    on_activity_.reset();
}

void TSimLineState::FarGone() {
  std::lock_guard lock(mutex_);
  far_alive_ = false;
  to_gate_.source.clear();
  to_far_.source.clear();
  to_far_.dest.clear();
  on_activity_.reset();
  changed_.notify_all();
}

// ---- gate end ----

std::uint32_t TSimLineState::GateOpen() {
  TLock lock(mutex_);
  if (gate_open_) return kErrorBusy;
  if (!far_alive_) return kErrorFileNotFound;
  gate_open_ = true;
  gate_aborted_ = false;
  to_gate_.dest_capacity = kDefaultQueueSize;
  to_far_.source_capacity = kDefaultQueueSize;
  Enqueued(to_gate_, TClock::now(), true);
  Advance(TClock::now());
  GateChanged(lock);
  return 0;
}

void TSimLineState::GateClose() {
  TLock lock(mutex_);
  if (!gate_open_) return;
  // A closed port's queues are gone; DTR and RTS drop with it.
  gate_open_ = false;
  dtr_ = rts_ = false;
  to_gate_.dest.clear();
  to_far_.source.clear();
  GateChanged(lock);
}

void TSimLineState::GateAbort() {
  std::lock_guard lock(mutex_);
  gate_aborted_ = true;
  changed_.notify_all();
}

void TSimLineState::GateWakeReceive() {
  std::lock_guard lock(mutex_);
  gate_receive_woken_ = true;
  changed_.notify_all();
}

void TSimLineState::GateSetLines(bool dtr, bool rts) {
  TLock lock(mutex_);
  if (dtr == dtr_ && rts == rts_) return;
  dtr_ = dtr;
  rts_ = rts;
  GateChanged(lock);
}

void TSimLineState::GateSetupComm(std::uint32_t in_size, std::uint32_t out_size) {
  std::lock_guard lock(mutex_);
  // A smaller queue keeps the bytes it already holds: nothing is lost, and
  // no new ones arrive until it has drained below the new size.
  to_gate_.dest_capacity = in_size;
  to_far_.source_capacity = out_size;
  Advance(TClock::now());
  changed_.notify_all();
}

void TSimLineState::GatePurge(std::uint32_t flags) {
  TLock lock(mutex_);
  if ((flags & kPurgeRxClear) != 0) to_gate_.dest.clear();
  if ((flags & kPurgeTxClear) != 0) to_far_.source.clear();
  if ((flags & (kPurgeRxAbort | kPurgeTxAbort)) != 0) ++abort_seq_;
  Advance(TClock::now());
  GateChanged(lock);
}

TPortQueueStat TSimLineState::GateCounts() {
  std::lock_guard lock(mutex_);
  Advance(TClock::now());
  TPortQueueStat stat;
  stat.in_queue = static_cast<std::uint32_t>(to_gate_.dest.size());
  stat.out_queue = static_cast<std::uint32_t>(to_far_.source.size());
  return stat;
}

std::uint32_t TSimLineState::GateModemStatus() {
  std::lock_guard lock(mutex_);
  return GateLines();
}

std::uint32_t TSimLineState::GateRead(void* data, std::uint32_t size) {
  TLock lock(mutex_);
  const auto now = TClock::now();
  Advance(now);
  const auto n = static_cast<std::uint32_t>(Take(to_gate_.dest, data, size));
  if (n == 0) return 0;
  Advance(now);
  GateChanged(lock);
  return n;
}

std::uint32_t TSimLineState::GateWrite(const void* data, std::uint32_t size, std::uint32_t timeout_ms) {
  TLock lock(mutex_);
  const auto deadline = DeadlineOf(TClock::now(), timeout_ms);
  const std::uint64_t abort_seen = abort_seq_;
  for (;;) {
    const auto now = TClock::now();
    if (!far_alive_) {
      // Nobody listens any more: the bytes go nowhere, as on an unplugged line.
      GateChanged(lock);
      return size;
    }
    Advance(now);
    auto& q = to_far_;
    const std::size_t room = q.source.size() < q.source_capacity ? q.source_capacity - q.source.size() : 0;
    if (room != 0) {
      const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(size, room));
      const bool was_empty = q.source.empty();
      const char* bytes = static_cast<const char*>(data);
      q.source.insert(q.source.end(), bytes, bytes + n);
      Enqueued(q, now, was_empty);
      Advance(now);
      GateChanged(lock);
      return n;
    }
    if (gate_aborted_ || abort_seq_ != abort_seen || now >= deadline) return 0;
    WaitUntil(lock, deadline);
  }
}

TPortWait TSimLineState::GateWaitReceive(std::uint32_t timeout_ms, const std::uint32_t* lines_seen) {
  TLock lock(mutex_);
  const auto deadline = DeadlineOf(TClock::now(), timeout_ms);
  const std::uint64_t abort_seen = abort_seq_;
  for (;;) {
    const auto now = TClock::now();
    Advance(now);
    if (!to_gate_.dest.empty()) return TPortWait::kReady;
    if (lines_seen != nullptr && GateLines() != *lines_seen) return TPortWait::kLineChange;
    if (gate_aborted_ || abort_seq_ != abort_seen || std::exchange(gate_receive_woken_, false))
      return TPortWait::kAborted;
    if (now >= deadline) return TPortWait::kTimeout;
    WaitUntil(lock, deadline);
  }
}

TPortWait TSimLineState::GateWaitTransmit(std::uint32_t timeout_ms) {
  TLock lock(mutex_);
  const auto deadline = DeadlineOf(TClock::now(), timeout_ms);
  const std::uint64_t abort_seen = abort_seq_;
  for (;;) {
    const auto now = TClock::now();
    Advance(now);
    if (!far_alive_ || to_far_.source.size() < to_far_.source_capacity) return TPortWait::kReady;
    if (gate_aborted_ || abort_seq_ != abort_seen) return TPortWait::kAborted;
    if (now >= deadline) return TPortWait::kTimeout;
    WaitUntil(lock, deadline);
  }
}

}  // namespace kestrel::platform
