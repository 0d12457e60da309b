// TListOfProcess: the registry of one gate manager's processes (transmit
// processes, listeners, and the exchange processes serving answered calls),
// with what those processes share: the protocol's tuning, the receive
// history and the gate code of the log.
//
// Handles are 32-bit ids (never 0, never pointers). The list owns every
// process entered in it; a process that has ended is freed by the next list
// operation (the "reaper") or by StopAll, never by its own thread.
//
// Thread-safe: the core's threads (through the manager's slots), the gate's
// listener (from a port's poll thread) and the processes use it at once. No
// lock of the list is held while a process is joined or freed, a listener is
// destroyed or the core is called.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "host/OutQueue.h"
#include "host/Pacing.h"
#include "host/ReceiveHistory.h"
#include "kestrel/kestrel.h"

namespace kestrel::host {

class TGateManager;
class TExchangeThread;
class TListener;
// The kind of a registered process (the gate's listener names its sessions
// Exchange, which is 1).
enum class TKindOfProcess : std::int32_t { Transmit = 0, Exchange = 1, Listen = 2 };

class TListOfProcess {
 public:
  explicit TListOfProcess(TGateManager* manager);
  // Stops everything (StopAll) and frees what is left.
  ~TListOfProcess();
  TListOfProcess(const TListOfProcess&) = delete;
  TListOfProcess& operator=(const TListOfProcess&) = delete;

  // Names the kind of a process whose TExchangeThread was just constructed
  // (which launched it into this list) and returns its handle. Until this call
  // the process is not freed even when it ends, so the pointer stays valid.
  // Throws EHostError for a thread this list does not hold.
  KHandle AddProcess(TExchangeThread* thread, TKindOfProcess kind);

  // ---- Used by the framework itself. ----

  // Enters a new thread and starts it (TExchangeThread's constructor).
  void Launch(TExchangeThread* thread);
  // Enters a listener that listens; the list owns it. Returns its handle.
  KHandle AddListener(std::unique_ptr<TListener> listener);
  // Queues a packet for a transmit process. Throws EHostError when `process`
  // is not a running transmit process of this list.
  void Enqueue(KHandle process, TOutPacket&& packet);
  // Asks a transmit process to end and reports its queued packets failed; the
  // one in flight is settled by the process, which the reaper frees once it
  // has ended. False for an unknown handle.
  [[nodiscard]] bool StopTransmit(KHandle process);
  // Destroys a listener (which releases its channels). The sessions it
  // started run on. False for an unknown handle.
  [[nodiscard]] bool StopListen(KHandle process);
  // Ends every process and listener, joins every thread and frees them; new
  // sessions started meanwhile are ended too. Sets the manager's GateStopping
  // for the time it runs. Returns once no thread of the list runs.
  void StopAll();
  // Frees the processes that have ended.
  void Reap();

  // Entries not yet freed, and threads of them still running.
  std::size_t Count() const;
  std::size_t RunningThreads() const;

  TProtocolTuning Tuning() const;
  void SetTuning(const TProtocolTuning& tuning);
  TReceiveHistory& History() { return history_; }
  std::int16_t GateCode() const;
  void SetGateCode(std::int16_t code);

 private:
  // Where an entry is in its life: Launched -> Named (-> Retiring) -> freed.
  enum class TStage : std::uint8_t {
    Launched,  // its thread's constructor entered it; until AddProcess names
               // it, its creator holds the pointer and the entry stays
    Named,     // AddProcess named it (or the framework made it): the list alone owns it
    Retiring,  // a named transmit process asked to stop: its handle is no longer valid
  };
  struct TEntry {
    KHandle Handle = 0;
    TKindOfProcess Kind{};
    TStage Stage = TStage::Launched;
    std::unique_ptr<TExchangeThread> Thread;
    std::unique_ptr<TListener> Listener;
  };

  TEntry* Find(KHandle handle);
  bool Settled() const;  // with mutex_ held: only joined, unnamed threads are left
  // With mutex_ held: StopAll is waiting for `thread` outside the lock, so
  // the reaper must not free it.
  bool BeingJoined(const TExchangeThread* thread) const;

  TGateManager* manager_;
  mutable std::mutex mutex_;
  std::mutex stop_mutex_;  // one StopAll at a time
  std::vector<TEntry> entries_;
  std::vector<const TExchangeThread*> joining_;  // see BeingJoined
  TProtocolTuning tuning_;
  std::int16_t gate_code_ = 0;
  TReceiveHistory history_;
};

}  // namespace kestrel::host
