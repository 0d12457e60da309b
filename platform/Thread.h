// A thread object in the shape the gate's thread classes expect: created
// suspended, started with Resume, asked to end with Terminate, joined with
// WaitFor. Subclasses override Execute and look at Terminated() (or block in
// WaitTerminated) to end in time.
//
// The object is never freed by its own thread; its owner destroys it after
// WaitFor. Destroying a started thread that has not ended terminates and
// joins it first. An exception that escapes Execute ends the thread (never
// the process) and is dropped: a thread that must report one catches it.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/Event.h"

namespace kestrel::platform {

class TThread {
 public:
  TThread() = default;
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts the thread; a second call does nothing.
  void Resume();
  // Asks Execute to end; does not wait.
  void Terminate();
  // Waits until Execute has returned. Returns at once when never started.
  // Must not be called from the thread itself.
  void WaitFor();

  bool Terminated() const { return terminate_.IsSet(); }
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // The operating-system id of the running thread, 0 before it started.
  std::uint32_t ThreadId() const { return thread_id_.load(std::memory_order_acquire); }

 protected:
  virtual void Execute() = 0;
  // Blocks up to `timeout_ms` or until Terminate is called; returns Terminated().
  bool WaitTerminated(std::uint32_t timeout_ms) const { return terminate_.WaitFor(timeout_ms); }

 private:
  void Run();

  std::thread thread_;
  TEvent terminate_;
  std::atomic<bool> finished_{false};
  std::atomic<std::uint32_t> thread_id_{0};
};

// A fixed delay (a line settling after a hang-up, a pause between dials).
// Never a way to wait for an event: block on the event with a deadline.
void SleepFor(std::uint32_t ms);

}  // namespace kestrel::platform
