#include "ui/mdm_iadr.h"

#include "platform/Cp1251.h"
#include "platform/forms/Application.h"
#include "platform/forms/TextConvert.h"
#include "ui/DialogFields.h"

namespace kestrel::ui {

using namespace kestrel::literals;
using forms::TLayout;
using forms::TModalResult;

TfmInAddr::TfmInAddr()
    : TForm("TfmInAddr"),
      Addr(store::DefaultAddress()),
      grbxAddr(*this, "grbxAddr", std::string("Свойства адреса"_cp), TLayout::kFields),
      edSelfId(grbxAddr, "edSelfId", std::string("Собственный ID"_cp)),
      Tail(*this, grbxAddr, std::string("Порты для слушания"_cp), Addr, [this] { PortsChanged = true; }) {
  SetCaption(std::string("Настройка собственного адреса "_cp));
  SetPosition(forms::TFormPosition::kMainFormCentre);
  Tail.edUseComPorts.SetSizeHint(30, 0);
  CheckIntegerOnExit(edSelfId);
}

void TfmInAddr::Init(const void* data, std::int32_t size, bool) {
  const TRecordRead read = ReadAddressRecord(data, size, Addr);
  if (read == TRecordRead::kDamaged) forms::ShowMessage(DamagedAddressText());
  IsNewAddr = read != TRecordRead::kRead;
  result_size_ = size;
  result_block_.clear();
  PortsChanged = false;
}

void TfmInAddr::FormShow() {
  edSelfId.SetText(IdFieldText(Addr.IdCl));
  Tail.Show();
}

bool TfmInAddr::FormCloseQuery() {
  forms::SetTimeSeparator(':');
  const bool unchanged =
      !PortsChanged && !IsNewAddr && edSelfId.Text() == std::to_string(Addr.IdCl) && Tail.TimesUnchanged();
  bool check_failed = false;
  if (unchanged) {
    SetModalResult(TModalResult::mrCancel);
  } else {
    try {
      Addr.IdCl = forms::StrToInt(edSelfId.Text());
      Tail.StoreTimes();
    } catch (const forms::EConvertError& e) {
      forms::MessageBox(forms::TMsgKind::kError, e.what());
      check_failed = true;
    }
  }
  if (ModalResult() == TModalResult::mrOk && !check_failed) {
    result_block_ = AddressBlock(Addr);
    result_size_ = static_cast<std::int32_t>(result_block_.size());
  }
  return !(check_failed && ModalResult() == TModalResult::mrOk);
}

}  // namespace kestrel::ui
