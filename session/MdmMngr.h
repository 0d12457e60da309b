// TMdmGateManager: the modem gate's gate manager. The framework
// (host/GateManager.h) runs transmit and listen processes itself and calls
// back here for what is modem-specific: exchangers for outgoing calls,
// listeners for incoming ones, the progress window's switch and caption, the
// log switch. The manager owns the channel pool while the gate is
// initialised; it builds it from the settings the core stores for the gate
// code of the first start.
//
// Threads: InitGate and StopGate run on the core's calling thread and must
// not run concurrently with each other or with a start of another exchange.
// CreateExchanger, CreateListener, SetNeedLog, GetToShowProgress and
// GetProgressCaption are called from the framework's threads. Pool() may be
// read from any thread; the pool it returns lives until StopGate or the
// destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "host/GateManager.h"
#include "pool/MdmPool.h"

namespace kestrel::session {

class TMdmGateManager : public host::TGateManager {
 public:
  // Not initialised, no pool.
  TMdmGateManager();
  // Ends every process and listener of the framework first (they use the
  // pool), then destroys the pool.
  ~TMdmGateManager() override;

  // Reads the stored settings of `gate_code` through the core and configures
  // the pool from them; true at once when already initialised. Nothing stored
  // counts as success with no channel. False for a block shorter than the
  // 104-byte gate record, or a size without a block, or a malformed channel
  // part. Throws what the pool's Init throws (std::out_of_range for a port
  // number outside 1..16). Blocks while the modems are tested.
  bool InitGate(std::int16_t gate_code);

  // Ends every process and listener (the framework's StopGate), then drops
  // the pool even when that raised; rethrows it. Returns the framework's
  // result. Returns within about a second also during a dial, an answer or a
  // transfer: the modem layer's waits end while GateStopping is set.
  bool StopGate(bool stop_mode) override;

  bool Init() override;
  // A new TMdmExchanger of the remote address block (copied).
  host::TExchanger* CreateExchanger(const void* addr, std::int32_t addr_size) override;
  // A new TMdmListener of the own address block (copied); `unused` is ignored.
  host::TListener* CreateListener(const void* self_addr, std::int32_t self_addr_size, std::int32_t unused) override;
  // Whether the log is wanted: the module's NeedLog, or the gate is stopping.
  bool SetNeedLog() override;
  // ToShowProgress of the gate record (byte 2).
  bool GetToShowProgress() override;
  std::string GetProgressCaption() override;
  // IdCl of an address block (offset 47); -1 for a null block.
  std::int32_t GetAddrIdCl(const void* addr) override;
  void CreateAddrList() override;
  void CreateSettList() override;

  bool Initialized() const { return initialized_.load(); }
  // The pool, or null before the first InitGate and after StopGate.
  pool::TMdmPoolManager* Pool() const { return pool_.load(std::memory_order_acquire); }
  // The index of `channel` in the pool, or -1. Thread-safe.
  std::int32_t PoolIndexOf(const void* channel) const;

 private:
  void DropPool();

  std::atomic<bool> initialized_{false};
  std::atomic<pool::TMdmPoolManager*> pool_{nullptr};  // owned
};

}  // namespace kestrel::session
