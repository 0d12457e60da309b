#include "tools/kestrel/Inbox.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/ProcessEnv.h"
#include "tools/kestrel/Document.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {

TInbox::TInbox(std::filesystem::path dir) : dir_(std::move(dir)) {
  std::error_code ec;
  std::filesystem::create_directories(dir_, ec);
  if (ec) throw EToolError("cannot make the folder " + dir_.string() + ": " + ec.message());
  if (!std::filesystem::is_directory(dir_, ec)) throw EToolError(dir_.string() + " is not a folder");
}

std::string NumberedName(const std::string& name, unsigned n) {
  const std::size_t dot = name.rfind('.');
  const std::string suffix = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) return name + suffix;
  return name.substr(0, dot) + suffix + name.substr(dot);
}

std::filesystem::path TInbox::Store(std::string_view name, std::string_view content) {
  const std::string safe = SafeFileName(name);
  std::lock_guard lock(mutex_);
  const std::filesystem::path part =
      dir_ / (".kestrel-part-" + std::to_string(platform::ProcessId()) + "-" + std::to_string(++serial_));
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (out) out.flush();
    if (!out) {
      const std::string why = errno != 0 ? std::strerror(errno) : "write failed";
      std::error_code ec;
      std::filesystem::remove(part, ec);
      throw EToolError("cannot write " + (dir_ / safe).string() + ": " + why);
    }
  }
  // The lock makes the look-up and the rename one step for this program.
  std::filesystem::path target = dir_ / safe;
  std::error_code ec;
  for (unsigned n = 2; std::filesystem::exists(target, ec) || ec; ++n) {
    if (ec || n > 100000) {
      std::filesystem::remove(part, ec);
      throw EToolError("cannot find a free name for " + (dir_ / safe).string());
    }
    target = dir_ / NumberedName(safe, n);
  }
  std::filesystem::rename(part, target, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(part, ignored);
    throw EToolError("cannot store " + target.string() + ": " + ec.message());
  }
  return target;
}

}  // namespace kestrel::app
