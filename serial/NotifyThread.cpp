#include "serial/NotifyThread.h"

#include <algorithm>

#include "platform/Tick.h"

namespace kestrel::serial {

void TNotifyThread::Execute() {
  std::uint32_t last_call = platform::GetTickCount();
  int failures_in_a_row = 0;
  while (!Terminated()) {
    try {
      if (Enabled.load() && platform::Elapsed(last_call, platform::GetTickCount()) >= Interval.load()) {
        if (OnTimer) OnTimer();
        last_call = platform::GetTickCount();
      }
      failures_in_a_row = 0;
    } catch (...) {
      // The handler's failure must not end the port's poll. The next pass
      // runs at once, so that what is still queued is not left waiting a
      // whole pause; a handler that fails every time gets the pause after a
      // few tries, or the thread would spin.
      if (++failures_in_a_row < kMaxQuickRetries) continue;
      failures_in_a_row = 0;
    }
    // The pause ends at once on Terminate, so a stop waits at most for the
    // pass under way (the owner wakes OnIdle).
    if (!OnIdle) {
      if (WaitTerminated(kPassMs)) break;
      continue;
    }
    if (WaitTerminated(std::max<std::uint32_t>(Interval.load(), 1))) break;
    OnIdle();
  }
}

}  // namespace kestrel::serial
