#include "tests/tools/ToolTempDir.h"

#include <fstream>
#include <random>
#include <sstream>

namespace kestrel::app::testing {

TTestDir::TTestDir() {
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() / ("kestrel-tool-test-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(path_);
}

TTestDir::~TTestDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace kestrel::app::testing
