// A fresh folder for one test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

namespace kestrel::app::testing {

class TTestDir {
 public:
  TTestDir();
  ~TTestDir();
  TTestDir(const TTestDir&) = delete;
  TTestDir& operator=(const TTestDir&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Writes `bytes` to `path`; reads a file whole ("" when missing).
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

}  // namespace kestrel::app::testing
