#include "platform/Event.h"

#include <chrono>

namespace kestrel::platform {

void TEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  cv_.notify_all();
}

void TEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool TEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool TEvent::WaitFor(std::uint32_t timeout_ms) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return set_; });
}

}  // namespace kestrel::platform
