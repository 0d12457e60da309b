#include "platform/PortNames.h"

#include "platform/PortDevice.h"

#include <map>
#include <mutex>

namespace kestrel::platform {
namespace {

std::mutex g_targets_mutex;
std::map<int, std::string>& Targets() {
  static std::map<int, std::string> targets;
  return targets;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::optional<int> ComPortNumber(std::string_view name) {
  if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4);
  if (name.size() < 4 || name.size() > 6) return std::nullopt;
  if (Lower(name[0]) != 'c' || Lower(name[1]) != 'o' || Lower(name[2]) != 'm') return std::nullopt;
  if (name[3] == '0') return std::nullopt;  // "COM01" is no port name on Windows either
  int n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > 255) return std::nullopt;
  return n;
}

std::string ResolvePortName(std::string_view name) {
  const auto n = ComPortNumber(name);
  if (!n) return std::string(name);
  {
    std::lock_guard lock(g_targets_mutex);
    const auto it = Targets().find(*n);
    if (it != Targets().end()) return it->second;
  }
  return SystemComPortName(*n);
}

bool SetComPortTarget(int n, std::string_view target) {
  if (n < 1 || n > 255) return false;
  std::lock_guard lock(g_targets_mutex);
  if (target.empty())
    Targets().erase(n);
  else
    Targets()[n] = std::string(target);
  return true;
}

void ClearComPortTargets() {
  std::lock_guard lock(g_targets_mutex);
  Targets().clear();
}

}  // namespace kestrel::platform
