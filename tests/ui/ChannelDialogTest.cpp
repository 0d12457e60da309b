// The channel settings dialog: the port list of free ports, the mapping of
// every control to the record, and the nothing-changed rule (its connection
// test: ConnectionTestTest.cpp).
//
// The gate settings dialog: the channel list and its buttons, nested channel
// dialogs, the result block, and damaged stored blocks.
#include "tests/ui/DialogTest.h"
#include "ui/mdm_gopt.h"
#include "ui/mdm_gset.h"

namespace kestrel::ui::testing {
namespace {

class ChannelDialogTest : public DialogTest {};

TEST_F(ChannelDialogTest, OnlyFreePortsAreOfferedEveryFieldIsShownOkWritesEachControlBackAndKeepsValuesWithoutAnItem) {
  // (clang 14 crashes on a string variable initialised from the literal itself)
  const std::string_view cyrillic50 = "Канал на втором этаже, у окна, рядом с серверной N"_cp;
  const std::string alias60 = std::string(cyrillic50) + "1234567890";
  ASSERT_EQ(alias60.size(), 60u);
  TfmMdmGOpt dialog;
  auto& c = dialog.Channel;
  c = Channel(5, std::string("Модем 1"_cp));
  c.BaudRate = gate::TBaudRate::br9600;
  c.DataBits = gate::TDataBits::db7BITS;
  c.Parity = gate::TParity::ptEVEN;
  c.StopBits = gate::TStopBits::sb1HALFBITS;
  c.SwFlow = gate::TSwFlowControl::sfNONE;
  c.HwFlow = gate::THwFlowControl::hfRTSCTS;
  (void)store::SetShortText(c.InitString, "AT&F");
  dialog.FreePorts = AllPortsBut({1, 3});
  Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.Items("cmbxPort"), Names({2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    std::vector<int> chosen;
    for (const char* list : {"cmbxPort", "cmbxBaudRate", "cmbxDataBits", "cmbxParity", "cmbxStopBits", "cmbxFlowControl"})
      chosen.push_back(f.ItemIndex(list));
    EXPECT_EQ(chosen, (std::vector<int>{2, 6, 2, 2, 1, 1}));
    EXPECT_EQ(f.Items("cmbxBaudRate")[6], "9600");
    EXPECT_EQ(f.Text("edInitString"), "AT&F");
    EXPECT_EQ(f.Text("edAlias"), "Модем 1"_cp);
    // COM4, br256000, db5BITS, ptSPACE, sb2BITS, software flow.
    for (const auto& [list, item] : {std::pair{"cmbxPort", 1}, {"cmbxBaudRate", 14}, {"cmbxDataBits", 0},
                                     {"cmbxParity", 4}, {"cmbxStopBits", 2}, {"cmbxFlowControl", 0}})
      f.Select(list, item);
    f.Type("edInitString", "ATX4&C1");
    f.Type("edAlias", alias60);
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(std::tuple(c.PortNumber, c.BaudRate, c.DataBits, c.Parity, c.StopBits, c.SwFlow, c.HwFlow),
            std::tuple(gate::TPortNumber::pnCOM4, gate::TBaudRate::br256000, gate::TDataBits::db5BITS,
                       gate::TParity::ptSPACE, gate::TStopBits::sb2BITS, gate::TSwFlowControl::sfXONXOFF,
                       gate::THwFlowControl::hfNONE));
  EXPECT_EQ(store::ShortTextToString(c.InitString), "ATX4&C1");
  EXPECT_EQ(store::ShortTextToString(c.Alias), alias60.substr(0, 50));

  // Reopened, the alias shows its 50 stored characters and software flow
  // control its item. A stored record may hold a rate the list does not offer
  // (brCustom) or bytes no enumeration knows: nothing is chosen, and OK keeps
  // them. Hardware flow control stores RTS/CTS and no software flow.
  TfmMdmGOpt again;
  again.Channel = dialog.Channel;
  again.Channel.BaudRate = gate::TBaudRate::brCustom;
  again.Channel.Parity = static_cast<gate::TParity>(77);
  again.FreePorts = AllPortsBut({1, 3});
  Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.Text("edAlias"), alias60.substr(0, 50));
    EXPECT_EQ(std::tuple(f.ItemIndex("cmbxPort"), f.ItemIndex("cmbxFlowControl"), f.ItemIndex("cmbxBaudRate"),
                         f.ItemIndex("cmbxParity")), std::tuple(1, 0, -1, -1));
    f.Select("cmbxFlowControl", 1);
    f.Click("btnOK");
  });
  EXPECT_EQ(again.ShowModal(), mrOk);
  const auto& back = again.Channel;
  EXPECT_EQ(std::tuple(back.BaudRate, static_cast<int>(back.Parity), back.SwFlow, back.HwFlow),
            std::tuple(gate::TBaudRate::brCustom, 77, gate::TSwFlowControl::sfNONE, gate::THwFlowControl::hfRTSCTS));
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
    Op().Expect(script);
    EXPECT_EQ(dialog.ShowModal(), result);
    EXPECT_TRUE(SameRecord(dialog.Channel, before));
  }
}

class SettingsDialogTest : public DialogTest {};

constexpr std::string_view kInvalidChannels = "Неверные данные каналов, взятые из базы"_cp;

TEST_F(SettingsDialogTest, AnEmptyBlockOpensWithDefaultsAndAnUntouchedOkIsCancelUnlessAlwaysSaved) {
  for (const bool always_save : {false, true}) {
    SCOPED_TRACE(always_save ? "always save" : "save changes only");
    TfmMdmGtSettings dialog;
    dialog.Init(nullptr, 0, always_save);
    Op().Expect([](TFormDriver& f) {
      EXPECT_TRUE(f.Items("lvChannels").empty());
      EXPECT_EQ(std::tuple(f.Enabled("btnNew"), f.Enabled("btnEdit"), f.Enabled("btnDelete"), f.Checked("chbxShowProgress")),
                std::tuple(true, false, false, true));
      EXPECT_TRUE(f.Click("btnOk"));
    });
    EXPECT_EQ(dialog.ShowModal(), always_save ? mrOk : mrCancel);
    EXPECT_EQ(dialog.ResultSize(), always_save ? 108 : 0);
    EXPECT_EQ(dialog.ResultBlock(), always_save ? SettingsBlock({}, true) : "");
    EXPECT_TRUE(Op().Messages().empty());
  }
}

TEST_F(SettingsDialogTest, NewChannelsTakeTheLowestFreePortAndStaySorted) {
  TfmMdmGtSettings dialog;
  Open(dialog, SettingsBlock({Channel(2, "two"), Channel(5, "five")}, true));
  Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnNew"));
    EXPECT_EQ(f.Items("lvChannels"), (std::vector<std::string>{"COM1: Модем 1"_cp.data(), "COM2: two", "COM5: five"}));
    EXPECT_EQ(f.ItemIndex("lvChannels"), 0);
    EXPECT_TRUE(f.Click("btnNew"));
    EXPECT_EQ(f.Items("lvChannels")[3], "COM9: ");
    EXPECT_EQ(f.ItemIndex("lvChannels"), 3);
    f.Click("btnOk");
  });
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("cmbxPort")[0], "COM1");
    EXPECT_EQ(f.ItemIndex("cmbxPort"), 0) << "the lowest free port";
    EXPECT_EQ(f.Text("edInitString"), "ATX3");
    f.Type("edAlias", "Модем 1"_cp.data());
    f.Click("btnOK");
  });
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("cmbxPort")[f.ItemIndex("cmbxPort")], "COM3");
    f.Select("cmbxPort", 5);  // COM3, COM4, COM6, COM7, COM8, COM9
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(dialog.ResultBlock(),
            SettingsBlock({Channel(1, "Модем 1"_cp.data()), Channel(2, "two"), Channel(5, "five"), Channel(9)}, true));
}

TEST_F(SettingsDialogTest, SixteenChannelsDisableNewDeletingSelectsTheItemBeforeOrTheNewFirstAndEditAndDeleteWantOne) {
  store::TChannelList all;
  for (int p = 1; p <= 16; ++p) all.push_back(Channel(p, "c" + std::to_string(p)));
  TfmMdmGtSettings dialog;
  Open(dialog, SettingsBlock(all, true));
  Op().Expect([&](TFormDriver& f) {
    EXPECT_FALSE(f.Enabled("btnNew"));
    EXPECT_FALSE(f.Click("btnNew"));
    f.Select("lvChannels", 3);
    EXPECT_TRUE(f.Click("btnDelete"));
    EXPECT_TRUE(f.Enabled("btnNew"));
    EXPECT_EQ(f.Items("lvChannels").size(), 15u);
    EXPECT_EQ(f.Items("lvChannels")[3], "COM5: c5");
    EXPECT_EQ(f.ItemIndex("lvChannels"), 2) << "the item before the deleted one";
    f.Select("lvChannels", 0);
    f.Click("btnDelete");
    EXPECT_EQ(f.Items("lvChannels")[0], "COM2: c2");
    EXPECT_EQ(f.ItemIndex("lvChannels"), 0) << "the new first";
    dialog.lvChannels.SetItemIndex(-1);
    EXPECT_TRUE(f.Click("btnEdit"));
    EXPECT_TRUE(f.Click("btnDelete"));
    EXPECT_EQ(f.Items("lvChannels").size(), 14u) << "nothing deleted without a selection";
    f.Select("lvChannels", 0);
    for (int left = 14; left > 0; --left) EXPECT_TRUE(f.Click("btnDelete")) << left;
    EXPECT_TRUE(f.Items("lvChannels").empty());
    EXPECT_FALSE(f.Enabled("btnEdit"));
    EXPECT_FALSE(f.Enabled("btnDelete"));
    f.Click("btnOk");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(dialog.ResultBlock(), SettingsBlock({}, true)) << "no channel still writes the count";
  EXPECT_EQ(Said(), (std::vector<std::string>{"Выберите сначала редактируемый канал"_cp.data(),
                                              "Выберите сначала удаляемый канал"_cp.data()}))
      << "deleting asks nothing";
}

TEST_F(SettingsDialogTest, EditsConfirmedUnchangedOrCancelledModifyNothingAndKeepThePortTaken) {
  TfmMdmGtSettings dialog;
  Open(dialog, SettingsBlock({Channel(1), Channel(2)}, true));
  Op().Expect([](TFormDriver& f) {
    f.Select("lvChannels", 1);
    EXPECT_TRUE(f.Click("btnEdit"));
    EXPECT_TRUE(f.Click("btnEdit"));
    EXPECT_TRUE(f.Click("btnNew"));
    f.Click("btnCancel");
  });
  Op().Expect([](TFormDriver& f) { f.Click("btnOK"); });  // unchanged
  Op().Expect([](TFormDriver& f) {
    // The edited channel may keep its port; the other channel's is not offered.
    EXPECT_EQ(f.Items("cmbxPort")[0], "COM2");
    EXPECT_EQ(f.ItemIndex("cmbxPort"), 0);
    f.Select("cmbxPort", 3);
    f.Click("btnCancel");
  });
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("cmbxPort")[0], "COM3") << "COM2 still belongs to its channel";
    f.Click("btnCancel");
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_FALSE(dialog.Modified);
  EXPECT_FALSE(dialog.FreePorts[1]);
}

TEST_F(SettingsDialogTest, AConfirmedEditMovesTheChannelInPortOrder) {
  TfmMdmGtSettings dialog;
  Open(dialog, SettingsBlock({Channel(1, "a"), Channel(3, "b"), Channel(6, "c")}, true));
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.ItemIndex("lvChannels"), 0) << "the first channel is selected on opening";
    f.Click("btnEdit");
    EXPECT_EQ(f.Items("lvChannels"), (std::vector<std::string>{"COM3: b", "COM6: c", "COM8: a"}));
    EXPECT_EQ(f.ItemIndex("lvChannels"), 2);
    f.Click("btnOk");
  });
  Op().Expect([](TFormDriver& f) {
    // COM1 (its own), COM2, COM4, COM5, COM7, COM8, ...
    f.Select("cmbxPort", 5);
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(dialog.ResultBlock(), SettingsBlock({Channel(3, "b"), Channel(6, "c"), Channel(8, "a")}, true));
  EXPECT_TRUE(dialog.FreePorts[0]);
}

TEST_F(SettingsDialogTest, ADamagedChannelPartOpensEmptyAndIsReplacedOnlyAfterAChange) {
  std::string stored = SettingsBlock({Channel(2)}, true);
  stored.pop_back();  // 4 + 212 * 1 - 1 bytes of channels
  TfmMdmGtSettings dialog;
  Open(dialog, stored);
  EXPECT_EQ(Said(), std::vector<std::string>{std::string(kInvalidChannels)});
  Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Items("lvChannels").empty());
    f.Click("btnOk");
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel) << "nothing is written back unconfirmed";
  EXPECT_EQ(dialog.ResultSize(), static_cast<std::int32_t>(stored.size()));

  Op().Expect([](TFormDriver& f) {
    f.Click("btnNew");
    f.Click("btnOk");
  });
  Op().Expect([](TFormDriver& f) { f.Click("btnOK"); });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(dialog.ResultBlock(), SettingsBlock({Channel(1)}, true));
}

TEST_F(SettingsDialogTest, AShortGateRecordOrChannelsOnImpossibleOrRepeatedPortsAreLeftOut) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {std::string(50, '\x07'), {}},
      {SettingsBlock({Channel(0, "zero"), Channel(3, "first"), Channel(3, "again"), Channel(40, "far"),
                      Channel(1, "one")}),
       {"COM1: one", "COM3: first"}}};
  for (const auto& [stored, listed] : cases) {
    const std::vector<std::string>& shown = listed;  // (clang 14 captures no bindings)
    TfmMdmGtSettings dialog;
    Open(dialog, stored);
    EXPECT_EQ(Said(), std::vector<std::string>{std::string(kInvalidChannels)});
    EXPECT_EQ(dialog.GateSettings.Version, 1) << "the defaults, or the stored record";
    Op().Expect([&](TFormDriver& f) {
      EXPECT_EQ(f.Items("lvChannels"), shown);
      f.Click("btnCancel");
    });
    dialog.ShowModal();
    Op().Reset();
  }
}

}  // namespace
}  // namespace kestrel::ui::testing
