// Drives an exchange of three modems with a script read from the input:
// each step is a header byte, kind in the top three bits, argument in the
// low five:
//   0..2  the next arg+1 bytes are typed on that modem's terminal
//   3     (arg+1) * 40 ms pass
//   4     DTR of modem arg%3 flips
//   5     modem arg%3 gets the modem faults in the next byte's bits
//   6     modem arg%3 loses or regains its line, or its busy mark
//   7     modem arg%3 gets line faults from the next byte
// Besides "no crash, no sanitizer finding", it checks the promise the
// threaded runner relies on: once everything due at `now` was done and every
// terminal has read its output, nothing is due at `now` any more (otherwise
// the runner would spin).
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "sim/Exchange.h"

using namespace kestrel::sim;

namespace {

void Settle(TExchange& ex, TSimTime now) {
  for (int pass = 0; pass < 2; ++pass) {
    ex.Advance(now);
    for (TModemId id = 1; id <= ex.ModemCount(); ++id) ex.Modem(id).TakeToDte(now);
  }
  ex.Advance(now);
  if (ex.NextDeadline() <= now) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TExchange ex({.latency_ms = 5, .dial_ms = 50, .handshake_ms = 80, .ring_on_ms = 200, .ring_off_ms = 300});
  const TModemId ids[3] = {ex.AddModem({.number = "1"}), ex.AddModem({.number = "2"}), ex.AddModem({.number = "3"})};
  TSimTime now = 0;
  bool dtr[3] = {true, true, true};
  bool line[3] = {true, true, true};
  std::size_t i = 0;
  while (i < size) {
    const std::uint8_t h = data[i++];
    const unsigned kind = h >> 5;
    const unsigned arg = h & 31;
    const TModemId id = ids[arg % 3];
    switch (kind) {
      case 0:
      case 1:
      case 2: {
        const std::size_t n = std::min<std::size_t>(arg + 1, size - i);
        ex.FromDte(ids[kind], now, std::string_view(reinterpret_cast<const char*>(data + i), n));
        i += n;
        break;
      }
      case 3:
        now += Millis(40) * (arg + 1);
        break;
      case 4:
        dtr[arg % 3] = !dtr[arg % 3];
        ex.SetDtr(id, now, dtr[arg % 3]);
        break;
      case 5: {
        const std::uint8_t b = i < size ? data[i++] : 0;
        ex.SetModemFaults(id, {.dead = (b & 1) != 0, .echo_stuck = (b & 2) != 0,
                               .chunk_size = static_cast<std::uint32_t>((b >> 2) & 3),
                               .chunk_delay_ms = static_cast<std::uint32_t>((b >> 4) * 10)});
        break;
      }
      case 6:
        if (arg & 8) {
          ex.SetBusy(id, (arg & 16) != 0);
        } else {
          line[arg % 3] = !line[arg % 3];
          ex.SetLinePresent(id, line[arg % 3]);
        }
        break;
      case 7: {
        const std::uint8_t b = i < size ? data[i++] : 0;
        ex.SetLineFaults(id, {.bit_error_rate = (b & 1) ? 0.01 : 0.0, .loss_rate = (b & 2) ? 0.05 : 0.0,
                              .drop_after_bytes = (b & 4) ? std::uint64_t{b} : 0,
                              .drop_after_ms = (b & 8) ? std::uint32_t{b} * 10u : 0});
        break;
      }
    }
    Settle(ex, now);
  }
  // Let every timer run out: S7 and friends end within minutes.
  for (int k = 0; k < 200 && ex.NextDeadline() != kNever; ++k) {
    now = std::max(now, ex.NextDeadline());
    Settle(ex, now);
  }
  return 0;
}
