// One direction of a connected call.
//
// Bytes leave the sender at the line rate, 10 bits a byte (start bit, 8 data
// bits, stop bit), one after another, and reach the receiver `latency` after
// their last bit left. The schedule is kept exactly (no rounding drift over a
// long transfer). Faults may flip data bits or lose whole bytes on the way; a
// lost byte still takes its time on the line.
//
// The wire holds at most the bytes of 100 ms plus the latency; Room() says
// how many more it takes now, so that a sender that outpaces the line is held
// back (as hardware flow control would) instead of queueing without bound.
//
// Not thread-safe; the exchange owns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <string_view>

#include "sim/SimTime.h"

namespace kestrel::sim {

class TWire {
 public:
  TWire(std::uint32_t bits_per_second, TSimTime latency, std::uint64_t seed);

  void SetFaults(double bit_error_rate, double loss_rate);

  std::size_t Room() const;
  // Puts bytes on the line; their transmission starts no earlier than `now`.
  // Bytes beyond Room() are still taken (the caller checks Room first).
  void Send(TSimTime now, std::string_view bytes);
  // Appends to `out` up to `max` bytes that have arrived by `now`; returns the count.
  std::size_t Receive(TSimTime now, std::size_t max, std::string& out);

  bool Empty() const { return queue_.empty(); }
  // When the oldest byte on the line arrives; kNever when the line is empty.
  TSimTime NextArrival() const { return queue_.empty() ? kNever : queue_.front().at; }
  // When the newest byte on the line arrives; kNever when the line is empty.
  TSimTime LastArrival() const { return queue_.empty() ? kNever : queue_.back().at; }
  std::uint64_t BytesSent() const { return sent_; }
  std::uint32_t Rate() const { return rate_; }

 private:
  struct TByte {
    TSimTime at;
    char value;
  };

  std::uint32_t rate_;
  TSimTime latency_;
  std::size_t capacity_;
  std::deque<TByte> queue_;
  TSimTime anchor_ = 0;           // when the current run of back-to-back bytes began
  std::uint64_t run_bytes_ = 0;   // bytes sent in that run
  TSimTime free_at_ = 0;          // when the line finishes the last byte sent
  std::uint64_t sent_ = 0;
  std::mt19937_64 random_;
  double bit_error_rate_ = 0;
  double loss_rate_ = 0;
};

}  // namespace kestrel::sim
