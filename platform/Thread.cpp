#include "platform/Thread.h"

#include <chrono>

#include "platform/ThreadId.h"

namespace kestrel::platform {

TThread::~TThread() {
  Terminate();
  WaitFor();
}

void TThread::Resume() {
  if (thread_.joinable() || Finished()) return;
  thread_ = std::thread([this] { Run(); });
}

void TThread::Terminate() { terminate_.Set(); }

void TThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void SleepFor(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void TThread::Run() {
  thread_id_.store(CurrentThreadId(), std::memory_order_release);
  try {
    Execute();
  } catch (...) {
    // A thread body that lets an exception escape ends its thread, never the process.
  }
  finished_.store(true, std::memory_order_release);
}

}  // namespace kestrel::platform
