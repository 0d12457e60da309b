// TExchangeThread: the thread of one framework process, running one protocol
// (a transmit process's client, or the server of an answered call).
//
// Construction takes ownership of the protocol (and through it of the
// exchanger), launches the thread at once and enters it in the manager's
// process list, which from then on owns the thread object: the caller names
// the process's kind with TListOfProcess::AddProcess and never frees the
// thread. The list frees a finished process (the next list operation or
// StopGate does), never from the process's own thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/OutQueue.h"
#include "kestrel/kestrel.h"
#include "platform/Thread.h"

namespace kestrel::host {

class TProtocol;
class TGateManager;

class TExchangeThread final : public platform::TThread {
 public:
  // `protocol` (not null, its Exchanger set) is owned from here on, also when
  // the constructor throws (EHostError when the manager has no process list,
  // std::system_error when no thread can be started). `mode` is reserved: 0.
  TExchangeThread(TProtocol* protocol, TGateManager* manager, std::int32_t mode);
  // Asks the protocol to stop, waits for the thread, reports any packet still
  // queued as failed, frees the protocol and its exchanger.
  ~TExchangeThread() override;

  TProtocol* Protocol() const { return protocol_.get(); }
  TGateManager* Manager() const { return manager_; }
  // The process's handle, given by the process list at launch; never 0.
  KHandle Handle() const { return handle_; }

  // Asks the process to end (see TProtocol::RequestStop); returns the packets
  // that had not been started, for the caller to report. Does not wait.
  std::vector<TOutPacket> Stop();

 protected:
  void Execute() override;

 private:
  friend class TListOfProcess;
  std::unique_ptr<TProtocol> protocol_;
  TGateManager* manager_;
  KHandle handle_ = 0;
};

}  // namespace kestrel::host
