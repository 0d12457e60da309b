// A new folder under the system's temporary folder, removed with everything
// in it when the object goes (unless Keep() was called).
#pragma once

#include <filesystem>
#include <string>

namespace kestrel::app {

class TTempFolder {
 public:
  // Throws EToolError when it cannot be made.
  explicit TTempFolder(const std::string& stem);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  void Keep() { keep_ = true; }

 private:
  std::filesystem::path path_;
  bool keep_ = false;
};

}  // namespace kestrel::app
