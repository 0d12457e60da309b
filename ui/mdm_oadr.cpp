#include "ui/mdm_oadr.h"

#include <cstring>

#include "gate/common/MdmTypes.h"
#include "platform/Cp1251.h"
#include "platform/forms/Application.h"
#include "platform/forms/TextConvert.h"
#include "store/ParamListError.h"
#include "ui/AddrViewText.h"
#include "ui/DialogFields.h"
#include "ui/mdm_aopt.h"
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
      medDataWaitTimeOut(grbxAddr, "medDataWaitTimeOut",
                         std::string("Таймаут ожидания очередных данных (чч:мм:сс)"_cp)),
      medStayOnLineTimeOut(grbxAddr, "medStayOnLineTimeOut", std::string("Время удержания коннекции (чч:мм:сс)"_cp)),
      pnlUseComPorts(grbxAddr, "pnlUseComPorts", TLayout::kRow, TAlign::kFill,
                     std::string("Порты для посылки"_cp)),
      edUseComPorts(pnlUseComPorts, "edUseComPorts"),
      btnUseComPorts(pnlUseComPorts, "btnUseComPorts", "..."),
      pnlButtons(*this, "pnlButtons", TLayout::kRow, TAlign::kEnd),
      btnOK(pnlButtons, "btnOK", "OK", TModalResult::mrOk),
      btnCancel(pnlButtons, "btnCancel", std::string("Отмена"_cp), TModalResult::mrCancel) {
  SetCaption(std::string("Настройка адреса получателя"_cp));
  SetPosition(forms::TFormPosition::kMainFormCentre);
  cmbxDialType.SetItems({std::string(gate::DialTypeDisplay(0)), std::string(gate::DialTypeDisplay(1))});
  edPhoneNumbers.SetReadOnly(true);
  edUseComPorts.SetReadOnly(true);
  edPhoneNumbers.SetSizeHint(30, 0);
  btnPhoneNumbers.SetSizeHint(3, 0);
  btnUseComPorts.SetSizeHint(3, 0);
  btnOK.SetDefault(true);
  btnCancel.SetFocusOnClick(false);
  CheckIntegerOnExit(edIdCl);
  CheckPositiveIntegerOnExit(edRestoreConnTries);
  for (forms::TMaskEdit* field : {&medRestoreConnTimeOut, &medDialTimeOut, &medRestoreConnAfterBreakTimeOut,
                                  &medDataWaitTimeOut, &medStayOnLineTimeOut})
    CheckTimeOnExit(*field);
  btnPhoneNumbers.OnClick = [this] { EditPhones(); };
  btnUseComPorts.OnClick = [this] { ChoosePorts(); };
}

void TfmOutAddr::Init(const void* data, std::int32_t size, bool) {
  Addr = store::DefaultAddress();
  IsNewAddr = true;
  Phones.clear();
  bool damaged = false;
  std::string section = store::EncodePhones({});  // an empty rest counts as a count of 0
  if (size != 0) {
    // The host never passes less than the record; should it, nothing past
    // the block is read and the address starts anew.
    if (data == nullptr || size < static_cast<std::int32_t>(kRecordSize)) {
      damaged = true;
    } else {
      const auto* bytes = static_cast<const char*>(data);
      std::memcpy(&Addr, bytes, kRecordSize);
      IsNewAddr = false;
      if (static_cast<std::size_t>(size) > kRecordSize)
        section.assign(bytes + kRecordSize, static_cast<std::size_t>(size) - kRecordSize);
    }
  }
  if (!damaged && !store::DecodePhones(section, Phones)) damaged = true;
  if (damaged) {
    Phones.clear();
    forms::ShowMessage(std::string("Неверные данные адреса, взятые из базы"_cp));
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
  medDataWaitTimeOut.SetText(TimeSpanText(Addr.DataWaitTimeOut));
  medStayOnLineTimeOut.SetText(TimeSpanText(Addr.StayOnLineTimeOut));
  edUseComPorts.SetText(PortsViewText(Addr.UseComPorts, true));
}

void TfmOutAddr::EditPhones() {
  TfmPhoneNumbers dialog(this);
  dialog.SetPhones(Phones);
  if (dialog.ShowModal() != TModalResult::mrOk) return;
  Phones = dialog.Phones();
  edPhoneNumbers.SetText(PhonesViewText(Phones, true));
  ListsChanged = true;
}

void TfmOutAddr::ChoosePorts() {
  TfmMdmAopt chooser(this);
  chooser.Ports = PortFlagsOf(Addr.UseComPorts);
  if (chooser.ShowModal() != TModalResult::mrOk) return;
  StorePortFlags(chooser.Ports, Addr.UseComPorts);
  edUseComPorts.SetText(PortsViewText(Addr.UseComPorts, true));
  ListsChanged = true;
}

bool TfmOutAddr::Unchanged() const {
  return !IsNewAddr && !ListsChanged && edIdCl.Text() == std::to_string(Addr.IdCl) &&
         cmbxDialType.ItemIndex() == DialTypeItem(Addr.DialPhoneType) &&
         edRestoreConnTries.Text() == std::to_string(Addr.RestoreConnTries) &&
         medRestoreConnTimeOut.Text() == TimeSpanText(Addr.RestoreConnTimeOut) &&
         medDialTimeOut.Text() == TimeSpanText(Addr.DialTimeOut) &&
         medRestoreConnAfterBreakTimeOut.Text() == TimeSpanText(Addr.RestoreConnAfterBreakTimeOut) &&
         medDataWaitTimeOut.Text() == TimeSpanText(Addr.DataWaitTimeOut) &&
         medStayOnLineTimeOut.Text() == TimeSpanText(Addr.StayOnLineTimeOut);
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
  Addr.DataWaitTimeOut = TimeSpanOfText(medDataWaitTimeOut.Text());
  Addr.StayOnLineTimeOut = TimeSpanOfText(medStayOnLineTimeOut.Text());
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
    std::string block(kRecordSize, '\0');
    std::memcpy(block.data(), &Addr, kRecordSize);
    try {
      block += store::EncodePhones(Phones);
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
