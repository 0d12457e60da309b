// TCommonGate and TGateManager: the framework's gate manager. The framework
// runs transmit and listen processes itself and calls back into the gate's
// overrides (slots marked "gate") for everything that is modem-specific.
//
// Thread use: slots 0..5 are called on the core's threads through the
// exports; CreateExchanger, CreateListener, SetNeedLog, GetToShowProgress and
// GetProgressCaption from the framework's exchange threads; the editing slots
// on the host's user-interface thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "host/DataLists.h"
#include "host/HostObject.h"
#include "kestrel/kestrel.h"

namespace kestrel::host {

class TExchanger;
class TListener;
class TListOfProcess;

class TCommonGate : public THostObject {
 public:
  // The localised text for `key`, else `default_text`.
  std::string GetLocalizResourse(const std::string& key, const std::string& default_text) const;
  // A framework call the host may make through the gate; answers 0.
  std::int32_t AdjustmentGate(std::int32_t code, void* ptr, std::int32_t* size, void* param);
};

class TGateManager : public TCommonGate {
 public:
  TGateManager();
  ~TGateManager() override;

  // Slots, in order. Slots 0..4 and 19 are the framework's; the others the gate overrides.
  virtual KHandle StartTransmit(const void* addr, std::int32_t addr_size, std::int32_t self_id_cl,
                                std::int16_t gate_code, std::int16_t online_level);               // 0
  [[nodiscard]] virtual bool SendToGate(const void* data, std::int32_t size, const TRefPack* ref,
                                        KHandle process);                                         // 1
  [[nodiscard]] virtual bool StopTransmit(KHandle process);                                       // 2
  virtual KHandle StartListen(const void* self_addr, std::int32_t self_addr_size, std::int32_t self_id_cl,
                              std::int16_t gate_code, std::int16_t online_level);                 // 3
  [[nodiscard]] virtual bool StopListen(KHandle process, bool stop_mode);                         // 4
  [[nodiscard]] virtual bool StopGate(bool stop_mode);                                            // 5
  [[nodiscard]] virtual bool EditAddress(const void* addr, std::int32_t addr_size, bool is_self,
                                         std::int32_t& new_size, bool dialog_flag);               // 6 gate
  [[nodiscard]] virtual bool GetEditedAddress(void* dest);                                        // 7 gate
  [[nodiscard]] virtual bool BuildViewString(const void* addr, std::int32_t addr_size, bool is_self,
                                             std::int32_t& len);                                  // 8 gate
  [[nodiscard]] virtual bool GetViewString(void* dest);                                           // 9 gate
  [[nodiscard]] virtual bool EditGateSettings(const void* sett, std::int32_t sett_size, std::int32_t& new_size,
                                              bool dialog_flag);                                  // 10 gate
  [[nodiscard]] virtual bool GetEditedSettings(void* dest);                                       // 11 gate
  virtual void CreateAddrList();                                                                   // 12 gate
  virtual void CreateSettList();                                                                   // 13 gate
  virtual void Create();                      // 14 gate: the virtual constructor, run once after construction
  [[nodiscard]] virtual bool Init();                                                              // 15 gate
  virtual std::string GetProgressCaption();                                                        // 16 gate
  virtual std::int32_t GetAddrIdCl(const void* addr);                                              // 17 gate
  virtual TExchanger* CreateExchanger(const void* addr, std::int32_t addr_size) = 0;               // 18 gate
  virtual bool CanEstablishConnection(const void* addr, std::int32_t addr_size);                   // 19
  virtual bool GetToShowProgress();                                                                // 20 gate
  [[nodiscard]] virtual bool SetNeedLog();                                                        // 21 gate
  virtual TListener* CreateListener(const void* self_addr, std::int32_t self_addr_size,
                                    std::int32_t unused) = 0;                                     // 22 gate

  // Reports a message through the core (Kind 1: an error report).
  void OnLineGateInfo(std::int16_t kind, const std::string& msg, const TRefPack* ref, bool flag1, bool flag2);

  std::int32_t EditedAddrSize = 0;
  std::int32_t EditedSettSize = 0;
  TAddrList* AddrList = nullptr;   // owned; created by CreateAddrList
  TSettList* SettList = nullptr;   // owned; created by CreateSettList
  std::uint8_t* EditedAddr = nullptr;
  std::uint8_t* EditedSett = nullptr;
  std::string ViewText;
  TListOfProcess* ProcessList = nullptr;  // owned by the framework
  // Set by the framework while it stops the gate; read from every thread.
  std::atomic<bool> GateStopping{false};
  // The 104-byte header of the gate settings.
  std::array<std::uint8_t, 104> GateSettings{};
};

}  // namespace kestrel::host
