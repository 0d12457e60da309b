// The channel dialog's connection test against the modem simulator: a live
// modem on a sim line, a COM number that leads nowhere, a silent modem.
// Real time: the silent modem costs the driver's one-second answer wait.
#include "gate/common/GateAccess.h"
#include "platform/PortNames.h"
#include "sim/ExchangeRunner.h"
#include "tests/dialogs/DialogTest.h"
#include "ui/mdm_gopt.h"

namespace kestrel::ui::testing {
namespace {

constexpr int kLivePort = 7;
constexpr int kSilentPort = 8;
constexpr int kMissingPort = 9;
constexpr std::string_view kFailurePrefix = "Коннекция не установлена\r\nВозможная причина: ("_cp;
constexpr std::string_view kNoPort = "Система не смогла найти указанный порт"_cp;
constexpr std::string_view kNoModem = "Модем отключен от порта или неверные настройки модема"_cp;

// The dialogs are opened by the library's exports, which exist only while
// the gate manager does: the modem layer waits only while it is there.
class TRunningGate final : public gate::IGateAccess {
 public:
  TRunningGate() : previous_(gate::SetGateAccess(this)) {}
  ~TRunningGate() override { gate::SetGateAccess(previous_); }
  bool HasManager() const override { return true; }
  bool GateStopping() const override { return false; }
  std::int32_t PoolIndexOf(const void*) const override { return -1; }

 private:
  const gate::IGateAccess* previous_;
};

class ConnectionTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    if (IsSkipped()) return;
    const std::string suffix = UiName() + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_NE(runner_.AddSimModem("live-" + suffix, {}), sim::kNoModem);
    sim::TModemSetup silent;
    silent.faults.dead = true;
    ASSERT_NE(runner_.AddSimModem("silent-" + suffix, silent), sim::kNoModem);
    runner_.Start();
    platform::SetComPortTarget(kLivePort, "sim:live-" + suffix);
    platform::SetComPortTarget(kSilentPort, "sim:silent-" + suffix);
    platform::SetComPortTarget(kMissingPort, "sim:nobody-" + suffix);
  }
  void TearDown() override {
    platform::ClearComPortTargets();
    runner_.Stop();
    DialogTest::TearDown();
  }

  // Tests a channel stored on `stored_port` with `chosen_port` chosen in the
  // dialog, `runs` times; returns the message boxes it showed.
  std::vector<forms::testing::TMessageSeen> TestOn(int stored_port, int chosen_port, int runs = 1) {
    const std::size_t seen_before = Op().Messages().size();
    TfmMdmGOpt dialog;
    dialog.Channel = Channel(stored_port);
    dialog.FreePorts.fill(true);
    const auto before = dialog.Channel;
    Op().Expect([&](TFormDriver& f) {
      f.Select("cmbxPort", chosen_port - 1);
      for (int run = 0; run < runs; ++run) EXPECT_TRUE(f.Click("btnTestConn"));
      EXPECT_TRUE(f.Open());
      f.Click("btnCancel");
    });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_TRUE(SameRecord(dialog.Channel, before)) << "the test does not touch the record";
    const auto& seen = Op().Messages();
    return {seen.begin() + static_cast<std::ptrdiff_t>(seen_before), seen.end()};
  }

  TRunningGate gate_;
  sim::TExchangeRunner runner_;
};
KESTREL_UI_TESTS(ConnectionTest);

TEST_P(ConnectionTest, ALiveModemIsReportedConnectedEachTimeTheTestRuns) {
  // The controls are tested, not the stored record: the record names a port
  // that leads nowhere.
  const auto seen = TestOn(kMissingPort, kLivePort, 2);
  ASSERT_EQ(seen.size(), 2u);
  for (const auto& message : seen) {
    EXPECT_EQ(message.kind, TMsgKind::kInformation);
    EXPECT_EQ(message.text, "Коннекция успешная"_cp) << "the first run left the port open";
  }
}

TEST_P(ConnectionTest, AMissingPortOrASilentModemGivesTheDriversReason) {
  for (const auto& [port, reason] : {std::pair{kMissingPort, kNoPort}, std::pair{kSilentPort, kNoModem}}) {
    const auto seen = TestOn(kLivePort, port);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, TMsgKind::kError);
    EXPECT_TRUE(seen[0].text.starts_with(kFailurePrefix)) << seen[0].text;
    EXPECT_NE(seen[0].text.find(reason), std::string::npos) << seen[0].text;
    EXPECT_EQ(seen[0].text.back(), ')');
  }
}

}  // namespace
}  // namespace kestrel::ui::testing
