#include "host/Pacing.h"

#include <algorithm>
#include <cmath>

namespace kestrel::host {

std::uint32_t DayFractionToMs(double days) {
  if (!std::isfinite(days) || days <= 0.0) return 0;
  constexpr double kMsPerDay = 86400000.0;
  const double ms = std::round((days - std::floor(days)) * kMsPerDay);
  // Rounding a value just below a whole day lands on the next midnight,
  // which is the time of day 0.
  if (ms >= kMsPerDay) return 0;
  return static_cast<std::uint32_t>(ms);
}

std::uint32_t NextFragmentSize(std::uint32_t current, std::uint32_t sent, std::uint32_t elapsed_ms,
                               const TProtocolTuning& tuning) {
  const std::uint64_t lo = std::min(tuning.MinFragment, tuning.MaxFragment);
  const std::uint64_t hi = tuning.MaxFragment;
  std::uint64_t next = current;
  if (sent > 0 && static_cast<std::uint64_t>(sent) * 2 >= current) {
    const std::uint64_t elapsed = std::max<std::uint32_t>(elapsed_ms, 1);
    // bytes per ms times the target time, in 64 bits: sent < 2^32 and the
    // target is a few thousand ms.
    const std::uint64_t target = static_cast<std::uint64_t>(sent) * tuning.FragmentTargetMs / elapsed;
    const std::uint64_t base = std::max<std::uint64_t>(current, 1);
    next = std::clamp<std::uint64_t>(target, std::max<std::uint64_t>(base / 4, 1), base * 4);
  }
  return static_cast<std::uint32_t>(std::clamp(next, lo, hi));
}

std::uint32_t KeepAliveInterval(std::uint32_t asked_ms) {
  if (asked_ms == 0) return 10000;
  return std::clamp<std::uint32_t>(asked_ms, 50, 60000);
}

}  // namespace kestrel::host
