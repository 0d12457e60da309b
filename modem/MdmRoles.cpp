// The roles of TMdmDriver: taking a channel for sending, dialling a list of
// numbers, giving the channel back; arming the modem for calls, and the
// packet operations of a connection. Answering a call is in MdmAnswer.cpp.
#include <mutex>

#include "gate/common/Format.h"
#include "gate/common/GateAccess.h"
#include "gate/common/GateLog.h"
#include "modem/MdmMain.h"
#include "platform/Thread.h"
#include "platform/Tick.h"

namespace kestrel::modem {

using gate::Fmt;
using gate::TRespCode;

namespace {
// The pause between two numbers of a dial list looks at the gate's stop flag this often.
constexpr std::uint32_t kDialPauseStepMs = 100;
}  // namespace

void TMdmDriver::SetSending(bool value) {
  if (value == sending_) return;
  if (value)
    PausePolling();
  else
    ContinuePolling();
  sending_ = value;
}

void TMdmDriver::SetSendingOwner(TOwnerId owner) {
  platform::TLockGuard guard(lock_);
  sending_owner_ = owner;
}

bool TMdmDriver::ConnectSettled() {
  if (!Connect()) return false;
  if (GetLineStatus().Contains(serial::lsCD)) {
    Disconnect();
    platform::SleepFor(kCarrierSettleMs);
  }
  return Connect();
}

bool TMdmDriver::InitForSending(bool may_take_listening, const store::TMdmAddress& addr, TOwnerId owner,
                                TChannelEvent on_lose_channel, std::string& err, bool wait_for_lock) {
  err.clear();
  const auto refuse = [&]() {
    if (!initialized_) {
      err = Fmt("TMD[%d].InitForSending: (Channel not initialized)", PoolIndex());
      return true;
    }
    if (sending_ || (listening_ && !may_take_listening)) {
      err = Fmt("TMD[%d].InitForSending: (Channel busy)", PoolIndex());
      return true;
    }
    return false;
  };
  // The first look, without the lock, only spares a futile wait for it.
  if (refuse()) return false;
  std::unique_lock<platform::TCriticalSection> guard(lock_, std::defer_lock);
  if (wait_for_lock) {
    guard.lock();
  } else if (!guard.try_lock()) {
    err = Fmt("TMD[%d].InitForSending: (Channel busy)", PoolIndex());
    return false;
  }
  if (refuse()) return false;

  send_address_ = addr;
  on_send_lose_channel_ = std::move(on_lose_channel);
  active_address_ = addr;
  Disconnect();
  ResetExchangeState();
  std::string dropped;
  if (!ConnectSettled()) {
    err = Fmt("TMD[%d].InitForSending: (Connect failed)", PoolIndex());
    // A borrowed listening channel whose port will not open goes back to
    // waiting for calls, as after any other failure here.
    if (listening_) (void)ReinitForListening(dropped);
    return false;
  }
  (void)FlushBuffers(true, true);
  int failed_step = -1;
  std::string cmd_err;
  if (!RunInitSequence(false, failed_step, cmd_err)) {
    err = failed_step == 1
              ? "TMdmDriver[]: (MdmSendCmd(" + TrimmedInitString(settings_) + "#13) failed; ErrStr:" + cmd_err + ")"
              : "TMdmDriver[]: (MdmSendCmd('ATE0V1S0=0'#13) failed; ErrStr:" + cmd_err + ")";
    Disconnect();
    if (listening_) (void)ReinitForListening(dropped);
    return false;
  }
  sending_owner_ = owner;
  SetSending(true);
  return true;
}

bool TMdmDriver::DialForSending(const std::vector<std::string>& phones, std::string& err) {
  platform::TLockGuard guard(lock_);
  err.clear();
  if (phones.empty()) {
    err = Fmt("TMD[%d].DialForSending: (PhoneNumbers List is empty)", PoolIndex());
    return false;
  }
  for (std::size_t i = 0; i < phones.size(); ++i) {
    if (gate::GateStopRequested()) {
      if (err.empty())
        err = Fmt("TMD[%d].DialForSending: (Gate was stopped)", PoolIndex());
      else
        err += "; Then gate was stopped";
      return false;
    }
    std::string dial_err;
    if (DialPhone(phones[i], dial_err)) {
      err.clear();
      return true;
    }
    const std::string failure = "DialPhone: <" + phones[i] + "> failed with message '" + dial_err + "'";
    if (err.empty())
      err = Fmt("TMD[%d].DialForSending: ", PoolIndex()) + failure;
    else
      err += ";" + failure;
    if (i + 1 == phones.size()) break;
    const std::uint32_t pause = store::TimeSpanToMs(active_address_.RestoreConnTimeOut);
    const std::uint32_t t0 = platform::GetTickCount();
    while (platform::Elapsed(t0, platform::GetTickCount()) <= pause && !gate::GateStopRequested())
      platform::SleepFor(std::min(kDialPauseStepMs, platform::Remaining(t0, platform::GetTickCount(), pause) + 1));
  }
  return false;
}

void TMdmDriver::ReleaseSendingChannel() {
  platform::TLockGuard guard(lock_);
  if (!sending_) return;
  Disconnect();
  sending_owner_ = 0;
  SetSending(false);
  if (on_send_lose_channel_) {
    TChannelEvent callback = std::move(on_send_lose_channel_);
    on_send_lose_channel_ = nullptr;
    callback(PoolIndex());
  }
  if (listening_) {
    std::string reinit_err;
    if (ReinitForListening(reinit_err))
      gate::GateLog(1, "TMD[].ReleaseSendingChannel:(ReinitForListening->TRUE)");
    else
      gate::GateLog(1, "TMD[].ReleaseSendingChannel:(ReinitForListening->FALSE); ErrStr: " + reinit_err);
  }
}

bool TMdmDriver::InitForListening(const store::TMdmAddress& addr, TOwnerId owner, TChannelEvent on_two_mdm_connected,
                                  TChannelEvent on_lose_channel, std::string& err) {
  platform::TLockGuard guard(lock_);
  err.clear();
  if (!initialized_) {
    err = Fmt("TMD[%d].InitForListening: (Channel not initialized)", PoolIndex());
    return false;
  }
  if (listening_) {
    err = Fmt("TMD[%d].InitForListening: (Channel busy)", PoolIndex());
    return false;
  }
  listen_address_ = addr;
  on_two_mdm_connected_ = std::move(on_two_mdm_connected);
  on_listen_lose_channel_ = std::move(on_lose_channel);
  if (sending_) {  // armed when the sending role ends
    listening_owner_ = owner;
    listening_ = true;
    return true;
  }
  if (!ReinitForListening(err)) return false;
  listening_owner_ = owner;
  listening_ = true;
  return true;
}

bool TMdmDriver::ReinitForListening(std::string& err) {
  const auto arm = [&]() {
    if (!initialized_) {
      err = Fmt("TMD[%d].ReinitForListening: (Channel not initialized)", PoolIndex());
      return false;
    }
    if (sending_) {
      err = Fmt("TMD[%d].ReinitForListening: (Can't reinint for listening cause still sending)", PoolIndex());
      return false;
    }
    active_address_ = listen_address_;
    Disconnect();
    ResetExchangeState();
    if (!ConnectSettled()) {
      err = Fmt("TMD[%d].ReinitForListening: (Connect failed)", PoolIndex());
      return false;
    }
    (void)FlushBuffers(true, true);
    int failed_step = -1;
    std::string cmd_err;
    if (!RunInitSequence(listening_, failed_step, cmd_err)) {
      err = failed_step == 1 ? Fmt("TMD[%d].ReinitForListening: (MdmSendCmd(", PoolIndex()) +
                                   TrimmedInitString(settings_) + "#13) failed; ErrStr:" + cmd_err + ")"
                             : Fmt("TMD[%d].ReinitForListening: (MdmSendCmd('ATE0V1S0=0'#13) failed; ErrStr:",
                                   PoolIndex()) + cmd_err + ")";
      Disconnect();
      return false;
    }
    listening_ = true;
    return true;
  };
  bool ok = false;
  try {
    ok = arm();
  } catch (...) {
    // Rethrown: the role is given up first. Giving it up calls the
    // listener back and may log, which a scope guard's destructor must not.
    ReleaseListeningChannel();
    throw;
  }
  if (!ok) ReleaseListeningChannel();
  return ok;
}

void TMdmDriver::ReleaseListeningChannel() {
  platform::TLockGuard guard(lock_);
  if (!listening_) return;
  if (!sending_) Disconnect();
  listening_owner_ = 0;
  listening_ = false;
  on_two_mdm_connected_ = nullptr;
  if (on_listen_lose_channel_) {
    TChannelEvent callback = std::move(on_listen_lose_channel_);
    on_listen_lose_channel_ = nullptr;
    callback(PoolIndex());
  }
}

bool TMdmDriver::SendByChannel(const std::string& data, std::string& err) {
  platform::TLockGuard guard(lock_);
  const std::uint32_t t0 = platform::GetTickCount();
  const bool ok = MdmSendExch(data, err, store::TimeSpanToMs(active_address_.DataWaitTimeOut));
  std::uint32_t took = platform::Elapsed(t0, platform::GetTickCount());
  if (took == 0) took = 1;
  gate::GateLog(10, "TMdmDriver.SendByChannel", TransferRateDetail(data.size(), took));
  return ok;
}

bool TMdmDriver::RecvByChannel(std::string& data, std::string& err) {
  platform::TLockGuard guard(lock_);
  return MdmRecvExch(data, err, store::TimeSpanToMs(active_address_.DataWaitTimeOut));
}

}  // namespace kestrel::modem
