// The remote address dialog: defaults, every field's text and conversion,
// the lists and the nested phone dialog, the nothing-changed rule, the
// result block, damaged blocks.
//
// The phone numbers dialog on its own: numbers too long to be stored. Its
// count and lines as the remote address dialog opens it are tested there.
#include <tuple>

#include "tests/ui/DialogTest.h"
#include "ui/mdm_oadr.h"
#include "ui/mdm_phop.h"

namespace kestrel::ui::testing {
namespace {

constexpr std::string_view kMustBePositive = "Значение поля должно быть больше 0"_cp;

// A new address: the text of each field before the time-outs and ports every
// address has (OwnAddressDialogTest.cpp shows those).
constexpr std::pair<const char*, std::string_view> kNewAddressFields[] = {
    {"edIdCl", ""},
    {"edPhoneNumbers", "(не заданы)"_cp},
    {"edRestoreConnTries", "2"},
    {"medRestoreConnTimeOut", "00:00:30"},
    {"medDialTimeOut", "00:00:30"},
    {"medRestoreConnAfterBreakTimeOut", "00:01:00"}};

class RemoteAddressDialogTest : public DialogTest {
 protected:
  static store::TMdmAddress Stored() {
    store::TMdmAddress a = store::DefaultAddress();
    a.IdCl = 1001;
    a.DialPhoneType = gate::TDialType::dtDialTone;
    a.RestoreConnTries = 3;
    a.UseComPorts[0] = a.UseComPorts[2] = 1;
    return a;
  }
};

TEST_F(RemoteAddressDialogTest, ANewAddressShowsTheDefaultsAndNeedsAnIdentifier) {
  TfmOutAddr dialog;
  dialog.Init(nullptr, 0);
  Op().Expect([](TFormDriver& f) {
    for (const auto& [field, text] : kNewAddressFields) EXPECT_EQ(f.Text(field), text) << field;
    EXPECT_EQ(f.ItemIndex("cmbxDialType"), 0);
    f.PressEnter();
    EXPECT_TRUE(f.Open()) << "no identifier yet";
    f.Click("btnCancel");
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  EXPECT_EQ(Said(), std::vector<std::string>(2, kNoInteger));
}

TEST_F(RemoteAddressDialogTest, AnUnchangedAddressEndsAsCancel) {
  store::TMdmAddress stored = Stored();
  stored.DialTimeOut = 25.0 / 24.0;  // a day or more shows its time of day
  TfmOutAddr dialog;
  Open(dialog, RemoteBlock(stored, {"101", "102"}));
  Op().Expect([](TFormDriver& f) {
    for (const auto& [field, text] : {std::pair{"edIdCl", "1001"}, {"edRestoreConnTries", "3"}, {"medDialTimeOut", "01:00:00"},
                                      {"edPhoneNumbers", "(101; 102)"}, {"edUseComPorts", "(COM1; COM3)"}})
      EXPECT_EQ(f.Text(field), text) << field;
    EXPECT_EQ(f.ItemIndex("cmbxDialType"), 1);
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
}

// Each typed field refuses a bad text when it is left, keeping the focus, and
// stores a good one in its part of the record; Enter, which presses OK without
// leaving the field, refuses a retry count below one all the same. The texts'
// conversions are TextConvertTest's; the empty identifier's refusal by Enter
// is the new address's test.
TEST_F(RemoteAddressDialogTest, EveryFieldRefusesABadTextAndStoresAGoodOne) {
  constexpr std::string_view kBadTime = "'00:61:00' is not a valid time";
  const std::tuple<const char*, const char*, std::string_view, const char*> fields[] = {
      {"edIdCl", "7x", "'7x' is not a valid integer value", "77"},
      {"edRestoreConnTries", "0", kMustBePositive, "5"},
      {"medRestoreConnTimeOut", "00:61:00", kBadTime, "00:00:45"},
      {"medDialTimeOut", "00:61:00", kBadTime, "0:1:5"},
      {"medRestoreConnAfterBreakTimeOut", "00:61:00", kBadTime, "00:02:00"},
      {"medDataWaitTimeOut", "00:61:00", kBadTime, "00:02:30"},
      {"medStayOnLineTimeOut", "00:61:00", kBadTime, "01:00:00"}};
  store::TMdmAddress stored = Stored();
  stored.IdCl = -1;  // stored below zero: shown empty
  TfmOutAddr dialog;
  Open(dialog, RemoteBlock(stored, {"101"}));
  Op().Expect([&](TFormDriver& f) {
    EXPECT_EQ(f.Text("edIdCl"), "");
    for (const auto& [field, refused, said, typed] : fields) {
      f.Type(field, refused);
      EXPECT_FALSE(f.Tab()) << field;
      EXPECT_EQ(f.FocusedControl(), field);
      f.Type(field, typed);
    }
    f.Type("edRestoreConnTries", "0");
    f.PressEnter();
    EXPECT_TRUE(f.Open());
    f.Type("edRestoreConnTries", "5");
    f.Select("cmbxDialType", 0);
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  std::vector<std::string> said;
  for (const auto& field : fields) said.emplace_back(std::get<2>(field));
  said.emplace_back(kMustBePositive);
  EXPECT_EQ(Said(), said);
  store::TMdmAddress expected = Stored();
  expected.IdCl = 77;
  expected.DialPhoneType = gate::TDialType::dtDialPulse;
  expected.RestoreConnTries = 5;
  expected.RestoreConnTimeOut = TimeSpanOfText("00:00:45");
  expected.DialTimeOut = TimeSpanOfText("0:1:5");
  expected.RestoreConnAfterBreakTimeOut = TimeSpanOfText("00:02:00");
  expected.DataWaitTimeOut = TimeSpanOfText("00:02:30");
  expected.StayOnLineTimeOut = TimeSpanOfText("01:00:00");
  EXPECT_EQ(dialog.ResultBlock(), RemoteBlock(expected, {"101"}));
}

TEST_F(RemoteAddressDialogTest, ThePhoneDialogCountsLinesFromTheStartAndBlankLinesAreDropped) {
  TfmOutAddr dialog;
  Open(dialog, RemoteBlock(Stored(), {"101", "102", "103"}));
  Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnPhoneNumbers"));
    EXPECT_EQ(f.Text("edPhoneNumbers"), "(101; 102)");
    f.Click("btnOK");
  });
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Text("lblNumPhoneNumbers"), "Задано телефонных номеров: 3"_cp);
    EXPECT_EQ(f.Text("memPhoneNumbers"), "101\n102\n103");
    f.Type("memPhoneNumbers", "101\n\n   \n102");
    EXPECT_EQ(f.Text("lblNumPhoneNumbers"), "Задано телефонных номеров: 4"_cp);
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(dialog.Phones, (std::vector<std::string>{"101", "102"}));
  EXPECT_EQ(dialog.ResultSize(), 372);
  EXPECT_EQ(dialog.ResultBlock(), RemoteBlock(Stored(), {"101", "102"}));
}

TEST_F(RemoteAddressDialogTest, ConfirmingAListWithoutAChangeStillCountsAsAChange) {
  for (const char* button : {"btnPhoneNumbers", "btnUseComPorts"}) {
    SCOPED_TRACE(button);
    TfmOutAddr dialog;
    const std::string stored = RemoteBlock(Stored(), {"101"});
    Open(dialog, stored);
    Op().Expect([&](TFormDriver& f) {
      f.Click(button);
      f.Click("btnOK");
    });
    Op().Expect([](TFormDriver& f) { f.Click("btnOK"); });
    EXPECT_EQ(dialog.ShowModal(), mrOk);
    EXPECT_EQ(dialog.ResultBlock(), stored);
  }
}

TEST_F(RemoteAddressDialogTest, ADamagedPhoneSectionOpensWithNoNumbersAndAnExactRecordWithAnEmptyList) {
  std::string damaged = RemoteBlock(Stored(), {"101", "102"});
  damaged.pop_back();
  TfmOutAddr dialog;
  Open(dialog, damaged);
  EXPECT_EQ(Said(), std::vector<std::string>{"Неверные данные адреса, взятые из базы"_cp.data()});
  Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Text("edPhoneNumbers"), "(не заданы)"_cp);
    EXPECT_EQ(f.Text("edIdCl"), "1001") << "the record itself was read";
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel) << "nothing is written back unconfirmed";

  Op().Reset();
  TfmOutAddr exact;
  Open(exact, OwnBlock(Stored()));
  EXPECT_TRUE(Op().Messages().empty());
  Op().Expect([](TFormDriver& f) {
    f.Type("edIdCl", "1002");
    f.Click("btnOK");
  });
  EXPECT_EQ(exact.ShowModal(), mrOk);
  EXPECT_EQ(exact.ResultSize(), 172);
}

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
