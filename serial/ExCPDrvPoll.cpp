// TCommPortDriver: the poll thread, its timer and the counted pause.
#include <algorithm>

#include "platform/ScopeExit.h"
#include "platform/ThreadId.h"
#include "serial/ExCPDrv.h"

namespace kestrel::serial {

void TCommPortDriver::SetThrdTimer(std::uint16_t interval) {
  // A thread told to end from inside OnReceiveData (KillThrdTimer there
  // cannot wait for itself) is finished off before a new one starts.
  if (NotifyThread && NotifyThread->Terminated()) KillThrdTimer();
  if (NotifyThread) {
    platform::TLockGuard lock(FNotifyThrdCrSect);
    NotifyThread->Interval = interval;
    NotifyThread->Enabled = true;
    return;
  }
  auto thread = std::make_unique<TNotifyThread>();
  thread->Enabled = true;
  thread->OnTimer = [this] { TimerThreadProc(); };
  thread->OnIdle = [this, t = thread.get()] { WaitForInputOrWake(*t); };
  thread->Interval = interval;
  NotifyThread = std::move(thread);
  NotifyThread->Resume();
}

void TCommPortDriver::KillThrdTimer() {
  if (!NotifyThread) return;
  {
    // Taking the lock waits for a poll under way; once Enabled is false no
    // new poll begins.
    platform::TLockGuard lock(FNotifyThrdCrSect);
    NotifyThread->Enabled = false;
  }
  NotifyThread->Terminate();
  if (NotifyThread->ThreadId() == platform::CurrentThreadId()) return;  // called from the poll itself
  platform::PortWakeReceive(FHandle.load());
  NotifyThread->WaitFor();
  NotifyThread.reset();
}

void TCommPortDriver::PausePolling() {
  platform::TLockGuard lock(FNotifyThrdCrSect);
  ++FPauseCount;
  // The count first, then the look: the poll thread marks its wait first,
  // then looks at the count, so one of the two sees the other.
  if (FIdleWaiting.load()) platform::PortWakeReceive(FHandle.load());
}

void TCommPortDriver::ContinuePolling() {
  platform::TLockGuard lock(FNotifyThrdCrSect);
  // An unmatched call must not leave the count below 0, or the next pause
  // would not stop the poll and a synchronous read would lose bytes to it.
  if (FPauseCount.load() > 0) --FPauseCount;
}

void TCommPortDriver::WaitForInputOrWake(TNotifyThread& thread) {
  FIdleWaiting.store(true);
  const platform::TScopeExit done([this] { FIdleWaiting.store(false); });
  const platform::TPortHandle handle = FHandle.load();
  if (FPauseCount.load() > 0 || !thread.Enabled.load() || handle == platform::kInvalidPortHandle) {
    (void)thread.Pause();
    return;
  }
  // A wake that came before the wait began ends it at once.
  (void)platform::PortWaitReceive(handle, kIdleWaitMs);
}

void TCommPortDriver::TimerThreadProc() {
  if (FPauseCount.load() > 0) return;  // cheap early look; the one under the lock decides
  platform::TLockGuard lock(FNotifyThrdCrSect);
  if (!Connected() || FPauseCount.load() > 0) return;
  const platform::TPortHandle handle = FHandle.load();
  std::uint32_t errors = 0;  // line errors are cleared and otherwise ignored
  platform::TPortQueueStat stat;
  (void)platform::PortClearError(handle, &errors, &stat);
  if (stat.in_queue == 0) return;
  const std::uint32_t wanted = std::min<std::uint32_t>(stat.in_queue, static_cast<std::uint32_t>(TempInBuffer.size()));
  std::uint32_t got = 0;
  if (!platform::PortRead(handle, TempInBuffer.data(), wanted, got)) return;
  if (got > 0 && OnReceiveData) OnReceiveData(this, TempInBuffer.data(), got);
}

}  // namespace kestrel::serial
