// A manual-reset event: the waitable flag used wherever a thread must wait
// for something with a deadline instead of sleeping.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kestrel::platform {

class TEvent {
 public:
  explicit TEvent(bool initially_set = false) : set_(initially_set) {}

  void Set();
  void Reset();
  bool IsSet() const;

  // Waits until the event is set or `timeout_ms` have passed. Returns whether
  // it is set. A timeout of 0 only looks.
  bool WaitFor(std::uint32_t timeout_ms) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  bool set_;
};

}  // namespace kestrel::platform
