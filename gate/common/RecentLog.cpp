#include "gate/common/RecentLog.h"

#include <algorithm>
#include <deque>
#include <exception>
#include <mutex>

#include "platform/ModuleEntry.h"

namespace kestrel::gate {
namespace {

struct TRecent {
  std::mutex mutex;
  std::deque<std::string> lines;
};

// A static object, not a leaked one: the library may be loaded and unloaded
// many times. The library makes it when it loads (ClearRecentLog), so it is
// destroyed only after everything that runs at unload, which still logs. It
// is left to the system at process end, when a thread may have been ended
// while it held the lock.
TRecent& Recent() {
  static platform::TProcessStatic<TRecent> recent;
  return *recent;
}

}  // namespace

void RememberLogLine(std::string_view line, std::string_view details) noexcept {
  try {
    std::string text(line);
    if (!details.empty()) {
      text += "  ";
      text += details;
    }
    TRecent& r = Recent();
    std::lock_guard lock(r.mutex);
    if (r.lines.size() >= kRecentLogCapacity) r.lines.pop_front();
    r.lines.push_back(std::move(text));
  } catch (const std::exception&) {
    // Only the copy (std::bad_alloc) or the lock (std::system_error) can
    // fail: the window misses one line, the log itself has it.
  }
}

std::vector<std::string> RecentLogLines(std::size_t max) {
  TRecent& r = Recent();
  std::lock_guard lock(r.mutex);
  const std::size_t count = std::min(max, r.lines.size());
  return {r.lines.end() - static_cast<std::ptrdiff_t>(count), r.lines.end()};
}

void ClearRecentLog() {
  TRecent& r = Recent();
  std::lock_guard lock(r.mutex);
  r.lines.clear();
}

}  // namespace kestrel::gate
