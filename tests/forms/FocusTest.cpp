// What the operator does inside a form: leaving fields, typing, choosing
// from lists, Enter, on every backend.
#include <gtest/gtest.h>

#include "tests/forms/SampleForm.h"
#include "tests/forms/UiTest.h"

namespace kestrel::forms::testing {
namespace {

class FocusTest : public UiTest {};
KESTREL_UI_TESTS(FocusTest);

TEST_P(FocusTest, TheFirstFocusableControlHasTheFocusAtFirst) {
  TfmSample form;
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.FocusedControl(), "edNumber");
    EXPECT_TRUE(form.edNumber.Focused());
    f.Click("btnCancel");
  });
  form.ShowModal();
}

TEST_P(FocusTest, AFieldThatKeepsTheFocusCancelsTheButtonPress) {
  TfmSample form;
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_TRUE(f.Type("edNumber", "abc"));
    EXPECT_FALSE(f.Click("btnOK"));
    EXPECT_TRUE(f.Open());
    EXPECT_EQ(f.FocusedControl(), "edNumber");
    EXPECT_EQ(this->Op().MessageTexts(), std::vector<std::string>{"'abc' is not a valid integer value"});
    EXPECT_TRUE(f.Type("edNumber", "-12"));
    EXPECT_TRUE(f.Click("btnOK"));
  });
  EXPECT_EQ(form.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(form.edNumber.Text(), "-12");
  EXPECT_EQ(form.close_queries.size(), 1u) << "the refused press never reached the form";
}

TEST_P(FocusTest, TabAsksTheFieldBeforeLeavingIt) {
  TfmSample form;
  this->Op().Expect([](TFormDriver& f) {
    f.Type("edNumber", "x1");
    EXPECT_FALSE(f.Tab());
    EXPECT_EQ(f.FocusedControl(), "edNumber");
    f.Type("edNumber", "7");
    EXPECT_TRUE(f.Tab());
    EXPECT_EQ(f.FocusedControl(), "edName");
    f.Click("btnCancel");
  });
  form.ShowModal();
  EXPECT_EQ(this->Op().MessageTexts(), std::vector<std::string>{"'x1' is not a valid integer value"});
}

TEST_P(FocusTest, EnterPressesTheDefaultButtonWithoutLeavingTheField) {
  TfmSample form;
  this->Op().Expect([](TFormDriver& f) {
    f.Type("edNumber", "abc");
    f.PressEnter();
  });
  EXPECT_EQ(form.ShowModal(), TModalResult::mrOk);
  EXPECT_TRUE(this->Op().Messages().empty());
}

TEST_P(FocusTest, TheCloseBoxDoesNotAskTheFocusedField) {
  TfmSample form;
  this->Op().Expect([](TFormDriver& f) {
    f.Type("edNumber", "abc");
    f.CloseBox();
  });
  EXPECT_EQ(form.ShowModal(), TModalResult::mrCancel);
  EXPECT_TRUE(this->Op().Messages().empty());
}

TEST_P(FocusTest, CyrillicTextArrivesAsWindows1251) {
  TfmSample form;
  this->Op().Expect([](TFormDriver& f) {
    f.Type("edNumber", "1");
    EXPECT_TRUE(f.Type("edName", "Модем №1: ёЁ щ"_cp.data()));
    EXPECT_EQ(f.Text("edName"), "Модем №1: ёЁ щ"_cp);
    f.Click("btnOK");
  });
  form.ShowModal();
  EXPECT_EQ(form.edName.Text(), "Модем №1: ёЁ щ"_cp);
}

TEST_P(FocusTest, TheTimeMaskKeepsDigitsInTheirGroupsAndChecksNoRanges) {
  TfmSample form;
  form.medTime.SetText("00:01:00");
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.Text("medTime"), "00:01:00");
    f.Type("medTime", "1:2");
    EXPECT_EQ(form.medTime.Text(), "1:2:");
    f.Type("medTime", "010203");
    EXPECT_EQ(form.medTime.Text(), "01:02:03");
    f.Type("medTime", "99:99:99");
    EXPECT_EQ(form.medTime.Text(), "99:99:99");
    f.Type("medTime", "a1b");
    EXPECT_EQ(form.medTime.Text(), "1::");
    f.Click("btnCancel");
  });
  form.ShowModal();
}

TEST_P(FocusTest, ListsReportOnlyTheOperatorsChoices) {
  TfmSample form;
  form.cmbxKind.SetItemIndex(1);
  form.lvRows.SetItems({"COM1: a", "COM3: b", "COM4: c"});
  form.lvRows.SetItemIndex(2);
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.ItemIndex("cmbxKind"), 1);
    EXPECT_EQ(f.ItemIndex("lvRows"), 2);
    EXPECT_EQ(form.combo_changes + form.list_changes, 0);
    EXPECT_TRUE(f.Select("cmbxKind", 2));
    EXPECT_EQ(form.cmbxKind.ItemIndex(), 2);
    EXPECT_EQ(form.combo_changes, 1);
    EXPECT_TRUE(f.Select("lvRows", 0));
    EXPECT_EQ(form.lvRows.ItemIndex(), 0);
    EXPECT_EQ(form.lvRows.SelCount(), 1);
    EXPECT_GE(form.list_changes, 1);
    // The selection stays when the list loses the focus.
    f.Focus("edName");
    EXPECT_EQ(f.ItemIndex("lvRows"), 0);
    form.lvRows.SetItems({"x"});
    EXPECT_EQ(form.lvRows.ItemIndex(), -1);
    form.cmbxKind.SetItemIndex(7);
    EXPECT_EQ(form.cmbxKind.ItemIndex(), -1);
    f.Click("btnCancel");
  });
  form.ShowModal();
}

TEST_P(FocusTest, MemoLinesCountEmptyLinesButNotAFinalBreak) {
  TfmSample form;
  form.memLines.SetLines({"101", "102"});
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.Text("lblCount"), "Строк: 0"_cp) << "loading the lines is no change of the operator";
    f.Type("memLines", "101\n\n  \n102\n");
    EXPECT_EQ(form.memLines.Lines(), (std::vector<std::string>{"101", "", "  ", "102"}));
    EXPECT_EQ(f.Text("lblCount"), "Строк: 4"_cp);
    // Tab leaves a memo instead of going into it.
    EXPECT_TRUE(f.Tab());
    EXPECT_NE(f.FocusedControl(), "memLines");
    f.Click("btnCancel");
  });
  form.ShowModal();
}

TEST_P(FocusTest, DisabledControlsCannotBeUsed) {
  TfmSample form;
  form.btnMore.SetEnabled(false);
  form.on_more = [] { ADD_FAILURE() << "a disabled button was pressed"; };
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_FALSE(f.Enabled("btnMore"));
    EXPECT_FALSE(f.Click("btnMore"));
    form.btnMore.SetEnabled(true);
    form.on_more = nullptr;
    EXPECT_TRUE(f.Click("btnMore"));
    f.Click("btnCancel");
  });
  form.ShowModal();
}

TEST_P(FocusTest, ReadOnlyFieldsTakeTheFocusButNoText) {
  TfmSample form;
  form.edName.SetText("fixed");
  form.edName.SetReadOnly(true);
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.ReadOnly("edName"));
    EXPECT_TRUE(f.Type("edName", "typed"));
    EXPECT_EQ(f.FocusedControl(), "edName");
    EXPECT_EQ(f.Text("edName"), "fixed");
    f.Click("btnCancel");
  });
  form.ShowModal();
}

TEST_P(FocusTest, CheckBoxesToggleOnPress) {
  TfmSample form;
  int clicks = 0;
  form.chbxFlag.OnClick = [&] { ++clicks; };
  form.chbxFlag.SetChecked(true);
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_TRUE(f.Checked("chbxFlag"));
    EXPECT_TRUE(f.Click("chbxFlag"));
    EXPECT_FALSE(form.chbxFlag.Checked());
    f.Click("btnCancel");
  });
  form.ShowModal();
  EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace kestrel::forms::testing
