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

// Runs the host that ends with a running gate; its exit code, or a text
// saying why there is none.
std::string RunProcessEndChild(DWORD deadline_ms) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  std::string command = "\"" KESTREL_PROCESS_END_CHILD "\"";
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
    return "not started: error " + std::to_string(::GetLastError());
  ::CloseHandle(child.hThread);
  std::string result;
  if (::WaitForSingleObject(child.hProcess, deadline_ms) != WAIT_OBJECT_0) {
    ::TerminateProcess(child.hProcess, 99);
    result = "still running after " + std::to_string(deadline_ms) + " ms";
  } else {
    DWORD code = 0;
    ::GetExitCodeProcess(child.hProcess, &code);
    result = "exit " + std::to_string(code);
  }
  ::CloseHandle(child.hProcess);
  return result;
}

// Where a thread is ended matters, and that is left to chance: so many runs.
TEST(Unload, ProcessEndsWhileItsGateIsStarting) {
  for (int run = 1; run <= 30; ++run) ASSERT_EQ(RunProcessEndChild(20000), "exit 0") << "run " << run;
}

}  // namespace
}  // namespace kestrel::testing
