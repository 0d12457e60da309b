#include "host/GateManager.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "heron.h"
#include "host/CoreCalls.h"
#include "host/Exchanger.h"
#include "host/HostError.h"
#include "host/Listener.h"
#include "host/Protocol.h"

namespace kestrel::host {

// ---- TCommonGate ----

std::string TCommonGate::GetLocalizResourse(const std::string& key, const std::string& default_text) const {
  char small[256];
  const std::int32_t length = GetLocalizResource(key.c_str(), small, sizeof small);
  if (length < 0) return default_text;
  if (length < static_cast<std::int32_t>(sizeof small)) return std::string(small, static_cast<std::size_t>(length));
  // Longer than the first buffer: ask again with room for all of it.
  std::vector<char> big(static_cast<std::size_t>(length) + 1);
  const std::int32_t again = GetLocalizResource(key.c_str(), big.data(), static_cast<std::int32_t>(big.size()));
  if (again < 0) return default_text;
  return std::string(big.data(), static_cast<std::size_t>(std::min(again, length)));
}

std::int32_t TCommonGate::AdjustmentGate(std::int32_t, void*, std::int32_t*, void*) { return 0; }

// ---- TGateManager: construction ----

TGateManager::TGateManager() { ProcessList = new TListOfProcess(this); }

TGateManager::~TGateManager() {
  // Every process ends before the manager's members go; a gate whose
  // exchangers use its own members stops the gate in its own destructor.
  delete ProcessList;
  ProcessList = nullptr;
  delete AddrList;
  delete SettList;
  delete[] EditedAddr;
  delete[] EditedSett;
}

// ---- Slots 0..5: the framework's processes ----

KHandle TGateManager::StartTransmit(const void* addr, std::int32_t addr_size, std::int32_t self_id_cl,
                                    std::int16_t gate_code, std::int16_t /*online_level*/) {
  ProcessList->SetGateCode(gate_code);
  std::unique_ptr<TExchanger> exchanger(CreateExchanger(addr, addr_size));
  if (!exchanger) throw EHostError("The gate created no exchanger");
  auto protocol = std::make_unique<TProtocol>(this, TWhoIsIt::Client, addr, addr_size);
  protocol->Exchanger = exchanger.release();
  protocol->InitClient(self_id_cl, GetAddrIdCl(addr));
  // The thread owns the protocol from its constructor on, also if it throws.
  auto* thread = new TExchangeThread(protocol.release(), this, 0);
  const KHandle handle = ProcessList->AddProcess(thread, TKindOfProcess::Transmit);
  FrameworkLog(*this, "TGateManager.StartTransmit:(Transmit process started)", "Handle: $" + Hex8(handle));
  return handle;
}

bool TGateManager::SendToGate(const void* data, std::int32_t size, const TRefPack* ref, KHandle process) {
  if (ref == nullptr) throw EHostError("No packet reference");
  if (size < 0 || (size > 0 && data == nullptr))
    throw EHostError("No packet data (size " + std::to_string(size) + ")");
  TOutPacket packet{*ref, size > 0 ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                                   : std::string()};
  ProcessList->Enqueue(process, std::move(packet));
  return true;
}

bool TGateManager::StopTransmit(KHandle process) { return ProcessList->StopTransmit(process); }

KHandle TGateManager::StartListen(const void* self_addr, std::int32_t self_addr_size, std::int32_t /*self_id_cl*/,
                                  std::int16_t gate_code, std::int16_t /*online_level*/) {
  ProcessList->SetGateCode(gate_code);
  std::unique_ptr<TListener> listener(CreateListener(self_addr, self_addr_size, 0));
  if (!listener || !listener->Listen()) return 0;
  const KHandle handle = ProcessList->AddListener(std::move(listener));
  FrameworkLog(*this, "TGateManager.StartListen:(Listening)", "Handle: $" + Hex8(handle));
  return handle;
}

bool TGateManager::StopListen(KHandle process, bool /*stop_mode*/) { return ProcessList->StopListen(process); }

bool TGateManager::StopGate(bool /*stop_mode*/) {
  ProcessList->StopAll();
  FrameworkLog(*this, "TGateManager.StopGate:(Every process stopped)");
  return true;
}

// ---- Slots the gate overrides: neutral defaults, so a minimal gate works ----

bool TGateManager::EditAddress(const void*, std::int32_t, bool, std::int32_t&, bool) { return false; }
bool TGateManager::GetEditedAddress(void*) { return false; }
bool TGateManager::BuildViewString(const void*, std::int32_t, bool, std::int32_t&) { return false; }
bool TGateManager::GetViewString(void*) { return false; }
bool TGateManager::EditGateSettings(const void*, std::int32_t, std::int32_t&, bool) { return false; }
bool TGateManager::GetEditedSettings(void*) { return false; }
void TGateManager::CreateAddrList() {}
void TGateManager::CreateSettList() {}
void TGateManager::Create() {}
bool TGateManager::Init() { return ProcessList != nullptr; }
std::string TGateManager::GetProgressCaption() { return {}; }
std::int32_t TGateManager::GetAddrIdCl(const void*) { return 0; }
bool TGateManager::CanEstablishConnection(const void*, std::int32_t) { return true; }
bool TGateManager::GetToShowProgress() { return false; }
bool TGateManager::SetNeedLog() { return false; }

// ---- Messages through the core ----

void TGateManager::OnLineGateInfo(std::int16_t kind, const std::string& msg, const TRefPack* ref, bool /*flag1*/,
                                  bool /*flag2*/) {
  const std::string details = ref != nullptr ? RefText(*ref) : std::string();
  GateInfo(kind, ProcessList != nullptr ? ProcessList->GateCode() : 0, msg.c_str(),
           ref != nullptr ? details.c_str() : nullptr, 0);
}

}  // namespace kestrel::host
