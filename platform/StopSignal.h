// Waiting for the signals that ask a program to stop (SIGINT from Ctrl-C,
// SIGTERM from a service manager), without a signal handler and without
// polling a flag.
//
// BlockStopSignals must be called first in main, before any thread starts:
// threads inherit the blocked set, so the signals stay pending until
// WaitStopSignal takes them on the waiting thread.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::platform {

void BlockStopSignals();

inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

// Blocks until a stop signal arrives or `timeout_ms` pass (kWaitForever:
// no limit). Returns the signal's name ("SIGINT", "SIGTERM"), or an empty
// text on a time-out.
std::string WaitStopSignal(std::uint32_t timeout_ms = kWaitForever);

}  // namespace kestrel::platform
