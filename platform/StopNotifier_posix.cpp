#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <system_error>
#include <thread>

#include "platform/ScopeExit.h"
#include "platform/StopNotifier.h"

namespace kestrel::platform {

// The signals arrive on a signalfd (they are blocked in every thread, so
// nothing else takes them) and the destructor wakes the thread through an
// eventfd: the thread sleeps in poll until one of the two has something.
struct TStopNotifier::TImpl {
  int signal_fd = -1;
  int wake_fd = -1;
  bool watch_input = false;
  std::function<void(const std::string&)> on_stop;
  std::thread thread;

  void Run() {
    // The input is watched until its end: a negative descriptor is passed over by poll.
    pollfd fds[3] = {{signal_fd, POLLIN, 0}, {wake_fd, POLLIN, 0}, {watch_input ? STDIN_FILENO : -1, POLLIN, 0}};
    for (;;) {
      const int rc = ::poll(fds, 3, -1);
      if (rc < 0 && errno == EINTR) continue;
      if (rc < 0 || (fds[1].revents & POLLIN) != 0) return;
      if (fds[2].revents != 0) {
        char drop[256];
        const ssize_t n = ::read(STDIN_FILENO, drop, sizeof drop);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
          fds[2].fd = -1;
          on_stop("end of input");
        }
        continue;
      }
      if ((fds[0].revents & POLLIN) == 0) continue;
      signalfd_siginfo info{};
      if (::read(signal_fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) continue;
      on_stop(info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM");
    }
  }
};

TStopNotifier::TStopNotifier(std::function<void(const std::string&)> on_stop, bool watch_input)
    : impl_(std::make_unique<TImpl>()) {
  impl_->watch_input = watch_input;
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  impl_->signal_fd = ::signalfd(-1, &set, SFD_CLOEXEC);
  if (impl_->signal_fd < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
  impl_->wake_fd = ::eventfd(0, EFD_CLOEXEC);
  if (impl_->wake_fd < 0) {
    const int code = errno;
    ::close(impl_->signal_fd);
    throw std::system_error(code, std::generic_category(), "eventfd");
  }
  impl_->on_stop = std::move(on_stop);
  // Without its thread the notifier is not made: the descriptors go again.
  TScopeExit close_both([&] {
    ::close(impl_->signal_fd);
    ::close(impl_->wake_fd);
  });
  impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
  close_both.Dismiss();
}

TStopNotifier::~TStopNotifier() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(impl_->wake_fd, &one, sizeof one);
  impl_->thread.join();
  ::close(impl_->signal_fd);
  ::close(impl_->wake_fd);
}

}  // namespace kestrel::platform
