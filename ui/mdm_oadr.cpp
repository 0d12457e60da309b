#include "ui/mdm_oadr.h"


#include "gate/common/MdmTypes.h"
#include "platform/Cp1251.h"
#include "platform/forms/Application.h"
#include "platform/forms/TextConvert.h"
#include "store/ParamListError.h"
#include "ui/AddrViewText.h"
#include "ui/DialogFields.h"
#include "ui/mdm_phop.h"

namespace kestrel::ui {

using namespace kestrel::literals;
using forms::TAlign;
using forms::TLayout;
using forms::TModalResult;

namespace {

constexpr std::size_t kRecordSize = sizeof(store::TMdmAddress);
constexpr int kDialTypeItems = 2;

int DialTypeItem(gate::TDialType type) {
  const int item = static_cast<int>(type);
  return item < kDialTypeItems ? item : -1;
}

// A retry count below 1 is refused like a text that does not convert.
class ENotPositive : public std::invalid_argument {
 public:
  ENotPositive() : std::invalid_argument(MustBePositiveText()) {}
};

}  // namespace

TfmOutAddr::TfmOutAddr()
    : TForm("TfmOutAddr"),
      Addr(store::DefaultAddress()),
      grbxAddr(*this, "grbxAddr", std::string("Свойства адреса"_cp), TLayout::kFields),
      edIdCl(grbxAddr, "edIdCl", std::string("ID клиента"_cp)),
      pnlPhoneNumbers(grbxAddr, "pnlPhoneNumbers", TLayout::kRow, TAlign::kFill,
                      std::string("Номера телефонов"_cp)),
      edPhoneNumbers(pnlPhoneNumbers, "edPhoneNumbers"),
      btnPhoneNumbers(pnlPhoneNumbers, "btnPhoneNumbers", "..."),
      cmbxDialType(grbxAddr, "cmbxDialType", std::string("Набор номера"_cp)),
      edRestoreConnTries(grbxAddr, "edRestoreConnTries",
                         std::string("Кол-во повторных попыток установить связь"_cp)),
      medRestoreConnTimeOut(grbxAddr, "medRestoreConnTimeOut",
                            std::string("Интервал для повторной попытки (чч:мм:сс)"_cp)),
      medDialTimeOut(grbxAddr, "medDialTimeOut", std::string("Время ожидания ответа после звонка"_cp)),
      medRestoreConnAfterBreakTimeOut(grbxAddr, "medRestoreConnAfterBreakTimeOut",
                                      std::string("Время повторной коннекции после обрыва"_cp)),
      Tail(*this, grbxAddr, std::string("Порты для посылки"_cp), Addr, [this] { ListsChanged = true; }) {
  SetCaption(std::string("Настройка адреса получателя"_cp));
  SetPosition(forms::TFormPosition::kMainFormCentre);
  cmbxDialType.SetItems({std::string(gate::DialTypeDisplay(0)), std::string(gate::DialTypeDisplay(1))});
  edPhoneNumbers.SetReadOnly(true);
  edPhoneNumbers.SetSizeHint(30, 0);
  btnPhoneNumbers.SetSizeHint(3, 0);
  CheckIntegerOnExit(edIdCl);
  CheckPositiveIntegerOnExit(edRestoreConnTries);
  for (forms::TMaskEdit* field : {&medRestoreConnTimeOut, &medDialTimeOut, &medRestoreConnAfterBreakTimeOut})
    CheckTimeOnExit(*field);
  btnPhoneNumbers.OnClick = [this] { EditPhones(); };
}

void TfmOutAddr::Init(const void* data, std::int32_t size, bool) {
  const TRecordRead read = ReadAddressRecord(data, size, Addr);
  IsNewAddr = read != TRecordRead::kRead;
  Phones.clear();
  std::string section = store::EncodePhones({});  // an empty rest counts as a count of 0
  if (read == TRecordRead::kRead && static_cast<std::size_t>(size) > kRecordSize)
    section.assign(static_cast<const char*>(data) + kRecordSize, static_cast<std::size_t>(size) - kRecordSize);
  if (read == TRecordRead::kDamaged || !store::DecodePhones(section, Phones)) {
    Phones.clear();
    forms::ShowMessage(DamagedAddressText());
  }
  result_size_ = size;
  result_block_.clear();
  ListsChanged = false;
}

void TfmOutAddr::FormShow() {
  edIdCl.SetText(IdFieldText(Addr.IdCl));
  edPhoneNumbers.SetText(PhonesViewText(Phones, true));
  cmbxDialType.SetItemIndex(DialTypeItem(Addr.DialPhoneType));
  edRestoreConnTries.SetText(std::to_string(Addr.RestoreConnTries));
  medRestoreConnTimeOut.SetText(TimeSpanText(Addr.RestoreConnTimeOut));
  medDialTimeOut.SetText(TimeSpanText(Addr.DialTimeOut));
  medRestoreConnAfterBreakTimeOut.SetText(TimeSpanText(Addr.RestoreConnAfterBreakTimeOut));
  Tail.Show();
}

void TfmOutAddr::EditPhones() {
  TfmPhoneNumbers dialog(this);
  dialog.SetPhones(Phones);
  if (dialog.ShowModal() != TModalResult::mrOk) return;
  Phones = dialog.Phones();
  edPhoneNumbers.SetText(PhonesViewText(Phones, true));
  ListsChanged = true;
}

bool TfmOutAddr::Unchanged() const {
  return !IsNewAddr && !ListsChanged && edIdCl.Text() == std::to_string(Addr.IdCl) &&
         cmbxDialType.ItemIndex() == DialTypeItem(Addr.DialPhoneType) &&
         edRestoreConnTries.Text() == std::to_string(Addr.RestoreConnTries) &&
         medRestoreConnTimeOut.Text() == TimeSpanText(Addr.RestoreConnTimeOut) &&
         medDialTimeOut.Text() == TimeSpanText(Addr.DialTimeOut) &&
         medRestoreConnAfterBreakTimeOut.Text() == TimeSpanText(Addr.RestoreConnAfterBreakTimeOut) &&
         Tail.TimesUnchanged();
}

void TfmOutAddr::StoreFields() {
  Addr.IdCl = forms::StrToInt(edIdCl.Text());
  if (const int item = cmbxDialType.ItemIndex(); item >= 0) Addr.DialPhoneType = static_cast<gate::TDialType>(item);
  const std::int32_t tries = forms::StrToInt(edRestoreConnTries.Text());
  // The field's own check is only made when the field is left; Enter on OK
  // does not leave it, and a count below 1 must not be stored either way.
  if (tries < 1) throw ENotPositive();
  Addr.RestoreConnTries = tries;
  Addr.RestoreConnTimeOut = TimeSpanOfText(medRestoreConnTimeOut.Text());
  Addr.DialTimeOut = TimeSpanOfText(medDialTimeOut.Text());
  Addr.RestoreConnAfterBreakTimeOut = TimeSpanOfText(medRestoreConnAfterBreakTimeOut.Text());
  Tail.StoreTimes();
}

bool TfmOutAddr::FormCloseQuery() {
  forms::SetTimeSeparator(':');
  bool check_failed = false;
  if (Unchanged()) {
    SetModalResult(TModalResult::mrCancel);
  } else {
    try {
      StoreFields();
    } catch (const forms::EConvertError& e) {
      forms::MessageBox(forms::TMsgKind::kError, e.what());
      check_failed = true;
    } catch (const ENotPositive& e) {
      forms::ShowMessage(e.what());
      check_failed = true;
    }
  }
  if (ModalResult() == TModalResult::mrOk && !check_failed) {
    std::string block;
    try {
      block = AddressBlock(Addr, store::EncodePhones(Phones));
    } catch (const store::EParamListError& e) {
      // Only numbers the phone dialog accepted get here; kept as a guard.
      forms::MessageBox(forms::TMsgKind::kError, e.what());
      return false;
    }
    result_size_ = static_cast<std::int32_t>(block.size());
    result_block_ = std::move(block);
  }
  return !(check_failed && ModalResult() == TModalResult::mrOk);
}

}  // namespace kestrel::ui
