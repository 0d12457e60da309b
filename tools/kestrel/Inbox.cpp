#include "tools/kestrel/Inbox.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

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

namespace {

constexpr std::string_view kPartPrefix = ".kestrel-part-";

// KESTREL_TEST_INBOX_QUOTA, or 0 when unset.
std::uintmax_t TestQuota() {
  const char* q = std::getenv("KESTREL_TEST_INBOX_QUOTA");
  return q != nullptr ? std::strtoull(q, nullptr, 10) : 0;
}

std::uintmax_t FolderBytes(const std::filesystem::path& dir) {
  std::uintmax_t total = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    if (e.is_regular_file(ec)) total += e.file_size(ec);
  return total;
}

}  // namespace

std::string TInbox::WritePart(std::string_view name, std::string_view content) {
  std::lock_guard lock(mutex_);
  // The pid says whether its writer still runs; the start time keeps the
  // names of a later process with the same pid apart.
  static const auto started = std::chrono::system_clock::now().time_since_epoch().count();
  const std::string part = std::string(kPartPrefix) + std::to_string(platform::ProcessId()) + "-" +
                           std::to_string(started) + "-" + std::to_string(++serial_);
  const std::filesystem::path path = dir_ / part;
  const std::uintmax_t quota = TestQuota();
  std::size_t allowed = content.size();
  if (quota > 0) {
    const std::uintmax_t used = FolderBytes(dir_);
    allowed = used >= quota ? 0 : static_cast<std::size_t>(std::min<std::uintmax_t>(quota - used, content.size()));
  }
  errno = 0;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(content.data(), static_cast<std::streamsize>(allowed));
    if (out) out.flush();
    if (out && allowed < content.size()) {
      errno = ENOSPC;  // the test's small disk is full
      out.setstate(std::ios::badbit);
    }
    if (!out) {
      const std::string why = errno != 0 ? std::strerror(errno) : "write failed";
      std::error_code ec;
      std::filesystem::remove(path, ec);
      throw EToolError("cannot write " + (dir_ / SafeFileName(name)).string() + ": " + why);
    }
  }
  return part;
}

std::filesystem::path TInbox::FreeName(std::string_view name) {
  const std::string safe = SafeFileName(name);
  std::lock_guard lock(mutex_);
  std::filesystem::path target = dir_ / safe;
  std::error_code ec;
  for (unsigned n = 2; std::filesystem::exists(target, ec) || ec; ++n) {
    if (ec || n > 100000) throw EToolError("cannot find a free name for " + (dir_ / safe).string());
    target = dir_ / NumberedName(safe, n);
  }
  return target;
}

void TInbox::Place(const std::string& part, const std::filesystem::path& target) {
  std::error_code ec;
  std::filesystem::rename(dir_ / part, target, ec);
  if (ec) throw EToolError("cannot store " + target.string() + ": " + ec.message());
}

void TInbox::RemovePart(const std::string& part) {
  std::error_code ec;
  std::filesystem::remove(dir_ / part, ec);
}

std::vector<std::string> TInbox::OrphanParts() {
  std::vector<std::string> parts;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir_, ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(kPartPrefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + kPartPrefix.size(), nullptr, 10);
    // Parts of this process or of another that still runs are being written.
    if (pid > 0 && pid <= std::numeric_limits<std::uint32_t>::max() &&
        (static_cast<std::uint32_t>(pid) == platform::ProcessId() || platform::ProcessRuns(static_cast<std::uint32_t>(pid))))
      continue;
    parts.push_back(name);
  }
  return parts;
}

std::filesystem::path TInbox::Store(std::string_view name, std::string_view content) {
  std::lock_guard lock(mutex_);
  const std::string part = WritePart(name, content);
  std::filesystem::path target;
  try {
    target = FreeName(name);
    Place(part, target);
  } catch (...) {
    RemovePart(part);
    throw;
  }
  return target;
}

}  // namespace kestrel::app
