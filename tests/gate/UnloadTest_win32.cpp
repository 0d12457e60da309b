// Unloading Kestrel.dll on Windows: its unload runs under the loader lock,
// where nothing may be joined, so from the first start until the whole gate
// stops the library holds itself in the process. A host's FreeLibrary
// without a stop returns at once and leaves the gate running; the library
// goes with the next unload after a whole-gate stop.
#include <windows.h>

#include "platform/Tick.h"
#include "tests/gate/GateTest.h"
#include "tests/kit/Blocks.h"

namespace kestrel::testing {
namespace {

bool Loaded() { return ::GetModuleHandleA("Kestrel.dll") != nullptr; }

TEST(Unload, WithoutAStopReturnsAtOnceAndKeepsTheGateUntilAWholeGateStop) {
  TCoreSpy core;
  auto library = app::TGateLibrary::Load(KESTREL_LIBRARY_PATH, false);
  const std::string block = RemoteBlock(QuickAddress({1}), {"101"});
  const KHandle process = library->StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 1, 1, 0);
  ASSERT_NE(process, 0u);
  const std::uint32_t t0 = platform::GetTickCount();
  library.reset();  // FreeLibrary, no stop
  EXPECT_LE(platform::Elapsed(t0, platform::GetTickCount()), 1000u);
  ASSERT_TRUE(Loaded()) << "the running gate holds its library";

  // Loaded again, it is the same gate: its process is still there.
  library = app::TGateLibrary::Load(KESTREL_LIBRARY_PATH, false);
  EXPECT_EQ(library->StopTransmit(process), 1);
  EXPECT_EQ(library->StopTransmit(0), 1);
  library.reset();
  EXPECT_FALSE(Loaded()) << "after the whole-gate stop the unload takes it";
}

}  // namespace
}  // namespace kestrel::testing
