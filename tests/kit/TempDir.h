// A fresh directory for a test's links, removed with everything in it.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace kestrel::testing {

class TTempDir {
 public:
  TTempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("kestrel-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace kestrel::testing
