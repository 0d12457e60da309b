// The remote address dialog: defaults, every field's text and conversion,
// the lists, the nothing-changed rule, the result block, damaged blocks.
#include <gtest/gtest.h>

#include "platform/Cp1251.h"
#include "tests/dialogs/Blocks.h"
#include "tests/forms/UiTest.h"
#include "ui/mdm_oadr.h"

namespace kestrel::ui {
namespace {

using namespace kestrel::literals;
using forms::TModalResult;
using forms::testing::TFormDriver;
using forms::testing::UiTest;
using testing::AddressBlock;
using testing::AddrOf;
using testing::PhonesOf;

class RemoteAddressDialogTest : public UiTest {
 protected:
  static store::TMdmAddress Stored() {
    store::TMdmAddress a = store::DefaultAddress();
    a.IdCl = 1001;
    a.DialPhoneType = gate::TDialType::dtDialTone;
    a.RestoreConnTries = 3;
    a.UseComPorts[0] = a.UseComPorts[2] = 1;
    return a;
  }
  void Open(TfmOutAddr& dialog, const std::string& block) {
    dialog.Init(block.data(), static_cast<std::int32_t>(block.size()));
  }
};
KESTREL_UI_TESTS(RemoteAddressDialogTest);

TEST_P(RemoteAddressDialogTest, ANewAddressShowsTheDefaults) {
  TfmOutAddr dialog;
  dialog.Init(nullptr, 0);
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Caption(), "Настройка адреса получателя"_cp);
    EXPECT_EQ(f.Text("edIdCl"), "");
    EXPECT_EQ(f.Label("edIdCl"), "ID клиента"_cp);
    EXPECT_EQ(f.Text("edPhoneNumbers"), "(не заданы)"_cp);
    EXPECT_EQ(f.Label("edPhoneNumbers"), "Номера телефонов"_cp);
    EXPECT_EQ(f.Items("cmbxDialType"), (std::vector<std::string>{"импульсный"_cp.data(), "тоновый"_cp.data()}));
    EXPECT_EQ(f.ItemIndex("cmbxDialType"), 0);
    EXPECT_EQ(f.Label("cmbxDialType"), "Набор номера"_cp);
    EXPECT_EQ(f.Text("edRestoreConnTries"), "2");
    EXPECT_EQ(f.Label("edRestoreConnTries"), "Кол-во повторных попыток установить связь"_cp);
    EXPECT_EQ(f.Text("medRestoreConnTimeOut"), "00:00:30");
    EXPECT_EQ(f.Label("medRestoreConnTimeOut"), "Интервал для повторной попытки (чч:мм:сс)"_cp);
    EXPECT_EQ(f.Text("medDialTimeOut"), "00:00:30");
    EXPECT_EQ(f.Label("medDialTimeOut"), "Время ожидания ответа после звонка"_cp);
    EXPECT_EQ(f.Text("medRestoreConnAfterBreakTimeOut"), "00:01:00");
    EXPECT_EQ(f.Label("medRestoreConnAfterBreakTimeOut"), "Время повторной коннекции после обрыва"_cp);
    EXPECT_EQ(f.Text("medDataWaitTimeOut"), "00:01:00");
    EXPECT_EQ(f.Text("medStayOnLineTimeOut"), "00:03:00");
    EXPECT_EQ(f.Text("edUseComPorts"), "(не заданы)"_cp);
    EXPECT_EQ(f.Label("edUseComPorts"), "Порты для посылки"_cp);
    f.PressEnter();
    EXPECT_TRUE(f.Open()) << "no identifier yet";
    f.Click("btnCancel");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrCancel);
  EXPECT_EQ(this->Op().MessageTexts(),
            (std::vector<std::string>{"'' is not a valid integer value", "'' is not a valid integer value"}));
}

TEST_P(RemoteAddressDialogTest, AnUnchangedAddressEndsAsCancel) {
  TfmOutAddr dialog;
  this->Open(dialog, AddressBlock(this->Stored(), {"101", "102"}));
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Text("edIdCl"), "1001");
    EXPECT_EQ(f.ItemIndex("cmbxDialType"), 1);
    EXPECT_EQ(f.Text("edRestoreConnTries"), "3");
    EXPECT_EQ(f.Text("edPhoneNumbers"), "(101; 102)");
    EXPECT_EQ(f.Text("edUseComPorts"), "(COM1; COM3)");
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrCancel);
}

TEST_P(RemoteAddressDialogTest, EveryFieldIsConvertedIntoTheBlock) {
  TfmOutAddr dialog;
  this->Open(dialog, AddressBlock(this->Stored(), {"101"}));
  this->Op().Expect([](TFormDriver& f) {
    f.Type("edIdCl", "77");
    f.Select("cmbxDialType", 0);
    f.Type("edRestoreConnTries", "5");
    f.Type("medRestoreConnTimeOut", "00:00:45");
    f.Type("medDialTimeOut", "0:1:5");
    f.Type("medRestoreConnAfterBreakTimeOut", "00:02:00");
    f.Type("medDataWaitTimeOut", "00:02:30");
    f.Type("medStayOnLineTimeOut", "01:00:00");
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  ASSERT_EQ(dialog.ResultSize(), 168 + 4 + 100);
  const auto a = AddrOf(dialog.ResultBlock());
  EXPECT_EQ(std::int32_t{a.IdCl}, 77);
  EXPECT_EQ(a.DialPhoneType, gate::TDialType::dtDialPulse);
  EXPECT_EQ(std::int32_t{a.RestoreConnTries}, 5);
  EXPECT_EQ(store::TimeSpanToMs(a.RestoreConnTimeOut), 45'000u);
  EXPECT_EQ(store::TimeSpanToMs(a.DialTimeOut), 65'000u);
  EXPECT_EQ(store::TimeSpanToMs(a.RestoreConnAfterBreakTimeOut), 120'000u);
  EXPECT_EQ(store::TimeSpanToMs(a.DataWaitTimeOut), 150'000u);
  EXPECT_EQ(store::TimeSpanToMs(a.StayOnLineTimeOut), 3'600'000u);
  EXPECT_EQ(a.UseComPorts[2], 1);
  EXPECT_EQ(PhonesOf(dialog.ResultBlock()), std::vector<std::string>{"101"});
}

TEST_P(RemoteAddressDialogTest, PhonesTypedWithBlankLinesGiveTwoNumbers) {
  TfmOutAddr dialog;
  this->Open(dialog, AddressBlock(this->Stored(), {}));
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_TRUE(f.Click("btnPhoneNumbers"));
    EXPECT_EQ(f.Text("edPhoneNumbers"), "(101; 102)");
    f.Click("btnOK");
  });
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Caption(), "Телефоны получателя"_cp);
    f.Type("memPhoneNumbers", "101\n\n   \n102");
    EXPECT_EQ(f.Text("lblNumPhoneNumbers"), "Задано телефонных номеров: 4"_cp);
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(dialog.Phones, (std::vector<std::string>{"101", "102"}));
  EXPECT_EQ(dialog.ResultSize(), 372);
  EXPECT_EQ(PhonesOf(dialog.ResultBlock()), (std::vector<std::string>{"101", "102"}));
}

TEST_P(RemoteAddressDialogTest, ConfirmingAListWithoutAChangeStillCountsAsAChange) {
  for (const char* button : {"btnPhoneNumbers", "btnUseComPorts"}) {
    TfmOutAddr dialog;
    const std::string stored = AddressBlock(this->Stored(), {"101"});
    this->Open(dialog, stored);
    this->Op().Expect([&](TFormDriver& f) {
      f.Click(button);
      f.Click("btnOK");
    });
    this->Op().Expect([](TFormDriver& f) { f.Click("btnOK"); });
    EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk) << button;
    EXPECT_EQ(dialog.ResultBlock(), stored) << button;
  }
}

TEST_P(RemoteAddressDialogTest, AStoredNegativeIdentifierShowsEmptyAndMustBeTyped) {
  store::TMdmAddress stored = this->Stored();
  stored.IdCl = -1;
  TfmOutAddr dialog;
  this->Open(dialog, AddressBlock(stored, {}));
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Text("edIdCl"), "");
    f.PressEnter();
    EXPECT_TRUE(f.Open());
    f.Type("edIdCl", "5");
    f.PressEnter();
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(this->Op().MessageTexts(), std::vector<std::string>{"'' is not a valid integer value"});
  EXPECT_EQ(std::int32_t{AddrOf(dialog.ResultBlock()).IdCl}, 5);
}

TEST_P(RemoteAddressDialogTest, ARetryCountBelowOneIsRefused) {
  TfmOutAddr dialog;
  this->Open(dialog, AddressBlock(this->Stored(), {}));
  const std::string_view text = "Значение поля должно быть больше 0"_cp;
  const std::string must_be_positive(text);
  this->Op().Expect([&](TFormDriver& f) {
    f.Type("edRestoreConnTries", "0");
    EXPECT_FALSE(f.Tab());
    EXPECT_EQ(f.FocusedControl(), "edRestoreConnTries");
    EXPECT_EQ(this->Op().MessageTexts(), std::vector<std::string>{must_be_positive});
    // Enter presses OK without leaving the field: the count is refused all the same.
    f.PressEnter();
    EXPECT_TRUE(f.Open());
    EXPECT_EQ(this->Op().MessageTexts().size(), 2u);
    f.Type("edRestoreConnTries", "1");
    f.PressEnter();
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(this->Op().MessageTexts()[1], must_be_positive);
  EXPECT_EQ(std::int32_t{AddrOf(dialog.ResultBlock()).RestoreConnTries}, 1);
}

TEST_P(RemoteAddressDialogTest, EveryTimeFieldChecksWhenLeft) {
  TfmOutAddr dialog;
  this->Open(dialog, AddressBlock(this->Stored(), {}));
  this->Op().Expect([](TFormDriver& f) {
    for (const char* field : {"medRestoreConnTimeOut", "medDialTimeOut", "medRestoreConnAfterBreakTimeOut",
                              "medDataWaitTimeOut", "medStayOnLineTimeOut"}) {
      f.Type(field, "00:61:00");
      EXPECT_FALSE(f.Tab()) << field;
      f.Type(field, "00:01:00");
    }
    f.CloseBox();
  });
  dialog.ShowModal();
  EXPECT_EQ(this->Op().MessageTexts(), std::vector<std::string>(5, "'00:61:00' is not a valid time"));
}

TEST_P(RemoteAddressDialogTest, ADamagedPhoneSectionOpensWithNoNumbers) {
  std::string stored = AddressBlock(this->Stored(), {"101", "102"});
  stored.resize(stored.size() - 1);
  TfmOutAddr dialog;
  this->Open(dialog, stored);
  EXPECT_EQ(this->Op().MessageTexts(), std::vector<std::string>{"Неверные данные адреса, взятые из базы"_cp.data()});
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Text("edPhoneNumbers"), "(не заданы)"_cp);
    EXPECT_EQ(f.Text("edIdCl"), "1001") << "the record itself was read";
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrCancel) << "nothing is written back unconfirmed";
}

TEST_P(RemoteAddressDialogTest, AStoredTimeOfADayOrMoreShowsItsTimeOfDay) {
  store::TMdmAddress stored = this->Stored();
  stored.DialTimeOut = 25.0 / 24.0;
  TfmOutAddr dialog;
  this->Open(dialog, AddressBlock(stored, {}));
  this->Op().Expect([](TFormDriver& f) {
    EXPECT_EQ(f.Text("medDialTimeOut"), "01:00:00");
    f.Click("btnCancel");
  });
  dialog.ShowModal();
}

TEST_P(RemoteAddressDialogTest, AnExactRecordHasAnEmptyPhoneList) {
  TfmOutAddr dialog;
  this->Open(dialog, AddressBlock(this->Stored()));
  EXPECT_TRUE(this->Op().Messages().empty());
  this->Op().Expect([](TFormDriver& f) {
    f.Type("edIdCl", "1002");
    f.Click("btnOK");
  });
  EXPECT_EQ(dialog.ShowModal(), TModalResult::mrOk);
  EXPECT_EQ(dialog.ResultSize(), 172);
}

}  // namespace
}  // namespace kestrel::ui
