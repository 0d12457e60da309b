// Loading the gate (tools/host/GateLibrary.h): where it is looked for, and
// what a wrong file or a missing export gives. (A gate with every export is
// loaded by each test of the exports.)
#include "platform/ProcessEnv.h"
#include "tests/tools/ToolTest.h"
#include "tools/host/GateLibrary.h"

namespace kestrel::app {
namespace {

using namespace testing;

TEST(GateLibrary, WrongFilesAndMissingExportsAreNamed) {
  auto error_of = [](const std::string& path) { return ErrorOf([&] { TGateLibrary::Load(path); }); };
  EXPECT_THAT(error_of("/nonexistent/missing.so"), HasSubstr("/nonexistent/missing.so"));
  EXPECT_THAT(error_of(HERON_LIBRARY_PATH), HasSubstr("has no export StartTransmit")) << "a library, but not a gate";
  const auto gate = TGateLibrary::Load(KESTREL_LIBRARY_PATH);
  decltype(gate->GateMonitor) none = nullptr;
  EXPECT_THAT(ErrorOf([&] { gate->Need(none, "GateMonitor", "the monitor window"); }),
              HasSubstr("has no export GateMonitor, so the monitor window"));
}

TEST(GateLibrary, CandidatesFollowOptionEnvironmentThenProgram) {
  platform::SetEnvironmentVariable("KESTREL_GATE_LIBRARY", "");
  EXPECT_THAT(GateLibraryCandidates("/opt/lib.so", "/usr/bin/kestrel"), ElementsAre("/opt/lib.so"));
  const auto found = GateLibraryCandidates("", "/usr/bin/kestrel");
  ASSERT_GE(found.size(), 3u);
  EXPECT_EQ(found[0], "/usr/bin/libKestrel.so");
  EXPECT_EQ(found[1], "/usr/lib/libKestrel.so");
  EXPECT_EQ(found.back(), "libKestrel.so") << "the loader's own search comes last";
  platform::SetEnvironmentVariable("KESTREL_GATE_LIBRARY", "/env/lib.so");
  EXPECT_THAT(GateLibraryCandidates("", "/usr/bin/kestrel"), ElementsAre("/env/lib.so"));
  EXPECT_THAT(GateLibraryCandidates("/opt/lib.so", ""), ElementsAre("/opt/lib.so")) << "the option wins";
  platform::SetEnvironmentVariable("KESTREL_GATE_LIBRARY", "");
}

}  // namespace
}  // namespace kestrel::app
