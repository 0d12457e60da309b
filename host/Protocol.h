// The framework's protocol, exchange thread and process list, as the gate's
// listener uses them to serve an answered call:
//
//   auto* p = new TProtocol(manager, TWhoIsIt::Server, self_addr, size);
//   p->Exchanger = exchanger;          // the framework owns it from now on
//   p->InitServer(1, restore_timeout, restore_tries);
//   auto* t = new TExchangeThread(p, manager, 0);   // starts running p
//   manager->ProcessList->AddProcess(t, TKindOfProcess::Exchange);
//
// From then on the framework owns protocol, thread and exchanger, calls the
// exchanger's DisConnect when the session ends, and frees all three.
//
// A TProtocol runs one side of a conversation over its exchanger (the
// messages are in host/Message.h):
//  - Client (a transmit process): connects when packets are queued, greets,
//    sends the packets in messages sized to the line's measured rate (a large
//    packet in fragments, small ones several to a message, so that a round
//    trip is paid per message rather than per packet), waits for each
//    acknowledgement, restores a broken connection with the exchanger's
//    restore parameters and resumes where the server stands, stays
//    on line with keep-alives for the exchanger's StayOnLineTimeOut once the
//    queue is empty, then says goodbye and disconnects. Every packet ends
//    delivered (confirmed to the core) or reported failed (RecvFromGate(ref,
//    -10, -1)), exactly once.
//  - Server (an answered call): receives, reassembles, hands each packet to
//    the core once (repeats after a reconnect are recognised through the
//    manager's TReceiveHistory), acknowledges, and ends on goodbye or on a
//    failed receive.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "host/HostObject.h"
#include "host/OutQueue.h"
#include "kestrel/kestrel.h"

namespace kestrel::host {

class TExchanger;
class TGateManager;

enum class TWhoIsIt : std::int32_t { Client = 0, Server = 1 };

class TProtocol : public THostObject {
 public:
  // `manager` must outlive the protocol; the address block is copied (`addr`
  // may be null when `addr_size` is 0 or less).
  TProtocol(TGateManager* manager, TWhoIsIt who, const void* addr, std::int32_t addr_size);
  // Frees the exchanger. The session must have ended (Run returned, or never run).
  ~TProtocol() override;

  // The exchanger this protocol drives; owned by the protocol once set.
  TExchanger* Exchanger = nullptr;

  // Server role: `mode` as the gate passes it (1); the restore parameters of
  // the own address, kept for the logs.
  void InitServer(std::int32_t mode, double restore_timeout, std::int32_t restore_tries);
  // Client role: the sending core's client id, told to the server, and the
  // called party's (of the address), whose key the core is asked for.
  void InitClient(std::int32_t self_id_cl, std::int32_t far_id_cl);

  TWhoIsIt WhoIsIt() const { return who_; }
  TGateManager* Manager() const { return manager_; }
  std::int32_t SelfIdCl() const { return self_id_cl_; }
  std::int32_t FarIdCl() const { return far_id_cl_; }

  // Client: queues a packet (thread-safe; wakes the session). False, with
  // the packet not taken, once the session was asked to stop or has ended.
  [[nodiscard]] bool Enqueue(TOutPacket&& packet) { return queue_.Push(std::move(packet)); }
  // Asks the session to end soon: waits end at once; an exchanger call in
  // progress ends in its own time (at once when GateStopping is set). Returns
  // the queued packets not yet started, which the caller reports failed; the
  // session reports the one in flight itself. Thread-safe.
  std::vector<TOutPacket> RequestStop() { return queue_.RequestStop(); }
  bool StopRequested() const { return queue_.StopRequested(); }

  // Runs the session on the calling thread until it ends (client: until a stop
  // is requested; server: until the call ends). `process` is the handle
  // reported with progress and delivery confirmations. Never throws. The
  // manager and the Exchanger must be set (a check stops the process).
  void Run(KHandle process);

  // How the last session went, for the logs and tests.
  std::uint32_t Connections() const { return connections_.load(); }

 private:
  friend class TClientSession;
  friend class TServerSession;

  TGateManager* manager_;
  TWhoIsIt who_;
  std::string addr_;
  std::int32_t self_id_cl_ = 0;
  std::int32_t far_id_cl_ = 0;
  std::int32_t server_mode_ = 0;
  double restore_timeout_ = 0;
  std::int32_t restore_tries_ = 0;
  TOutQueue queue_;
  std::atomic<std::uint32_t> connections_{0};
};

}  // namespace kestrel::host

#include "host/ExchangeThread.h"
#include "host/ProcessList.h"
