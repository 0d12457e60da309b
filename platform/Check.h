// KESTREL_CHECK: stops the process when an invariant of our own is broken.
//
//     KESTREL_CHECK(exchanger != nullptr);
//     KESTREL_CHECK(index < kChannelCount, "a channel index comes from the pool");
//
// `cond` is evaluated once. When it is false, the check writes
// "<file>:<line>: check failed: <cond> <message>" to stderr and calls
// std::abort(). The message is optional: anything a std::string_view can be
// made of. Always on, in release builds too: a state the code holds to be
// impossible is a bug, and running on would only hide where it began.
//
// Only for our own invariants. What comes from outside (bytes from the line,
// stored blocks, the host's arguments) is refused with a clear error and the
// session goes on; it never reaches a check.
#pragma once

#include <string_view>

namespace kestrel::platform {

// Writes the failure line and aborts; the macro's slow path.
[[noreturn]] void CheckFailed(const char* file, int line, const char* condition, std::string_view message) noexcept;

}  // namespace kestrel::platform

#define KESTREL_CHECK(cond, ...)                                                                          \
  do {                                                                                                    \
    if (!(cond)) [[unlikely]]                                                                             \
      ::kestrel::platform::CheckFailed(__FILE__, __LINE__, #cond, std::string_view{__VA_ARGS__});          \
  } while (false)
