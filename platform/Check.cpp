#include "platform/Check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kestrel::platform {

void CheckFailed(const char* file, int line, const char* condition, std::string_view message) noexcept {
  // Composed in a fixed buffer and written at once: the failure may be a
  // lack of memory, and another thread's output must not tear the line.
  char text[1024];
  const int length = static_cast<int>(std::min<std::size_t>(message.size(), sizeof text));
  const int n = std::snprintf(text, sizeof text, "%s:%d: check failed: %s%s%.*s\n", file, line, condition,
                              message.empty() ? "" : " ", length, message.empty() ? "" : message.data());
  if (n > 0) {
    const std::size_t size = std::min(static_cast<std::size_t>(n), sizeof text - 1);
    text[size - 1] = '\n';  // a line cut short still ends
    std::fwrite(text, 1, size, stderr);
  }
  std::fflush(stderr);
  std::abort();
}

}  // namespace kestrel::platform
