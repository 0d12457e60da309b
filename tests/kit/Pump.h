// The main thread of a test handling its events while it waits, with
// `pump_once` (a toolkit's loop, or the main-thread pump a host runs): until
// `done` holds or `timeout_ms` passed, or while `call` runs on a worker.
// Header-only, for the Windows build too.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace kestrel::testing {

inline bool PumpUntil(const std::function<bool()>& done, int timeout_ms, const std::function<void()>& pump_once) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    pump_once();
  }
  return true;
}

// Whether `call` finished on its worker within `timeout_ms`.
inline bool OnWorkerWhilePumping(const std::function<void()>& call, int timeout_ms,
                                 const std::function<void()>& pump_once) {
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    call();
    finished = true;
  });
  const bool in_time = PumpUntil([&] { return finished.load(); }, timeout_ms, pump_once);
  worker.join();
  return in_time;
}

}  // namespace kestrel::testing
