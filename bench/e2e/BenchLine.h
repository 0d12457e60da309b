// What the end-to-end benchmarks share: a scratch folder, a simulated line
// like a real one at 57 600 bit/s that remembers when it connected, starting
// the gate's host program and shell commands, and a terminal command that
// dials or answers before it runs a program on the line.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "sim/ExchangeRunner.h"

namespace kestrel::bench {

using Clock = std::chrono::steady_clock;

inline constexpr std::uint32_t kLineRate = 57600;
inline constexpr double kLineBytesPerSecond = kLineRate / 10.0;  // 8 data bits, start and stop bit

double Seconds(Clock::time_point a, Clock::time_point b);

class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  std::string Path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// A simulated line at `rate` bit/s with `latency_ms` each way and quick
// dialling. Remembers when modems reported CONNECT: the first and the last.
class TLine {
 public:
  explicit TLine(std::uint32_t latency_ms = 20, std::uint32_t rate = kLineRate);
  bool Add(const std::string& link, const std::string& number);
  void Start() { runner_.Start(); }
  std::optional<Clock::time_point> Connected();
  std::optional<Clock::time_point> LastConnected();

 private:
  std::mutex mutex_;
  std::optional<Clock::time_point> connected_;
  std::optional<Clock::time_point> last_connected_;
  sim::TExchangeRunner runner_;
};

// Starts `argv` with KESTREL_COM_DIR set to `com_dir` (unless empty),
// capturing its output when asked; null (and a message) when it cannot.
std::unique_ptr<platform::TChildProcess> Start(std::vector<std::string> argv, const std::string& com_dir,
                                               bool capture);

// A shell command that holds the terminal of a simulated modem for the whole
// run (its DTR stays up), says `command` to the modem, waits for CONNECT,
// then runs `program` on the line.
std::string OnLine(const std::string& link, const std::string& command, const std::string& program);

}  // namespace kestrel::bench
