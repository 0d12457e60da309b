#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "platform/ChildProcess.h"
#include "platform/Tick.h"

extern char** environ;

namespace kestrel::platform {
namespace {



std::string Reason(const char* what, int code) { return std::string(what) + ": " + ::strerror(code); }

}  // namespace

std::unique_ptr<TChildProcess> TChildProcess::Start(const TStartInfo& desc, std::string& error) {
  if (desc.argv.empty()) {
    error = "no program to start";
    return nullptr;
  }
  // The environment: the parent's, without the variables the description sets.
  std::set<std::string> replaced;
  for (const auto& [name, value] : desc.env) replaced.insert(name);
  std::vector<std::string> env_store;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry(*e);
    if (replaced.count(entry.substr(0, entry.find('='))) == 0) env_store.push_back(entry);
  }
  for (const auto& [name, value] : desc.env)
    if (!value.empty()) env_store.push_back(name + "=" + value);
  std::vector<char*> env;
  for (auto& s : env_store) env.push_back(s.data());
  env.push_back(nullptr);
  std::vector<std::string> arg_store = desc.argv;
  std::vector<char*> argv;
  for (auto& s : arg_store) argv.push_back(s.data());
  argv.push_back(nullptr);

  int pipe_fds[2] = {-1, -1};
  // O_CLOEXEC keeps both ends out of this and every other child; the dup2
  // below gives this child the write end as its output only.
  if (desc.capture_output && ::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    error = Reason("cannot make a pipe", errno);
    return nullptr;
  }
  int in_fds[2] = {-1, -1};
  if (desc.input_pipe && ::pipe2(in_fds, O_CLOEXEC) != 0) {
    error = Reason("cannot make a pipe", errno);
    if (desc.capture_output) {
      ::close(pipe_fds[0]);
      ::close(pipe_fds[1]);
    }
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  if (desc.input_pipe) ::posix_spawn_file_actions_adddup2(&actions, in_fds[0], STDIN_FILENO);
  if (desc.capture_output) {
    ::posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    if (desc.merge_error) ::posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
  }
  posix_spawnattr_t attr;
  ::posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  ::posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  ::posix_spawnattr_setsigdefault(&attr, &defaults);
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), env.data());
  ::posix_spawnattr_destroy(&attr);
  ::posix_spawn_file_actions_destroy(&actions);
  if (desc.capture_output) ::close(pipe_fds[1]);
  if (desc.input_pipe) ::close(in_fds[0]);
  if (rc != 0) {
    if (desc.capture_output) ::close(pipe_fds[0]);
    if (desc.input_pipe) ::close(in_fds[1]);
    error = Reason(("cannot start " + desc.argv[0]).c_str(), rc);
    return nullptr;
  }
  return std::unique_ptr<TChildProcess>(new TChildProcess(pid, pipe_fds[0], in_fds[1]));
}

TChildProcess::~TChildProcess() {
  CloseInput();
  if (!ended_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (out_fd_ >= 0) ::close(out_fd_);
}

TChildProcess::TRead TChildProcess::ReadLine(std::string& line, std::uint32_t timeout_ms) {
  const TDeadline deadline(timeout_ms);
  for (;;) {
    const std::size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return TRead::Line;
    }
    if (out_fd_ < 0) {
      if (pending_.empty()) return TRead::End;
      line = std::move(pending_);
      pending_.clear();
      return TRead::Line;
    }
    pollfd p{out_fd_, POLLIN, 0};
    const int rc = ::poll(&p, 1, deadline.LeftForWait());
    if (rc < 0 && errno == EINTR) continue;
    if (rc == 0) return TRead::Timeout;
    char buf[4096];
    const ssize_t n = ::read(out_fd_, buf, sizeof buf);
    if (n > 0) {
      pending_.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
      ::close(out_fd_);
      out_fd_ = -1;
    }
  }
}

void TChildProcess::CloseInput() {
  if (in_fd_ >= 0) ::close(in_fd_);
  in_fd_ = -1;
}

void TChildProcess::RequestStop() {
  if (!ended_) ::kill(pid_, SIGTERM);
}

void TChildProcess::Interrupt() {
  if (!ended_) ::kill(pid_, SIGINT);
}

void TChildProcess::Kill() {
  if (!ended_) ::kill(pid_, SIGKILL);
}

bool TChildProcess::Wait(std::uint32_t timeout_ms) {
  if (ended_) return true;
  int status = 0;
  rusage usage{};
  bool done = false;
#ifdef SYS_pidfd_open
  // A pidfd turns the wait into a plain poll with a deadline.
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
  if (pidfd >= 0) {
    const TDeadline deadline(timeout_ms);
    pollfd p{pidfd, POLLIN, 0};
    int rc = 0;
    do {
      rc = ::poll(&p, 1, deadline.LeftForWait());
    } while (rc < 0 && errno == EINTR);
    ::close(pidfd);
    if (rc <= 0) return false;
    while (::wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    done = true;
  }
#endif
  if (!done) {
    // Kernels without pidfds: look every 10 ms until the deadline.
    const TDeadline deadline(timeout_ms);
    for (;;) {
      if (::wait4(pid_, &status, WNOHANG, &usage) == pid_) break;
      if (deadline.Passed()) return false;
      ::poll(nullptr, 0, 10);
    }
  }
  ended_ = true;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  cpu_seconds_ = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  return true;
}

}  // namespace kestrel::platform
