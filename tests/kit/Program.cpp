#include "tests/kit/Program.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace kestrel::testing {

TProgram::TProgram(const std::vector<std::string>& argv, const TEnv& env) {
  platform::TChildProcess::TStartInfo launch;
  launch.argv = argv;
  launch.env = env;
  launch.capture_output = true;
  launch.merge_error = true;
  std::string error;
  child_ = platform::TChildProcess::Start(launch, error);
  if (!child_) throw std::runtime_error(error);
  reader_ = std::thread([this] {
    std::string line;
    platform::TChildProcess::TRead r;
    while ((r = child_->ReadLine(line, 600000)) != platform::TChildProcess::TRead::End) {
      if (r != platform::TChildProcess::TRead::Line) continue;
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
      cv_.notify_all();
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
    cv_.notify_all();
  });
}

TProgram::~TProgram() { Stop(); }

bool TProgram::WaitForLine(const std::string& prefix, std::uint32_t timeout_ms, std::size_t count) {
  std::unique_lock lock(mutex_);
  const auto seen = [&] {
    return static_cast<std::size_t>(
        std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  };
  cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return seen() >= count || ended_; });
  return seen() >= count;
}

int TProgram::Wait(std::uint32_t timeout_ms) {
  const bool ended = child_->Wait(timeout_ms);
  if (!ended) {
    child_->Kill();
    (void)child_->Wait(5000);  // killed: it ends at once
  }
  if (reader_.joinable()) reader_.join();
  return ended ? child_->ExitCode() : -1;
}

int TProgram::Stop() {
  if (!child_->Ended()) {
    child_->RequestStop();
    return Wait(10000);
  }
  if (reader_.joinable()) reader_.join();
  return child_->ExitCode();
}

std::string TProgram::Output() {
  std::lock_guard lock(mutex_);
  std::string out;
  for (const auto& l : lines_) out += l + "\n";
  return out;
}

}  // namespace kestrel::testing
