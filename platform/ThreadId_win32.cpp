#include <windows.h>

#include <atomic>

#include "platform/ThreadId.h"

namespace kestrel::platform {
namespace {
// The thread that loaded the library: it initialises this module's statics.
std::atomic<std::uint32_t> g_main_thread{static_cast<std::uint32_t>(::GetCurrentThreadId())};
}  // namespace

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::GetCurrentThreadId()); }

std::uint32_t MainThreadId() { return g_main_thread.load(std::memory_order_relaxed); }
void SetMainThreadId(std::uint32_t id) { g_main_thread.store(id, std::memory_order_relaxed); }

}  // namespace kestrel::platform
