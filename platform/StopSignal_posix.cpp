#include "platform/StopSignal.h"

#include <errno.h>
#include <signal.h>
#include <time.h>

namespace kestrel::platform {
namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void BlockStopSignals() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

std::string WaitStopSignal(std::uint32_t timeout_ms) {
  const sigset_t set = StopSet();
  for (;;) {
    int sig = -1;
    if (timeout_ms == kWaitForever) {
      sig = sigwaitinfo(&set, nullptr);
    } else {
      timespec ts{static_cast<time_t>(timeout_ms / 1000), static_cast<long>(timeout_ms % 1000) * 1000000L};
      sig = sigtimedwait(&set, nullptr, &ts);
    }
    if (sig == SIGINT) return "SIGINT";
    if (sig == SIGTERM) return "SIGTERM";
    if (sig < 0 && errno == EAGAIN) return {};
    // EINTR: another signal's handler ran; keep waiting (with the full time
    // again: a stop request is what matters, not the exact time-out).
  }
}

}  // namespace kestrel::platform
