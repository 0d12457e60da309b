// A child process started from a program file, whose standard output the
// parent may read line by line and whose end it waits for with a deadline.
//
// The child inherits the parent's environment with the given variables set,
// its standard input (unless it gets a pipe) and (unless merged into the
// captured output) its standard error; it starts with no signal blocked and
// no signal ignored, whatever the parent did. Only the ends of the pipes
// that the child needs reach it.
//
// Not thread-safe: one thread uses the object at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::platform {

class TChildProcess {
 public:
  struct TStartInfo {
    std::vector<std::string> argv;                         // argv[0] is the program's path
    std::vector<std::pair<std::string, std::string>> env;  // set or replaced in the child; "" removes
    bool capture_output = false;                           // its standard output goes to ReadLine
    bool merge_error = false;                              // with capture_output: its standard error too
    // Its standard input is a pipe that stays open while this object lives
    // (and this process does): the child reads end of input once the parent
    // closes it (CloseInput) or ends, however it ends.
    bool input_pipe = false;
  };

  // Starts the child. Null on failure, with the reason in `error`.
  static std::unique_ptr<TChildProcess> Start(const TStartInfo& desc, std::string& error);
  // A child still running is killed and reaped: no zombie is left behind.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  enum class TRead { Line, Timeout, End };
  // The next line of the captured output without its line break, waiting up
  // to `timeout_ms` for it to be complete. End once the child closed its
  // output and every line was read (a last line without a break comes as a
  // Line first). Always End when nothing is captured.
  TRead ReadLine(std::string& line, std::uint32_t timeout_ms);

  // Closes the child's input pipe (nothing when there is none).
  void CloseInput();
  // Asks the child to stop (SIGTERM); does not wait.
  void RequestStop();
  // Interrupts it (SIGINT, what Wine hands a Windows program as Ctrl-C);
  // does not wait.
  void Interrupt();
  // Ends it at once (SIGKILL); does not wait.
  void Kill();
  // Waits up to `timeout_ms` for the child to end; true once it has.
  [[nodiscard]] bool Wait(std::uint32_t timeout_ms);
  bool Ended() const { return ended_; }
  // Its exit status once ended: 0..255, or -1 when a signal ended it.
  int ExitCode() const { return exit_code_; }
  // The CPU seconds (user and system) it used, once Wait saw it end; 0 before.
  double CpuSeconds() const { return cpu_seconds_; }
  std::uint32_t Pid() const { return static_cast<std::uint32_t>(pid_); }

 private:
  TChildProcess(int pid, int out_fd, int in_fd) : pid_(pid), out_fd_(out_fd), in_fd_(in_fd) {}
  int pid_;
  int out_fd_;  // -1 when nothing is captured or once it ended
  int in_fd_;   // the write end of the child's input, or -1
  std::string pending_;
  bool ended_ = false;
  int exit_code_ = -1;
  double cpu_seconds_ = 0;
};

}  // namespace kestrel::platform
