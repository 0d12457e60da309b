// The own address dialog: defaults, field checks, the nothing-changed rule,
// the ports, the result block and the time separator.
//
// The port chooser: the two lists, moving ports across and the selections
// that follow a move.
#include "platform/forms/TextConvert.h"

#include "tests/ui/DialogTest.h"
#include "ui/mdm_aopt.h"
#include "ui/mdm_iadr.h"

namespace kestrel::ui::testing {
namespace {

class OwnAddressDialogTest : public DialogTest {
 protected:
  static store::TMdmAddress Stored() {
    store::TMdmAddress a = store::DefaultAddress();
    a.IdCl = 42;
    a.UseComPorts[1] = 1;
    a.DataWaitTimeOut = store::MsToTimeSpan(90'000);
    return a;
  }
};

// Its empty identifier and the refusal without one: the next test.
TEST_F(OwnAddressDialogTest, ANewAddressShowsTheDefaultsAndStoresTheTypedIdentifier) {
  TfmInAddr dialog;
  dialog.Init(nullptr, 0);
  Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.Text("medDataWaitTimeOut"), "00:01:00");
    EXPECT_EQ(f.Text("medStayOnLineTimeOut"), "00:03:00");
    EXPECT_EQ(f.Text("edUseComPorts"), "(не заданы)"_cp);
    EXPECT_TRUE(f.ReadOnly("edUseComPorts"));
    f.Type("edSelfId", "17");
    EXPECT_TRUE(f.Click("btnOK"));
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  ASSERT_EQ(dialog.ResultSize(), 168);
  store::TMdmAddress expected = store::DefaultAddress();
  expected.IdCl = 17;
  EXPECT_EQ(dialog.ResultBlock(), OwnBlock(expected));
}

TEST_F(OwnAddressDialogTest, WithoutAnIdentifierEnterIsRefusedButCancelEscapeAndTheCloseBoxClose) {
  store::TMdmAddress negative = Stored();
  negative.IdCl = -1;  // stored below zero: shown empty, to be typed again
  struct TCase {
    std::string block;
    std::string_view end;
  };
  for (const TCase& c :
       {TCase{{}, "Отмена"}, TCase{OwnBlock(negative), "close box"}, TCase{OwnBlock(negative), "Escape"}}) {
    SCOPED_TRACE(c.end);
    const std::string& block = c.block;
    TfmInAddr dialog;
    Open(dialog, block);
    Op().Expect([&](TFormDriver& f) {
      EXPECT_EQ(f.Text("edSelfId"), "");
      EXPECT_EQ(f.FocusedControl(), "edSelfId");
      // Enter presses OK without leaving the field: the close check speaks.
      f.PressEnter();
      EXPECT_TRUE(f.Open());
      // Отмена takes no focus: the empty field is not asked, the close check is.
      if (c.end == "Отмена")
        EXPECT_TRUE(f.Click("btnCancel"));
      else if (c.end == "close box")
        f.CloseBox();
      else
        f.PressEscape();
    });
    EXPECT_EQ(dialog.ShowModal(), mrCancel);
    EXPECT_EQ(Said(), std::vector<std::string>(2, kNoInteger));
    for (const auto& m : Op().Messages()) EXPECT_EQ(m.kind, TMsgKind::kError);
    EXPECT_TRUE(dialog.ResultBlock().empty());
    EXPECT_EQ(dialog.ResultSize(), static_cast<std::int32_t>(block.size()));
    Op().Reset();
  }
}

TEST_F(OwnAddressDialogTest, AnUnchangedAddressEndsAsCancelEvenAfterACancelledPortChooser) {
  store::TMdmAddress stored = Stored();
  stored.StayOnLineTimeOut = 25.0 / 24.0;  // a day or more shows its time of day
  TfmInAddr dialog;
  Open(dialog, OwnBlock(stored));
  Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.Text("edSelfId"), "42");
    EXPECT_EQ(f.Text("medDataWaitTimeOut"), "00:01:30");
    EXPECT_EQ(f.Text("medStayOnLineTimeOut"), "01:00:00");
    EXPECT_EQ(f.Text("edUseComPorts"), "COM2");
    f.Type("edSelfId", "42");
    f.Click("btnUseComPorts");
    EXPECT_EQ(f.Text("edUseComPorts"), "COM2");
    EXPECT_FALSE(dialog.PortsChanged);
    f.Click("btnOK");
  });
  Op().Expect([](TFormDriver& f) {
    f.Select("lvAllChannels", 0);
    f.Click("btnAddChannel");
    f.CloseBox();
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_TRUE(Op().Messages().empty());
}

// A refused time-out field: RemoteAddressDialogTest.cpp's table of fields.
TEST_F(OwnAddressDialogTest, AnIdentifierThatDoesNotConvertKeepsTheFocusAndHoldsUpOk) {
  TfmInAddr dialog;
  Open(dialog, OwnBlock(Stored()));
  Op().Expect([&](TFormDriver& f) {
    EXPECT_TRUE(f.Type("edSelfId", "12a"));
    EXPECT_FALSE(f.Click("btnOK"));
    EXPECT_TRUE(f.Open());
    f.Type("medDataWaitTimeOut", "2:00:00");
    EXPECT_EQ(f.FocusedControl(), "edSelfId") << "typing elsewhere needs the focus first";
    f.Type("edSelfId", "12");
    EXPECT_TRUE(f.Click("btnOK"));
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(Said(), std::vector<std::string>(2, "'12a' is not a valid integer value"));
  store::TMdmAddress expected = Stored();
  expected.IdCl = 12;
  EXPECT_EQ(dialog.ResultBlock(), OwnBlock(expected));
}

TEST_F(OwnAddressDialogTest, ConfirmedPortsCountAsAChangeShowInFullAndAreStoredWithoutExtraBytes) {
  forms::SetTimeSeparator('.');
  TfmInAddr dialog;
  Open(dialog, OwnBlock(Stored()) + std::string(32, '\x55'));
  Op().Expect([&](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnUseComPorts"));
    EXPECT_TRUE(dialog.PortsChanged) << "confirmed without a change";
    f.Click("btnUseComPorts");
    EXPECT_EQ(f.Text("edUseComPorts"), "(COM1; COM2; COM3)");
    f.Type("medStayOnLineTimeOut", "00:05:00");
    f.PressEnter();
  });
  Op().Expect([](TFormDriver& f) { f.Click("btnOK"); });
  Op().Expect([](TFormDriver& f) {
    f.Select("lvAllChannels", 0);  // COM1
    f.Click("btnAddChannel");
    f.Select("lvAllChannels", 0);  // COM3
    f.Click("btnAddChannel");
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(forms::TimeSeparator(), ':') << "set on closing";
  store::TMdmAddress expected = Stored();
  expected.UseComPorts[0] = expected.UseComPorts[2] = 1;
  expected.StayOnLineTimeOut = TimeSpanOfText("00:05:00");
  EXPECT_EQ(dialog.ResultBlock(), OwnBlock(expected));
}

TEST_F(OwnAddressDialogTest, ABlockShorterThanTheRecordOpensAsANewAddress) {
  const std::string stored(100, '\x01');
  TfmInAddr dialog;
  Open(dialog, stored);
  EXPECT_EQ(Said(), std::vector<std::string>{"Неверные данные адреса, взятые из базы"_cp.data()});
  EXPECT_TRUE(dialog.IsNewAddr);
  EXPECT_EQ(std::int32_t{dialog.Addr.IdCl}, -1);
  EXPECT_EQ(dialog.ResultSize(), 100);
}

class PortChooserTest : public DialogTest {
 protected:
  // The item a list's selection is on, "" without one.
  static std::string Chosen(TFormDriver& f, const char* list) {
    const int item = f.ItemIndex(list);
    return item < 0 ? "" : f.Items(list)[static_cast<std::size_t>(item)];
  }
};

// The chooser's OK without a change: the address dialogs' tests of a
// confirmed list.
TEST_F(PortChooserTest, TheListsSplitThePortsByTheirFlagsAMoveNeedsASelectionAndTheLastPortEmptiesItsList) {
  TfmMdmAopt chooser;
  chooser.Ports.fill(true);
  chooser.Ports[1] = false;
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Items("lvAllChannels"), Names({2}));
    EXPECT_EQ(f.Items("lvUsedChannels"), Names({1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    EXPECT_EQ(std::pair(f.ItemIndex("lvAllChannels"), f.ItemIndex("lvUsedChannels")), std::pair(-1, -1));
    EXPECT_TRUE(f.Click("btnAddChannel"));
    EXPECT_TRUE(f.Click("btnRemoveChannel"));
    EXPECT_EQ(f.Items("lvAllChannels"), Names({2})) << "nothing moves without a selection";
    f.Select("lvAllChannels", 0);
    f.Click("btnAddChannel");
    EXPECT_TRUE(f.Items("lvAllChannels").empty());
    EXPECT_EQ(f.ItemIndex("lvAllChannels"), -1);
    EXPECT_EQ(f.Items("lvUsedChannels").size(), 16u);
    f.Click("btnOK");
  });
  EXPECT_EQ(chooser.ShowModal(), mrOk);
  EXPECT_TRUE(chooser.Ports[1]);
}

// Either way, the list moved from selects the item before the moved one, or
// its new first; the other list's selection stays on its port.
TEST_F(PortChooserTest, AMoveSelectsTheItemBeforeOrTheNewFirstAndTheOtherSelectionKeepsItsPort) {
  for (const bool right : {true, false}) {
    SCOPED_TRACE(right ? "to the right" : "to the left");
    const char* from = right ? "lvAllChannels" : "lvUsedChannels";
    const char* to = right ? "lvUsedChannels" : "lvAllChannels";
    const char* move = right ? "btnAddChannel" : "btnRemoveChannel";
    TfmMdmAopt chooser;
    chooser.Ports.fill(!right);  // every port in the list moved from
    Op().Expect([&](TFormDriver& f) {
      f.Select(from, 5);  // COM6
      f.Click(move);
      EXPECT_EQ(f.Items(to), Names({6}));
      EXPECT_EQ(Chosen(f, from), "COM5") << "the item before";
      f.Select(from, 0);  // COM1, the first
      f.Select(to, 0);    // COM6
      f.Click(move);
      EXPECT_EQ(f.Items(to), Names({1, 6}));
      EXPECT_EQ(Chosen(f, from), "COM2") << "the new first";
      EXPECT_EQ(Chosen(f, to), "COM6") << "moved down by the item put before it";
      f.Click("btnOK");
    });
    EXPECT_EQ(chooser.ShowModal(), mrOk);
    TPortFlags expected;
    expected.fill(!right);
    expected[0] = expected[5] = right;
    EXPECT_EQ(chooser.Ports, expected);
  }
}

}  // namespace
}  // namespace kestrel::ui::testing
