// The close protocol of forms, nested forms, message boxes and handler
// failures, on every backend.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/forms/SampleForm.h"
#include "tests/forms/UiTest.h"

namespace kestrel::forms::testing {
namespace {

class FormTest : public UiTest {};
KESTREL_UI_TESTS(FormTest);

TEST_P(FormTest, OkAsksTheFormAndEndsWithOk) {
  TfmSample form;
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.FormName(), "TfmSample");
    EXPECT_EQ(f.Caption(), "Образец"_cp);
    EXPECT_TRUE(f.Click("btnOK"));
    EXPECT_FALSE(f.Open());
  });
  EXPECT_EQ(form.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(form.close_queries, std::vector<TModalResult>{TModalResult::mrOk});
  EXPECT_EQ(form.shows, 1);
  EXPECT_EQ(form.closes, 1);
  EXPECT_FALSE(form.Showing());
}

TEST_P(FormTest, TheCloseBoxAsksWithCancel) {
  TfmSample form;
  this->Op().Expect([](TFormDriver& f) { f.CloseBox(); });
  EXPECT_EQ(form.ShowModal(), TModalResult::mrCancel);
  EXPECT_EQ(form.close_queries, std::vector<TModalResult>{TModalResult::mrCancel});
}

TEST_P(FormTest, ARefusedCloseKeepsTheFormOpenWithNoResult) {
  TfmSample form;
  form.refuse_close = true;
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnOK"));
    EXPECT_TRUE(f.Open());
    EXPECT_EQ(form.ModalResult(), TModalResult::mrNone);
    f.CloseBox();
    EXPECT_TRUE(f.Open());
    form.refuse_close = false;
    EXPECT_TRUE(f.Click("btnCancel"));
  });
  EXPECT_EQ(form.ShowModal(), TModalResult::mrCancel);
  EXPECT_EQ(form.close_queries.size(), 3u);
  EXPECT_EQ(form.closes, 1);
}

TEST_P(FormTest, AFormCanBeShownAgainAfterItClosed) {
  TfmSample form;
  this->Op().Expect([](TFormDriver& f) { f.Click("btnCancel"); });
  this->Op().Expect([](TFormDriver& f) { f.Click("btnOK"); });
  EXPECT_EQ(form.ShowModal(), TModalResult::mrCancel);
  EXPECT_EQ(form.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(form.shows, 2);
}

TEST_P(FormTest, ANestedFormRunsInsideTheClickThatOpensIt) {
  TfmSample outer;
  TModalResult inner_result = TModalResult::mrNone;
  std::string inner_name;
  outer.on_more = [&] {
    TfmSample inner(&outer);
    inner.SetCaption(std::string("Вложенная"_cp));
    inner_result = inner.ShowModal();
    inner_name = inner.edName.Text();
  };
  this->Op().Expect([&](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnMore"));
    EXPECT_EQ(inner_result, TModalResult::mrOk);
    // The outer form works on after the nested one closed.
    EXPECT_TRUE(f.Type("edName", "после"_cp.data()));
    EXPECT_TRUE(f.Click("btnOK"));
  });
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Caption(), "Вложенная"_cp);
    EXPECT_TRUE(f.Type("edName", "внутри"_cp.data()));
    EXPECT_TRUE(f.Click("btnOK"));
  });
  EXPECT_EQ(outer.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(inner_name, "внутри"_cp);
  EXPECT_EQ(outer.edName.Text(), "после"_cp);
}

TEST_P(FormTest, MessageBoxesCarryTheirKindAndCaption) {
  TfmSample form;
  form.on_more = [] {
    MessageBox(TMsgKind::kInformation, std::string("Коннекция успешная"_cp));
    MessageBox(TMsgKind::kError, std::string("Коннекция не установлена"_cp));
    ShowMessage(std::string("Просто текст"_cp));
  };
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnMore"));
    EXPECT_TRUE(f.Click("btnCancel"));
  });
  form.ShowModal();
  const auto& seen = this->Op().Messages();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].kind, TMsgKind::kInformation);
  EXPECT_EQ(seen[0].caption, "Информация"_cp);
  EXPECT_EQ(seen[0].text, "Коннекция успешная"_cp);
  EXPECT_EQ(seen[1].kind, TMsgKind::kError);
  EXPECT_EQ(seen[1].caption, "Ошибка"_cp);
  EXPECT_EQ(seen[2].kind, TMsgKind::kPlain);
  EXPECT_EQ(seen[2].text, "Просто текст"_cp);
}

TEST_P(FormTest, AFailingHandlerIsReportedAndTheFormGoesOn) {
  TfmSample form;
  form.on_more = [] { throw std::runtime_error("сбой обработчика"_cp.data()); };
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnMore"));
    EXPECT_TRUE(f.Open());
    EXPECT_TRUE(f.Click("btnOK"));
  });
  EXPECT_EQ(form.ShowModal(), TModalResult::mrOk);
  ASSERT_EQ(this->Op().Messages().size(), 1u);
  EXPECT_EQ(this->Op().Messages()[0].kind, TMsgKind::kError);
  EXPECT_EQ(this->Op().Messages()[0].text, "сбой обработчика"_cp);
}

TEST_P(FormTest, AFormCannotBeShownTwiceAtOnce) {
  TfmSample form;
  form.on_more = [&] { EXPECT_THROW(form.ShowModal(), EFormsError); };
  this->Op().Expect([](TFormDriver& f) {
    f.Click("btnMore");
    f.Click("btnCancel");
  });
  EXPECT_EQ(form.ShowModal(), TModalResult::mrCancel);
}

TEST_P(FormTest, ControlsShowTheirCaptionsAndLabels) {
  TfmSample form;
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Text("grbxFields"), "Поля"_cp);
    EXPECT_EQ(f.Label("edNumber"), "Число"_cp);
    EXPECT_EQ(f.Label("medTime"), "Время (чч:мм:сс)"_cp);
    EXPECT_EQ(f.Text("chbxFlag"), "Флажок"_cp);
    EXPECT_EQ(f.Text("lvRows"), "Строки"_cp);
    EXPECT_EQ(f.Text("btnCancel"), "Отмена"_cp);
    EXPECT_EQ(f.Items("cmbxKind"), (std::vector<std::string>{"один"_cp.data(), "два"_cp.data(), "три"_cp.data()}));
    f.Click("btnCancel");
  });
  form.ShowModal();
}

}  // namespace
}  // namespace kestrel::forms::testing
