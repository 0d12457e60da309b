// The phone numbers dialog on its own: numbers too long to be stored. Its
// count and lines as the remote address dialog opens it are tested there.
#include "tests/ui/DialogTest.h"
#include "ui/mdm_phop.h"

namespace kestrel::ui::testing {
namespace {

class PhoneDialogTest : public DialogTest {};

TEST_F(PhoneDialogTest, ANumberTooLongToStoreIsReportedNeverCutButDoesNotHoldUpCancel) {
  const std::string hundred(100, '7');
  const std::string too_long = hundred + "8";
  TfmPhoneNumbers dialog;
  EXPECT_EQ(dialog.lblNumPhoneNumbers.Caption(), "Задано телефонных номеров: 0"_cp);
  Op().Expect([&](TFormDriver& f) {
    f.Type("memPhoneNumbers", "101\n" + too_long + "\n" + hundred + "   ");
    EXPECT_TRUE(f.Click("btnOK"));
    EXPECT_TRUE(f.Open());
    ASSERT_EQ(Op().Messages().size(), 1u);
    EXPECT_EQ(Op().Messages()[0].text,
              std::string("Номер телефона длиннее 100 символов и не может быть сохранен:\r\n"_cp) + too_long);
    // A hundred characters with blanks after them fit.
    f.Type("memPhoneNumbers", "101\n" + hundred + "   ");
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(dialog.Phones(), (std::vector<std::string>{"101", hundred + "   "}));

  Op().Expect([&](TFormDriver& f) {
    f.Type("memPhoneNumbers", too_long);
    f.Click("btnCancel");
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_EQ(Op().Messages().size(), 1u) << "nothing more was said";
}

}  // namespace
}  // namespace kestrel::ui::testing
