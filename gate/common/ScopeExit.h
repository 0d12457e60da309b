// Runs a cleanup when the scope ends, however it ends: the one way this code
// pairs a pause with its resume, a swap with its restore.
#pragma once

#include <utility>

namespace kestrel::gate {

template <typename F>
class [[nodiscard]] TScopeExit {
 public:
  explicit TScopeExit(F f) : f_(std::move(f)) {}
  ~TScopeExit() { f_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F f_;
};

}  // namespace kestrel::gate
