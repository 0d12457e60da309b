// The posix backend: termios serial devices and pseudo-terminals.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "platform/PortBaud_linux.h"
#include "platform/PortDevice.h"
#include "platform/PortTermios.h"
#include "platform/Tick.h"

namespace kestrel::platform {
namespace {

constexpr std::uint32_t kNoLimit = 0xFFFFFFFFu;
// A real device cannot wake poll() on a modem line change, and TIOCMIWAIT
// has no time-out; a wait that watches lines looks at them this often.
constexpr std::uint32_t kLineSliceMs = 10;

struct TSpeed {
  std::uint32_t rate;
  speed_t code;
};
constexpr TSpeed kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool StandardSpeed(std::uint32_t rate, speed_t& code) {
  for (const auto& s : kSpeeds)
    if (s.rate == rate) {
      code = s.code;
      return true;
    }
  return false;
}

constexpr tcflag_t kFramingBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

class TPosixDevice final : public TPortDevice {
 public:
  TPosixDevice(int fd, int wake_read, int wake_write, bool virtual_lines)
      : fd_(fd), wake_read_(wake_read), wake_write_(wake_write), virtual_lines_(virtual_lines) {}

  std::uint32_t SetState(const TPortDcb& dcb) override {
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return Errno();
    BuildTermios(dcb, t);
    // A separate input rate (left by an earlier custom rate) would outlive
    // the classic rate set below.
    t.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
    speed_t code = B38400;
    const bool custom = !StandardSpeed(dcb.baud_rate, code);
    if (::cfsetispeed(&t, code) != 0 || ::cfsetospeed(&t, code) != 0) return Errno();
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return Errno();
    if (custom)
      if (const int e = SetCustomBaudRate(fd_, dcb.baud_rate); e != 0) return static_cast<std::uint32_t>(e);
    // tcsetattr succeeds when any part of a request was taken; a device that
    // silently dropped a framing setting or could not reach the rate must
    // fail here, as SetCommState fails for what the driver cannot do. A
    // pseudo-terminal has no wire: the kernel pins it to eight bits without
    // parity, and no framing can be wrong on it.
    if (!virtual_lines_) {
      termios back{};
      if (::tcgetattr(fd_, &back) != 0) return Errno();
      if ((back.c_cflag & kFramingBits) != (t.c_cflag & kFramingBits)) return EINVAL;
      std::uint32_t in = 0, out = 0;
      if (const int e = GetBaudRates(fd_, in, out); e != 0) return static_cast<std::uint32_t>(e);
      if (!Near(in, dcb.baud_rate) || !Near(out, dcb.baud_rate)) return EINVAL;
    }

    const bool dtr = dcb.dtr_control != TPortDcb::TDtrControl::kDisable;
    const bool rts = dcb.rts_control != TPortDcb::TRtsControl::kDisable;
    if (virtual_lines_) {
      std::lock_guard lock(mutex_);
      dtr_ = dtr;
      rts_ = rts;
      return 0;
    }
    const int dtr_bit = TIOCM_DTR, rts_bit = TIOCM_RTS;
    if (::ioctl(fd_, dtr ? TIOCMBIS : TIOCMBIC, &dtr_bit) != 0) return Errno();
    if (::ioctl(fd_, rts ? TIOCMBIS : TIOCMBIC, &rts_bit) != 0) return Errno();
    return 0;
  }

  std::uint32_t SetupComm(std::uint32_t in_size, std::uint32_t out_size) override {
    // The kernel's receive buffer is its own; only the transmit count is
    // bounded by what the caller set up.
    (void)in_size;
    std::lock_guard lock(mutex_);
    out_size_ = out_size;
    return 0;
  }

  std::uint32_t SetTimeouts(const TPortTimeouts& timeouts) override {
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    return 0;
  }

  std::uint32_t Purge(std::uint32_t flags) override {
    const bool rx = (flags & kPurgeRxClear) != 0, tx = (flags & kPurgeTxClear) != 0;
    if ((rx || tx) && ::tcflush(fd_, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0) return Errno();
    if ((flags & (kPurgeRxAbort | kPurgeTxAbort)) != 0) {
      abort_seq_.fetch_add(1);
      Wake();
    }
    return 0;
  }

  std::uint32_t ClearError(std::uint32_t& errors, TPortQueueStat& stat) override {
    // termios keeps no line error flags to clear; errors it sees are dropped
    // bytes, which the driver ignores anyway.
    errors = 0;
    int in = 0, out = 0;
    if (::ioctl(fd_, FIONREAD, &in) != 0) return Errno();
    // A pseudo-terminal's TIOCOUTQ is always 0: spare the call on the
    // driver's hot path.
    if (!virtual_lines_ && ::ioctl(fd_, TIOCOUTQ, &out) != 0) return Errno();
    std::lock_guard lock(mutex_);
    stat.in_queue = static_cast<std::uint32_t>(in < 0 ? 0 : in);
    // The kernel's transmit buffer may be larger than the queue the caller
    // set up; a count above it would make "free space" negative.
    stat.out_queue = std::min(static_cast<std::uint32_t>(out < 0 ? 0 : out), out_size_);
    return 0;
  }

  bool VirtualLines() const override { return virtual_lines_; }

  std::uint32_t ModemStatus(std::uint32_t& status) override {
    if (virtual_lines_) {
      const bool hung = CheckHangUp();
      status = kModemCtsOn | kModemDsrOn | (hung ? 0 : kModemRlsdOn);
      return 0;
    }
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) != 0) return Errno();
    status = ((lines & TIOCM_CTS) ? kModemCtsOn : 0) | ((lines & TIOCM_DSR) ? kModemDsrOn : 0) |
             ((lines & TIOCM_RNG) ? kModemRingOn : 0) | ((lines & TIOCM_CAR) ? kModemRlsdOn : 0);
    return 0;
  }

  std::uint32_t Read(void* data, std::uint32_t size, std::uint32_t& done) override {
    for (;;) {
      const ssize_t n = ::read(fd_, data, size);
      if (n > 0) {
        done = static_cast<std::uint32_t>(n);
        return 0;
      }
      if (n == 0) {  // end of file: the far end of a pseudo-terminal has gone
        SetHungUp();
        return 0;
      }
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
      const std::uint32_t e = Errno();
      if (e == EIO) SetHungUp();
      return e;
    }
  }

  std::uint32_t Write(const void* data, std::uint32_t size, std::uint32_t& done) override {
    TPortTimeouts timeouts;
    {
      std::lock_guard lock(mutex_);
      timeouts = timeouts_;
    }
    const std::uint32_t limit = WriteTimeoutMs(timeouts, size);
    const std::uint32_t start = GetTickCount();
    const std::uint64_t abort_seen = abort_seq_.load();
    for (;;) {
      const ssize_t n = ::write(fd_, data, size);
      if (n > 0) {
        done = static_cast<std::uint32_t>(n);
        return 0;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        const std::uint32_t e = Errno();
        if (e == EIO) SetHungUp();
        return e;
      }
      const std::uint32_t left = limit == kNoLimit ? kNoLimit : Remaining(start, GetTickCount(), limit);
      short revents = 0;
      std::uint32_t error = 0;
      switch (PollFor(POLLOUT, left, abort_seen, revents, error)) {
        case TPoll::kDevice:
          if ((revents & (POLLHUP | POLLERR)) != 0) {
            SetHungUp();
            return EIO;
          }
          continue;
        case TPoll::kError: return error;
        case TPoll::kWoken:
        case TPoll::kTimeout: return 0;
      }
    }
  }

  TPortWait WaitReceive(std::uint32_t timeout_ms, const std::uint32_t* lines_seen, std::uint32_t& error) override {
    const std::uint64_t abort_seen = abort_seq_.load();
    if (lines_seen != nullptr) {
      std::uint32_t now = 0;
      if (const std::uint32_t e = ModemStatus(now); e != 0) {
        error = e;
        return TPortWait::kError;
      }
      if (now != *lines_seen) return TPortWait::kLineChange;
    }
    if (HungUp()) return SleepAfterHangUp(timeout_ms, abort_seen, error);
    // A pseudo-terminal's only line event is the hang-up, which poll reports.
    const bool slice = lines_seen != nullptr && !virtual_lines_;
    const std::uint32_t start = GetTickCount();
    for (;;) {
      const std::uint32_t left = timeout_ms == kNoLimit ? kNoLimit : Remaining(start, GetTickCount(), timeout_ms);
      short revents = 0;
      switch (PollFor(POLLIN, slice ? std::min(left, kLineSliceMs) : left, abort_seen, revents, error, true)) {
        case TPoll::kDevice:
          // A hang-up first: after it poll reports POLLHUP at once forever,
          // and whatever is still readable is taken by the caller's next count.
          if ((revents & (POLLHUP | POLLERR)) != 0) {
            SetHungUp();
            return TPortWait::kLineChange;
          }
          return TPortWait::kReady;
        case TPoll::kWoken: return ReceiveWoken();
        case TPoll::kError: return TPortWait::kError;
        case TPoll::kTimeout: break;
      }
      if (slice) {
        std::uint32_t now = 0;
        if (const std::uint32_t e = ModemStatus(now); e != 0) {
          error = e;
          return TPortWait::kError;
        }
        if (now != *lines_seen) return TPortWait::kLineChange;
      }
      if (timeout_ms != kNoLimit && Remaining(start, GetTickCount(), timeout_ms) == 0) return TPortWait::kTimeout;
    }
  }

  TPortWait WaitTransmit(std::uint32_t timeout_ms, std::uint32_t& error) override {
    const std::uint64_t abort_seen = abort_seq_.load();
    // A hung-up device takes no more bytes; the caller's write says why.
    if (HungUp()) return TPortWait::kLineChange;
    short revents = 0;
    switch (PollFor(POLLOUT, timeout_ms, abort_seen, revents, error)) {
      case TPoll::kDevice:
        if ((revents & (POLLHUP | POLLERR)) != 0) {
          SetHungUp();
          return TPortWait::kLineChange;
        }
        return TPortWait::kReady;
      case TPoll::kWoken: return TPortWait::kAborted;
      case TPoll::kError: return TPortWait::kError;
      case TPoll::kTimeout: break;
    }
    return TPortWait::kTimeout;
  }

  void Abort() override {
    aborted_.store(true);
    Wake();
  }

  void WakeReceive() override {
    receive_woken_.store(true);
    Wake();
  }

  void Close() override {
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // releases the flock; HUPCL drops DTR
    ::close(wake_read_);
    ::close(wake_write_);
  }

 private:
  enum class TPoll { kDevice, kWoken, kTimeout, kError };

  static std::uint32_t Errno() { return static_cast<std::uint32_t>(errno); }
  static bool Near(std::uint32_t actual, std::uint32_t wanted) {
    const std::uint64_t diff = actual > wanted ? actual - wanted : wanted - actual;
    return diff * 50 <= wanted;  // within 2 %, what a UART divisor can miss by
  }

  // A receive wait ended by a wake: the wake is taken.
  TPortWait ReceiveWoken() {
    receive_woken_.store(false);
    return TPortWait::kAborted;
  }

  void Wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_write_, &byte, 1);  // a full pipe is awake already
  }

  bool Woken(std::uint64_t abort_seen) const { return aborted_.load() || abort_seq_.load() != abort_seen; }
  bool Woken(std::uint64_t abort_seen, bool receiving) const {
    return Woken(abort_seen) || (receiving && receive_woken_.load());
  }

  // Waits for `events` on the device (or, with events 0, only for a wake),
  // for a wake by Abort or an aborting purge, or for `timeout_ms`.
  TPoll PollFor(short events, std::uint32_t timeout_ms, std::uint64_t abort_seen, short& revents,
                std::uint32_t& error, bool receiving = false) {
    const std::uint32_t start = GetTickCount();
    for (;;) {
      if (Woken(abort_seen, receiving)) return TPoll::kWoken;
      const std::uint32_t left = timeout_ms == kNoLimit ? kNoLimit : Remaining(start, GetTickCount(), timeout_ms);
      pollfd fds[2] = {{wake_read_, POLLIN, 0}, {fd_, events, 0}};
      const int rc = ::poll(fds, events != 0 ? 2 : 1, left == kNoLimit ? -1 : static_cast<int>(std::min(left, 1u << 30)));
      if (rc < 0) {
        if (errno == EINTR) continue;
        error = Errno();
        return TPoll::kError;
      }
      if (events != 0 && fds[1].revents != 0) {
        revents = fds[1].revents;
        return TPoll::kDevice;
      }
      if ((fds[0].revents & POLLIN) != 0) {
        if (Woken(abort_seen, receiving)) return TPoll::kWoken;
        // A wake meant for an earlier wait: drain it, or every later poll
        // would return at once.
        char buf[64];
        while (::read(wake_read_, buf, sizeof buf) > 0) {
        }
        continue;
      }
      if (rc == 0 && (left == 0 || Remaining(start, GetTickCount(), timeout_ms) == 0)) return TPoll::kTimeout;
    }
  }

  // After a hang-up poll reports POLLHUP at once and forever; a wait then only
  // sleeps out its time (or until woken), never spins.
  TPortWait SleepAfterHangUp(std::uint32_t timeout_ms, std::uint64_t abort_seen, std::uint32_t& error) {
    short revents = 0;
    switch (PollFor(0, timeout_ms, abort_seen, revents, error, true)) {
      case TPoll::kWoken: return ReceiveWoken();
      case TPoll::kError: return TPortWait::kError;
      default: return TPortWait::kTimeout;
    }
  }

  bool HungUp() {
    std::lock_guard lock(mutex_);
    return hung_up_;
  }
  void SetHungUp() {
    std::lock_guard lock(mutex_);
    hung_up_ = true;
  }
  // Pseudo-terminals have no carrier line: the far end's close is the carrier loss.
  bool CheckHangUp() {
    if (HungUp()) return true;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) SetHungUp();
    return HungUp();
  }

  const int fd_;
  const int wake_read_;
  const int wake_write_;
  const bool virtual_lines_;
  std::atomic<bool> aborted_{false};
  std::atomic<bool> receive_woken_{false};  // a WakeReceive not yet taken by a receive wait
  std::atomic<std::uint64_t> abort_seq_{0};
  std::mutex mutex_;  // guards the fields below
  TPortTimeouts timeouts_;
  std::uint32_t out_size_ = 4096;
  bool hung_up_ = false;
  bool dtr_ = false;  // requested lines of a device without real ones
  bool rts_ = false;
};

}  // namespace

std::unique_ptr<TPortDevice> OpenSystemDevice(const std::string& path, std::uint32_t& error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = static_cast<std::uint32_t>(errno);
    return nullptr;
  }
  auto fail = [&](std::uint32_t code) -> std::unique_ptr<TPortDevice> {
    ::close(fd);
    error = code;
    return nullptr;
  };
  // flock holds against root too, where TIOCEXCL does not.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return fail(errno == EWOULDBLOCK ? kErrorBusy : static_cast<std::uint32_t>(errno));
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return fail(static_cast<std::uint32_t>(errno));
  ::ioctl(fd, TIOCEXCL);
  // Raw at once, so that nothing is echoed or translated before the owner
  // applies its settings.
  TPortDcb raw;
  raw.byte_size = static_cast<std::uint8_t>((t.c_cflag & CSIZE) == CS8 ? 8 : (t.c_cflag & CSIZE) == CS7 ? 7
                                                                        : (t.c_cflag & CSIZE) == CS6 ? 6 : 5);
  BuildTermios(raw, t);
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return fail(static_cast<std::uint32_t>(errno));
  int lines = 0;
  const bool virtual_lines = ::ioctl(fd, TIOCMGET, &lines) != 0 && (errno == ENOTTY || errno == EINVAL);
  int wake[2];
  if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) return fail(static_cast<std::uint32_t>(errno));
  return std::make_unique<TPosixDevice>(fd, wake[0], wake[1], virtual_lines);
}

}  // namespace kestrel::platform
