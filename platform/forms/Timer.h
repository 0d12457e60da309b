// A repeating timer for forms: OnTimer runs on the user-interface thread,
// from the toolkit's event loop, every Interval milliseconds while the timer
// is enabled. A backend without timers leaves it silent; Fire runs the
// handler by hand (a refresh on request, tests).
//
// The user-interface thread only. Not copyable; destroying it stops it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/forms/Backend.h"

namespace kestrel::forms {

class TTimer : private TTimerSink {
 public:
  // Disabled at first. Throws EFormsError only when the backend fails to
  // make its timer (having none is no failure).
  explicit TTimer(std::uint32_t interval_ms);
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  void SetInterval(std::uint32_t ms);
  std::uint32_t Interval() const { return interval_; }
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  // Whether the backend made a timer that fires by itself.
  bool Live() const { return peer_ != nullptr; }

  // Runs OnTimer now, as a tick would (an exception goes to an error box).
  void Fire();

  std::function<void()> OnTimer;

 private:
  void PeerTimer() override;

  std::unique_ptr<TTimerPeer> peer_;
  std::uint32_t interval_;
  bool enabled_ = false;
};

}  // namespace kestrel::forms
