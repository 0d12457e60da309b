// Unloading Kestrel.dll on Windows: its unload runs under the loader lock,
// where nothing may be joined, so from the first start until the whole gate
// stops the library holds itself in the process. A host's FreeLibrary
// without a stop returns at once and leaves the gate running; the library
// goes with the next unload after a whole-gate stop.
//
// A process that ends with its gate running ends: the system has ended the
// gate's threads wherever they were, inside locks and waits, and the
// library's unload then touches none of what they held.
#include <windows.h>

#include <cstdlib>
#include <string>

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

// Starts transmit processes, hands each a packet and ends the process at
// once, while the gate's threads are busy starting.
[[noreturn]] void EndWhileTheGateStarts() {
  const auto library = app::TGateLibrary::Load(KESTREL_LIBRARY_PATH);
  const std::string block = RemoteBlock(QuickAddress({1, 2}), {"101"});
  const TRefPack ref{1, 738000, 0};
  for (std::int16_t code = 1; code <= 4; ++code) {
    const KHandle process = library->StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 1, code, 0);
    (void)library->SendToGate("abc", 3, &ref, process);
  }
  std::exit(0);
}

// Where a thread is ended is left to chance: so many runs. A process that
// hangs instead shows as this test's time-out.
TEST(UnloadDeathTest, ProcessEndsWhileItsGateIsStarting) {
  for (int run = 1; run <= 30; ++run) EXPECT_EXIT(EndWhileTheGateStarts(), ::testing::ExitedWithCode(0), "") << run;
}

}  // namespace
}  // namespace kestrel::testing
