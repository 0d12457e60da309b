#include "platform/MainThread.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

#include "platform/Check.h"
#include "platform/ModuleEntry.h"
#include "platform/ThreadId.h"

namespace kestrel::platform {
namespace {

enum class TJobState { kQueued, kRunning, kDone, kWithdrawn };

struct TJob {
  std::function<void()> call;
  TJobState state = TJobState::kQueued;
  std::exception_ptr error;
};

struct TDispatcher {
  std::mutex mutex;
  std::condition_variable queued;  // the pump waits for work
  std::condition_variable done;    // callers wait for their call
  std::deque<std::shared_ptr<TJob>> jobs;
  TMainThreadLoop* loop = nullptr;
};

// A static object, not a leaked one: a library may be loaded many times
// (but left to the system at process end, when a caller's thread may have
// been ended inside its waits). A module that releases windows while it
// unloads installs its loop when it loads, which makes the dispatcher then,
// so that it outlives the unload.
TDispatcher& Dispatcher() {
  static TProcessStatic<TDispatcher> dispatcher;
  return *dispatcher;
}

std::size_t RunQueued() {
  TDispatcher& d = Dispatcher();
  std::size_t count = 0;
  for (;;) {
    std::shared_ptr<TJob> job;
    {
      std::lock_guard lock(d.mutex);
      if (d.jobs.empty()) return count;
      job = std::move(d.jobs.front());
      d.jobs.pop_front();
      job->state = TJobState::kRunning;
    }
    try {
      job->call();
    } catch (...) {
      job->error = std::current_exception();
    }
    ++count;
    {
      std::lock_guard lock(d.mutex);
      job->state = TJobState::kDone;
      // The waiting caller keeps the last reference: what the call threw is
      // freed on its thread, after it has read it.
      job.reset();
    }
    d.done.notify_all();
  }
}

}  // namespace

bool IsMainThread() { return CurrentThreadId() == MainThreadId(); }

bool RunOnMainThread(const std::function<void()>& call, std::uint32_t timeout_ms) {
  if (IsMainThread()) {
    call();
    return true;
  }
  TDispatcher& d = Dispatcher();
  auto job = std::make_shared<TJob>();
  job->call = call;
  std::unique_lock lock(d.mutex);
  d.jobs.push_back(job);
  // Posting under the lock keeps the loop from being removed meanwhile; a
  // loop only queues the request, it never runs it from Post.
  // A loop that cannot take it (no application yet) leaves it to the pump.
  if (d.loop != nullptr) (void)d.loop->Post([] { RunQueued(); });
  d.queued.notify_all();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  d.done.wait_until(lock, deadline, [&] { return job->state == TJobState::kDone; });
  if (job->state == TJobState::kQueued) {
    // Only the pump takes a job out of the queue, and it marks it running then.
    const auto queued = std::find(d.jobs.begin(), d.jobs.end(), job);
    KESTREL_CHECK(queued != d.jobs.end(), "a job still marked queued is in the queue");
    d.jobs.erase(queued);
    job->state = TJobState::kWithdrawn;
    return false;
  }
  // Started in time: the call may use the caller's data, so it is awaited.
  d.done.wait(lock, [&] { return job->state == TJobState::kDone; });
  lock.unlock();
  if (job->error) std::rethrow_exception(job->error);
  return true;
}

std::size_t PumpMainThread(std::uint32_t wait_ms) {
  if (!IsMainThread()) return 0;
  TDispatcher& d = Dispatcher();
  std::size_t count = RunQueued();
  TMainThreadLoop* loop = nullptr;
  {
    std::lock_guard lock(d.mutex);
    loop = d.loop;
  }
  // A loop is removed only when its module unloads, never while the host
  // pumps, so it stays valid outside the lock.
  const std::uint32_t wait = count == 0 ? wait_ms : 0;
  if (loop == nullptr || !loop->ProcessEvents(wait)) {
    std::unique_lock lock(d.mutex);
    d.queued.wait_for(lock, std::chrono::milliseconds(wait), [&] { return !d.jobs.empty(); });
  }
  return count + RunQueued();
}

TMainThreadLoop* SetMainThreadLoop(TMainThreadLoop* loop) {
  TDispatcher& d = Dispatcher();
  std::lock_guard lock(d.mutex);
  TMainThreadLoop* previous = d.loop;
  d.loop = loop;
  return previous;
}

std::size_t PendingMainThreadCalls() {
  TDispatcher& d = Dispatcher();
  std::lock_guard lock(d.mutex);
  return d.jobs.size();
}

}  // namespace kestrel::platform
