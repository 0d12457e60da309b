// A re-entrant lock with the enter/leave shape of a Win32 critical section.
//
// The thread that holds it may enter it again and must leave it as often.
// Movable neither by copy nor by move: it is a member of the object it guards.
#pragma once

#include <mutex>

namespace kestrel::platform {

class TCriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  [[nodiscard]] bool TryEnter() { return mutex_.try_lock(); }

  // Lockable, so that std::lock_guard, std::unique_lock and
  // std::condition_variable_any work.
  void lock() { Enter(); }
  void unlock() { Leave(); }
  [[nodiscard]] bool try_lock() { return TryEnter(); }

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section for the lifetime of the guard.
class TLockGuard {
 public:
  explicit TLockGuard(TCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
  ~TLockGuard() { cs_.Leave(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  TCriticalSection& cs_;
};

}  // namespace kestrel::platform
