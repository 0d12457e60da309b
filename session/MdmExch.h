// TMdmExchanger: what the framework's protocol moves packets through over one
// modem channel of the pool.
//
// Outgoing: the manager creates it with the remote address block; Connect
// takes a channel from the pool and dials, Send and Receive carry one packet
// each through the channel's frame, DisConnect gives the channel back.
// Incoming: the listener creates it with the own address block and binds it
// to the channel that answered (SetChannelIndex; the channel's SendingOwner
// is this exchanger's Identity()); from there it is used the same way.
//
// None of the operations lets an exception out: failures are logged and
// reported by the result (false, or an empty packet).
//
// Threads: one exchange thread at a time uses an exchanger. The manager (and
// its pool) must outlive it: the framework ends every exchange before the
// manager drops the pool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/Exchanger.h"
#include "store/MdmAddress.h"

namespace kestrel::session {

class TMdmGateManager;

class TMdmExchanger : public host::TExchanger {
 public:
  // Reads the address block (`addr` may be null when `addr_size` is 0):
  // Initialized is false when it is shorter than the 168-byte record or its
  // phone section is malformed (Addr then keeps its defaults or the record,
  // Phones stays empty). A block of exactly 168 bytes has no numbers.
  TMdmExchanger(TMdmGateManager* manager, const void* addr, std::int32_t addr_size);
  // Does not release the channel: that is DisConnect's job.
  ~TMdmExchanger() override;

  // Takes the lowest allowed free channel (else a listening one) and dials the
  // numbers in turn. Blocks for the dial (DialTimeOut per number, plus the
  // address's RestoreConnTimeOut between numbers); ends early when the gate
  // stops.
  [[nodiscard]] bool Connect() override;
  // Gives the channel back to the pool if this exchanger still owns it; true
  // unless the exchanger is not initialised.
  [[nodiscard]] bool DisConnect() override;
  // One packet out; false when the channel reports a failure (or there is
  // none). Blocks up to the address's DataWaitTimeOut for the peer's answer.
  [[nodiscard]] bool Send(const std::string& data) override;
  // One packet in; empty when nothing came or the channel failed. Blocks up
  // to the address's DataWaitTimeOut.
  [[nodiscard]] std::string Receive() override;
  double GetStayOnLineTimeOut() override;
  std::int32_t GetRestoreConnAfterBreakTimeOut() override;
  void GetRestoreConnParams(double& timeout, std::int32_t& tries) override;

  bool Initialized() const { return initialized_; }
  std::int32_t ChannelIndex() const { return channel_index_; }
  // The listener binds an answered call's channel (0..15).
  void SetChannelIndex(std::int32_t index) { channel_index_ = index; }
  const store::TMdmAddress& Addr() const { return addr_; }
  const std::vector<std::string>& Phones() const { return phones_; }

 private:
  std::string Id() const;  // the identity as 8 hex digits, as the log lines show it
  void OnLoseChannel(std::int32_t index);

  TMdmGateManager* gate_;
  store::TMdmAddress addr_;
  std::vector<std::string> phones_;
  std::int32_t channel_index_ = -1;
  bool initialized_ = false;
};

}  // namespace kestrel::session
