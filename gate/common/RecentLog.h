// The latest lines of the gate's log, kept for the monitor window: every line
// that passes the level filter, whether or not the core wants the log, with
// its details after two blanks. At most kRecentLogCapacity are kept; older
// ones are forgotten.
//
// Thread-safe; one store per loaded library, alive as long as it. A module
// that logs while it unloads calls ClearRecentLog when it loads, so that the
// store outlives its unload.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::gate {

inline constexpr std::size_t kRecentLogCapacity = 200;

// Keeps a line. Never throws (a line that cannot be kept is dropped).
void RememberLogLine(std::string_view line, std::string_view details) noexcept;
// Up to `max` of the latest lines, oldest first.
std::vector<std::string> RecentLogLines(std::size_t max);
void ClearRecentLog();

}  // namespace kestrel::gate
