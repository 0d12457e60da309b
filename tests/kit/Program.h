// A program run as its own process by a test: its output (standard output
// and error together) collected line by line, as it comes, on a thread of
// its own.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/ChildProcess.h"

namespace kestrel::testing {

class TProgram {
 public:
  using TEnv = std::vector<std::pair<std::string, std::string>>;

  // Starts `argv` (argv[0] the program's path) with `env` set; throws
  // std::runtime_error when it cannot be started.
  explicit TProgram(const std::vector<std::string>& argv, const TEnv& env = {}) {
    std::string error;
    child_ = platform::TChildProcess::Start({.argv = argv, .env = env, .capture_output = true, .merge_error = true},
                                            error);
    if (!child_) throw std::runtime_error(error);
    reader_ = std::thread([this] {
      std::string line;
      for (platform::TChildProcess::TRead r; (r = child_->ReadLine(line, 600000)) != platform::TChildProcess::TRead::End;)
        if (r == platform::TChildProcess::TRead::Line) {
          std::lock_guard lock(mutex_);
          lines_.push_back(line);
          cv_.notify_all();
        }
      std::lock_guard lock(mutex_);
      ended_ = true;
      cv_.notify_all();
    });
  }
  // Stops it (as Stop) when still running.
  ~TProgram() { Stop(); }
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  // Waits up to `timeout_ms` until `count` lines starting with `prefix` came;
  // true once they have.
  bool WaitForLine(const std::string& prefix, std::uint32_t timeout_ms, std::size_t count = 1) {
    std::unique_lock lock(mutex_);
    const auto seen = [&] {
      return static_cast<std::size_t>(
          std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
    };
    cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return seen() >= count || ended_; });
    return seen() >= count;
  }
  // Waits up to `timeout_ms` for it to end by itself, then kills it; its exit
  // code, -1 when it had to be killed.
  int Wait(std::uint32_t timeout_ms) {
    const bool ended = child_->Wait(timeout_ms);
    if (!ended) {
      child_->Kill();
      (void)child_->Wait(5000);  // killed: it ends at once
    }
    if (reader_.joinable()) reader_.join();
    return ended ? child_->ExitCode() : -1;
  }
  // Stop() interrupts instead of terminating.
  void StopByInterrupt() { interrupt_to_stop_ = true; }
  // Asks it to stop (SIGTERM, or SIGINT for a program that takes Ctrl-C as
  // its stop request, as a Windows program under Wine does; then SIGKILL
  // after 10 s); its exit code.
  int Stop() {
    if (!child_->Ended()) {
      if (interrupt_to_stop_)
        child_->Interrupt();
      else
        child_->RequestStop();
      return Wait(10000);
    }
    if (reader_.joinable()) reader_.join();
    return child_->ExitCode();
  }
  std::string Output() {
    std::lock_guard lock(mutex_);
    std::string out;
    for (const auto& l : lines_) out += l + "\n";
    return out;
  }

 private:
  std::unique_ptr<platform::TChildProcess> child_;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
  bool ended_ = false;
  bool interrupt_to_stop_ = false;
};

}  // namespace kestrel::testing
