// A program run as its own process by a test: its output (standard output
// and error together) collected line by line, as it comes, on a thread of
// its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
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
  explicit TProgram(const std::vector<std::string>& argv, const TEnv& env = {});
  // Stops it (as Stop) when still running.
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  // Waits up to `timeout_ms` until `count` lines starting with `prefix` came;
  // true once they have.
  bool WaitForLine(const std::string& prefix, std::uint32_t timeout_ms, std::size_t count = 1);
  // Waits up to `timeout_ms` for it to end by itself, then kills it; its exit
  // code, -1 when it had to be killed.
  int Wait(std::uint32_t timeout_ms);
  // Asks it to stop (SIGTERM, then SIGKILL after 10 s); its exit code.
  int Stop();
  std::string Output();

 private:
  std::unique_ptr<platform::TChildProcess> child_;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
  bool ended_ = false;
};

}  // namespace kestrel::testing
