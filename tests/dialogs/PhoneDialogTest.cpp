// The phone numbers dialog on its own: the count label and numbers too long
// to be stored.
#include <gtest/gtest.h>

#include "platform/Cp1251.h"
#include "tests/forms/UiTest.h"
#include "ui/mdm_phop.h"

namespace kestrel::ui {
namespace {

using namespace kestrel::literals;
using forms::TModalResult;
using forms::testing::TFormDriver;
using forms::testing::UiTest;

class PhoneDialogTest : public UiTest {};
KESTREL_UI_TESTS(PhoneDialogTest);

TEST_P(PhoneDialogTest, TheCountFollowsTheLinesFromTheStart) {
  TfmPhoneNumbers dialog;
  EXPECT_EQ(dialog.lblNumPhoneNumbers.Caption(), "Задано телефонных номеров: 0"_cp);
  dialog.SetPhones({"101", "102", "103"});
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Text("lblNumPhoneNumbers"), "Задано телефонных номеров: 3"_cp);
    EXPECT_EQ(f.Text("memPhoneNumbers"), "101\n102\n103");
    f.Type("memPhoneNumbers", "8 (495) 123-45-67\n\n");
    EXPECT_EQ(f.Text("lblNumPhoneNumbers"), "Задано телефонных номеров: 2"_cp);
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(dialog.Phones(), std::vector<std::string>{"8 (495) 123-45-67"});
}

TEST_P(PhoneDialogTest, ANumberTooLongToStoreIsReportedNeverCut) {
  const std::string hundred(100, '7');
  const std::string too_long = hundred + "8";
  TfmPhoneNumbers dialog;
  this->Op().Expect([&](TFormDriver& f) {
    f.Type("memPhoneNumbers", "101\n" + too_long + "\n" + hundred + "   ");
    EXPECT_TRUE(f.Click("btnOK"));
    EXPECT_TRUE(f.Open());
    ASSERT_EQ(this->Op().Messages().size(), 1u);
    EXPECT_EQ(this->Op().Messages()[0].text,
              std::string("Номер телефона длиннее 100 символов и не может быть сохранен:\r\n"_cp) + too_long);
    // A hundred characters with blanks after them fit.
    f.Type("memPhoneNumbers", "101\n" + hundred + "   ");
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(dialog.Phones(), (std::vector<std::string>{"101", hundred + "   "}));
}

TEST_P(PhoneDialogTest, CancelIsNotHeldUpByALongNumber) {
  TfmPhoneNumbers dialog;
  this->Op().Expect([](TFormDriver& f) {
    f.Type("memPhoneNumbers", std::string(150, '1'));
    f.Click("btnCancel");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrCancel);
  EXPECT_TRUE(this->Op().Messages().empty());
}

}  // namespace
}  // namespace kestrel::ui
