// The framework's time and size arithmetic: time spans of the stored records
// in milliseconds, fragment sizes from the measured transfer rate, and the
// tunable figures behind them. Pure functions, no clock, no I/O.
#pragma once

#include <cstdint>

namespace kestrel::host {

// Figures of the protocol. One copy per gate manager (TListOfProcess), read by
// each session when it starts.
struct TProtocolTuning {
  // Fragment sizes in bytes. A connection starts with FirstFragment; later
  // fragments carry about FragmentTargetMs worth of the measured rate, never
  // less than MinFragment nor more than MaxFragment (the line takes frames of
  // up to 5 000 000 bytes; after the first frame the receiving gate waits
  // 15 s per frame, so 5 s worth leaves room for a slow patch).
  std::uint32_t FirstFragment = 1024;
  std::uint32_t MinFragment = 256;
  std::uint32_t MaxFragment = 256 * 1024;
  std::uint32_t FragmentTargetMs = 5000;
  // How often an idle client pings, as the server asks in WELCOME. It must
  // stay below the receiving gate's data wait time-out (1 minute by default)
  // and below the line's 15 s per-frame wait, so that neither side gives up
  // or resends while the line idles.
  std::uint32_t KeepAliveMs = 10000;
  // The largest packet a server accepts.
  std::uint32_t MaxPacketBytes = 256u * 1024 * 1024;
  // What a server remembers across reconnects: the last HistoryEntries
  // delivered packets, and partly received packets up to PartialEntries of
  // them holding at most PartialBytes together.
  std::uint32_t HistoryEntries = 4096;
  std::uint32_t PartialEntries = 16;
  std::uint64_t PartialBytes = 64ull * 1024 * 1024;
};

// Milliseconds of a stored time span: the time-of-day part of a day count
// (one minute = 1/1440), rounded to the nearest millisecond. A negative,
// infinite or NaN value gives 0; a whole number of days gives 0.
std::uint32_t DayFractionToMs(double days);

// The size of the next fragment after `sent` bytes took `elapsed_ms` to go out
// and be acknowledged, with `current` the size used so far. A sample of less
// than half the current size (the tail of a packet) says little about the
// rate and keeps the size. A step grows or shrinks the size at most four-fold,
// so one odd sample cannot swing it far. The result lies in
// [MinFragment, MaxFragment] (MaxFragment wins over a larger MinFragment).
std::uint32_t NextFragmentSize(std::uint32_t current, std::uint32_t sent, std::uint32_t elapsed_ms,
                               const TProtocolTuning& tuning);

// The keep-alive interval a client uses for the interval `asked_ms` that the
// server named: within [50 ms, 60 s]; 0 (no wish) gives the default 10 s.
std::uint32_t KeepAliveInterval(std::uint32_t asked_ms);

}  // namespace kestrel::host
