// The channel settings dialog: the port list of free ports, the mapping of
// every control to the record, and the nothing-changed rule.
#include "tests/ui/DialogTest.h"
#include "ui/mdm_gopt.h"

namespace kestrel::ui::testing {
namespace {

class ChannelDialogTest : public DialogTest {};

TEST_F(ChannelDialogTest, OnlyFreePortsAreOfferedAndEveryFieldOfTheRecordIsShown) {
  TfmMdmGOpt dialog;
  auto& c = dialog.Channel;
  c = Channel(5, std::string("Модем 1"_cp));
  c.BaudRate = gate::TBaudRate::br9600;
  c.DataBits = gate::TDataBits::db7BITS;
  c.Parity = gate::TParity::ptEVEN;
  c.StopBits = gate::TStopBits::sb1HALFBITS;
  c.SwFlow = gate::TSwFlowControl::sfXONXOFF;
  c.HwFlow = gate::THwFlowControl::hfNONE;
  (void)store::SetShortText(c.InitString, "AT&F");
  dialog.FreePorts = AllPortsBut({1, 3});
  Op().Expect([](TFormDriver& f) {
    std::vector<std::string> ports{"COM2", "COM4"};
    for (int p = 5; p <= 16; ++p) ports.push_back("COM" + std::to_string(p));
    EXPECT_EQ(f.Items("cmbxPort"), ports);
    std::vector<int> chosen;
    for (const char* list : {"cmbxPort", "cmbxBaudRate", "cmbxDataBits", "cmbxParity", "cmbxStopBits", "cmbxFlowControl"})
      chosen.push_back(f.ItemIndex(list));
    EXPECT_EQ(chosen, (std::vector<int>{2, 6, 2, 2, 1, 0}));
    EXPECT_EQ(f.Items("cmbxBaudRate")[6], "9600");
    EXPECT_EQ(f.Text("edInitString"), "AT&F");
    EXPECT_EQ(f.Text("edAlias"), "Модем 1"_cp);
    f.Click("btnCancel");
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
}

TEST_F(ChannelDialogTest, OkWritesEveryControlBackByItsMapping) {
  TfmMdmGOpt dialog;
  dialog.Channel = Channel(5);
  dialog.FreePorts = AllPortsBut({1, 3});
  // (clang 14 crashes on a string variable initialised from the literal itself)
  const std::string_view cyrillic50 = "Канал на втором этаже, у окна, рядом с серверной N"_cp;
  const std::string alias60 = std::string(cyrillic50) + "1234567890";
  ASSERT_EQ(alias60.size(), 60u);
  Op().Expect([&](TFormDriver& f) {
    f.Select("cmbxPort", 1);  // COM4
    f.Select("cmbxBaudRate", 14);
    f.Select("cmbxDataBits", 0);
    f.Select("cmbxParity", 4);
    f.Select("cmbxStopBits", 2);
    f.Select("cmbxFlowControl", 0);
    f.Type("edInitString", "ATX4&C1");
    f.Type("edAlias", alias60);
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  const auto& c = dialog.Channel;
  EXPECT_EQ(c.PortNumber, gate::TPortNumber::pnCOM4);
  EXPECT_EQ(c.BaudRate, gate::TBaudRate::br256000);
  EXPECT_EQ(c.DataBits, gate::TDataBits::db5BITS);
  EXPECT_EQ(c.Parity, gate::TParity::ptSPACE);
  EXPECT_EQ(c.StopBits, gate::TStopBits::sb2BITS);
  EXPECT_EQ(c.SwFlow, gate::TSwFlowControl::sfXONXOFF);
  EXPECT_EQ(c.HwFlow, gate::THwFlowControl::hfNONE);
  EXPECT_EQ(store::ShortTextToString(c.InitString), "ATX4&C1");
  EXPECT_EQ(store::ShortTextToString(c.Alias), alias60.substr(0, 50));

  // Reopened, the alias shows its 50 stored characters; hardware flow
  // control stores RTS/CTS and no software flow.
  TfmMdmGOpt again;
  again.Channel = dialog.Channel;
  again.FreePorts = AllPortsBut({1, 3});
  Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.Text("edAlias"), alias60.substr(0, 50));
    EXPECT_EQ(f.ItemIndex("cmbxPort"), 1);
    f.Select("cmbxFlowControl", 1);
    f.Click("btnOK");
  });
  EXPECT_EQ(again.ShowModal(), mrOk);
  EXPECT_EQ(again.Channel.SwFlow, gate::TSwFlowControl::sfNONE);
  EXPECT_EQ(again.Channel.HwFlow, gate::THwFlowControl::hfRTSCTS);
}

TEST_F(ChannelDialogTest, NothingChangedIsCancelExceptForANewChannelAndCancelKeepsTheRecord) {
  struct TCase {
    const char* what;
    bool is_new;
    TScript script;
    TModalResult result;
  };
  const TCase cases[] = {
      // Choosing the same item again is no change either.
      {"existing, confirmed unchanged", false,
       [](TFormDriver& f) {
         f.Select("cmbxParity", 0);
         EXPECT_TRUE(f.Click("btnOK"));
       },
       mrCancel},
      {"new, confirmed untouched", true, [](TFormDriver& f) { f.Click("btnOK"); }, mrOk},
      {"changed, then the close box", false,
       [](TFormDriver& f) {
         f.Select("cmbxBaudRate", 0);
         f.Type("edAlias", "changed");
         f.CloseBox();
       },
       mrCancel},
  };
  for (const auto& [what, is_new, script, result] : cases) {
    SCOPED_TRACE(what);
    TfmMdmGOpt dialog;
    dialog.Channel = Channel(3, "x");
    dialog.IsNewChannel = is_new;
    dialog.FreePorts = AllPortsBut({1, 2});
    const auto before = dialog.Channel;
    EXPECT_EQ(Run(dialog, {script}), result);
    EXPECT_TRUE(SameRecord(dialog.Channel, before));
  }
}

TEST_F(ChannelDialogTest, AValueWithoutAnItemIsShownAsNoneAndKept) {
  // A stored record may hold a rate the list does not offer (brCustom) or
  // bytes no enumeration knows: nothing is chosen, and OK keeps them.
  TfmMdmGOpt dialog;
  dialog.Channel = Channel(2);
  dialog.Channel.BaudRate = gate::TBaudRate::brCustom;
  dialog.Channel.Parity = static_cast<gate::TParity>(77);
  dialog.FreePorts = AllPortsBut({});
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.ItemIndex("cmbxBaudRate"), -1);
    EXPECT_EQ(f.ItemIndex("cmbxParity"), -1);
    f.Type("edAlias", std::string("Модем"_cp));
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(dialog.Channel.BaudRate, gate::TBaudRate::brCustom);
  EXPECT_EQ(static_cast<int>(dialog.Channel.Parity), 77);
  EXPECT_EQ(store::ShortTextToString(dialog.Channel.Alias), "Модем"_cp);
}

}  // namespace
}  // namespace kestrel::ui::testing
