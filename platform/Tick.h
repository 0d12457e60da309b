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

}  // namespace kestrel::platform
