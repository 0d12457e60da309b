// Learning of a stop request (SIGINT from Ctrl-C, SIGTERM from a service
// manager or a parent program) while the program's main thread is busy
// waiting for something else.
//
// BlockStopSignals (StopSignal.h) must have run first in main, before any
// thread started; the notifier then takes the signals on a thread of its own
// and calls `on_stop` there, once for each signal, with its name ("SIGINT",
// "SIGTERM"). Do not mix with WaitStopSignal while a notifier lives.
//
// Thread safety: construct and destroy on one thread. `on_stop` must be quick
// (set a flag, notify a condition variable) and must not destroy the notifier.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace kestrel::platform {

class TStopNotifier {
 public:
  // Starts watching. With `watch_input`, the end of the standard input is a
  // stop request too, named "end of input" (what arrives before it is read
  // and dropped): a parent that holds the other end of the pipe stops its
  // child by closing it, or by ending. Throws std::system_error when the
  // system refuses.
  explicit TStopNotifier(std::function<void(const std::string& signal)> on_stop, bool watch_input = false);
  // Stops watching at once; after it returns `on_stop` is not running and
  // will not run. Signals arriving later stay pending.
  ~TStopNotifier();
  TStopNotifier(const TStopNotifier&) = delete;
  TStopNotifier& operator=(const TStopNotifier&) = delete;

  struct TImpl;

 private:
  std::unique_ptr<TImpl> impl_;
};

}  // namespace kestrel::platform
