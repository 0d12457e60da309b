#include <windows.h>

#include "platform/Port.h"
#include "platform/SysError.h"

namespace kestrel::platform {
namespace {
// The platform layer's own record, as on POSIX: what other calls of the
// thread leave in the system's last error does not disturb it.
thread_local std::uint32_t t_last_error = 0;
}  // namespace

// A COM port that another opener holds is refused as access denied.
const std::uint32_t kErrorFileNotFound = ERROR_FILE_NOT_FOUND;
const std::uint32_t kErrorBusy = ERROR_ACCESS_DENIED;
const std::uint32_t kErrorInvalidHandle = ERROR_INVALID_HANDLE;
const std::uint32_t kErrorInvalidParameter = ERROR_INVALID_PARAMETER;

std::uint32_t LastError() { return t_last_error; }
void SetLastError(std::uint32_t code) { t_last_error = code; }

std::string SystemErrorText(std::uint32_t code) {
  if (code == 0) return {};
  char buf[512] = {};
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                                   sizeof buf, nullptr);
  std::string text(buf, n);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace kestrel::platform
