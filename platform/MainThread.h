// Calls carried over to the process's main thread ("synchronise"): windows
// that live outside a modal loop (the gate's monitor) are created, shown and
// released only there.
//
// The main thread is MainThreadId() (ThreadId.h). RunOnMainThread called on
// it runs the call at once. Called on another thread, it queues the call and
// blocks until the main thread has run it. The main thread takes queued
// calls in one of two ways:
//   - from a main-thread loop installed with SetMainThreadLoop (a toolkit's
//     event loop, which the host program runs anyway): the loop is asked to
//     run the queue as soon as a call is queued;
//   - when the host program pumps: PumpMainThread, called on the main thread
//     from the host's own wait loop. It also lets an installed loop handle
//     its events, so that a host without a toolkit of its own keeps the
//     windows alive by pumping.
// A call that the main thread has not taken within the caller's time-out is
// withdrawn (it never runs later) and RunOnMainThread answers false; once the
// main thread has started a call, the caller waits for its end.
//
// One dispatcher per loaded module: the gate library's and the host
// program's copies are separate, and a host reaches the gate's dispatcher
// through the core (heron.h, HeronPumpMainThread).
//
// Thread-safe. No lock is held while a call or the loop runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kestrel::platform {

// A toolkit's event loop on the main thread.
class TMainThreadLoop {
 public:
  // Arranges for `run` to be called on the main thread from the loop soon.
  // False when the loop cannot take it (no application yet); the call then
  // waits for PumpMainThread. Must not run `run` itself. Any thread.
  [[nodiscard]] virtual bool Post(std::function<void()> run) = 0;
  // Handles the loop's events for up to `wait_ms` milliseconds (0: only
  // what is pending). False at once when the loop cannot run (no
  // application yet). Main thread only.
  [[nodiscard]] virtual bool ProcessEvents(std::uint32_t wait_ms) = 0;

 protected:
  ~TMainThreadLoop() = default;
};

// Whether the calling thread is the main thread.
bool IsMainThread();

// Runs `call` on the main thread and returns once it has run (see above).
// False when it was withdrawn after `timeout_ms` without having started. An
// exception thrown by `call` is rethrown here, on the calling thread.
[[nodiscard]] bool RunOnMainThread(const std::function<void()>& call, std::uint32_t timeout_ms);

// The host's pump, on the main thread: runs every queued call, lets the
// installed loop handle its events for up to `wait_ms` (without a loop that
// runs: waits up to `wait_ms` for a call to be queued), and runs what was
// queued meanwhile. Returns the number of calls run. On another thread it
// does nothing and answers 0.
std::size_t PumpMainThread(std::uint32_t wait_ms);

// Installs `loop` (not owned; null removes it). It must stay valid until it
// is replaced or removed, and is not removed while PumpMainThread runs.
// Returns the previous one.
TMainThreadLoop* SetMainThreadLoop(TMainThreadLoop* loop);

// Calls queued and not yet taken (for tests).
std::size_t PendingMainThreadCalls();

}  // namespace kestrel::platform
