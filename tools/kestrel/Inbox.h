// The folder where received documents are stored.
//
// A document is written under a temporary name in the folder and renamed
// only once all of it is on disk, so a file with a document's name is always
// complete. A name already taken gets " (2)", " (3)", ... before its
// extension; nothing is ever overwritten.
//
// Thread-safe: two sessions storing at once get different names.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace kestrel::app {

class TInbox {
 public:
  // Creates the folder when missing. Throws EToolError naming it when it
  // cannot be made or is not a folder.
  explicit TInbox(std::filesystem::path dir);

  const std::filesystem::path& Dir() const { return dir_; }
  // Stores `content` under `name` (made safe with SafeFileName) and returns
  // the path used. Throws EToolError naming the file when it cannot be written;
  // nothing is left behind then.
  std::filesystem::path Store(std::string_view name, std::string_view content);

 private:
  std::filesystem::path dir_;
  std::mutex mutex_;
  unsigned serial_ = 0;
};

// "name (n).ext" for a file name "name.ext" (n >= 2).
std::string NumberedName(const std::string& name, unsigned n);

}  // namespace kestrel::app
