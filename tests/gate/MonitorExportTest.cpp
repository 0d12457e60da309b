// The GateMonitor export on the forms backend (Qt offscreen, or Win32 under
// Wine): one window, made and released on the main thread whichever thread
// asks, shown again rather than twice, released by the whole-gate stops,
// captioned from the host's texts. (What the window shows and how it follows
// the gate is the framework's test, MonitorFormTest.cpp; the gate's channel
// rows the session's.)
//
// The main thread of this test is the host's main thread: while a worker
// asks, it handles its events either through the toolkit's own loop (a Qt
// host, or a Windows host's ordinary message loop) or through the core's
// HeronPumpMainThread (a host without a loop of its own).
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "heron.h"
#include "platform/Cp1251.h"
#include "tests/gate/GateTest.h"
#include "tests/kit/Pump.h"
#include "tests/kit/forms/Operator.h"

namespace kestrel::testing {
namespace {

using namespace kestrel::literals;
using forms::testing::TUi;

constexpr const char* kWindowName = "TModemGateMonitorForm";
constexpr std::string_view kCaption = "Монитор модемного шлюза"_cp;

std::size_t Monitors() { return TUi::Windows(kWindowName).size(); }

class MonitorExport : public GateTest {
 protected:
  void SetUp() override {
    GateTest::SetUp();
    TUi::SetUp();
  }
  void TearDown() override {
    gate.StopListen(0, 1);  // releases the window
    PumpUntil([] { return Monitors() == 0; }, 2000, [] { PumpOnce(false); });
    TUi::TearDown();
  }

  // Handles the main thread's events once: the toolkit's loop, or the core's pump.
  static void PumpOnce(bool through_core) {
    if (through_core)
      HeronPumpMainThread(20);
    else
      TUi::ProcessEvents(20);
  }
  // Runs `call` on a worker thread while the main thread handles its events;
  // returns whether the worker finished in time.
  static bool OnWorker(const std::function<void()>& call, bool through_core) {
    return OnWorkerWhilePumping(call, 15000, [=] { PumpOnce(through_core); });
  }
};

TEST_F(MonitorExport, OneWindowMadeOnTheMainThreadWhicheverThreadAsksAndReleasedByTheWholeGateStop) {
  for (const bool through_core : {false, true}) {
    SCOPED_TRACE(through_core ? "pumped through the core" : "the toolkit's own loop");
    const int shows = TUi::Shows(kWindowName);
    std::atomic<int> shows_seen_by_worker{-1};
    ASSERT_TRUE(OnWorker([&] {
      gate.GateMonitor();
      shows_seen_by_worker = TUi::Shows(kWindowName);
    }, through_core));
    EXPECT_EQ(shows_seen_by_worker.load(), shows + 1) << "the call returned after the window was shown";
    auto windows = TUi::Windows(kWindowName);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_FALSE(TUi::ShownOffTestThread());
    const auto& window = windows[0];
    EXPECT_EQ(window->Caption(), kCaption);
    window->CloseBox();  // the operator may have closed it meanwhile
    EXPECT_FALSE(window->Open());
    gate.GateMonitor();
    EXPECT_EQ(Monitors(), 1u);
    EXPECT_TRUE(window->Open()) << "the same window is shown again";
    EXPECT_EQ(TUi::Shows(kWindowName), shows + 2);

    // The whole-gate stop from a worker releases it on the main thread.
    ASSERT_TRUE(OnWorker([&] { EXPECT_EQ(gate.StopListen(0, 0), 1); }, through_core));
    EXPECT_FALSE(window->Open());
    EXPECT_EQ(Monitors(), 0u);
  }
  // A new window after the release, captioned with the host's text for its
  // key; on the main thread the stop releases it at once.
  core.SetText("M_Kestrel_ModemMon_FormCaption", "Modem monitor");
  gate.GateMonitor();
  const auto windows = TUi::Windows(kWindowName);
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0]->Caption(), "Modem monitor");
  EXPECT_EQ(gate.StopListen(0, 0), 1);
  EXPECT_FALSE(windows[0]->Open());
  EXPECT_TRUE(core.Errors().empty());
}

}  // namespace
}  // namespace kestrel::testing
