#include "session/MdmMngr.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <memory>
#include <stdexcept>

#include "gate/common/Format.h"
#include "gate/common/GateLog.h"
#include "gate/common/LogText.h"
#include "gate/common/RecentLog.h"
#include "heron.h"
#include "host/HostObject.h"
#include "host/ProcessList.h"
#include "platform/Cp1251.h"
#include "platform/ScopeExit.h"
#include "session/MdmExch.h"
#include "session/MdmList.h"
#include "store/MdmAddrList.h"
#include "store/MdmAddress.h"
#include "store/MdmSettList.h"
#include "store/MdmSettings.h"
#include "ui/AddrViewText.h"
#include "ui/mdm_gset.h"
#include "ui/mdm_iadr.h"
#include "ui/mdm_oadr.h"

namespace kestrel::session {

using namespace kestrel::literals;
using gate::BoolToText;
using gate::Fmt;
using gate::GateLog;

namespace {
constexpr std::size_t kToShowProgressOffset = 2;
constexpr std::size_t kIdClOffset = 47;
constexpr std::string_view kNoAddress = "Address not exist";

// Replaces a held block by a new[] copy of `bytes`; the new block exists
// before the old one goes, so a failed allocation keeps the old one.
void HoldCopy(const std::string& bytes, std::uint8_t*& held, std::int32_t& held_size) {
  auto* copy = new std::uint8_t[bytes.empty() ? 1 : bytes.size()];
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  delete[] held;
  held = copy;
  held_size = static_cast<std::int32_t>(bytes.size());
}

// Copies a held block out and releases it.
bool HandOver(void* dest, std::uint8_t*& held, std::int32_t& held_size) {
  if (dest == nullptr || held == nullptr) return false;
  if (held_size > 0) std::memcpy(dest, held, static_cast<std::size_t>(held_size));
  delete[] held;
  held = nullptr;
  return true;
}

// A settings block with no channel part, or with a count of 0: whatever the
// gate does, no call can be made or answered.
bool HoldsNoChannel(const void* block, std::int32_t size) {
  constexpr std::size_t kRecord = sizeof(store::TMdmGateSettings);
  const std::string_view bytes(static_cast<const char*>(block), static_cast<std::size_t>(size));
  if (bytes.size() == kRecord) return true;
  store::TChannelList channels;
  return store::DecodeChannels(bytes.substr(kRecord), channels) && channels.empty();
}

template <typename Dialog>
bool RunAddressDialog(const void* addr, std::int32_t addr_size, bool dialog_flag, std::string& result) {
  Dialog dialog;
  dialog.Init(addr, addr_size, dialog_flag);
  if (dialog.ShowModal() != forms::TModalResult::mrOk) return false;
  result = dialog.ResultBlock();
  return true;
}
}  // namespace

TMdmGateManager::TMdmGateManager() = default;

TMdmGateManager::~TMdmGateManager() {
  // The framework's own destructor would end the processes only after the
  // pool is gone, while their exchangers and listeners still use it.
  try {
    (void)host::TGateManager::StopGate(true);  // the framework's stop answers true
  } catch (...) {
    // A destructor goes on: ending the processes raised, the pool goes all the same.
  }
  initialized_ = false;
  DropPool();
}

void TMdmGateManager::DropPool() {
  pool::TMdmPoolManager* pool = Pool();
  if (pool == nullptr) return;
  // The ports close while the pool is still published, so that lines the
  // channels write meanwhile still name their index.
  pool->DisconnectAll();
  {
    std::lock_guard lock(monitor_mutex_);
    pool_.store(nullptr, std::memory_order_release);
    configured_.clear();
  }
  delete pool;
}

pool::TMdmPoolManager& TMdmGateManager::ExistingPool() const {
  pool::TMdmPoolManager* pool = Pool();
  if (pool == nullptr) throw std::runtime_error("Gate manager has no channel pool");
  return *pool;
}

std::int32_t TMdmGateManager::PoolIndexOf(const void* channel) const {
  const pool::TMdmPoolManager* pool = Pool();
  return pool != nullptr ? pool->IndexOf(channel) : -1;
}

bool TMdmGateManager::InitGate(std::int16_t gate_code) {
  if (initialized_) return true;
  if (Pool() == nullptr) pool_.store(new pool::TMdmPoolManager, std::memory_order_release);
  std::int32_t size = 0;
  const void* block = ReadGateSettings(gate_code, &size);
  if (block == nullptr && size == 0) {
    GateSettings[kToShowProgressOffset] = 1;
    initialized_ = Pool()->Init(nullptr, 0);
  } else if (block != nullptr) {
    if (size < static_cast<std::int32_t>(sizeof(store::TMdmGateSettings))) return false;
    if (HoldsNoChannel(block, size))
      gate::GateLogError(1, "TMGM[].InitGate:(Не настроен ни один модемный канал)"_cp);
    std::memcpy(GateSettings.data(), block, GateSettings.size());
    try {
      initialized_ = Pool()->Init(block, size);
    } catch (...) {
      // Rethrown: the records before the bad one were applied, and noting
      // them allocates, which a scope guard's destructor must not.
      NoteConfiguredChannels();
      throw;
    }
  }
  NoteConfiguredChannels();
  return initialized_;
}

void TMdmGateManager::NoteConfiguredChannels() {
  // On the thread that configured the pool: the settings are read only here,
  // never while the monitor reads the activity of the channels.
  std::vector<host::TMonitorChannel> configured;
  if (const pool::TMdmPoolManager* pool = Pool()) {
    for (std::int32_t i = 0; i < pool::kChannelCount; ++i) {
      const modem::TMdmDriver& channel = pool->Channels(i);
      if (!channel.Initialized()) continue;
      host::TMonitorChannel row;
      row.Index = i;
      row.Alias = store::ShortTextToString(channel.ChannelSettings().Alias);
      configured.push_back(std::move(row));
    }
  }
  std::lock_guard lock(monitor_mutex_);
  configured_ = std::move(configured);
}

std::vector<host::TMonitorChannel> TMdmGateManager::MonitorChannels() const {
  std::lock_guard lock(monitor_mutex_);
  std::vector<host::TMonitorChannel> rows = configured_;
  const pool::TMdmPoolManager* pool = Pool();
  if (pool == nullptr) return {};
  for (host::TMonitorChannel& row : rows) {
    const modem::TMdmDriver& channel = pool->Channels(row.Index);
    if (channel.Sending()) {
      row.Activity = channel.ModemConnected() ? host::TChannelActivity::kConnected : host::TChannelActivity::kSending;
      row.Owner = channel.SendingOwner();
    } else if (channel.Listening()) {
      row.Activity = host::TChannelActivity::kListening;
      row.Owner = channel.ListeningOwner();
    }
  }
  return rows;
}

std::vector<std::string> TMdmGateManager::MonitorLogLines(std::size_t max) const { return gate::RecentLogLines(max); }

bool TMdmGateManager::StopGate(bool stop_mode) {
  GateLog(1, "TMGM[].StopGate:(Начало функции)"_cp, Fmt("vStopMode: %s", BoolToText(stop_mode)));
  bool result = false;
  {
    // The pool goes even when ending the processes throws.
    const platform::TScopeExit drop([this] {
      initialized_ = false;
      DropPool();
    });
    result = host::TGateManager::StopGate(stop_mode);
  }
  GateLog(1, "TMGM[].StopGate:(Конец функции)"_cp, Fmt("Return: %s", BoolToText(result)));
  return result;
}

bool TMdmGateManager::Init() {
  const bool host_ok = host::TGateManager::Init();
  return host_ok && initialized_;
}

host::TExchanger* TMdmGateManager::CreateExchanger(const void* addr, std::int32_t addr_size) {
  return new TMdmExchanger(this, addr, addr_size);
}

host::TListener* TMdmGateManager::CreateListener(const void* self_addr, std::int32_t self_addr_size,
                                                 std::int32_t /*unused*/) {
  GateLog(1, "TMGM[].CreateListener:(Начало функции)"_cp);
  auto* listener = new TMdmListener(this, self_addr, self_addr_size);
  GateLog(1, "TMGM[].CreateListener:(Конец функции)"_cp, "Return: $" + host::Hex8(listener->Identity()));
  return listener;
}

bool TMdmGateManager::SetNeedLog() {
  GateLog(1, "TMGM[].SetNeedLog:(GateManager проинициализирован)"_cp);
  return gate::LogState().NeedLog.load() || GateStopping.load();
}

bool TMdmGateManager::GetToShowProgress() { return GateSettings[kToShowProgressOffset] != 0; }

std::string TMdmGateManager::GetProgressCaption() {
  return GetLocalizResourse("M_Kestrel_MdmType_idCaption", "Modem Gate Progress ");
}

std::int32_t TMdmGateManager::GetAddrIdCl(const void* addr) {
  if (addr == nullptr) return -1;
  std::int32_t id = 0;
  std::memcpy(&id, static_cast<const std::uint8_t*>(addr) + kIdClOffset, sizeof id);
  return id;
}

void TMdmGateManager::CreateAddrList() {
  delete AddrList;
  AddrList = nullptr;
  AddrList = new store::TMdmAddrList;
}

void TMdmGateManager::CreateSettList() {
  delete SettList;
  SettList = nullptr;
  SettList = new store::TMdmSettList;
}

// ---- Editing ----

bool TMdmGateManager::EditAddress(const void* addr, std::int32_t addr_size, bool is_self, std::int32_t& new_size,
                                  bool dialog_flag) {
  new_size = addr_size;
  std::string result;
  const bool ok = is_self ? RunAddressDialog<ui::TfmInAddr>(addr, addr_size, dialog_flag, result)
                          : RunAddressDialog<ui::TfmOutAddr>(addr, addr_size, dialog_flag, result);
  if (!ok) return false;
  HoldCopy(result, EditedAddr, EditedAddrSize);
  new_size = EditedAddrSize;
  return true;
}

bool TMdmGateManager::GetEditedAddress(void* dest) { return HandOver(dest, EditedAddr, EditedAddrSize); }

bool TMdmGateManager::BuildViewString(const void* addr, std::int32_t addr_size, bool is_self, std::int32_t& len) {
  std::string text;
  if (addr == nullptr)
    text = kNoAddress;
  else
    text = is_self ? ui::OwnAddrViewText(addr, addr_size, false) : ui::RemoteAddrViewText(addr, addr_size, false);
  text.push_back('\0');
  ViewText = std::move(text);
  len = static_cast<std::int32_t>(ViewText.size());
  return true;
}

bool TMdmGateManager::GetViewString(void* dest) {
  if (ViewText.empty() || dest == nullptr) return false;
  std::memcpy(dest, ViewText.data(), ViewText.size());
  return true;
}

bool TMdmGateManager::EditGateSettings(const void* sett, std::int32_t sett_size, std::int32_t& new_size,
                                       bool dialog_flag) {
  new_size = sett_size;
  std::string result;
  {
    ui::TfmMdmGtSettings dialog;
    dialog.Init(sett, sett_size, dialog_flag);
    if (dialog.ShowModal() != forms::TModalResult::mrOk) return false;
    result = dialog.ResultBlock();
  }
  HoldCopy(result, EditedSett, EditedSettSize);
  new_size = EditedSettSize;
  return true;
}

bool TMdmGateManager::GetEditedSettings(void* dest) { return HandOver(dest, EditedSett, EditedSettSize); }

void* TMdmGateManager::StructuredAddress(std::int32_t mode, void* data, std::int32_t* size, TParamList* param_list) {
  if (AddrList == nullptr) CreateAddrList();
  host::TAddrList& list = *AddrList;
  switch (mode) {
    case 0:
      list.BLOB2ParamList(data, size != nullptr ? *size : 0);
      return list.ParamList;
    case 1:
      list.ParamListToBlob(param_list);
      if (list.BLOBSize == 0) return nullptr;
      if (size != nullptr) *size = list.BLOBSize;
      return param_list;
    case 2: {
      if (list.BLOB == nullptr || data == nullptr || size == nullptr) return nullptr;
      // The host's buffer is as long as *size says; the block may be shorter.
      const std::int32_t count = std::clamp(*size, std::int32_t{0}, list.BLOBSize);
      if (count > 0) std::memcpy(data, list.BLOB, static_cast<std::size_t>(count));
      list.ReleaseBlob();
      return param_list;
    }
    case 3:
      list.FreeParamList();
      return param_list;
    default:
      return nullptr;
  }
}

}  // namespace kestrel::session
