#include "tests/platform/PortFarEnds.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "platform/Tick.h"

namespace kestrel::platform::testing {

TSimFarEnd::TSimFarEnd(bool carrier, TSimLineOptions options) {
  static std::atomic<int> counter{0};
  const std::string name = "far" + std::to_string(++counter);
  line_ = TSimLine::Create(name, options);
  if (!line_) throw std::runtime_error("sim line not created");
  line_->SetCD(carrier);
  port_name_ = "sim:" + name;
}

std::size_t TSimFarEnd::Read(void* data, std::size_t size, std::uint32_t timeout_ms) {
  const std::uint32_t start = GetTickCount();
  for (;;) {
    if (const std::size_t n = line_->Read(data, size); n != 0) return n;
    const std::uint32_t left = Remaining(start, GetTickCount(), timeout_ms);
    if (left == 0) return 0;
    line_->WaitGateActivity(left);
  }
}

TPtyFarEnd::TPtyFarEnd() {
  if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  port_name_ = ::ttyname(slave_);
  termios t{};
  ::tcgetattr(master_, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(master_, TCSANOW, &t);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

TPtyFarEnd::~TPtyFarEnd() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
}

std::size_t TPtyFarEnd::Write(const void* data, std::size_t size) {
  const ssize_t n = ::write(master_, data, size);
  return n < 0 ? 0 : static_cast<std::size_t>(n);
}

std::size_t TPtyFarEnd::Read(void* data, std::size_t size, std::uint32_t timeout_ms) {
  pollfd p{master_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout_ms)) <= 0) return 0;
  const ssize_t n = ::read(master_, data, size);
  return n < 0 ? 0 : static_cast<std::size_t>(n);
}

void TPtyFarEnd::HangUp() {
  // The master goes and with it the pair: the slave sees a hang-up.
  ::close(slave_);
  slave_ = -1;
  ::close(master_);
  master_ = -1;
}

}  // namespace kestrel::platform::testing
