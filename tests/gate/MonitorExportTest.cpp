// The GateMonitor export on the Qt backend (offscreen): one window, made and
// released on the main thread whichever thread asks, shown again rather than
// twice, released by the whole-gate stops, captioned from the host's texts.
// (What the window shows and how it follows the gate is the framework's
// test, MonitorFormTest.cpp; the gate's channel rows the session's.)
//
// The main thread of this test is the host's main thread: while a worker
// asks, it handles its events either through Qt's own loop (a Qt host) or
// through the core's HeronPumpMainThread (a host without a toolkit loop).
#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>

#include "heron.h"
#include "platform/Cp1251.h"
#include "platform/forms/TextConvert.h"
#include "tests/gate/GateTest.h"
#include "tests/kit/Pump.h"
#include "tests/kit/forms/Operator.h"

namespace kestrel::testing {
namespace {

using namespace kestrel::literals;
using forms::testing::TQtUi;

constexpr const char* kWindowName = "TModemGateMonitorForm";
constexpr std::string_view kCaption = "Монитор модемного шлюза"_cp;

std::string FromQt(const QString& s) { return text::Utf8ToCp1251(s.toStdString()); }

// The monitor windows that are visible now.
std::vector<QWidget*> Monitors() {
  std::vector<QWidget*> found;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == kWindowName && w->isVisible()) found.push_back(w);
  return found;
}

// Counts Show events of monitor windows, and notes on which thread they came.
class TShowSpy final : public QObject {
 public:
  TShowSpy() { qApp->installEventFilter(this); }
  ~TShowSpy() override { qApp->removeEventFilter(this); }
  std::atomic<int> shows{0};
  std::atomic<bool> off_main_thread{false};

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->objectName() == kWindowName) {
      if (QThread::currentThread() != qApp->thread()) off_main_thread = true;
      ++shows;
    }
    return false;
  }
};

class MonitorExport : public GateTest {
 protected:
  void SetUp() override {
    GateTest::SetUp();
    TQtUi::SetUp();
  }
  void TearDown() override {
    gate.StopListen(0, 1);  // releases the window
    PumpUntil([] { return Monitors().empty(); }, 2000, [] { PumpOnce(false); });
    TQtUi::TearDown();
  }

  // Handles the main thread's events through Qt's loop, or the core's pump.
  static void PumpOnce(bool through_core) {
    if (through_core)
      HeronPumpMainThread(20);
    else
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  static bool OnWorker(const std::function<void()>& call, bool through_core) {
    return OnWorkerWhilePumping(call, 15000, [=] { PumpOnce(through_core); });
  }
};

TEST_F(MonitorExport, OneWindowMadeOnTheMainThreadWhicheverThreadAsksAndReleasedByTheWholeGateStop) {
  for (const bool through_core : {false, true}) {
    SCOPED_TRACE(through_core ? "pumped through the core" : "Qt's own loop");
    TShowSpy spy;
    std::atomic<int> shows_seen_by_worker{-1};
    ASSERT_TRUE(OnWorker([&] {
      gate.GateMonitor();
      shows_seen_by_worker = spy.shows.load();
    }, through_core));
    EXPECT_EQ(shows_seen_by_worker.load(), 1) << "the call returned after the window was shown";
    EXPECT_FALSE(spy.off_main_thread.load());
    ASSERT_EQ(Monitors().size(), 1u);
    QPointer<QWidget> window = Monitors()[0];
    EXPECT_EQ(FromQt(window->windowTitle()), kCaption);
    EXPECT_FALSE(window->isModal());
    window->hide();  // the operator may have closed it meanwhile
    gate.GateMonitor();
    ASSERT_EQ(Monitors().size(), 1u);
    EXPECT_EQ(Monitors()[0], window.data()) << "the same window is shown again";
    EXPECT_EQ(spy.shows.load(), 2);

    // The whole-gate stop from a worker releases it on the main thread.
    ASSERT_TRUE(OnWorker([&] { EXPECT_EQ(gate.StopListen(0, 0), 1); }, through_core));
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(Monitors().empty());
  }
  // A new window after the release, captioned with the host's text for its
  // key; on the main thread the stop releases it at once.
  core.SetText("M_Kestrel_ModemMon_FormCaption", "Modem monitor");
  gate.GateMonitor();
  ASSERT_EQ(Monitors().size(), 1u);
  QPointer<QWidget> window = Monitors()[0];
  EXPECT_EQ(window->windowTitle(), "Modem monitor");
  EXPECT_EQ(gate.StopListen(0, 0), 1);
  EXPECT_TRUE(window.isNull());
  EXPECT_TRUE(core.Errors().empty());
}

}  // namespace
}  // namespace kestrel::testing
