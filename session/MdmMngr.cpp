#include "session/MdmMngr.h"

#include <cstring>
#include <memory>

#include "gate/Format.h"
#include "gate/GateLog.h"
#include "gate/LogText.h"
#include "heron.h"
#include "host/HostObject.h"
#include "host/ProcessList.h"
#include "platform/Cp1251.h"
#include "session/MdmExch.h"
#include "session/MdmList.h"
#include "store/MdmAddrList.h"
#include "store/MdmAddress.h"
#include "store/MdmSettList.h"
#include "store/MdmSettings.h"

namespace kestrel::session {

using namespace kestrel::literals;
using gate::BoolToText;
using gate::Fmt;
using gate::GateLog;

namespace {
constexpr std::size_t kToShowProgressOffset = 2;
constexpr std::size_t kIdClOffset = 47;
}  // namespace

TMdmGateManager::TMdmGateManager() = default;

TMdmGateManager::~TMdmGateManager() {
  // The framework's own destructor would end the processes only after the
  // pool is gone, while their exchangers and listeners still use it.
  try {
    host::TGateManager::StopGate(true);
  } catch (...) {
    // Ending the processes raised; the pool goes all the same.
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
  pool_.store(nullptr, std::memory_order_release);
  delete pool;
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
    std::memcpy(GateSettings.data(), block, GateSettings.size());
    initialized_ = Pool()->Init(block, size);
  }
  return initialized_;
}

bool TMdmGateManager::StopGate(bool stop_mode) {
  GateLog(1, "TMGM[].StopGate:(Начало функции)"_cp, Fmt("vStopMode: %s", BoolToText(stop_mode)));
  bool result = false;
  try {
    result = host::TGateManager::StopGate(stop_mode);
  } catch (...) {
    initialized_ = false;
    DropPool();
    throw;
  }
  initialized_ = false;
  DropPool();
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

}  // namespace kestrel::session
