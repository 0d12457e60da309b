#include "host/ExchangeThread.h"

#include "host/CoreCalls.h"
#include "host/Exchanger.h"
#include "host/GateManager.h"
#include "host/HostError.h"
#include "host/Protocol.h"
#include "platform/ScopeExit.h"

namespace kestrel::host {

TExchangeThread::TExchangeThread(TProtocol* protocol, TGateManager* manager, std::int32_t /*mode*/)
    : protocol_(protocol), manager_(manager) {
  if (protocol_ == nullptr) throw EHostError("Exchange thread without a protocol");
  // Should the session never run, its exchanger may still hold a channel (the
  // gate's listener binds one before it gets here): it is handed back before
  // the protocol and exchanger go. DisConnect reports its failures by its
  // result and never throws.
  platform::TScopeExit disconnect([this] {
    if (protocol_->Exchanger != nullptr) (void)protocol_->Exchanger->DisConnect();
  });
  if (manager_ == nullptr || manager_->ProcessList == nullptr)
    throw EHostError("Exchange thread without a gate manager and its process list");
  // Entered in the list and started under the list's lock, so that a
  // concurrent StopGate sees the process and finds its thread running.
  manager_->ProcessList->Launch(this);
  disconnect.Dismiss();
}

TExchangeThread::~TExchangeThread() {
  std::vector<TOutPacket> left = Stop();
  WaitFor();
  if (manager_ != nullptr)
    for (const TOutPacket& p : left) ReportPacketFailed(*manager_, p.Ref, "process freed");
}

std::vector<TOutPacket> TExchangeThread::Stop() {
  std::vector<TOutPacket> left = protocol_->RequestStop();
  Terminate();
  return left;
}

void TExchangeThread::Execute() { protocol_->Run(handle_); }

}  // namespace kestrel::host
