#include "ui/mdm_aopt.h"

#include "gate/common/MdmTypes.h"
#include "platform/Cp1251.h"

namespace kestrel::ui {

using namespace kestrel::literals;
using forms::TAlign;
using forms::TLayout;
using forms::TModalResult;

namespace {

// The selected port of a list of the ports in `in_list`, or -1.
std::int32_t SelectedPort(const forms::TListView& list, const TPortFlags& in_list) {
  if (list.SelCount() != 1) return -1;
  const int port = PortOfItem(in_list, list.ItemIndex());
  return port > 0 ? port : -1;
}

// After `moved_item` left a list: the port now before it, or the first.
std::int32_t PortBefore(const TPortFlags& in_list, int moved_item) {
  const int port = PortOfItem(in_list, moved_item > 0 ? moved_item - 1 : 0);
  return port > 0 ? port : -1;
}

}  // namespace

TfmMdmAopt::TfmMdmAopt(forms::TForm* owner)
    : TForm("TfmMdmAopt", owner),
      grbxChannels(*this, "grbxChannels", std::string("Выбор каналов"_cp), TLayout::kRow),
      lvAllChannels(grbxChannels, "lvAllChannels", std::string("Неиспользуемые каналы"_cp)),
      pnlMove(grbxChannels, "pnlMove", TLayout::kColumn, TAlign::kCentre),
      btnAddChannel(pnlMove, "btnAddChannel", "-->"),
      btnRemoveChannel(pnlMove, "btnRemoveChannel", "<--"),
      lvUsedChannels(grbxChannels, "lvUsedChannels", std::string("Использовать каналы"_cp)),
      pnlButtons(*this, "pnlButtons", TLayout::kRow, TAlign::kEnd),
      btnOK(pnlButtons, "btnOK", "OK", TModalResult::mrOk),
      btnCancel(pnlButtons, "btnCancel", std::string("Отмена"_cp), TModalResult::mrCancel) {
  SetCaption(std::string("Выбор каналов для приема"_cp));
  SetPosition(forms::TFormPosition::kMainFormCentre);
  lvAllChannels.SetSizeHint(22, 12);
  lvUsedChannels.SetSizeHint(22, 12);
  btnOK.SetDefault(true);
  btnCancel.SetFocusOnClick(false);
  btnAddChannel.OnClick = [this] { MoveRight(); };
  btnRemoveChannel.OnClick = [this] { MoveLeft(); };
}

TPortFlags TfmMdmAopt::Unused() const {
  TPortFlags unused{};
  for (std::size_t i = 0; i < unused.size(); ++i) unused[i] = !Ports[i];
  return unused;
}

void TfmMdmAopt::Refill() {
  std::vector<std::string> left, right;
  for (int port = 1; port <= gate::kPortCount; ++port)
    (Ports[static_cast<std::size_t>(port - 1)] ? right : left).emplace_back(gate::PortDisplayName(port));
  lvAllChannels.SetItems(std::move(left));
  lvUsedChannels.SetItems(std::move(right));
  lvAllChannels.SetItemIndex(PortItemIndex(Unused(), SelUnusedPort));
  lvUsedChannels.SetItemIndex(PortItemIndex(Ports, SelUsedPort));
}

void TfmMdmAopt::MoveRight() {
  const std::int32_t port = SelectedPort(lvAllChannels, Unused());
  if (port < 0) return;
  const int moved_item = lvAllChannels.ItemIndex();
  if (const std::int32_t used = SelectedPort(lvUsedChannels, Ports); used > 0) SelUsedPort = used;
  Ports[static_cast<std::size_t>(port - 1)] = true;
  SelUnusedPort = PortBefore(Unused(), moved_item);
  Refill();
}

void TfmMdmAopt::MoveLeft() {
  const std::int32_t port = SelectedPort(lvUsedChannels, Ports);
  if (port < 0) return;
  const int moved_item = lvUsedChannels.ItemIndex();
  if (const std::int32_t unused = SelectedPort(lvAllChannels, Unused()); unused > 0) SelUnusedPort = unused;
  Ports[static_cast<std::size_t>(port - 1)] = false;
  SelUsedPort = PortBefore(Ports, moved_item);
  Refill();
}

}  // namespace kestrel::ui
