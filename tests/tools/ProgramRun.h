// The kestrel program run as its own process, as a person runs it: with
// arguments and the gate library of this build (unless the arguments name
// one), its output (standard output and error together) collected line by
// line as it comes.
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

namespace kestrel::app::testing {

using TEnv = std::vector<std::pair<std::string, std::string>>;

class TRunningKestrel {
 public:
  TRunningKestrel(const std::vector<std::string>& args, const TEnv& env = {});
  // Stops it (as Stop) when still running.
  ~TRunningKestrel();

  // Waits up to `timeout_ms` for a line starting with `prefix`; true once seen.
  bool WaitForLine(const std::string& prefix, std::uint32_t timeout_ms);
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

struct TProgramResult {
  int code = -1;  // -1: killed after its time ran out
  std::string output;
};

// Runs it to its end, for at most `timeout_ms`.
TProgramResult RunKestrel(const std::vector<std::string>& args, const TEnv& env = {},
                          std::uint32_t timeout_ms = 60000);

}  // namespace kestrel::app::testing
