// The COM port names of a POSIX system: a folder of comN links an operator
// sets with KESTREL_COM_DIR, else the system's n-th serial device.
#include <cstdlib>
#include <filesystem>

#include "platform/PortDevice.h"

namespace kestrel::platform {

std::string SystemComPortName(int n) {
  if (const char* dir = std::getenv("KESTREL_COM_DIR"); dir != nullptr && *dir != '\0') {
    std::filesystem::path link = std::filesystem::path(dir) / ("com" + std::to_string(n));
    std::error_code ec;
    // symlink_status: a link whose device is missing still names that device,
    // so the open reports the missing device instead of silently taking ttyS.
    if (std::filesystem::exists(std::filesystem::symlink_status(link, ec))) return link.string();
  }
  return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace kestrel::platform
