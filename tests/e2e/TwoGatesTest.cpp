// Two gates in two processes, each a small host (GateHost.cpp) that loads
// libKestrel through the dynamic loader, dialling each other through the
// simulated exchange over pseudo-terminals: each process finds its COM1
// through its own KESTREL_COM_DIR. Real time: generous time-outs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/ExchangeRunner.h"
#include "tests/sim/TempDir.h"

extern char** environ;

namespace kestrel::e2e {
namespace {

sim::TExchangeOptions QuickExchange() {
  sim::TExchangeOptions o;
  o.dial_ms = 20;
  o.handshake_ms = 30;
  o.latency_ms = 5;
  o.ring_on_ms = 200;
  o.ring_off_ms = 300;
  o.rate = 115200;
  return o;
}

// A gate host process; `stdin_fd` and `stdout_fd`, when not -1, become its
// standard input and output.
pid_t Spawn(const std::vector<std::string>& args, const std::string& com_dir, int stdin_fd, int stdout_fd) {
  std::vector<std::string> env_store;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("KESTREL_COM_DIR=", 0) != 0) env_store.emplace_back(*e);
  env_store.push_back("KESTREL_COM_DIR=" + com_dir);
  std::vector<char*> env;
  for (std::string& s : env_store) env.push_back(s.data());
  env.push_back(nullptr);
  std::vector<std::string> arg_store = args;
  std::vector<char*> argv;
  for (std::string& s : arg_store) argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdin_fd != -1) posix_spawn_file_actions_adddup2(&actions, stdin_fd, 0);
  if (stdout_fd != -1) posix_spawn_file_actions_adddup2(&actions, stdout_fd, 1);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// The exit code of a finished child; the children bound their own run time.
int Join(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What `fd` delivers until a newline, waiting up to `timeout_ms` for each byte.
std::string ReadLine(int fd, int timeout_ms) {
  std::string line;
  char c = 0;
  while (line.find('\n') == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0 || read(fd, &c, 1) != 1) break;
    line += c;
  }
  return line;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(TwoGates, PacketsCrossBetweenTwoHostProcesses) {
  sim::testing::TTempDir dir_a, dir_b;
  sim::TExchangeRunner runner(QuickExchange());
  std::string error;
  ASSERT_NE(runner.AddPtyModem(dir_a / "com1", {.number = "101"}, error), sim::kNoModem) << error;
  ASSERT_NE(runner.AddPtyModem(dir_b / "com1", {.number = "102"}, error), sim::kNoModem) << error;
  runner.Start();

  int to_listener[2];
  int from_listener[2];
  ASSERT_EQ(pipe(to_listener), 0);
  ASSERT_EQ(pipe(from_listener), 0);
  // Only the listener gets these ends, and only as its standard streams.
  for (const int fd : {to_listener[0], to_listener[1], from_listener[0], from_listener[1]})
    ASSERT_EQ(fcntl(fd, F_SETFD, FD_CLOEXEC), 0);
  const std::string report = dir_b / "report";
  const pid_t listener = Spawn({GATE_HOST_PATH, KESTREL_LIBRARY_PATH, "listen", "3", report}, dir_b.Path().string(),
                               to_listener[0], from_listener[1]);
  close(to_listener[0]);
  close(from_listener[1]);
  ASSERT_GT(listener, 0);

  // The sender starts once the listener's modem is armed.
  const std::string said = ReadLine(from_listener[0], 20000);
  close(from_listener[0]);
  if (said != "ready\n") close(to_listener[1]);
  ASSERT_EQ(said, "ready\n");

  const pid_t sender =
      Spawn({GATE_HOST_PATH, KESTREL_LIBRARY_PATH, "send", "102", "3", "4000"}, dir_a.Path().string(), -1, -1);
  ASSERT_GT(sender, 0);
  EXPECT_EQ(Join(sender), 0) << "every packet confirmed";
  close(to_listener[1]);
  EXPECT_EQ(Join(listener), 0);

  // Each packet once, as the sender made it.
  std::istringstream lines(ReadFile(report));
  std::vector<int> numbers;
  int number = 0, size = 0;
  unsigned sum = 0;
  while (lines >> number >> size >> sum) {
    numbers.push_back(number);
    EXPECT_EQ(size, 4000);
    unsigned want = 0;
    for (int i = 0; i < size; ++i) want = want * 31 + static_cast<unsigned char>(static_cast<char>(number * 7 + i * 13));
    EXPECT_EQ(sum, want) << "packet " << number;
  }
  EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace kestrel::e2e
