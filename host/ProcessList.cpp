#include "host/ProcessList.h"

#include <algorithm>
#include <iterator>

#include "host/CoreCalls.h"
#include "host/GateManager.h"
#include "host/HostError.h"
#include "host/HostObject.h"
#include "host/Listener.h"
#include "host/Protocol.h"
#include "platform/Check.h"
#include "platform/ScopeExit.h"
#include "platform/ThreadId.h"

namespace kestrel::host {
namespace {

TReceiveHistory::TLimits LimitsOf(const TProtocolTuning& t) {
  return {t.HistoryEntries, t.PartialEntries, t.PartialBytes, t.MaxPacketBytes};
}

}  // namespace

TListOfProcess::TListOfProcess(TGateManager* manager) : manager_(manager) {
  KESTREL_CHECK(manager_ != nullptr, "a process list belongs to its gate manager");
  history_.SetLimits(LimitsOf(tuning_));
}

TListOfProcess::~TListOfProcess() {
  StopAll();
  // What is left are threads that were joined before anyone named them;
  // their objects go with the list.
  std::vector<TEntry> left;
  {
    std::lock_guard lock(mutex_);
    left.swap(entries_);
  }
}

TListOfProcess::TEntry* TListOfProcess::Find(KHandle handle) {
  if (handle == 0) return nullptr;
  for (TEntry& e : entries_)
    if (e.Handle == handle) return &e;
  return nullptr;
}

void TListOfProcess::Launch(TExchangeThread* thread) {
  KESTREL_CHECK(thread != nullptr, "only a thread's own constructor launches it");
  std::lock_guard lock(mutex_);
  TEntry entry;
  entry.Handle = NewIdentity();
  entry.Kind = TKindOfProcess::Exchange;
  thread->handle_ = entry.Handle;
  entries_.push_back(std::move(entry));
  // A thread that does not start leaves no entry; the thread stays its creator's.
  platform::TScopeExit withdraw([this] { entries_.pop_back(); });
  thread->Resume();
  withdraw.Dismiss();
  // Owned from here on.
  entries_.back().Thread.reset(thread);
}

KHandle TListOfProcess::AddProcess(TExchangeThread* thread, TKindOfProcess kind) {
  Reap();
  std::lock_guard lock(mutex_);
  for (TEntry& e : entries_) {
    if (e.Thread.get() == thread && thread != nullptr) {
      e.Kind = kind;
      if (e.Stage == TStage::Launched) e.Stage = TStage::Named;
      return e.Handle;
    }
  }
  throw EHostError("The process list does not hold this exchange thread");
}

KHandle TListOfProcess::AddListener(std::unique_ptr<TListener> listener) {
  Reap();
  std::lock_guard lock(mutex_);
  TEntry entry;
  entry.Handle = NewIdentity();
  entry.Kind = TKindOfProcess::Listen;
  entry.Stage = TStage::Named;
  entry.Listener = std::move(listener);
  entries_.push_back(std::move(entry));
  return entries_.back().Handle;
}

void TListOfProcess::Enqueue(KHandle process, TOutPacket&& packet) {
  Reap();
  std::lock_guard lock(mutex_);
  TEntry* e = Find(process);
  if (e == nullptr || e->Stage == TStage::Retiring)
    throw EHostError("Transmit process $" + Hex8(process) + " does not exist");
  if (e->Kind != TKindOfProcess::Transmit || !e->Thread)
    throw EHostError("Process $" + Hex8(process) + " is not a transmit process");
  if (!e->Thread->Protocol()->Enqueue(std::move(packet)))
    throw EHostError("Transmit process $" + Hex8(process) + " has ended");
}

bool TListOfProcess::StopTransmit(KHandle process) {
  Reap();
  std::vector<TOutPacket> queued;
  {
    std::lock_guard lock(mutex_);
    TEntry* e = Find(process);
    if (e == nullptr || e->Stage == TStage::Retiring || e->Kind != TKindOfProcess::Transmit || !e->Thread)
      return false;
    e->Stage = TStage::Retiring;
    queued = e->Thread->Stop();
  }
  for (const TOutPacket& p : queued) ReportPacketFailed(*manager_, p.Ref, "process stopped");
  Reap();  // an idle process ends at once
  return true;
}

bool TListOfProcess::StopListen(KHandle process) {
  Reap();
  std::unique_ptr<TListener> listener;
  {
    std::lock_guard lock(mutex_);
    TEntry* e = Find(process);
    if (e == nullptr || e->Kind != TKindOfProcess::Listen || !e->Listener) return false;
    listener = std::move(e->Listener);
    entries_.erase(entries_.begin() + (e - entries_.data()));
  }
  // Destroyed without our lock: releasing its channels may wait for a poll
  // thread that is entering a new session into this list.
  listener.reset();
  return true;
}

void TListOfProcess::Reap() {
  std::vector<TEntry> done;
  {
    std::lock_guard lock(mutex_);
    const std::uint32_t self = platform::CurrentThreadId();
    auto finished = [this, self](const TEntry& e) {
      return e.Thread && e.Stage != TStage::Launched && !BeingJoined(e.Thread.get()) && e.Thread->Finished() &&
             e.Thread->ThreadId() != self;
    };
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (finished(*it)) {
        done.push_back(std::move(*it));
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // `done` frees the threads (joined already, or about to be) here.
}

bool TListOfProcess::Settled() const {
  return std::all_of(entries_.begin(), entries_.end(), [](const TEntry& e) {
    return e.Thread && e.Stage == TStage::Launched && e.Thread->Finished();
  });
}

bool TListOfProcess::BeingJoined(const TExchangeThread* thread) const {
  return std::find(joining_.begin(), joining_.end(), thread) != joining_.end();
}

void TListOfProcess::StopAll() {
  std::lock_guard stopping(stop_mutex_);
  manager_->GateStopping.store(true);
  for (;;) {
    std::vector<TEntry> taken;
    std::vector<TExchangeThread*> unnamed;
    std::vector<TOutPacket> queued;
    {
      std::lock_guard lock(mutex_);
      if (Settled()) break;
      for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->Thread) {
          std::vector<TOutPacket> left = it->Thread->Stop();
          std::move(left.begin(), left.end(), std::back_inserter(queued));
        }
        if (it->Thread && it->Stage == TStage::Launched) {
          // Its creator is between the constructor and AddProcess and still
          // holds the pointer: join it, but leave the object in the list.
          if (!it->Thread->Finished()) {
            joining_.push_back(it->Thread.get());
            unnamed.push_back(it->Thread.get());
          }
          ++it;
        } else {
          taken.push_back(std::move(*it));
          it = entries_.erase(it);
        }
      }
    }
    for (const TOutPacket& p : queued) ReportPacketFailed(*manager_, p.Ref, "gate stopped");
    // Listeners first, so that no new call is answered while the sessions end.
    for (TEntry& e : taken) e.Listener.reset();
    for (TEntry& e : taken) e.Thread.reset();
    for (TExchangeThread* t : unnamed) t->WaitFor();
    if (!unnamed.empty()) {
      std::lock_guard lock(mutex_);
      joining_.clear();
    }
  }
  manager_->GateStopping.store(false);
}

std::size_t TListOfProcess::Count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::size_t TListOfProcess::RunningThreads() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(), [](const TEntry& e) { return e.Thread && !e.Thread->Finished(); }));
}

TProtocolTuning TListOfProcess::Tuning() const {
  std::lock_guard lock(mutex_);
  return tuning_;
}

void TListOfProcess::SetTuning(const TProtocolTuning& tuning) {
  {
    std::lock_guard lock(mutex_);
    tuning_ = tuning;
  }
  history_.SetLimits(LimitsOf(tuning));
}

std::int16_t TListOfProcess::GateCode() const {
  std::lock_guard lock(mutex_);
  return gate_code_;
}

void TListOfProcess::SetGateCode(std::int16_t code) {
  std::lock_guard lock(mutex_);
  gate_code_ = code;
}

}  // namespace kestrel::host
