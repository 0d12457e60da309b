#include "ui/mdm_gset.h"

#include <algorithm>
#include <cstring>

#include "gate/common/MdmTypes.h"
#include "platform/Cp1251.h"
#include "platform/ScopeExit.h"
#include "platform/forms/Application.h"
#include "ui/mdm_gopt.h"

namespace kestrel::ui {

using namespace kestrel::literals;
using forms::TAlign;
using forms::TLayout;
using forms::TModalResult;

namespace {
constexpr std::size_t kGateRecordSize = sizeof(store::TMdmGateSettings);

int PortOf(const store::TMdmChannelSettings& channel) { return static_cast<int>(channel.PortNumber); }
}  // namespace

TfmMdmGtSettings::TfmMdmGtSettings()
    : TForm("TfmMdmGtSettings"),
      GateSettings(store::DefaultGateSettings()),
      grbxChannels(*this, "grbxChannels", std::string("Настройка каналов"_cp), TLayout::kRow),
      lvChannels(grbxChannels, "lvChannels", std::string("Канал"_cp)),
      pnlChannelButtons(grbxChannels, "pnlChannelButtons", TLayout::kColumn, TAlign::kStart),
      btnNew(pnlChannelButtons, "btnNew", std::string("Новый"_cp)),
      btnEdit(pnlChannelButtons, "btnEdit", std::string("Изменить"_cp)),
      btnDelete(pnlChannelButtons, "btnDelete", std::string("Удалить"_cp)),
      chbxShowProgress(*this, "chbxShowProgress", std::string("Показывать индикатор передачи данных"_cp)),
      pnlButtons(*this, "pnlButtons", TLayout::kRow, TAlign::kEnd),
      btnOk(pnlButtons, "btnOk", "OK", TModalResult::mrOk),
      btnCancel(pnlButtons, "btnCancel", std::string("Отмена"_cp), TModalResult::mrCancel) {
  SetCaption(std::string("Настройки модемного шлюза"_cp));
  SetPosition(forms::TFormPosition::kOwnerCentre);
  lvChannels.SetSizeHint(30, 10);
  btnCancel.SetFocusOnClick(false);
  btnNew.OnClick = [this] { NewChannel(); };
  btnEdit.OnClick = [this] { EditChannel(); };
  btnDelete.OnClick = [this] { DeleteChannel(); };
  for (int port = 1; port <= gate::kPortCount; ++port) MarkPort(port, true);
}

void TfmMdmGtSettings::Init(const void* data, std::int32_t size, bool always_save) {
  GateSettings = store::DefaultGateSettings();
  ChannelList.clear();
  for (int port = 1; port <= gate::kPortCount; ++port) MarkPort(port, true);

  bool damaged = false;
  std::string channel_part = store::EncodeChannels({});  // an empty rest counts as a count of 0
  if (size != 0) {
    // The host never passes less than the gate record; should it, nothing
    // past the block is read and the dialog starts from the defaults.
    if (data == nullptr || size < static_cast<std::int32_t>(kGateRecordSize)) {
      damaged = true;
    } else {
      const auto* bytes = static_cast<const char*>(data);
      std::memcpy(&GateSettings, bytes, kGateRecordSize);
      if (static_cast<std::size_t>(size) > kGateRecordSize)
        channel_part.assign(bytes + kGateRecordSize, static_cast<std::size_t>(size) - kGateRecordSize);
    }
  }
  if (!damaged) {
    store::TChannelList decoded;
    if (!store::DecodeChannels(channel_part, decoded)) {
      damaged = true;
    } else {
      // A channel outside COM1..COM16 or on a port already taken would break
      // the port marks: it is left out as damaged data.
      for (const auto& channel : decoded) {
        const int port = PortOf(channel);
        if (port < 1 || port > gate::kPortCount || !FreePorts[static_cast<std::size_t>(port - 1)])
          damaged = true;
        else
          AddChannel(channel);
      }
    }
  }
  if (damaged) forms::ShowMessage(std::string("Неверные данные каналов, взятые из базы"_cp));
  result_size_ = size;
  result_block_.clear();
  Modified = false;
  AlwaysSave = always_save;
}

void TfmMdmGtSettings::MarkPort(int port, bool free) {
  if (port >= 1 && port <= gate::kPortCount) FreePorts[static_cast<std::size_t>(port - 1)] = free;
  ApplyButtonRule();
}

void TfmMdmGtSettings::ApplyButtonRule() {
  btnNew.SetEnabled(std::any_of(FreePorts.begin(), FreePorts.end(), [](bool f) { return f; }));
  btnEdit.SetEnabled(!ChannelList.empty());
  btnDelete.SetEnabled(!ChannelList.empty());
}

int TfmMdmGtSettings::AddChannel(const store::TMdmChannelSettings& channel) {
  const auto at = std::find_if(ChannelList.begin(), ChannelList.end(),
                               [&](const auto& c) { return PortOf(c) > PortOf(channel); });
  const auto position = static_cast<int>(at - ChannelList.begin());
  ChannelList.insert(at, channel);
  MarkPort(PortOf(channel), false);
  return position;
}

void TfmMdmGtSettings::RemoveChannel(int position) {
  const int port = PortOf(ChannelList[static_cast<std::size_t>(position)]);
  ChannelList.erase(ChannelList.begin() + position);
  MarkPort(port, true);
}

void TfmMdmGtSettings::FillList(int wanted) {
  std::vector<std::string> items;
  for (const auto& channel : ChannelList)
    items.push_back(std::string(gate::PortDisplayName(PortOf(channel))) + ": " +
                    store::ShortTextToString(channel.Alias));
  lvChannels.SetItems(std::move(items));
  if (ChannelList.empty()) return;
  const int last = static_cast<int>(ChannelList.size()) - 1;
  lvChannels.SetItemIndex(std::clamp(wanted, 0, last));
}

void TfmMdmGtSettings::FormShow() {
  chbxShowProgress.SetChecked(GateSettings.ToShowProgress != 0);
  FillList(0);
}

void TfmMdmGtSettings::NewChannel() {
  const int port = LowestSetPort(FreePorts);
  if (port == 0) return;
  TfmMdmGOpt dialog(this, Caption());
  dialog.Channel = store::DefaultChannelSettings();
  dialog.Channel.PortNumber = static_cast<gate::TPortNumber>(port);
  dialog.IsNewChannel = true;
  dialog.FreePorts = FreePorts;
  if (dialog.ShowModal() != TModalResult::mrOk) return;
  Modified = true;
  FillList(AddChannel(dialog.Channel));
}

void TfmMdmGtSettings::EditChannel() {
  if (lvChannels.SelCount() != 1) {
    forms::ShowMessage(std::string("Выберите сначала редактируемый канал"_cp));
    return;
  }
  const int selected = lvChannels.ItemIndex();
  const store::TMdmChannelSettings channel = ChannelList[static_cast<std::size_t>(selected)];
  const auto own = static_cast<std::size_t>(PortOf(channel) - 1);
  TfmMdmGOpt dialog(this, Caption());
  dialog.Channel = channel;
  dialog.IsNewChannel = false;
  // The channel may keep its own port (no button rule: nothing changed yet).
  // Unless the edit is confirmed, the port is taken by it again.
  FreePorts[own] = true;
  platform::TScopeExit taken_again([&] { FreePorts[own] = false; });
  dialog.FreePorts = FreePorts;
  if (dialog.ShowModal() != TModalResult::mrOk) return;
  taken_again.Dismiss();
  Modified = true;
  RemoveChannel(selected);
  FillList(AddChannel(dialog.Channel));
}

void TfmMdmGtSettings::DeleteChannel() {
  if (lvChannels.SelCount() != 1) {
    forms::ShowMessage(std::string("Выберите сначала удаляемый канал"_cp));
    return;
  }
  const int selected = lvChannels.ItemIndex();
  RemoveChannel(selected);
  FillList(selected - 1);
  Modified = true;
}

bool TfmMdmGtSettings::FormCloseQuery() {
  const bool show_progress = chbxShowProgress.Checked();
  if (!AlwaysSave && show_progress == (GateSettings.ToShowProgress != 0) && !Modified)
    SetModalResult(TModalResult::mrCancel);
  if (ModalResult() == TModalResult::mrOk) {
    GateSettings.ToShowProgress = show_progress ? 1 : 0;
    std::string block(kGateRecordSize, '\0');
    std::memcpy(block.data(), &GateSettings, kGateRecordSize);
    block += store::EncodeChannels(ChannelList);
    result_size_ = static_cast<std::int32_t>(block.size());
    result_block_ = std::move(block);
  }
  return true;
}

}  // namespace kestrel::ui
