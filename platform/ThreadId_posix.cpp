#include "platform/ThreadId.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

namespace kestrel::platform {
namespace {
// getpid() is the id of the process's first thread on Linux.
std::atomic<std::uint32_t> g_main_thread{static_cast<std::uint32_t>(::getpid())};
}  // namespace

std::uint32_t CurrentThreadId() {
  thread_local const auto id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
  return id;
}

std::uint32_t MainThreadId() { return g_main_thread.load(std::memory_order_relaxed); }
void SetMainThreadId(std::uint32_t id) { g_main_thread.store(id, std::memory_order_relaxed); }

}  // namespace kestrel::platform
