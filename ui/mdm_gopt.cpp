#include "ui/mdm_gopt.h"

#include <memory>

#include "gate/common/MdmTypes.h"
#include "modem/MdmMain.h"
#include "platform/Cp1251.h"
#include "platform/forms/Application.h"

namespace kestrel::ui {

using namespace kestrel::literals;
using forms::TAlign;
using forms::TLayout;
using forms::TModalResult;

namespace {

constexpr int kBaudItems = 15;  // br110..br256000: brCustom is not offered
constexpr int kDataBitsItems = 4;
constexpr int kParityItems = 5;
constexpr int kStopBitsItems = 3;

std::vector<std::string> Items(int count, std::string_view (*text)(int), int first = 0) {
  std::vector<std::string> items;
  for (int i = 0; i < count; ++i) items.emplace_back(text(first + i));
  return items;
}

// The item of an ordinal in a list of `count` items starting at ordinal
// `first`, -1 when the list has none for it.
int ItemOf(int ordinal, int first, int count) {
  const int item = ordinal - first;
  return item >= 0 && item < count ? item : -1;
}

std::string Cut(const std::string& text) { return text.substr(0, store::kShortTextMax); }

}  // namespace

TfmMdmGOpt::TfmMdmGOpt(forms::TForm* owner, const std::string& caption)
    : TForm("TfmMdmGOpt", owner),
      Channel(store::DefaultChannelSettings()),
      grbxModem(*this, "grbxModem", std::string(" Настройки модема "_cp), TLayout::kFields),
      cmbxPort(grbxModem, "cmbxPort", std::string("Порт:"_cp)),
      cmbxBaudRate(grbxModem, "cmbxBaudRate", std::string("Скорость (бит/с):"_cp)),
      cmbxDataBits(grbxModem, "cmbxDataBits", std::string("Биты данных:"_cp)),
      cmbxParity(grbxModem, "cmbxParity", std::string("Четность:"_cp)),
      cmbxStopBits(grbxModem, "cmbxStopBits", std::string("Стоповые биты:"_cp)),
      cmbxFlowControl(grbxModem, "cmbxFlowControl", std::string("Управление потоком:"_cp)),
      pnlInitString(grbxModem, "pnlInitString", TLayout::kColumn),
      edInitString(pnlInitString, "edInitString",
                   std::string("Строка инициализации (AT-команда либо оставить поле пустым)"_cp)),
      grbxAlias(*this, "grbxAlias", std::string("Альяс канала"_cp), TLayout::kColumn),
      edAlias(grbxAlias, "edAlias"),
      pnlButtons(*this, "pnlButtons", TLayout::kRow, TAlign::kEnd),
      btnTestConn(pnlButtons, "btnTestConn", std::string("Проверка связи"_cp)),
      btnOK(pnlButtons, "btnOK", "OK", TModalResult::mrOk),
      btnCancel(pnlButtons, "btnCancel", std::string("Отмена"_cp), TModalResult::mrCancel) {
  SetCaption(caption);
  SetPosition(forms::TFormPosition::kMainFormCentre);
  cmbxBaudRate.SetItems(Items(kBaudItems, gate::BaudRateDisplay, 1));
  cmbxDataBits.SetItems(Items(kDataBitsItems, gate::DataBitsDisplay));
  cmbxParity.SetItems(Items(kParityItems, gate::ParityDisplay));
  cmbxStopBits.SetItems(Items(kStopBitsItems, gate::StopBitsDisplay));
  cmbxFlowControl.SetItems(Items(2, gate::FlowControlDisplay));
  edInitString.SetSizeHint(40, 0);
  btnOK.SetDefault(true);
  btnCancel.SetFocusOnClick(false);
  btnTestConn.OnClick = [this] { TestConnection(); };
}

TfmMdmGOpt::TShown TfmMdmGOpt::ShownOf(const store::TMdmChannelSettings& channel, const TPortFlags& free_ports) {
  TShown s;
  s.port = PortItemIndex(free_ports, static_cast<int>(channel.PortNumber));
  s.baud_rate = ItemOf(static_cast<int>(channel.BaudRate), 1, kBaudItems);
  s.data_bits = ItemOf(static_cast<int>(channel.DataBits), 0, kDataBitsItems);
  s.parity = ItemOf(static_cast<int>(channel.Parity), 0, kParityItems);
  s.stop_bits = ItemOf(static_cast<int>(channel.StopBits), 0, kStopBitsItems);
  s.flow_control = channel.SwFlow != gate::TSwFlowControl::sfNONE ? 0 : 1;
  s.init_string = store::ShortTextToString(channel.InitString);
  s.alias = store::ShortTextToString(channel.Alias);
  return s;
}

void TfmMdmGOpt::StoreShown(const TShown& shown, const TPortFlags& free_ports, store::TMdmChannelSettings& channel) {
  if (const int port = PortOfItem(free_ports, shown.port); port > 0)
    channel.PortNumber = static_cast<gate::TPortNumber>(port);
  if (shown.baud_rate >= 0) channel.BaudRate = static_cast<gate::TBaudRate>(shown.baud_rate + 1);
  if (shown.data_bits >= 0) channel.DataBits = static_cast<gate::TDataBits>(shown.data_bits);
  if (shown.parity >= 0) channel.Parity = static_cast<gate::TParity>(shown.parity);
  if (shown.stop_bits >= 0) channel.StopBits = static_cast<gate::TStopBits>(shown.stop_bits);
  if (shown.flow_control == 0) {
    channel.SwFlow = gate::TSwFlowControl::sfXONXOFF;
    channel.HwFlow = gate::THwFlowControl::hfNONE;
  } else if (shown.flow_control == 1) {
    channel.SwFlow = gate::TSwFlowControl::sfNONE;
    channel.HwFlow = gate::THwFlowControl::hfRTSCTS;
  }
  (void)store::SetShortText(channel.InitString, Cut(shown.init_string));
  (void)store::SetShortText(channel.Alias, Cut(shown.alias));
}

TfmMdmGOpt::TShown TfmMdmGOpt::Current() const {
  return {cmbxPort.ItemIndex(),     cmbxBaudRate.ItemIndex(), cmbxDataBits.ItemIndex(), cmbxParity.ItemIndex(),
          cmbxStopBits.ItemIndex(), cmbxFlowControl.ItemIndex(), edInitString.Text(),    edAlias.Text()};
}

void TfmMdmGOpt::FormShow() {
  SetCaption(std::string("Настройки канала"_cp));
  std::vector<std::string> ports;
  for (int p = 1; p <= gate::kPortCount; ++p)
    if (FreePorts[static_cast<std::size_t>(p - 1)]) ports.emplace_back(gate::PortDisplayName(p));
  cmbxPort.SetItems(std::move(ports));
  const TShown shown = ShownOf(Channel, FreePorts);
  cmbxPort.SetItemIndex(shown.port);
  cmbxBaudRate.SetItemIndex(shown.baud_rate);
  cmbxDataBits.SetItemIndex(shown.data_bits);
  cmbxParity.SetItemIndex(shown.parity);
  cmbxStopBits.SetItemIndex(shown.stop_bits);
  cmbxFlowControl.SetItemIndex(shown.flow_control);
  edInitString.SetText(shown.init_string);
  edAlias.SetText(shown.alias);
}

bool TfmMdmGOpt::FormCloseQuery() {
  const TShown current = Current();
  if (!IsNewChannel && current == ShownOf(Channel, FreePorts)) SetModalResult(TModalResult::mrCancel);
  if (ModalResult() == TModalResult::mrOk) StoreShown(current, FreePorts, Channel);
  return true;
}

void TfmMdmGOpt::TestConnection() {
  store::TMdmChannelSettings record = Channel;
  StoreShown(Current(), FreePorts, record);
  bool connected = false;
  std::string reason;
  {
    // Freed here also when the test throws: its port must not stay open.
    auto driver = std::make_unique<modem::TMdmDriver>();
    driver->SetChannelSettings(record);
    connected = driver->TestChannel(reason);
  }
  if (connected)
    forms::MessageBox(forms::TMsgKind::kInformation, std::string("Коннекция успешная"_cp));
  else
    forms::MessageBox(forms::TMsgKind::kError,
                      std::string("Коннекция не установлена\r\nВозможная причина: ("_cp) + reason + ")");
}

}  // namespace kestrel::ui
