// Faults the simulator can inject.
//
// Modem faults belong to one modem. Line faults belong to a modem (then they
// apply to every call it takes part in) or to one call; a call combines the
// faults of both its modems and its own: the higher rate and the earlier drop
// win.
#pragma once

#include <cstdint>

namespace kestrel::sim {

struct TModemFaults {
  bool dead = false;        // silent: says nothing, executes nothing, answers no call
  bool echo_stuck = false;  // echoes command characters whatever E says
  // When chunk_size is above 0, everything the modem says in command mode
  // (results, echo, information) leaves in pieces of at most chunk_size bytes
  // with chunk_delay_ms between them. Received data is not affected.
  std::uint32_t chunk_size = 0;
  std::uint32_t chunk_delay_ms = 0;
};

struct TLineFaults {
  double bit_error_rate = 0;  // probability that a data bit arrives flipped
  double loss_rate = 0;       // probability that a byte is lost (it still takes its time on the line)
  std::uint64_t drop_after_bytes = 0;  // the carrier drops once this many bytes crossed the call; 0: never
  std::uint32_t drop_after_ms = 0;     // the carrier drops this long after CONNECT; 0: never

  bool Any() const { return bit_error_rate > 0 || loss_rate > 0 || drop_after_bytes > 0 || drop_after_ms > 0; }
};

constexpr TLineFaults Combine(const TLineFaults& a, const TLineFaults& b) {
  auto earliest = [](auto x, auto y) { return x == 0 ? y : y == 0 ? x : (x < y ? x : y); };
  TLineFaults r;
  r.bit_error_rate = a.bit_error_rate > b.bit_error_rate ? a.bit_error_rate : b.bit_error_rate;
  r.loss_rate = a.loss_rate > b.loss_rate ? a.loss_rate : b.loss_rate;
  r.drop_after_bytes = earliest(a.drop_after_bytes, b.drop_after_bytes);
  r.drop_after_ms = earliest(a.drop_after_ms, b.drop_after_ms);
  return r;
}

}  // namespace kestrel::sim
