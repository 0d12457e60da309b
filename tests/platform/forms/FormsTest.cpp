// The forms layer as an operator meets it on its backend: the close
// protocol, message boxes and failing handlers, lists, and disabled,
// read-only and check-box controls. Fields that keep the focus, typed
// Cyrillic, memos, nested forms, the first focus, Enter, the close box and
// the time fields are met in the dialog tests (tests/ui); the conversions
// behind them in TextConvertTest.cpp.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/kit/forms/Operator.h"
#include <functional>
#include <string>
#include <vector>
#include "platform/Cp1251.h"
#include "platform/forms/Application.h"
#include "platform/forms/Controls.h"
#include "platform/forms/Form.h"

namespace kestrel::forms::testing {
namespace {

// A form with one control of every kind, for the forms layer's tests.
using namespace kestrel::literals;

class TfmSample : public TForm {
 public:
  explicit TfmSample(TForm* owner = nullptr) : TForm("TfmSample", owner) {
    SetCaption(std::string("Образец"_cp));
    cmbxKind.SetItems({"один"_cp.data(), "два"_cp.data(), "три"_cp.data()});
    btnOK.SetDefault(true);
    cmbxKind.OnChange = [this] { ++combo_changes; };
    lvRows.OnChange = [this] { ++list_changes; };
    btnMore.OnClick = [this] {
      if (on_more) on_more();
    };
  }

  TGroupBox grbxFields{*this, "grbxFields", std::string("Поля"_cp), TLayout::kFields};
  TEdit edName{grbxFields, "edName", std::string("Имя"_cp)};
  TComboBox cmbxKind{grbxFields, "cmbxKind", std::string("Вид"_cp)};
  TCheckBox chbxFlag{*this, "chbxFlag", std::string("Флажок"_cp)};
  TListView lvRows{*this, "lvRows", std::string("Строки"_cp)};
  TPanel pnlButtons{*this, "pnlButtons", TLayout::kRow, TAlign::kEnd};
  TButton btnMore{pnlButtons, "btnMore", std::string("Ещё"_cp)};
  TButton btnOK{pnlButtons, "btnOK", "OK", TModalResult::mrOk};
  TButton btnCancel{pnlButtons, "btnCancel", std::string("Отмена"_cp), TModalResult::mrCancel};

  std::function<void()> on_more;
  bool refuse_close = false;
  std::vector<TModalResult> close_queries;
  int closes = 0;
  int shows = 0;
  int combo_changes = 0;
  int list_changes = 0;

 protected:
  void FormShow() override { ++shows; }
  bool FormCloseQuery() override {
    close_queries.push_back(ModalResult());
    return !refuse_close;
  }
  void FormClose() override { ++closes; }
};

using enum TModalResult;

class FormTest : public UiTest {};

TEST_F(FormTest, ClosingAsksTheFormWithTheResultARefusalKeepsItOpenAndItShowsAgain) {
  TfmSample form;
  form.refuse_close = true;
  Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.FormName(), "TfmSample");
    EXPECT_EQ(f.Caption(), "Образец"_cp);
    EXPECT_TRUE(f.Click("btnOK"));
    EXPECT_TRUE(f.Open());
    EXPECT_EQ(form.ModalResult(), mrNone);
    f.CloseBox();
    EXPECT_TRUE(f.Open());
    form.refuse_close = false;
    f.CloseBox();
    EXPECT_FALSE(f.Open());
  });
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_FALSE(form.Showing());
  Op().Expect([](TFormDriver& f) { EXPECT_TRUE(f.Click("btnOK")); });
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(form.close_queries, (std::vector<TModalResult>{mrOk, mrCancel, mrCancel, mrOk}));
  EXPECT_EQ(form.shows, 2);
  EXPECT_EQ(form.closes, 2);
}

TEST_F(FormTest, MessageBoxesCarryKindAndCaptionAndAFailingHandlerIsReportedWhileTheFormGoesOn) {
  TfmSample form;
  form.on_more = [&] {
    EXPECT_THROW(form.ShowModal(), EFormsError) << "a showing form cannot be shown again";
    MessageBox(TMsgKind::kInformation, std::string("Коннекция успешная"_cp));
    MessageBox(TMsgKind::kError, std::string("Коннекция не установлена"_cp));
    ShowMessage(std::string("Просто текст"_cp));
    throw std::runtime_error("сбой обработчика"_cp.data());
  };
  Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnMore"));
    EXPECT_TRUE(f.Open());
    EXPECT_TRUE(f.Click("btnOK"));
  });
  EXPECT_EQ(form.ShowModal(), mrOk);
  // Each as "<kind> <text>".
  std::vector<std::string> seen;
  for (const auto& m : Op().Messages()) seen.push_back(std::to_string(int(m.kind)) + " " + m.text);
  EXPECT_EQ(seen, (std::vector<std::string>{"1 Коннекция успешная"_cp.data(), "2 Коннекция не установлена"_cp.data(),
                                             "0 Просто текст"_cp.data(), "2 сбой обработчика"_cp.data()}));
  EXPECT_EQ(Op().Messages()[0].caption, "Информация"_cp);
  EXPECT_EQ(Op().Messages()[1].caption, "Ошибка"_cp);
}

TEST_F(FormTest, ListsReportOnlyTheOperatorsChoices) {
  TfmSample form;
  form.cmbxKind.SetItemIndex(1);
  form.lvRows.SetItems({"COM1: a", "COM3: b", "COM4: c"});
  form.lvRows.SetItemIndex(2);
  Op().Expect([&](TFormDriver& f) {
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

TEST_F(FormTest, DisabledControlsAreNotPressedReadOnlyFieldsTakeNoTextCheckBoxesToggle) {
  TfmSample form;
  form.btnMore.SetEnabled(false);
  form.on_more = [] { ADD_FAILURE() << "a disabled button was pressed"; };
  form.edName.SetText("fixed");
  form.edName.SetReadOnly(true);
  int clicks = 0;
  form.chbxFlag.OnClick = [&] { ++clicks; };
  form.chbxFlag.SetChecked(true);
  Op().Expect([&](TFormDriver& f) {
    EXPECT_FALSE(f.Enabled("btnMore"));
    EXPECT_FALSE(f.Click("btnMore"));
    form.btnMore.SetEnabled(true);
    form.on_more = nullptr;
    EXPECT_TRUE(f.Click("btnMore"));

    EXPECT_TRUE(f.ReadOnly("edName"));
    EXPECT_TRUE(f.Type("edName", "typed"));
    EXPECT_EQ(f.FocusedControl(), "edName");
    EXPECT_EQ(f.Text("edName"), "fixed");

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
