#include "host/OnlineGateMonitorForm.h"

#include <algorithm>

#include "host/GateManager.h"
#include "host/MonitorSource.h"
#include "host/ProcessList.h"
#include "platform/Cp1251.h"

namespace kestrel::host {

using namespace kestrel::literals;
using forms::TLayout;

namespace {
constexpr std::string_view kNoChannels = "(каналы не настроены)"_cp;
constexpr std::string_view kNoGate = "(шлюз не запущен)"_cp;
}  // namespace

TOnlineGateMonitorFormEx::TOnlineGateMonitorFormEx(std::string name)
    : TForm(std::move(name)),
      grbxChannels(*this, "grbxChannels", {}, TLayout::kColumn),
      lvChannels(grbxChannels, "lvChannels", std::string("Канал"_cp)),
      grbxProcesses(*this, "grbxProcesses", {}, TLayout::kColumn),
      lblProcesses(grbxProcesses, "lblProcesses", {}),
      grbxLog(*this, "grbxLog", {}, TLayout::kColumn),
      memLog(grbxLog, "memLog"),
      tmRefresh(kMonitorRefreshMs) {
  lvChannels.SetSizeHint(60, 8);
  memLog.SetSizeHint(100, 12);
  memLog.SetReadOnly(true);
  tmRefresh.OnTimer = [this] { Refresh(); };
}

TOnlineGateMonitorFormEx::~TOnlineGateMonitorFormEx() { tmRefresh.SetEnabled(false); }

void TOnlineGateMonitorFormEx::FormCreate(forms::TForm* /*sender*/) {
  GetLocalRes();
  Refresh();
}

void TOnlineGateMonitorFormEx::GetLocalRes() {
  SetCaption(std::string("Монитор шлюза"_cp));
  grbxChannels.SetCaption(std::string("Каналы"_cp));
  grbxProcesses.SetCaption(std::string("Процессы"_cp));
  grbxLog.SetCaption(std::string("Журнал"_cp));
}

void TOnlineGateMonitorFormEx::FormShow() {
  Refresh();
  tmRefresh.SetEnabled(true);
}

void TOnlineGateMonitorFormEx::FormClose() { tmRefresh.SetEnabled(false); }

void TOnlineGateMonitorFormEx::Refresh() {
  if (Closing) return;
  std::vector<std::string> rows;
  std::string processes;
  std::vector<std::string> lines;
  if (GateManager == nullptr) {
    rows.emplace_back(kNoGate);
    processes = ProcessesText(0, 0);
  } else {
    if (const auto* source = dynamic_cast<const TMonitorSource*>(GateManager)) {
      for (const TMonitorChannel& channel : source->MonitorChannels()) rows.push_back(ChannelRowText(channel));
      lines = source->MonitorLogLines(kMonitorLogLines);
    }
    if (rows.empty()) rows.emplace_back(kNoChannels);
    const TListOfProcess* list = GateManager->ProcessList;
    processes = list != nullptr ? ProcessesText(list->Count(), list->RunningThreads()) : ProcessesText(0, 0);
  }
  // Newest first: the memo opens at its top.
  std::reverse(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += '\n';
    text += line;
  }
  // Only what changed is set again, so that the operator's scroll position
  // and selection survive the refresh.
  if (rows != channel_rows_) {
    const int selected = lvChannels.ItemIndex();
    lvChannels.SetItems(rows);
    lvChannels.SetItemIndex(selected);
    channel_rows_ = std::move(rows);
  }
  if (processes != processes_text_) {
    lblProcesses.SetCaption(processes);
    processes_text_ = std::move(processes);
  }
  if (text != Text) {
    memLog.SetLines(lines);
    Text = std::move(text);
  }
}

}  // namespace kestrel::host
