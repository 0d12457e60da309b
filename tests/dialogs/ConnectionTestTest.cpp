// The channel dialog's connection test against the modem simulator: a live
// modem on a sim line, a COM number that leads nowhere, a silent modem.
// Real time: the silent modem costs the driver's one-second answer wait.
#include <gtest/gtest.h>

#include "gate/GateAccess.h"
#include "platform/Cp1251.h"
#include "platform/PortNames.h"
#include "sim/ExchangeRunner.h"
#include "tests/dialogs/Blocks.h"
#include "tests/forms/UiTest.h"
#include "ui/mdm_gopt.h"

namespace kestrel::ui {
namespace {

using namespace kestrel::literals;
using forms::TModalResult;
using forms::TMsgKind;
using forms::testing::TFormDriver;
using forms::testing::UiTest;
using testing::ChannelOn;

constexpr int kLivePort = 7;
constexpr int kSilentPort = 8;
constexpr int kMissingPort = 9;

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

class ConnectionTest : public UiTest {
 protected:
  TRunningGate gate_;
  void SetUp() override {
    UiTest::SetUp();
    if (this->IsSkipped()) return;
    const std::string suffix = UiName() + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name();
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
    UiTest::TearDown();
  }

  // Runs the test of a channel on `shown_port` and returns the one message box.
  forms::testing::TMessageSeen TestOn(int stored_port, int chosen_port) {
    TfmMdmGOpt dialog;
    dialog.Channel = ChannelOn(stored_port);
    dialog.FreePorts.fill(true);
    const auto before = dialog.Channel;
    this->Op().Expect([&](TFormDriver& f) {
      f.Select("cmbxPort", chosen_port - 1);
      EXPECT_TRUE(f.Click("btnTestConn"));
      EXPECT_TRUE(f.Open());
      f.Click("btnCancel");
    });
    EXPECT_EQ(dialog.ShowModal(), TModalResult::mrCancel);
    EXPECT_EQ(std::memcmp(&dialog.Channel, &before, sizeof before), 0) << "the test does not touch the record";
    EXPECT_EQ(this->Op().Messages().size(), 1u);
    return this->Op().Messages().empty() ? forms::testing::TMessageSeen{} : this->Op().Messages().front();
  }

  sim::TExchangeRunner runner_;
};
KESTREL_UI_TESTS(ConnectionTest);

constexpr std::string_view kFailurePrefix = "Коннекция не установлена\r\nВозможная причина: ("_cp;

TEST_P(ConnectionTest, ALiveModemIsReportedConnected) {
  // The controls are tested, not the stored record: the record names a port
  // that leads nowhere.
  const auto seen = this->TestOn(kMissingPort, kLivePort);
  EXPECT_EQ(seen.kind, TMsgKind::kInformation);
  EXPECT_EQ(seen.text, "Коннекция успешная"_cp);
}

TEST_P(ConnectionTest, AMissingPortGivesTheDriversReason) {
  const auto seen = this->TestOn(kLivePort, kMissingPort);
  EXPECT_EQ(seen.kind, TMsgKind::kError);
  ASSERT_GT(seen.text.size(), kFailurePrefix.size() + 1);
  EXPECT_EQ(seen.text.substr(0, kFailurePrefix.size()), kFailurePrefix) << seen.text;
  EXPECT_EQ(seen.text.back(), ')');
  EXPECT_NE(seen.text.find("Система не смогла найти указанный порт"_cp), std::string::npos) << seen.text;
}

TEST_P(ConnectionTest, ASilentModemGivesTheDriversReason) {
  const auto seen = this->TestOn(kLivePort, kSilentPort);
  EXPECT_EQ(seen.kind, TMsgKind::kError);
  EXPECT_EQ(seen.text.substr(0, kFailurePrefix.size()), kFailurePrefix) << seen.text;
  EXPECT_NE(seen.text.find("Модем отключен от порта или неверные настройки модема"_cp), std::string::npos)
      << seen.text;
  EXPECT_EQ(seen.text.back(), ')');
}

TEST_P(ConnectionTest, TheTestCanBeRepeatedAndFreesThePortEachTime) {
  TfmMdmGOpt dialog;
  dialog.Channel = ChannelOn(kLivePort);
  dialog.FreePorts.fill(true);
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnTestConn"));
    EXPECT_TRUE(f.Click("btnTestConn"));
    f.Click("btnCancel");
  });
  dialog.ShowModal();
  ASSERT_EQ(this->Op().Messages().size(), 2u);
  EXPECT_EQ(this->Op().Messages()[1].text, "Коннекция успешная"_cp) << "the first run left the port open";
}

}  // namespace
}  // namespace kestrel::ui
