// TNotifyThread: the poll thread of a serial port driver.
//
// While Enabled, it calls OnTimer at most every Interval ms, and looks about
// every 100 ms whether that time has come (so a poll runs every
// max(Interval, ~100 ms) plus the poll's own time). With OnIdle set, the
// pause after a pass is Interval and then OnIdle, which returns when there
// is something to poll (bytes came), when woken, or after a while of its own:
// an idle port then costs a wake-up now and then instead of ten a second,
// and bytes are taken as they come. An exception from a pass
// is discarded and the next pass runs at once (after 16 failures in a row the
// pause is taken, so a handler that always fails cannot spin). Terminate ends the thread
// after the pass under way, without waiting out the 100 ms.
//
// Created suspended and never freed by itself: the driver sets OnTimer,
// Interval and Enabled, calls Resume, and at the end Terminate, WaitFor and
// frees it. Interval and Enabled may be changed from any thread while it runs;
// OnTimer only before Resume.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/Thread.h"

namespace kestrel::serial {

class TNotifyThread : public platform::TThread {
 public:
  // The pause between two looks; a stop never waits for it.
  static constexpr std::uint32_t kPassMs = 100;
  // Passes that fail in a row before the pause is taken anyway.
  static constexpr int kMaxQuickRetries = 16;

  std::atomic<std::uint32_t> Interval{0};
  std::atomic<bool> Enabled{false};
  std::function<void()> OnTimer;
  std::function<void()> OnIdle;

  // The usual pause, for OnIdle when there is nothing to wait for; true once
  // the thread is told to end.
  bool Pause() const { return WaitTerminated(kPassMs); }

 protected:
  void Execute() override;
};

}  // namespace kestrel::serial
