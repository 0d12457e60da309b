// The kestrel program run as its own process, as a person runs it: with
// arguments, its output (standard output and error together) collected.
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

struct TProgramResult {
  int code = -1;  // -1: killed after its time ran out
  std::string output;
};

// Runs `kestrel <args>` with the gate library of this build (unless `args`
// name one) and `env` set,
// for at most `timeout_ms`.
TProgramResult RunKestrel(const std::vector<std::string>& args,
                          const std::vector<std::pair<std::string, std::string>>& env = {},
                          std::uint32_t timeout_ms = 60000);

// A kestrel that keeps running (listen, sim): its output is read as it comes.
class TRunningKestrel {
 public:
  TRunningKestrel(const std::vector<std::string>& args,
                  const std::vector<std::pair<std::string, std::string>>& env = {});
  // Stops it (SIGTERM, then SIGKILL after 10 s) when still running.
  ~TRunningKestrel();

  // Waits up to `timeout_ms` for a line starting with `prefix`; true once seen.
  bool WaitForLine(const std::string& prefix, std::uint32_t timeout_ms);
  // Asks it to stop and returns its exit code (-1 when it had to be killed).
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

}  // namespace kestrel::app::testing
