// The framework's monitor window on the forms backend, over a gate
// that reports channels and log lines the test sets: what it shows, how it
// follows the gate (its own timer, a refresh on show), what survives a
// refresh, and that it reads nothing once it is being released.
#include <gtest/gtest.h>

#include "host/OnlineGateMonitorForm.h"
#include "platform/Cp1251.h"
#include "platform/forms/TextConvert.h"
#include "tests/host/MonitorGate.h"
#include "tests/kit/Pump.h"
#include "tests/kit/forms/Operator.h"

namespace kestrel::host {
namespace {

using namespace kestrel::literals;
using forms::testing::TUi;

// Texts of the window (at namespace scope: see platform/Cp1251.h).
constexpr std::string_view kModem1 = "Модем 1"_cp;
constexpr std::string_view kBaseCaption = "Монитор шлюза"_cp;

class MonitorForm : public forms::testing::UiTest {
 protected:
  // The row of the gate's channel `index` (its texts are the message test's).
  std::string Row(int index) { return ChannelRowText(gate.channels.at(index)); }

  TMonitorGate gate;
};

TEST_F(MonitorForm, ShowsTheGateFollowsItOnItsOwnTimerAndKeepsTheSelectedRow) {
  gate.Set(0, std::string(kModem1), TChannelActivity::kListening, 3);
  gate.Set(4, {}, TChannelActivity::kIdle, 0);
  gate.Log("older");
  gate.Log("newer");
  TOnlineGateMonitorFormEx form;
  form.GateManager = &gate;
  form.FormCreate(&form);
  form.Show();
  auto windows = TUi::Windows(form.Name());  // as the operator sees it
  ASSERT_EQ(windows.size(), 1u);
  const auto window = std::move(windows[0]);
  EXPECT_EQ(window->Caption(), std::string(kBaseCaption));
  EXPECT_EQ(window->Items("lvChannels"), (std::vector<std::string>{Row(0), Row(4)}));
  EXPECT_EQ(window->Text("lblProcesses"), ProcessesText(0, 0));
  EXPECT_EQ(window->Text("memLog"), "newer\nolder") << "newest first";

  // Real time, tolerant: the timer fires about every second.
  gate.Set(0, std::string(kModem1), TChannelActivity::kConnected, 10);
  gate.Log("newest");
  EXPECT_TRUE(testing::PumpUntil([&] { return window->Text("memLog").rfind("newest", 0) == 0; }, 15000,
                                 [] { TUi::ProcessEvents(20); }));
  EXPECT_EQ(window->Items("lvChannels")[0], Row(0));

  // The close box hides it and stops the timer; showing it reads the gate again.
  window->CloseBox();
  EXPECT_FALSE(form.Visible());
  EXPECT_FALSE(form.tmRefresh.Enabled());
  gate.Set(4, {}, TChannelActivity::kSending, 11);
  form.Show();
  ASSERT_TRUE(window->Open()) << "the same window";
  EXPECT_EQ(window->Items("lvChannels")[1], Row(4));
  EXPECT_TRUE(form.tmRefresh.Enabled());

  // A refresh keeps the selected row; one while closing reads nothing.
  form.lvChannels.SetItemIndex(1);
  gate.Set(0, std::string(kModem1), TChannelActivity::kListening, 3);
  form.tmRefresh.Fire();
  EXPECT_EQ(window->Items("lvChannels")[0], Row(0));
  EXPECT_EQ(form.lvChannels.ItemIndex(), 1);
  form.Closing = true;
  const int reads = gate.reads;
  form.tmRefresh.Fire();
  form.Refresh();
  EXPECT_EQ(gate.reads, reads);
  form.Hide();
}

TEST_F(MonitorForm, WithoutAGateOrItsChannelsItSaysSo) {
  TOnlineGateMonitorFormEx form;
  form.FormCreate(&form);
  EXPECT_EQ(form.lvChannels.Items(), std::vector<std::string>{std::string("(шлюз не запущен)"_cp)});
  TPlainGate plain;
  form.GateManager = &plain;
  form.Refresh();
  EXPECT_EQ(form.lvChannels.Items(), std::vector<std::string>{std::string("(каналы не настроены)"_cp)});
  EXPECT_TRUE(form.Text.empty());
}

}  // namespace
}  // namespace kestrel::host
