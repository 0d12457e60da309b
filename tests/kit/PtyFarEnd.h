// The far end of a pseudo-terminal pair whose slave the port layer opens:
// its master (POSIX systems).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace kestrel::testing {

class TPtyFarEnd {
 public:
  static constexpr bool kHasOutQueue = false;  // TIOCOUTQ of a pseudo-terminal is always 0
  // As the system's far end (SystemFarEnd.h): always there, hangs up, tells room.
  static bool Available() { return true; }
  static bool CanHangUp() { return true; }
  static bool TellsRoom() { return true; }
  TPtyFarEnd() {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    port_name_ = ::ttyname(slave_);
    termios t{};
    ::tcgetattr(master_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(master_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~TPtyFarEnd() { HangUp(); }
  const std::string& PortName() const { return port_name_; }
  // What the master took at once.
  std::size_t Write(const void* data, std::size_t size) { return Done(::write(master_, data, size)); }
  std::size_t Write(std::string_view text) { return Write(text.data(), text.size()); }
  std::size_t Read(void* data, std::size_t size, std::uint32_t timeout_ms) {
    pollfd p{master_, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout_ms)) <= 0 ? 0 : Done(::read(master_, data, size));
  }
  // The master goes and with it the pair: the slave sees a hang-up.
  void HangUp() {
    for (int* fd : {&slave_, &master_})
      if (*fd >= 0) ::close(std::exchange(*fd, -1));
  }
  int Master() const { return master_; }

 private:
  static std::size_t Done(ssize_t n) { return n < 0 ? 0 : static_cast<std::size_t>(n); }
  int master_ = -1;  // non-blocking
  int slave_ = -1;  // held so the pair lives while the port is closed
  std::string port_name_;
};

}  // namespace kestrel::testing
