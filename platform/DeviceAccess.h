// Who may open a device file, as the system sees it: for a program that
// tells a person why a port cannot be opened and what to change. The gate
// never asks; it opens its ports and reports the error code (Port.h).
//
// Thread-safe; reads the file system and the user database, never opens the
// device.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::platform {

struct TDeviceAccess {
  bool exists = false;    // `path`, links followed, names a file
  bool may_open = false;  // this process may open it for reading and writing
  std::string owner;      // the file's user and group, by name (their numbers when unnamed)
  std::string group;
  std::uint32_t mode = 0;       // the permission bits, as chmod takes them (0660)
  bool in_group = false;        // this process has the file's group among its groups
};

// What the system says about `path`; `exists` false (and nothing else set)
// when it names no file or a link that leads nowhere.
TDeviceAccess DescribeDevice(const std::string& path);

// The name of the user this process runs as (its number when it has none).
std::string CurrentUserName();

// Whether a last error (SysError.h) says the process lacks permission.
bool IsPermissionError(std::uint32_t code);

}  // namespace kestrel::platform
