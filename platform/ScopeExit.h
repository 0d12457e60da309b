// TScopeExit: runs a cleanup when the scope ends, however it ends. The one
// way this code pairs a pause with its resume, a swap with its restore, or
// undoes a half-done step when a later one throws:
//
//     const TScopeExit restore([&] { OnReceiveData = saved; });
//
//     TScopeExit undo([&] { entries_.pop_back(); });
//     thread->Resume();   // may throw: the entry goes again
//     undo.Dismiss();     // kept
//
// The cleanup runs in a destructor: it must not throw (std::terminate would
// end the process), so it only restores, releases or frees.
#pragma once

#include <utility>

namespace kestrel::platform {

template <typename F>
class [[nodiscard]] TScopeExit {
 public:
  explicit TScopeExit(F f) : f_(std::move(f)) {}
  ~TScopeExit() {
    if (armed_) f_();
  }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

  // The cleanup will not run: what it would undo is kept.
  void Dismiss() noexcept { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace kestrel::platform
