#include "ui/AddrControls.h"

#include <cstring>

#include "platform/Cp1251.h"
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

TAddrTailControls::TAddrTailControls(forms::TForm& form, forms::TGroupBox& group, std::string ports_label,
                                     store::TMdmAddress& addr, std::function<void()> on_ports_chosen)
    : medDataWaitTimeOut(group, "medDataWaitTimeOut", std::string("Таймаут ожидания очередных данных (чч:мм:сс)"_cp)),
      medStayOnLineTimeOut(group, "medStayOnLineTimeOut", std::string("Время удержания коннекции (чч:мм:сс)"_cp)),
      pnlUseComPorts(group, "pnlUseComPorts", TLayout::kRow, TAlign::kFill, std::move(ports_label)),
      edUseComPorts(pnlUseComPorts, "edUseComPorts"),
      btnUseComPorts(pnlUseComPorts, "btnUseComPorts", "..."),
      pnlButtons(form, "pnlButtons", TLayout::kRow, TAlign::kEnd),
      btnOK(pnlButtons, "btnOK", "OK", TModalResult::mrOk),
      btnCancel(pnlButtons, "btnCancel", std::string("Отмена"_cp), TModalResult::mrCancel),
      form_(form),
      addr_(addr),
      on_ports_chosen_(std::move(on_ports_chosen)) {
  edUseComPorts.SetReadOnly(true);
  btnUseComPorts.SetSizeHint(3, 0);
  btnOK.SetDefault(true);
  btnCancel.SetFocusOnClick(false);
  CheckTimeOnExit(medDataWaitTimeOut);
  CheckTimeOnExit(medStayOnLineTimeOut);
  btnUseComPorts.OnClick = [this] { ChoosePorts(); };
}

void TAddrTailControls::Show() {
  medDataWaitTimeOut.SetText(TimeSpanText(addr_.DataWaitTimeOut));
  medStayOnLineTimeOut.SetText(TimeSpanText(addr_.StayOnLineTimeOut));
  edUseComPorts.SetText(PortsViewText(addr_.UseComPorts, true));
}

bool TAddrTailControls::TimesUnchanged() const {
  return medDataWaitTimeOut.Text() == TimeSpanText(addr_.DataWaitTimeOut) &&
         medStayOnLineTimeOut.Text() == TimeSpanText(addr_.StayOnLineTimeOut);
}

void TAddrTailControls::StoreTimes() {
  addr_.DataWaitTimeOut = TimeSpanOfText(medDataWaitTimeOut.Text());
  addr_.StayOnLineTimeOut = TimeSpanOfText(medStayOnLineTimeOut.Text());
}

void TAddrTailControls::ChoosePorts() {
  TfmMdmAopt chooser(&form_);
  chooser.Ports = PortFlagsOf(addr_.UseComPorts);
  if (chooser.ShowModal() != TModalResult::mrOk) return;
  StorePortFlags(chooser.Ports, addr_.UseComPorts);
  edUseComPorts.SetText(PortsViewText(addr_.UseComPorts, true));
  if (on_ports_chosen_) on_ports_chosen_();
}

TRecordRead ReadAddressRecord(const void* data, std::int32_t size, store::TMdmAddress& addr) {
  addr = store::DefaultAddress();
  if (size == 0) return TRecordRead::kNew;
  // The host never passes less than the record; should it, nothing past the
  // block is read and the address starts anew.
  if (data == nullptr || size < static_cast<std::int32_t>(kRecordSize)) return TRecordRead::kDamaged;
  std::memcpy(&addr, data, kRecordSize);
  return TRecordRead::kRead;
}

std::string DamagedAddressText() { return std::string("Неверные данные адреса, взятые из базы"_cp); }

std::string AddressBlock(const store::TMdmAddress& addr, std::string_view rest) {
  std::string block(kRecordSize, '\0');
  std::memcpy(block.data(), &addr, kRecordSize);
  block += rest;
  return block;
}

}  // namespace kestrel::ui
