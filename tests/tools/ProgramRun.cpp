#include "tests/tools/ProgramRun.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace kestrel::app::testing {
namespace {

std::unique_ptr<platform::TChildProcess> Start(const std::vector<std::string>& args,
                                               const std::vector<std::pair<std::string, std::string>>& env) {
  platform::TChildProcess::TSpec launch;
  launch.argv = {KESTREL_PROGRAM};
  if (std::find(args.begin(), args.end(), "--gate-library") == args.end())
    launch.argv.insert(launch.argv.end(), {"--gate-library", KESTREL_LIBRARY_PATH});
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.env = env;
  launch.capture_output = true;
  launch.merge_error = true;
  std::string error;
  auto child = platform::TChildProcess::Start(launch, error);
  if (!child) throw std::runtime_error(error);
  return child;
}

}  // namespace

TProgramResult RunKestrel(const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& env, std::uint32_t timeout_ms) {
  auto child = Start(args, env);
  TProgramResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string line;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const auto r = child->ReadLine(line, static_cast<std::uint32_t>(left.count()));
    if (r == platform::TChildProcess::TRead::End) break;
    if (r == platform::TChildProcess::TRead::Line) result.output += line + "\n";
  }
  if (!child->Wait(2000)) {
    child->Kill();
    child->Wait(5000);
    result.output += "(killed: no end within the test's time)\n";
    return result;
  }
  result.code = child->ExitCode();
  return result;
}

TRunningKestrel::TRunningKestrel(const std::vector<std::string>& args,
                                 const std::vector<std::pair<std::string, std::string>>& env)
    : child_(Start(args, env)) {
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

int TRunningKestrel::Stop() {
  if (!child_->Ended()) {
    child_->RequestStop();
    if (!child_->Wait(10000)) {
      child_->Kill();
      child_->Wait(5000);
    }
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

}  // namespace kestrel::app::testing
