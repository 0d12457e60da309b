#include "platform/PtyPeer.h"
#include "platform/Tick.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

extern char** environ;

namespace kestrel::platform {
namespace {



// Waits for the child with a deadline. A pidfd makes the wait a plain poll;
// kernels without one get a wait that looks every 10 ms.
bool WaitChild(pid_t pid, int& status, std::uint32_t timeout_ms) {
  const TDeadline deadline(timeout_ms);
#ifdef SYS_pidfd_open
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    int rc = 0;
    do {
      rc = ::poll(&p, 1, deadline.LeftForWait());
    } while (rc < 0 && errno == EINTR);
    ::close(pidfd);
    return rc > 0 && ::waitpid(pid, &status, 0) == pid;
  }
#endif
  for (;;) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return true;
    if (deadline.Passed()) return false;
    ::poll(nullptr, 0, 10);
  }
}

}  // namespace

std::unique_ptr<TPtyPeer> TPtyPeer::Open(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + ::strerror(errno);
    return nullptr;
  }
  termios t{};
  if (::tcgetattr(fd, &t) == 0) {
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &t);
  }
  return std::unique_ptr<TPtyPeer>(new TPtyPeer(fd));
}

TPtyPeer::~TPtyPeer() { Close(); }

void TPtyPeer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool TPtyPeer::Write(std::string_view bytes, std::uint32_t timeout_ms) {
  const TDeadline deadline(timeout_ms);
  while (!bytes.empty() && fd_ >= 0) {
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, deadline.LeftForWait()) <= 0) return false;
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
    if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return bytes.empty();
}

std::string TPtyPeer::ReadUntil(std::string_view needle, std::uint32_t timeout_ms) {
  const TDeadline deadline(timeout_ms);
  std::string got;
  while (fd_ >= 0 && (needle.empty() || got.find(needle) == std::string::npos)) {
    pollfd p{fd_, POLLIN, 0};
    const int rc = ::poll(&p, 1, deadline.LeftForWait());
    if (rc <= 0) break;
    char buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

std::string TPtyPeer::ReadFor(std::uint32_t duration_ms) { return ReadUntil({}, duration_ms); }

std::string TPtyPeer::ReadCount(std::size_t count, std::uint32_t timeout_ms) {
  const TDeadline deadline(timeout_ms);
  std::string got;
  while (fd_ >= 0 && got.size() < count) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, deadline.LeftForWait()) <= 0) break;
    char buf[4096];
    const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

int TPtyPeer::RunProgram(const std::vector<std::string>& argv, std::uint32_t timeout_ms) {
  if (argv.empty() || fd_ < 0) return -1;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, fd_, 0);
  ::posix_spawn_file_actions_adddup2(&actions, fd_, 1);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (!WaitChild(pid, status, timeout_ms)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool IsExecutable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

}  // namespace kestrel::platform
