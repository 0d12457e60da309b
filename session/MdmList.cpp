#include "session/MdmList.h"

#include <cstring>
#include <stdexcept>

#include "gate/common/Boundary.h"
#include "gate/common/Format.h"
#include "gate/common/GateLog.h"
#include "gate/common/LogText.h"
#include "host/ExchangeThread.h"
#include "host/HostObject.h"
#include "host/ProcessList.h"
#include "host/Protocol.h"
#include "modem/MdmMain.h"
#include "platform/Check.h"
#include "platform/Cp1251.h"
#include "platform/Thread.h"
#include "session/MdmExch.h"
#include "session/MdmMngr.h"

namespace kestrel::session {

using namespace kestrel::literals;
using gate::BoolToText;
using gate::Fmt;
using gate::GateLog;

namespace {

constexpr std::size_t kRecordSize = sizeof(store::TMdmAddress);
// What the framework calls these values: the server role, and the kind of an
// exchange process serving an answered call.
constexpr auto kServerRole = host::TWhoIsIt::Server;           // 1
constexpr auto kExchangeKind = host::TKindOfProcess::Exchange;  // 1
constexpr std::int32_t kInitServerMode = 1;

// The lines of the framed operations.
constexpr std::string_view kListenBegin = "TML[$%s].Listen:(Начало функции)"_cp;
constexpr std::string_view kListenError = "TML[$%s].Listen:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kListenEnd = "TML[$%s].Listen:(Конец функции)"_cp;
constexpr std::string_view kConnectedBegin = "TML[$%s].DoOnTwoMdmConnected:(Начало функции)"_cp;
constexpr std::string_view kConnectedError = "TML[$%s].DoOnTwoMdmConnected:(Ошибка %s:(%s))"_cp;
constexpr std::string_view kConnectedEnd = "TML[$%s].DoOnTwoMdmConnected:(Конец функции)"_cp;

// Gives a channel back from the sending role on a thread of its own: the
// release hangs up and re-arms the modem, seconds of work that do not belong
// inside the channel's report of the call.
class TReclaimThread final : public platform::TThread {
 public:
  TReclaimThread(TMdmGateManager* gate, std::int32_t index, modem::TOwnerId owner)
      : gate_(gate), index_(index), owner_(owner) {}
  ~TReclaimThread() override { WaitFor(); }

 protected:
  // A failure (only a log line can fail) ends the thread (TThread): the
  // channel was released or never will be.
  void Execute() override {
    if (pool::TMdmPoolManager* pool = gate_->Pool()) pool->ReleaseSendingChannelByIndOwner(index_, owner_);
  }

 private:
  TMdmGateManager* gate_;
  std::int32_t index_;
  modem::TOwnerId owner_;
};

}  // namespace

TMdmListener::TMdmListener(TMdmGateManager* manager, const void* self_addr, std::int32_t self_addr_size)
    : host::TListener(manager, self_addr, self_addr_size), gate_(manager), addr_(store::DefaultAddress()) {
  KESTREL_CHECK(gate_ != nullptr, "a listener is made by its gate manager");
  if (SelfAddrSize >= static_cast<std::int32_t>(kRecordSize)) {
    std::memcpy(&addr_, SelfAddrPtr(), kRecordSize);
    initialized_ = true;
  }
}

TMdmListener::~TMdmListener() {
  gate::LogStep([&] { GateLog(1, Fmt("TML[$%s].Destroy:(Начало функции)"_cp, Id())); });
  JoinReclaims();
  try {
    if (pool::TMdmPoolManager* pool = gate_->Pool()) pool->ReleaseListeningChannelsByOwner(Identity());
  } catch (...) {
    // A destructor goes on: what a channel's release raised (its callback,
    // a log line) leaves the channel as the release got it.
  }
  // No channel calls this listener any more; a reclaim started just before
  // the release is waited for here.
  JoinReclaims();
  gate::LogStep([&] { GateLog(1, Fmt("TML[$%s].Destroy:(Конец функции)"_cp, Id())); });
}

std::string TMdmListener::Id() const { return host::Hex8(Identity()); }

bool TMdmListener::Listen() {
  return gate::LoggedBoundary<bool>(
      [&] { GateLog(10, Fmt(kListenBegin, Id())); }, {kListenError, Id()},
      [&] {
        if (!initialized_) throw std::runtime_error("Listener not initialized");
        std::string err;
        if (!gate_->ExistingPool().GetChannelsFromSetForListening(
                addr_, listen_channels_, Identity(), [this](std::int32_t i) { DoOnTwoMdmConnected(i); },
                [this](std::int32_t i) { DoOnLoseChannel(i); }, err))
          throw std::runtime_error(err);
        return true;
      },
      [&](bool result) { GateLog(10, Fmt(kListenEnd, Id()), Fmt("Result: %s", BoolToText(result))); });
}

void TMdmListener::DoOnTwoMdmConnected(std::int32_t index) {
  bool bound = false;     // the channel is in the sending role for this call
  bool launched = false;  // the exchange thread runs: the session owns the channel
  gate::LoggedBoundary<void>(
      [&] { GateLog(1, Fmt(kConnectedBegin, Id())); }, {kConnectedError, Id()},
      [&] {
        if (index < 0 || index >= pool::kChannelCount)
          throw std::runtime_error(Fmt("Received ConChannelIndex(%d) out of bounds [0..15]", index));
        pool::TMdmPoolManager& pool = gate_->ExistingPool();
        bound = true;
        auto exchanger = std::make_unique<TMdmExchanger>(gate_, SelfAddrPtr(), SelfAddrSize);
        exchanger->SetChannelIndex(index);
        const modem::TOwnerId session_owner = exchanger->Identity();
        auto protocol = std::make_unique<host::TProtocol>(Manager, kServerRole, SelfAddrPtr(), SelfAddrSize);
        protocol->Exchanger = exchanger.release();
        protocol->InitServer(kInitServerMode, addr_.RestoreConnTimeOut, addr_.RestoreConnTries);
        // The thread takes the protocol (and the exchanger with it) even when its
        // constructor throws; once constructed it runs and is in the process list.
        auto* thread = new host::TExchangeThread(protocol.release(), Manager, 0);
        launched = true;
        // The exchanger becomes the channel's owner only now that its session
        // runs. Had it owned the channel earlier, a thread that failed to start
        // would have its exchanger disconnect the channel inside this report.
        // The session cannot release the channel
        // before this line: releasing takes the channel's lock, held by this
        // thread until the call report returns.
        pool.Channels(index).SetSendingOwner(session_owner);
        Manager->ProcessList->AddProcess(thread, kExchangeKind);
        GateLog(1, Fmt("TML[$%s].DoOnTwoMdmConnected:(Start ExchangeThread for modem on com port COM%d)", Id(),
                       index + 1));
      },
      [&] { GateLog(1, Fmt(kConnectedEnd, Id())); },
      // Without a session nobody would ever give the answered channel back.
      [&] {
        if (!bound || launched) return;
        try {
          ReclaimChannel(index);
        } catch (...) {
          // Still this report's failure: the same error line tells it.
          gate::LogBoundaryError({kConnectedError, Id()});
        }
      });
}

void TMdmListener::DoOnLoseChannel(std::int32_t /*index*/) {
  gate::LogStep([&] { GateLog(1, Fmt("TML[$%s].DoOnLoseChannel:(Начало функции)"_cp, Id())); });
  gate::LogStep([&] { GateLog(1, Fmt("TML[$%s].DoOnLoseChannel:(Конец функции)"_cp, Id())); });
}

void TMdmListener::ReclaimChannel(std::int32_t index) {
  pool::TMdmPoolManager* pool = gate_->Pool();
  if (pool == nullptr) return;
  // A fresh owner that only the reclaim knows: the release below cannot
  // take the channel from anybody else.
  const modem::TOwnerId owner = host::NewIdentity();
  pool->Channels(index).SetSendingOwner(owner);
  auto thread = std::make_unique<TReclaimThread>(gate_, index, owner);
  std::lock_guard lock(reclaim_mutex_);
  // Reclaims that have ended are joined at once (their threads are done).
  std::erase_if(reclaims_, [](const std::unique_ptr<platform::TThread>& t) { return t->Finished(); });
  reclaims_.push_back(std::move(thread));
  reclaims_.back()->Resume();
}

void TMdmListener::JoinReclaims() {
  std::vector<std::unique_ptr<platform::TThread>> reclaims;
  {
    std::lock_guard lock(reclaim_mutex_);
    reclaims.swap(reclaims_);
  }
  // Joined without the lock: a channel answering meanwhile may start another.
  for (auto& t : reclaims) t->WaitFor();
}

}  // namespace kestrel::session
