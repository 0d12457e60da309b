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
// The editing operations (slots 6 to 11 and StructuredAddress) run on the
// host's user-interface thread, one at a time; they share no state with the
// exchanges.
// CreateExchanger, CreateListener, SetNeedLog, GetToShowProgress and
// GetProgressCaption are called from the framework's threads. Pool() may be
// read from any thread; the pool it returns lives until StopGate or the
// destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/GateManager.h"
#include "host/MonitorSource.h"
#include "pool/MdmPool.h"

namespace kestrel::session {

class TMdmGateManager : public host::TGateManager, public host::TMonitorSource {
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
  [[nodiscard]] bool InitGate(std::int16_t gate_code);

  // Ends every process and listener (the framework's StopGate), then drops
  // the pool even when that raised; rethrows it. Returns the framework's
  // result. Returns within about a second also during a dial, an answer or a
  // transfer: the modem layer's waits end while GateStopping is set.
  [[nodiscard]] bool StopGate(bool stop_mode) override;

  [[nodiscard]] bool Init() override;
  // A new TMdmExchanger of the remote address block (copied).
  host::TExchanger* CreateExchanger(const void* addr, std::int32_t addr_size) override;
  // A new TMdmListener of the own address block (copied); `unused` is ignored.
  host::TListener* CreateListener(const void* self_addr, std::int32_t self_addr_size, std::int32_t unused) override;
  // Whether the log is wanted: the module's NeedLog, or the gate is stopping.
  [[nodiscard]] bool SetNeedLog() override;
  // ToShowProgress of the gate record (byte 2).
  bool GetToShowProgress() override;
  std::string GetProgressCaption() override;
  // IdCl of an address block (offset 47); -1 for a null block.
  std::int32_t GetAddrIdCl(const void* addr) override;
  void CreateAddrList() override;
  void CreateSettList() override;

  // ---- Editing: the host's two-step hand-over ----
  // The dialogs are modal and run on the calling thread; they throw
  // forms::EFormsError when no forms backend can be loaded.

  // Runs the own-address (is_self) or remote-address dialog on a copy of the
  // block. `new_size` := addr_size first. On OK, EditedAddr (new[]) replaces
  // the held block and EditedAddrSize and `new_size` take its size; true.
  // Cancel: false, the held block untouched.
  [[nodiscard]] bool EditAddress(const void* addr, std::int32_t addr_size, bool is_self, std::int32_t& new_size,
                                 bool dialog_flag) override;
  // Copies EditedAddrSize bytes of the held block to `dest` and releases it.
  // False, keeping the block, for a null `dest`; false without a held block.
  [[nodiscard]] bool GetEditedAddress(void* dest) override;
  // ViewText := "Address not exist" for a null block, else the abbreviated
  // own or remote view text; then one NUL. `len` := its length with the NUL.
  // Always true.
  [[nodiscard]] bool BuildViewString(const void* addr, std::int32_t addr_size, bool is_self,
                                     std::int32_t& len) override;
  // Copies ViewText with its NUL to `dest` (at least its length); ViewText
  // stays. False when there is none yet, or for a null `dest`.
  [[nodiscard]] bool GetViewString(void* dest) override;
  // The pair above for the gate settings dialog and EditedSett.
  [[nodiscard]] bool EditGateSettings(const void* sett, std::int32_t sett_size, std::int32_t& new_size,
                                      bool dialog_flag) override;
  [[nodiscard]] bool GetEditedSettings(void* dest) override;

  // An address between its block and the host's parameters (AddrList is
  // created at the first call):
  //   0: parses (data, *size) into AddrList's items; returns the item list
  //      (null when the block could not be read). A null `size` reads an
  //      empty block.
  //   1: builds a block from `param_list`; when it is not empty, *size :=
  //      its size (when `size` is not null) and returns `param_list`, else
  //      null. Throws what TMdmAddrList::ParamListToBlob throws.
  //   2: copies the built block to `data`, at most *size bytes (never more
  //      than the block holds), releases it and returns `param_list`; null,
  //      keeping the block, without one, or for a null `data` or `size`.
  //   3: frees AddrList's item list; returns `param_list`.
  //   other: null.
  void* StructuredAddress(std::int32_t mode, void* data, std::int32_t* size, TParamList* param_list);

  // ---- What the monitor window shows (any thread) ----

  // The channels the stored settings configured, with their activity; none
  // before the first InitGate and after StopGate.
  std::vector<host::TMonitorChannel> MonitorChannels() const override;
  // The latest lines of the gate's log.
  std::vector<std::string> MonitorLogLines(std::size_t max) const override;

  bool Initialized() const { return initialized_.load(); }
  // The pool, or null before the first InitGate and after StopGate.
  pool::TMdmPoolManager* Pool() const { return pool_.load(std::memory_order_acquire); }
  // The pool for an exchanger's or listener's operation; without one it
  // throws std::runtime_error("Gate manager has no channel pool"), which the
  // operation logs as its error.
  pool::TMdmPoolManager& ExistingPool() const;
  // The index of `channel` in the pool, or -1. Thread-safe.
  std::int32_t PoolIndexOf(const void* channel) const;

 private:
  void DropPool();
  // Notes which channels the pool configured, and their names.
  void NoteConfiguredChannels();

  std::atomic<bool> initialized_{false};
  std::atomic<pool::TMdmPoolManager*> pool_{nullptr};  // owned

  // The monitor reads the pool under this lock; the pool is unpublished
  // under it before it is destroyed.
  mutable std::mutex monitor_mutex_;
  std::vector<host::TMonitorChannel> configured_;  // index and alias of each configured channel
};

}  // namespace kestrel::session
