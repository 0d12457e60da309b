// What the program's tests share: a fresh folder, whole files, the message of
// a refusal, and a store opened in a fresh folder.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "tests/kit/TempDir.h"
#include "tools/kestrel/Schema.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app::testing {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using kestrel::testing::TTempDir;

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The whole file; "" when it is missing.
inline std::string ReadFile(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

// The message of the EToolError that `f` throws; "<none>" when it throws none.
template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const EToolError& e) {
    return e.what();
  }
  return "<none>";
}

// A store in a fresh folder.
struct TStoreTest : ::testing::Test {
  TTempDir dir;
  std::unique_ptr<TDatabase> db = OpenStore(dir / "k.db");
};

}  // namespace kestrel::app::testing
