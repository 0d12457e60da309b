#include "ui/mdm_iadr.h"

#include <cstring>

#include "platform/Cp1251.h"
#include "platform/forms/Application.h"
#include "platform/forms/TextConvert.h"
#include "ui/AddrViewText.h"
#include "ui/DialogFields.h"
#include "ui/mdm_aopt.h"

namespace kestrel::ui {

using namespace kestrel::literals;
using forms::TAlign;
using forms::TLayout;
using forms::TModalResult;

namespace {
constexpr std::size_t kRecordSize = sizeof(store::TMdmAddress);
}  // namespace

TfmInAddr::TfmInAddr()
    : TForm("TfmInAddr"),
      Addr(store::DefaultAddress()),
      grbxAddr(*this, "grbxAddr", std::string("Свойства адреса"_cp), TLayout::kFields),
      edSelfId(grbxAddr, "edSelfId", std::string("Собственный ID"_cp)),
      medDataWaitTimeOut(grbxAddr, "medDataWaitTimeOut",
                         std::string("Таймаут ожидания очередных данных (чч:мм:сс)"_cp)),
      medStayOnLineTimeOut(grbxAddr, "medStayOnLineTimeOut", std::string("Время удержания коннекции (чч:мм:сс)"_cp)),
      pnlUseComPorts(grbxAddr, "pnlUseComPorts", TLayout::kRow, TAlign::kFill,
                     std::string("Порты для слушания"_cp)),
      edUseComPorts(pnlUseComPorts, "edUseComPorts"),
      btnUseComPorts(pnlUseComPorts, "btnUseComPorts", "..."),
      pnlButtons(*this, "pnlButtons", TLayout::kRow, TAlign::kEnd),
      btnOK(pnlButtons, "btnOK", "OK", TModalResult::mrOk),
      btnCancel(pnlButtons, "btnCancel", std::string("Отмена"_cp), TModalResult::mrCancel) {
  SetCaption(std::string("Настройка собственного адреса "_cp));
  SetPosition(forms::TFormPosition::kMainFormCentre);
  edUseComPorts.SetReadOnly(true);
  edUseComPorts.SetSizeHint(30, 0);
  btnUseComPorts.SetSizeHint(3, 0);
  btnOK.SetDefault(true);
  btnCancel.SetFocusOnClick(false);
  CheckIntegerOnExit(edSelfId);
  CheckTimeOnExit(medDataWaitTimeOut);
  CheckTimeOnExit(medStayOnLineTimeOut);
  btnUseComPorts.OnClick = [this] { ChoosePorts(); };
}

void TfmInAddr::Init(const void* data, std::int32_t size, bool) {
  Addr = store::DefaultAddress();
  IsNewAddr = true;
  if (size != 0) {
    // The host never passes less than the record; should it, nothing past
    // the block is read and the address starts anew.
    if (data == nullptr || size < static_cast<std::int32_t>(kRecordSize)) {
      forms::ShowMessage(std::string("Неверные данные адреса, взятые из базы"_cp));
    } else {
      std::memcpy(&Addr, data, kRecordSize);
      IsNewAddr = false;
    }
  }
  result_size_ = size;
  result_block_.clear();
  PortsChanged = false;
}

void TfmInAddr::FormShow() {
  edSelfId.SetText(IdFieldText(Addr.IdCl));
  medDataWaitTimeOut.SetText(TimeSpanText(Addr.DataWaitTimeOut));
  medStayOnLineTimeOut.SetText(TimeSpanText(Addr.StayOnLineTimeOut));
  edUseComPorts.SetText(PortsViewText(Addr.UseComPorts, true));
}

void TfmInAddr::ChoosePorts() {
  TfmMdmAopt chooser(this);
  chooser.Ports = PortFlagsOf(Addr.UseComPorts);
  if (chooser.ShowModal() != TModalResult::mrOk) return;
  StorePortFlags(chooser.Ports, Addr.UseComPorts);
  edUseComPorts.SetText(PortsViewText(Addr.UseComPorts, true));
  PortsChanged = true;
}

bool TfmInAddr::FormCloseQuery() {
  forms::SetTimeSeparator(':');
  const bool unchanged = !PortsChanged && !IsNewAddr && edSelfId.Text() == std::to_string(Addr.IdCl) &&
                         medDataWaitTimeOut.Text() == TimeSpanText(Addr.DataWaitTimeOut) &&
                         medStayOnLineTimeOut.Text() == TimeSpanText(Addr.StayOnLineTimeOut);
  bool check_failed = false;
  if (unchanged) {
    SetModalResult(TModalResult::mrCancel);
  } else {
    try {
      Addr.IdCl = forms::StrToInt(edSelfId.Text());
      Addr.DataWaitTimeOut = TimeSpanOfText(medDataWaitTimeOut.Text());
      Addr.StayOnLineTimeOut = TimeSpanOfText(medStayOnLineTimeOut.Text());
    } catch (const forms::EConvertError& e) {
      forms::MessageBox(forms::TMsgKind::kError, e.what());
      check_failed = true;
    }
  }
  if (ModalResult() == TModalResult::mrOk && !check_failed) {
    result_block_.assign(kRecordSize, '\0');
    std::memcpy(result_block_.data(), &Addr, kRecordSize);
    result_size_ = static_cast<std::int32_t>(kRecordSize);
  }
  return !(check_failed && ModalResult() == TModalResult::mrOk);
}

}  // namespace kestrel::ui
