// Simulated time.
//
// The pure parts of the simulator (the modem and the exchange) never read a
// clock: every operation that depends on time is given `now`, so tests drive
// them with a fake clock and the threaded runner with a monotonic one. Times
// are microseconds; only differences between them mean anything.
#pragma once

#include <cstdint>
#include <limits>

namespace kestrel::sim {

using TSimTime = std::int64_t;

// "No deadline": later than any time a simulation reaches.
inline constexpr TSimTime kNever = std::numeric_limits<TSimTime>::max();

constexpr TSimTime Millis(std::int64_t ms) { return ms * 1000; }
constexpr TSimTime Seconds(std::int64_t s) { return s * 1000000; }

}  // namespace kestrel::sim
