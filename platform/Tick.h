// The 32-bit millisecond tick counter and time-out arithmetic.
//
// Ticks wrap after about 49.7 days; every comparison goes through Elapsed(),
// which subtracts without sign, so a wrap between two readings is harmless.
#pragma once

#include <cstdint>

namespace kestrel::platform {

// Milliseconds since an arbitrary start, from a monotonic clock. Thread-safe.
std::uint32_t GetTickCount();

// Milliseconds from `since` to `now`, modulo 2^32.
constexpr std::uint32_t Elapsed(std::uint32_t since, std::uint32_t now) { return now - since; }

// Milliseconds left until `limit` milliseconds after `since` have passed, or 0.
constexpr std::uint32_t Remaining(std::uint32_t since, std::uint32_t now, std::uint32_t limit) {
  const std::uint32_t e = Elapsed(since, now);
  return e >= limit ? 0 : limit - e;
}

// A deadline `limit_ms` milliseconds after it was made, on the tick counter.
class TDeadline {
 public:
  explicit TDeadline(std::uint32_t limit_ms) : start_(GetTickCount()), limit_(limit_ms) {}
  // Milliseconds left, 0 once the deadline passed.
  std::uint32_t Left() const { return Remaining(start_, GetTickCount(), limit_); }
  // Left() as the int a system wait takes (at most 2^31 - 1).
  int LeftForWait() const {
    const std::uint32_t left = Left();
    return left > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(left);
  }
  bool Passed() const { return Left() == 0; }

 private:
  std::uint32_t start_;
  std::uint32_t limit_;
};

}  // namespace kestrel::platform
