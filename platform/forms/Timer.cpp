#include "platform/forms/Timer.h"

#include "platform/forms/Application.h"
#include "platform/forms/HandlerGuard.h"

namespace kestrel::forms {

TTimer::TTimer(std::uint32_t interval_ms) : interval_(interval_ms) {
  try {
    peer_ = CurrentBackend().CreateTimer(*this);
  } catch (const EFormsError&) {
    throw;
  } catch (const std::exception& e) {
    throw EFormsError(e.what());
  }
  if (peer_) peer_->SetInterval(interval_);
}

TTimer::~TTimer() {
  if (peer_) peer_->SetEnabled(false);
}

void TTimer::SetInterval(std::uint32_t ms) {
  interval_ = ms;
  if (peer_) peer_->SetInterval(ms);
}

void TTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (peer_) peer_->SetEnabled(enabled);
}

void TTimer::Fire() {
  if (OnTimer) RunGuarded(OnTimer);
}

void TTimer::PeerTimer() {
  // A tick already queued when the timer was switched off is dropped.
  if (enabled_) Fire();
}

}  // namespace kestrel::forms
