#include "platform/Pty.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace kestrel::platform {
namespace {

std::string ErrnoText(const std::string& what, int err) { return what + ": " + ::strerror(err); }

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool MasterHungUp(int master) {
  pollfd p{master, 0, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
}

std::string ReadLink(const std::string& path) {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
  return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace

struct TPtyLine::TImpl {
  TOptions options;
  std::string link_path;
  std::string slave_path;
  int master = -1;
  int wake_read = -1;
  int wake_write = -1;
  int notify = -1;  // inotify on the slave node; -1 when the system gives none

  mutable std::mutex mutex;
  std::deque<char> in;
  std::deque<char> out;
  std::atomic<bool> slave_open{false};
  std::atomic<std::uint32_t> closes{0};
  std::atomic<std::uint64_t> wakeups{0};
  std::atomic<bool> stop{false};

  std::mutex callback_mutex;
  std::function<void()> callback;
  std::thread thread;

  ~TImpl() {
    CloseFd(master);
    CloseFd(wake_read);
    CloseFd(wake_write);
    CloseFd(notify);
  }

  void Wake() {
    const char b = 1;
    // A full pipe already holds a wake-up; nothing is lost when this fails.
    [[maybe_unused]] const ssize_t n = ::write(wake_write, &b, 1);
  }

  void Notify() {
    std::lock_guard lock(callback_mutex);
    if (callback) callback();
  }

  // Reads what the slave side wrote. `all` ignores the capacity: after a
  // hang-up the last bytes are taken whatever the buffer holds, or they
  // would be left for the next process to open the slave.
  bool ReadMaster(bool all) {
    bool got = false;
    char buf[1024];
    for (;;) {
      std::size_t room = sizeof buf;
      if (!all) {
        std::lock_guard lock(mutex);
        room = in.size() >= options.in_capacity ? 0 : std::min(room, options.in_capacity - in.size());
      }
      if (room == 0) break;
      const ssize_t n = ::read(master, buf, room);
      if (n <= 0) break;  // EAGAIN: nothing more now; EIO: the slave is closed
      std::lock_guard lock(mutex);
      in.insert(in.end(), buf, buf + n);
      got = true;
    }
    return got;
  }

  bool WriteMaster() {
    bool wrote = false;
    char buf[1024];
    for (;;) {
      std::size_t n = 0;
      {
        std::lock_guard lock(mutex);
        n = std::min(out.size(), sizeof buf);
        std::copy_n(out.begin(), n, buf);
      }
      if (n == 0) break;
      const ssize_t w = ::write(master, buf, n);
      if (w <= 0) break;
      std::lock_guard lock(mutex);
      out.erase(out.begin(), out.begin() + std::min<std::size_t>(static_cast<std::size_t>(w), out.size()));
      wrote = true;
    }
    return wrote;
  }

  // Drops what the last process left unread in the slave's input queue. That
  // needs a descriptor of the slave, so it opens one for a moment; the
  // notifications this causes are read and ignored by the caller.
  void FlushSlaveInput() {
    const int fd = ::open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    ::tcflush(fd, TCIFLUSH);
    ::close(fd);
  }

  struct TNotes {
    std::uint32_t reopens = 0;  // times the last holder closed the slave and somebody opened it again
  };

  // What the notifications read so far say: how many descriptors hold the
  // slave open, and whether the last of them closed it with no open since.
  // This outlives one batch of notifications: a close and the open after it
  // may be read in two batches, and the hang-up between them may be over
  // before the master is asked. (Two opens that come before either is read
  // reach us as one notification; only a second holder makes that matter.)
  int holders = 0;
  bool close_pending = false;

  TNotes ReadNotifications() {
    TNotes notes;
    if (notify < 0) return notes;
    alignas(inotify_event) char buf[4096];
    for (;;) {
      const ssize_t n = ::read(notify, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t off = 0; off < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
        if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
          // A close with nobody counted is taken for the last: after a
          // hang-up the count starts again from nobody, even if an open
          // came meanwhile and its notification is already read.
          if (holders > 0) --holders;
          if (holders == 0) close_pending = true;
        }
        if (e->mask & IN_OPEN) {
          ++holders;
          if (close_pending) ++notes.reopens;
          close_pending = false;
        }
        off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    return notes;
  }

  void DropQueuedOutput() {
    std::lock_guard lock(mutex);
    out.clear();
  }

  // The slave was seen closed (the master hung up): one drop.
  void MarkClosed() {
    ReadMaster(true);
    DropQueuedOutput();
    // Counted before the line reads closed: whoever sees it closed also sees the drop.
    ++closes;
    slave_open = false;
    FlushSlaveInput();
    // The flush's own open and close, and the close just counted, are read
    // and set aside; an open that came meanwhile is seen on the master.
    ReadNotifications();
    close_pending = false;
    holders = 0;
  }

  void Run() {
    slave_open = !MasterHungUp(master);
    while (!stop) {
      pollfd fds[3];
      nfds_t count = 0;
      fds[count++] = {wake_read, POLLIN, 0};
      if (notify >= 0) fds[count++] = {notify, POLLIN, 0};
      const bool open = slave_open;
      const nfds_t master_index = count;
      if (open) {
        short events = 0;
        {
          std::lock_guard lock(mutex);
          if (in.size() < options.in_capacity) events |= POLLIN;
          if (!out.empty()) events |= POLLOUT;
        }
        // Even with no events asked for, a hang-up is reported.
        fds[count++] = {master, events, 0};
      }
      // A closed slave reports POLLHUP on the master without end, so the
      // master is left out then; without open notifications, look every 100 ms.
      const int timeout = open || notify >= 0 ? -1 : 100;
      const int rc = ::poll(fds, count, timeout);
      ++wakeups;
      if (rc < 0 && errno != EINTR) break;
      if (fds[0].revents & POLLIN) {
        char drain[64];
        while (::read(wake_read, drain, sizeof drain) > 0) {
        }
      }
      if (stop) break;

      bool activity = false;
      if (open) {
        const short rev = rc > 0 ? fds[master_index].revents : 0;
        if (rev & (POLLIN | POLLERR)) activity |= ReadMaster(false);
        if (rev & POLLOUT) activity |= WriteMaster();
      }
      const TNotes notes = ReadNotifications();
      if (notes.reopens > 0) {
        // Closed and opened again before a hang-up could be seen: still DTR drops.
        DropQueuedOutput();
        closes += notes.reopens;
        activity = true;
      }
      if (slave_open && MasterHungUp(master)) {
        MarkClosed();
        activity = true;
        if (!MasterHungUp(master)) slave_open = true;
      } else if (!slave_open && !MasterHungUp(master)) {
        slave_open = true;
        activity = true;
      }
      if (activity) Notify();
    }
  }
};

TPtyLine::TPtyLine(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<TPtyLine> TPtyLine::Create(const std::string& link_path, std::string& error, TOptions options) {
  auto impl = std::make_unique<TImpl>();
  impl->options = options;
  if (impl->options.in_capacity == 0) impl->options.in_capacity = 1;
  impl->link_path = link_path;

  impl->master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (impl->master < 0) {
    error = ErrnoText("posix_openpt", errno);
    return nullptr;
  }
  char name[128];
  if (::grantpt(impl->master) != 0 || ::unlockpt(impl->master) != 0 ||
      ::ptsname_r(impl->master, name, sizeof name) != 0) {
    error = ErrnoText("pseudo-terminal set-up", errno);
    return nullptr;
  }
  impl->slave_path = name;
  ::fcntl(impl->master, F_SETFD, FD_CLOEXEC);
  ::fcntl(impl->master, F_SETFL, ::fcntl(impl->master, F_GETFL) | O_NONBLOCK);
  termios t{};
  if (::tcgetattr(impl->master, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(impl->master, TCSANOW, &t);
  }

  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_NONBLOCK | O_CLOEXEC) != 0) {
    error = ErrnoText("pipe", errno);
    return nullptr;
  }
  impl->wake_read = pipe_fds[0];
  impl->wake_write = pipe_fds[1];

  // A slave that was never opened does not make the master report a hang-up,
  // so it would look open. Opening and closing it once settles that, before
  // anything watches it.
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave >= 0) ::close(slave);

  impl->notify = options.watch_opens ? ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC) : -1;
  if (impl->notify >= 0 &&
      ::inotify_add_watch(impl->notify, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
    CloseFd(impl->notify);
  }

  if (!link_path.empty()) {
    struct stat st {};
    if (::lstat(link_path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
      error = link_path + ": exists and is not a symbolic link";
      return nullptr;
    }
    // Made under a temporary name and renamed, so the link is replaced in one step.
    const std::string temp = link_path + ".new" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0) {
      error = ErrnoText("symlink " + link_path, errno);
      return nullptr;
    }
    if (::rename(temp.c_str(), link_path.c_str()) != 0) {
      error = ErrnoText("rename " + temp, errno);
      ::unlink(temp.c_str());
      return nullptr;
    }
  }

  TImpl* raw = impl.get();
  impl->thread = std::thread([raw] { raw->Run(); });
  return std::unique_ptr<TPtyLine>(new TPtyLine(std::move(impl)));
}

TPtyLine::~TPtyLine() {
  impl_->stop = true;
  impl_->Wake();
  if (impl_->thread.joinable()) impl_->thread.join();
  if (!impl_->link_path.empty() && ReadLink(impl_->link_path) == impl_->slave_path) ::unlink(impl_->link_path.c_str());
}

const std::string& TPtyLine::LinkPath() const { return impl_->link_path; }
const std::string& TPtyLine::SlavePath() const { return impl_->slave_path; }

std::size_t TPtyLine::Read(void* data, std::size_t size) {
  bool was_full = false;
  std::size_t n = 0;
  {
    std::lock_guard lock(impl_->mutex);
    was_full = impl_->in.size() >= impl_->options.in_capacity;
    n = std::min(size, impl_->in.size());
    std::copy_n(impl_->in.begin(), n, static_cast<char*>(data));
    impl_->in.erase(impl_->in.begin(), impl_->in.begin() + static_cast<std::ptrdiff_t>(n));
  }
  if (was_full && n > 0) impl_->Wake();  // the I/O thread may read from the master again
  return n;
}

std::size_t TPtyLine::Pending() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->in.size();
}

std::size_t TPtyLine::Write(const void* data, std::size_t size) {
  if (!impl_->slave_open) return size;
  bool was_empty = false;
  std::size_t n = 0;
  {
    std::lock_guard lock(impl_->mutex);
    was_empty = impl_->out.empty();
    const std::size_t room =
        impl_->out.size() >= impl_->options.out_capacity ? 0 : impl_->options.out_capacity - impl_->out.size();
    n = std::min(size, room);
    const char* p = static_cast<const char*>(data);
    impl_->out.insert(impl_->out.end(), p, p + n);
  }
  if (was_empty && n > 0) impl_->Wake();
  return n;
}

bool TPtyLine::SlaveOpen() const { return impl_->slave_open; }
std::uint32_t TPtyLine::SlaveCloses() const { return impl_->closes; }
std::uint64_t TPtyLine::Wakeups() const { return impl_->wakeups; }

void TPtyLine::SetOnActivity(std::function<void()> callback) {
  std::lock_guard lock(impl_->callback_mutex);
  impl_->callback = std::move(callback);
}

}  // namespace kestrel::platform
