#include "tests/tools/ProgramRun.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace kestrel::app::testing {

TRunningKestrel::TRunningKestrel(const std::vector<std::string>& args, const TEnv& env) {
  platform::TChildProcess::TStartInfo launch;
  launch.argv = {KESTREL_PROGRAM};
  if (std::find(args.begin(), args.end(), "--gate-library") == args.end())
    launch.argv.insert(launch.argv.end(), {"--gate-library", KESTREL_LIBRARY_PATH});
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
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

TRunningKestrel::~TRunningKestrel() { Stop(); }

bool TRunningKestrel::WaitForLine(const std::string& prefix, std::uint32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  bool found = false;
  cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    for (const auto& l : lines_) found = found || l.rfind(prefix, 0) == 0;
    return found || ended_;
  });
  return found;
}

int TRunningKestrel::Wait(std::uint32_t timeout_ms) {
  const bool ended = child_->Wait(timeout_ms);
  if (!ended) {
    child_->Kill();
    (void)child_->Wait(5000);
  }
  if (reader_.joinable()) reader_.join();
  return ended ? child_->ExitCode() : -1;
}

int TRunningKestrel::Stop() {
  if (!child_->Ended()) {
    child_->RequestStop();
    return Wait(10000);
  }
  if (reader_.joinable()) reader_.join();
  return child_->ExitCode();
}

std::string TRunningKestrel::Output() {
  std::lock_guard lock(mutex_);
  std::string out;
  for (const auto& l : lines_) out += l + "\n";
  return out;
}

TProgramResult RunKestrel(const std::vector<std::string>& args, const TEnv& env, std::uint32_t timeout_ms) {
  TRunningKestrel program(args, env);
  TProgramResult result;
  result.code = program.Wait(timeout_ms);
  result.output = program.Output();
  if (result.code == -1) result.output += "(killed: no end within the test's time)\n";
  return result;
}

}  // namespace kestrel::app::testing
