// The gate settings dialog: the channel list and its buttons, nested channel
// dialogs, the result block, and damaged stored blocks.
#include <gtest/gtest.h>

#include "platform/Cp1251.h"
#include "tests/dialogs/Blocks.h"
#include "tests/forms/UiTest.h"
#include "ui/mdm_gset.h"

namespace kestrel::ui {
namespace {

using namespace kestrel::literals;
using forms::TModalResult;
using forms::testing::TFormDriver;
using forms::testing::UiTest;
using testing::ChannelOn;
using testing::ChannelsOf;
using testing::PortsOf;
using testing::SettingsBlock;

class SettingsDialogTest : public UiTest {
 protected:
  void Open(TfmMdmGtSettings& dialog, const std::string& block, bool always_save = false) {
    dialog.Init(block.data(), static_cast<std::int32_t>(block.size()), always_save);
  }
};
KESTREL_UI_TESTS(SettingsDialogTest);

constexpr std::string_view kInvalidChannels = "Неверные данные каналов, взятые из базы"_cp;

TEST_P(SettingsDialogTest, AnEmptyBlockOpensWithDefaultsAndAnUntouchedOkIsCancel) {
  TfmMdmGtSettings dialog;
  dialog.Init(nullptr, 0, false);
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Caption(), "Настройки модемного шлюза"_cp);
    EXPECT_EQ(f.Text("grbxChannels"), "Настройка каналов"_cp);
    EXPECT_EQ(f.Text("lvChannels"), "Канал"_cp);
    EXPECT_TRUE(f.Items("lvChannels").empty());
    EXPECT_TRUE(f.Enabled("btnNew"));
    EXPECT_FALSE(f.Enabled("btnEdit"));
    EXPECT_FALSE(f.Enabled("btnDelete"));
    EXPECT_TRUE(f.Checked("chbxShowProgress"));
    EXPECT_EQ(f.Text("chbxShowProgress"), "Показывать индикатор передачи данных"_cp);
    EXPECT_TRUE(f.Click("btnOk"));
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrCancel);
  EXPECT_EQ(dialog.ResultSize(), 0);
  EXPECT_TRUE(dialog.ResultBlock().empty());
  EXPECT_TRUE(this->Op().Messages().empty());
}

TEST_P(SettingsDialogTest, AlwaysSaveMakesAnUntouchedOkA108ByteBlock) {
  TfmMdmGtSettings dialog;
  dialog.Init(nullptr, 0, true);
  this->Op().Expect([](TFormDriver& f) { f.Click("btnOk"); });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  ASSERT_EQ(dialog.ResultSize(), 108);
  EXPECT_EQ(dialog.ResultBlock(), SettingsBlock({}));
}

TEST_P(SettingsDialogTest, TheCheckBoxAloneMakesANewBlock) {
  const std::string stored = SettingsBlock({ChannelOn(2, "a"), ChannelOn(5, "b")}, true);
  TfmMdmGtSettings dialog;
  this->Open(dialog, stored);
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("lvChannels"), (std::vector<std::string>{"COM2: a", "COM5: b"}));
    EXPECT_EQ(f.ItemIndex("lvChannels"), 0);
    EXPECT_TRUE(f.Click("chbxShowProgress"));
    f.Click("btnOk");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  ASSERT_EQ(dialog.ResultBlock().size(), stored.size());
  EXPECT_EQ(testing::GateOf(dialog.ResultBlock()).ToShowProgress, 0);
  EXPECT_EQ(dialog.ResultBlock().substr(104), stored.substr(104));
}

TEST_P(SettingsDialogTest, NewChannelsTakeTheLowestFreePortAndStaySorted) {
  TfmMdmGtSettings dialog;
  this->Open(dialog, SettingsBlock({ChannelOn(2, "two"), ChannelOn(5, "five")}));
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnNew"));
    EXPECT_EQ(f.Items("lvChannels"), (std::vector<std::string>{"COM1: Модем 1"_cp.data(), "COM2: two", "COM5: five"}));
    EXPECT_EQ(f.ItemIndex("lvChannels"), 0);
    EXPECT_TRUE(f.Click("btnNew"));
    EXPECT_EQ(f.Items("lvChannels")[3], "COM9: ");
    EXPECT_EQ(f.ItemIndex("lvChannels"), 3);
    f.Click("btnOk");
  });
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Caption(), "Настройки канала"_cp);
    EXPECT_EQ(f.Items("cmbxPort")[0], "COM1");
    EXPECT_EQ(f.ItemIndex("cmbxPort"), 0) << "the lowest free port";
    EXPECT_EQ(f.Text("edInitString"), "ATX3");
    f.Type("edAlias", "Модем 1"_cp.data());
    f.Click("btnOK");
  });
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("cmbxPort")[f.ItemIndex("cmbxPort")], "COM3");
    f.Select("cmbxPort", 5);  // COM3, COM4, COM6, COM7, COM8, COM9
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  const auto channels = ChannelsOf(dialog.ResultBlock());
  EXPECT_EQ(PortsOf(channels), (std::vector<int>{1, 2, 5, 9}));
  EXPECT_EQ(store::ShortTextToString(channels[0].Alias), "Модем 1"_cp);
}

TEST_P(SettingsDialogTest, SixteenChannelsDisableNewUntilOneIsDeleted) {
  store::TChannelList all;
  for (int p = 1; p <= 16; ++p) all.push_back(ChannelOn(p, "c" + std::to_string(p)));
  TfmMdmGtSettings dialog;
  this->Open(dialog, SettingsBlock(all));
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_FALSE(f.Enabled("btnNew"));
    EXPECT_FALSE(f.Click("btnNew"));
    f.Select("lvChannels", 3);
    EXPECT_TRUE(f.Click("btnDelete"));
    EXPECT_TRUE(f.Enabled("btnNew"));
    EXPECT_EQ(f.Items("lvChannels").size(), 15u);
    EXPECT_EQ(f.ItemIndex("lvChannels"), 2) << "the item before the deleted one";
    f.Click("btnOk");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  const auto ports = PortsOf(ChannelsOf(dialog.ResultBlock()));
  EXPECT_EQ(ports.size(), 15u);
  EXPECT_EQ(std::find(ports.begin(), ports.end(), 4), ports.end());
}

TEST_P(SettingsDialogTest, DeletingTheFirstSelectsTheNewFirstAndTheLastDisablesEditing) {
  TfmMdmGtSettings dialog;
  this->Open(dialog, SettingsBlock({ChannelOn(3), ChannelOn(4)}));
  this->Op().Expect([](TFormDriver& f) {
    f.Select("lvChannels", 0);
    f.Click("btnDelete");
    EXPECT_EQ(f.Items("lvChannels"), std::vector<std::string>{"COM4: "});
    EXPECT_EQ(f.ItemIndex("lvChannels"), 0);
    f.Click("btnDelete");
    EXPECT_TRUE(f.Items("lvChannels").empty());
    EXPECT_FALSE(f.Enabled("btnEdit"));
    EXPECT_FALSE(f.Enabled("btnDelete"));
    f.Click("btnOk");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(dialog.ResultBlock(), SettingsBlock({})) << "no channel still writes the count";
  EXPECT_TRUE(this->Op().Messages().empty()) << "deleting asks nothing";
}

TEST_P(SettingsDialogTest, ACancelledEditKeepsThePortTaken) {
  TfmMdmGtSettings dialog;
  this->Open(dialog, SettingsBlock({ChannelOn(1), ChannelOn(2)}));
  this->Op().Expect([](TFormDriver& f) {
    f.Select("lvChannels", 1);
    EXPECT_TRUE(f.Click("btnEdit"));
    EXPECT_TRUE(f.Click("btnNew"));
    f.Click("btnCancel");
  });
  this->Op().Expect([](TFormDriver& f) {
    // The edited channel may keep its port; the other channel's is not offered.
    EXPECT_EQ(f.Items("cmbxPort")[0], "COM2");
    EXPECT_EQ(f.ItemIndex("cmbxPort"), 0);
    f.Select("cmbxPort", 3);
    f.Click("btnCancel");
  });
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("cmbxPort")[0], "COM3") << "COM2 still belongs to its channel";
    f.Click("btnCancel");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrCancel);
  EXPECT_FALSE(dialog.Modified);
  EXPECT_FALSE(dialog.FreePorts[1]);
}

TEST_P(SettingsDialogTest, AConfirmedEditMovesTheChannelInPortOrder) {
  TfmMdmGtSettings dialog;
  this->Open(dialog, SettingsBlock({ChannelOn(1, "a"), ChannelOn(3, "b"), ChannelOn(6, "c")}));
  this->Op().Expect([](TFormDriver& f) {
    f.Select("lvChannels", 0);
    f.Click("btnEdit");
    EXPECT_EQ(f.Items("lvChannels"), (std::vector<std::string>{"COM3: b", "COM6: c", "COM8: a"}));
    EXPECT_EQ(f.ItemIndex("lvChannels"), 2);
    f.Click("btnOk");
  });
  this->Op().Expect([](TFormDriver& f) {
    // COM1 (its own), COM2, COM4, COM5, COM7, COM8, ...
    f.Select("cmbxPort", 5);
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(PortsOf(ChannelsOf(dialog.ResultBlock())), (std::vector<int>{3, 6, 8}));
  EXPECT_TRUE(dialog.FreePorts[0]);
}

TEST_P(SettingsDialogTest, AnUnchangedEditLeavesTheSettingsUnmodified) {
  TfmMdmGtSettings dialog;
  this->Open(dialog, SettingsBlock({ChannelOn(2)}));
  this->Op().Expect([](TFormDriver& f) {
    f.Click("btnEdit");
    f.Click("btnOk");
  });
  this->Op().Expect([](TFormDriver& f) { f.Click("btnOK"); });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrCancel);
  EXPECT_FALSE(dialog.Modified);
}

TEST_P(SettingsDialogTest, EditAndDeleteWantOneSelectedChannel) {
  TfmMdmGtSettings dialog;
  this->Open(dialog, SettingsBlock({ChannelOn(2)}));
  this->Op().Expect([&](TFormDriver& f) {
    dialog.lvChannels.SetItemIndex(-1);
    EXPECT_TRUE(f.Click("btnEdit"));
    EXPECT_TRUE(f.Click("btnDelete"));
    EXPECT_EQ(f.Items("lvChannels").size(), 1u);
    f.Click("btnCancel");
  });
  dialog.ShowModal();
  EXPECT_EQ(this->Op().MessageTexts(),
            (std::vector<std::string>{"Выберите сначала редактируемый канал"_cp.data(),
                                      "Выберите сначала удаляемый канал"_cp.data()}));
}

TEST_P(SettingsDialogTest, ADamagedChannelPartOpensEmptyAndIsReplacedOnlyAfterAChange) {
  std::string stored = SettingsBlock({ChannelOn(2)});
  stored.pop_back();  // 4 + 212 * 1 - 1 bytes of channels
  TfmMdmGtSettings dialog;
  this->Open(dialog, stored);
  EXPECT_EQ(this->Op().MessageTexts(), std::vector<std::string>{std::string(kInvalidChannels)});
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Items("lvChannels").empty());
    f.Click("btnOk");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrCancel) << "nothing is written back unconfirmed";
  EXPECT_EQ(dialog.ResultSize(), static_cast<std::int32_t>(stored.size()));

  this->Op().Expect([](TFormDriver& f) {
    f.Click("btnNew");
    f.Click("btnOk");
  });
  this->Op().Expect([](TFormDriver& f) { f.Click("btnOK"); });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(PortsOf(ChannelsOf(dialog.ResultBlock())), std::vector<int>{1});
}

TEST_P(SettingsDialogTest, ABlockTooShortForTheGateRecordOpensWithDefaults) {
  const std::string stored(50, '\x07');
  TfmMdmGtSettings dialog;
  this->Open(dialog, stored);
  EXPECT_EQ(this->Op().MessageTexts(), std::vector<std::string>{std::string(kInvalidChannels)});
  EXPECT_EQ(dialog.GateSettings.Version, 1);
  EXPECT_TRUE(dialog.ChannelList.empty());
}

TEST_P(SettingsDialogTest, ChannelsOnImpossibleOrRepeatedPortsAreLeftOut) {
  store::TChannelList stored = {ChannelOn(0, "zero"), ChannelOn(3, "first"), ChannelOn(3, "again"),
                                ChannelOn(40, "far"), ChannelOn(1, "one")};
  TfmMdmGtSettings dialog;
  this->Open(dialog, SettingsBlock(stored));
  EXPECT_EQ(this->Op().MessageTexts(), std::vector<std::string>{std::string(kInvalidChannels)});
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("lvChannels"), (std::vector<std::string>{"COM1: one", "COM3: first"}));
    f.Click("btnCancel");
  });
  dialog.ShowModal();
}

}  // namespace
}  // namespace kestrel::ui
