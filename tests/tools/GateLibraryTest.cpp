// Loading the gate: where it is looked for, and what a wrong file gives.
#include <gtest/gtest.h>

#include "platform/ProcessEnv.h"
#include "tests/tools/ToolTempDir.h"
#include "tools/kestrel/GateLibrary.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

std::string ErrorOf(const std::string& path) {
  try {
    TGateLibrary::Load(path);
  } catch (const EToolError& e) {
    return e.what();
  }
  return {};
}

TEST(GateLibrary, TheBuiltGateHasItsTransmitExports) {
  auto gate = TGateLibrary::Load(KESTREL_LIBRARY_PATH);
  EXPECT_NE(gate->StartTransmit, nullptr);
  EXPECT_NE(gate->StopListen, nullptr);
  EXPECT_EQ(gate->Path(), KESTREL_LIBRARY_PATH);
  // Whatever this build lacks is refused by name when asked for.
  for (const auto& name : gate->MissingExports()) EXPECT_FALSE(name.empty());
  if (gate->GateMonitor == nullptr) {
    try {
      gate->Need(gate->GateMonitor, "GateMonitor", "the monitor window");
      FAIL();
    } catch (const EToolError& e) {
      EXPECT_NE(std::string(e.what()).find("has no export GateMonitor, so the monitor window"), std::string::npos);
    }
  } else {
    EXPECT_EQ(gate->Need(gate->GateMonitor, "GateMonitor", "x"), gate->GateMonitor);
  }
}

TEST(GateLibrary, FilesThatAreNoGateAreNamed) {
  testing::TTestDir dir;
  testing::WriteFile(dir / "libKestrel.so", "not a library");
  std::string e = ErrorOf(dir / "libKestrel.so");
  EXPECT_EQ(e.rfind("cannot load the gate library " + (dir / "libKestrel.so"), 0), 0u) << e;
  e = ErrorOf(dir / "missing.so");
  EXPECT_NE(e.find("missing.so"), std::string::npos) << e;
  e = ErrorOf(HERON_LIBRARY_PATH);
  EXPECT_NE(e.find("has no export StartTransmit"), std::string::npos) << "a library, but not a gate: " << e;
}

TEST(GateLibrary, CandidatesFollowOptionEnvironmentThenProgram) {
  platform::SetEnvironmentVariable("KESTREL_GATE_LIBRARY", "");
  EXPECT_EQ(GateLibraryCandidates("/opt/lib.so", "/usr/bin/kestrel"), std::vector<std::string>{"/opt/lib.so"});
  auto found = GateLibraryCandidates("", "/usr/bin/kestrel");
  ASSERT_GE(found.size(), 3u);
  EXPECT_EQ(found[0], "/usr/bin/libKestrel.so");
  EXPECT_EQ(found[1], "/usr/lib/libKestrel.so");
  EXPECT_EQ(found.back(), "libKestrel.so") << "the loader's own search comes last";
  platform::SetEnvironmentVariable("KESTREL_GATE_LIBRARY", "/env/lib.so");
  EXPECT_EQ(GateLibraryCandidates("", "/usr/bin/kestrel"), std::vector<std::string>{"/env/lib.so"});
  EXPECT_EQ(GateLibraryCandidates("/opt/lib.so", ""), std::vector<std::string>{"/opt/lib.so"}) << "the option wins";
  platform::SetEnvironmentVariable("KESTREL_GATE_LIBRARY", "");
}

}  // namespace
}  // namespace kestrel::app
