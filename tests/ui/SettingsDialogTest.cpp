// The gate settings dialog: the channel list and its buttons, nested channel
// dialogs, the result block, and damaged stored blocks.
#include "tests/ui/DialogTest.h"
#include "ui/mdm_gset.h"

namespace kestrel::ui::testing {
namespace {

class SettingsDialogTest : public DialogTest {};

constexpr std::string_view kInvalidChannels = "Неверные данные каналов, взятые из базы"_cp;

TEST_F(SettingsDialogTest, AnEmptyBlockOpensWithDefaultsAndAnUntouchedOkIsCancelUnlessAlwaysSaved) {
  for (const bool always_save : {false, true}) {
    SCOPED_TRACE(always_save ? "always save" : "save changes only");
    TfmMdmGtSettings dialog;
    dialog.Init(nullptr, 0, always_save);
    Op().Expect([](TFormDriver& f) {
      EXPECT_TRUE(f.Items("lvChannels").empty());
      EXPECT_TRUE(f.Enabled("btnNew"));
      EXPECT_FALSE(f.Enabled("btnEdit"));
      EXPECT_FALSE(f.Enabled("btnDelete"));
      EXPECT_TRUE(f.Checked("chbxShowProgress"));
      EXPECT_TRUE(f.Click("btnOk"));
    });
    EXPECT_EQ(dialog.ShowModal(), always_save ? mrOk : mrCancel);
    EXPECT_EQ(dialog.ResultSize(), always_save ? 108 : 0);
    EXPECT_EQ(dialog.ResultBlock(), always_save ? SettingsBlock({}, true) : "");
    EXPECT_TRUE(Op().Messages().empty());
  }
}

TEST_F(SettingsDialogTest, TheCheckBoxAloneMakesANewBlock) {
  const std::string stored = SettingsBlock({Channel(2, "a"), Channel(5, "b")}, true);
  TfmMdmGtSettings dialog;
  Open(dialog, stored);
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("lvChannels"), (std::vector<std::string>{"COM2: a", "COM5: b"}));
    EXPECT_EQ(f.ItemIndex("lvChannels"), 0);
    EXPECT_TRUE(f.Click("chbxShowProgress"));
    f.Click("btnOk");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  ASSERT_EQ(dialog.ResultBlock().size(), stored.size());
  EXPECT_EQ(GateOf(dialog.ResultBlock()).ToShowProgress, 0);
  EXPECT_EQ(dialog.ResultBlock().substr(104), stored.substr(104));
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
  EXPECT_EQ(PortsOf(dialog.ResultBlock()), (std::vector<int>{1, 2, 5, 9}));
  EXPECT_EQ(store::ShortTextToString(ChannelsOf(dialog.ResultBlock())[0].Alias), "Модем 1"_cp);
}

TEST_F(SettingsDialogTest, SixteenChannelsDisableNewAndDeletingSelectsTheItemBeforeOrTheNewFirst) {
  store::TChannelList all;
  for (int p = 1; p <= 16; ++p) all.push_back(Channel(p, "c" + std::to_string(p)));
  TfmMdmGtSettings dialog;
  Open(dialog, SettingsBlock(all, true));
  Op().Expect([](TFormDriver& f) {
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
    for (int left = 14; left > 0; --left) EXPECT_TRUE(f.Click("btnDelete")) << left;
    EXPECT_TRUE(f.Items("lvChannels").empty());
    EXPECT_FALSE(f.Enabled("btnEdit"));
    EXPECT_FALSE(f.Enabled("btnDelete"));
    f.Click("btnOk");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(dialog.ResultBlock(), SettingsBlock({}, true)) << "no channel still writes the count";
  EXPECT_TRUE(Op().Messages().empty()) << "deleting asks nothing";
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
    f.Select("lvChannels", 0);
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
  EXPECT_EQ(PortsOf(dialog.ResultBlock()), (std::vector<int>{3, 6, 8}));
  EXPECT_TRUE(dialog.FreePorts[0]);
}

TEST_F(SettingsDialogTest, EditAndDeleteWantOneSelectedChannel) {
  TfmMdmGtSettings dialog;
  Open(dialog, SettingsBlock({Channel(2)}, true));
  Op().Expect([&](TFormDriver& f) {
    dialog.lvChannels.SetItemIndex(-1);
    EXPECT_TRUE(f.Click("btnEdit"));
    EXPECT_TRUE(f.Click("btnDelete"));
    EXPECT_EQ(f.Items("lvChannels").size(), 1u);
    f.Click("btnCancel");
  });
  dialog.ShowModal();
  EXPECT_EQ(Said(), (std::vector<std::string>{"Выберите сначала редактируемый канал"_cp.data(),
                                              "Выберите сначала удаляемый канал"_cp.data()}));
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
  EXPECT_EQ(PortsOf(dialog.ResultBlock()), std::vector<int>{1});
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
