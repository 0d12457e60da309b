// The channel dialog's connection test against the modem simulator: a live
// modem, and a COM number that leads nowhere (ConnectionPorts.h).
#include "tests/kit/FakeGate.h"
#include "tests/ui/ConnectionPorts.h"
#include "tests/ui/DialogTest.h"
#include "ui/mdm_gopt.h"

namespace kestrel::ui::testing {
namespace {

constexpr std::string_view kFailurePrefix = "Коннекция не установлена\r\nВозможная причина: ("_cp;
// The missing device's error, whichever language the system speaks.
constexpr std::string_view kNoPort = "Ошибка: 2; "_cp;

class ConnectionTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    std::string why_not;
    ports_ = MakeConnectionPorts(why_not);
    if (!ports_) GTEST_SKIP() << why_not;
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

  // The dialogs are opened by the library's exports, which exist only while
  // the gate manager does: the modem layer waits only while it is there.
  kestrel::testing::TFakeGate gate_;
  std::unique_ptr<TConnectionPorts> ports_;
};

TEST_F(ConnectionTest, ALiveModemIsReportedConnectedEachTimeTheTestRuns) {
  // The controls are tested, not the stored record: the record names a port
  // that leads nowhere.
  const auto seen = TestOn(ports_->missing, ports_->live, 2);
  ASSERT_EQ(seen.size(), 2u);
  for (const auto& message : seen) {
    EXPECT_EQ(message.kind, TMsgKind::kInformation);
    EXPECT_EQ(message.text, "Коннекция успешная"_cp) << "the first run left the port open";
  }
}

// The driver's reasons are its own test (MdmTestChannel); the dialog shows one.
TEST_F(ConnectionTest, AMissingPortGivesTheDriversReason) {
  const auto seen = TestOn(ports_->live, ports_->missing);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, TMsgKind::kError);
  EXPECT_TRUE(seen[0].text.starts_with(kFailurePrefix)) << seen[0].text;
  EXPECT_NE(seen[0].text.find(kNoPort), std::string::npos) << seen[0].text;
  EXPECT_EQ(seen[0].text.back(), ')');
}

}  // namespace
}  // namespace kestrel::ui::testing
