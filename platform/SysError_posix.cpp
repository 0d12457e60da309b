#include "platform/SysError.h"

#include <errno.h>
#include <string.h>

#include "platform/Port.h"

namespace kestrel::platform {
namespace {
thread_local std::uint32_t t_last_error = 0;

// strerror_r comes in two shapes; both are handled without caring which one
// the C library gave us.
[[maybe_unused]] const char* Pick(int rc, const char* buf) { return rc == 0 ? buf : ""; }
[[maybe_unused]] const char* Pick(const char* msg, const char*) { return msg; }
}  // namespace

const std::uint32_t kErrorFileNotFound = ENOENT;
const std::uint32_t kErrorBusy = EBUSY;
const std::uint32_t kErrorInvalidHandle = EBADF;
const std::uint32_t kErrorInvalidParameter = EINVAL;

std::uint32_t LastError() { return t_last_error; }
void SetLastError(std::uint32_t code) { t_last_error = code; }

std::string SystemErrorText(std::uint32_t code) {
  if (code == 0) return {};
  char buf[256] = {};
  std::string text = Pick(::strerror_r(static_cast<int>(code), buf, sizeof buf), buf);
  if (text.rfind("Unknown error", 0) == 0) return {};
  return text;
}

}  // namespace kestrel::platform
