// TMdmDriver: answering incoming calls. The poll thread notices a RING; the
// channel's answering thread answers it under the channel's lock (the header's
// "Incoming calls" tells why the work is split so).
#include "gate/common/Format.h"
#include "gate/common/GateLog.h"
#include "modem/MdmMain.h"

namespace kestrel::modem {

using gate::Fmt;
using gate::TRespCode;

void TMdmDriver::TAnswerThread::Execute() {
  while (!Terminated()) {
    wake_.WaitFor(~std::uint32_t{0});
    // Reset before looking: a ring counted from here on wakes the next pass.
    wake_.Reset();
    if (Terminated()) break;
    driver_.AnswerRing();
  }
}

void TMdmDriver::TAnswerThread::Stop() {
  Terminate();
  wake_.Set();
  WaitFor();
}

void TMdmDriver::OnReceiveDataHandler(const std::uint8_t* data, std::uint32_t size) {
  // A first look without the channel's lock, which this thread must never
  // wait for; the answering thread looks again under it.
  if (size == 0 || !listening_ || sending_) return;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (gate::ClassifyResponse(text) != TRespCode::rcRing) return;
  rings_noticed_.fetch_add(1);
  std::lock_guard lock(answerer_mutex_);
  if (destroying_) return;
  if (!answerer_) {
    answerer_ = std::make_unique<TAnswerThread>(*this);
    answerer_->Resume();
  }
  answerer_->Wake();
}

void TMdmDriver::AnswerRing() {
  platform::TLockGuard guard(lock_);
  if (rings_noticed_.load() == rings_handled_) return;
  if (!Connected() || !listening_ || sending_) {
    // The channel changed its role while the ring waited for the lock: the
    // call is not for it any more (a taken-over channel reports busy to it).
    rings_handled_ = rings_noticed_.load();
    return;
  }
  const serial::TPollPause pause(*this);
  // With the poll paused nothing is counted until the answer ends: every ring
  // counted so far belongs to this call.
  rings_handled_ = rings_noticed_.load();

  gate::GateLog(3, "BEGIN receiving input modem connection");
  std::string err;
  if (SendCmd("ATA\r", gate::RespSet(TRespCode::rcConnect), store::TimeSpanToMs(active_address_.DataWaitTimeOut), err,
              true)) {
    gate::GateLog(3, "END receiving input modem connection. Result:<success>");
    modem_connected_ = true;
    SetSending(true);
    if (on_two_mdm_connected_) on_two_mdm_connected_(PoolIndex());
  } else {
    gate::GateLog(3, Fmt("END receiving input connection. Result:<fail>; Reason:<%s>", err), err);
    std::string hang_err;
    (void)HangUp(hang_err);
  }
}

void TMdmDriver::StopAnswering() {
  std::unique_ptr<TAnswerThread> answerer;
  {
    std::lock_guard lock(answerer_mutex_);
    destroying_ = true;
    answerer.swap(answerer_);
  }
  if (answerer) answerer->Stop();
}

}  // namespace kestrel::modem
