#include "tools/kestrel/TempFolder.h"

#include <random>

#include "tools/kestrel/ToolError.h"

namespace kestrel::app {

TTempFolder::TTempFolder(const std::string& stem) {
  std::error_code ec;
  const auto base = std::filesystem::temp_directory_path(ec);
  if (ec) throw EToolError("no temporary folder: " + ec.message());
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    path_ = base / (stem + "-" + std::to_string(random() % 1000000000u));
    // create_directory is false for a folder that was already there: another
    // program's, which must not be taken over.
    if (std::filesystem::create_directory(path_, ec)) return;
    if (ec) break;
  }
  throw EToolError("cannot make a temporary folder in " + base.string() + (ec ? ": " + ec.message() : ""));
}

TTempFolder::~TTempFolder() {
  if (keep_) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace kestrel::app
