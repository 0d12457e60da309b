// Identifiers of operating-system threads, as 32-bit numbers.
#pragma once

#include <cstdint>

namespace kestrel::platform {

// The calling thread's operating-system identifier (the kernel's thread id on
// Linux, GetCurrentThreadId on Windows). Thread-safe, cheap.
std::uint32_t CurrentThreadId();

// The identifier of the process's main thread: the thread that loaded the
// library, unless the host program named another with SetMainThreadId.
std::uint32_t MainThreadId();
void SetMainThreadId(std::uint32_t id);

}  // namespace kestrel::platform
