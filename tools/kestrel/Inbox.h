// The folder where received documents are stored.
//
// A document is written under a temporary name in the folder and renamed
// only once all of it is on disk, so a file with a document's name is always
// complete. A name already taken gets " (2)", " (3)", ... before its
// extension; nothing is ever overwritten.
//
// Thread-safe: two sessions storing at once get different names.
//
// Test-only fault switch: KESTREL_TEST_INBOX_QUOTA=BYTES makes the folder a
// small disk: a part file write that would take the folder's files past
// BYTES fails as a full disk does (ENOSPC).
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

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

  // The steps of Store, for a receiver that records the document between
  // them. The caller holds Mutex() from FreeName to Place, so that no other
  // store of this process takes the name meanwhile.
  //
  // Writes `content` whole to a new part file (".kestrel-part-<pid>-<n>") in
  // the folder and returns its name. Throws EToolError naming the file when
  // it cannot be written (a full disk); the partial file is removed then.
  std::string WritePart(std::string_view name, std::string_view content);
  // A name in the folder for `name` (made safe) that no file has yet.
  std::filesystem::path FreeName(std::string_view name);
  // Renames the part file to `target`. Throws EToolError; the part stays.
  void Place(const std::string& part, const std::filesystem::path& target);
  // Removes a part file, if it is there.
  void RemovePart(const std::string& part);
  // The part files in the folder that no running process writes.
  std::vector<std::string> OrphanParts();
  std::recursive_mutex& Mutex() { return mutex_; }

 private:
  std::filesystem::path dir_;
  std::recursive_mutex mutex_;
  unsigned serial_ = 0;
};

// "name (n).ext" for a file name "name.ext" (n >= 2).
std::string NumberedName(const std::string& name, unsigned n);

}  // namespace kestrel::app
