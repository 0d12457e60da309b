#include "tests/kit/FarEnds.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <utility>

#include "platform/PortNames.h"
#include "platform/Tick.h"

namespace kestrel::testing {

TSimFarEnd::TSimFarEnd(bool carrier, platform::TSimLineOptions options) {
  static std::atomic<int> counter{0};
  const std::string name = "far" + std::to_string(++counter);
  line_ = platform::TSimLine::Create(name, options);
  if (!line_) throw std::runtime_error("sim line not created");
  line_->SetCD(carrier);
  port_name_ = "sim:" + name;
}

TSimFarEnd::~TSimFarEnd() {
  if (com_ != 0) platform::SetComPortTarget(com_, "");
}

TSimFarEnd::TSimFarEnd(TSimFarEnd&& other) noexcept
    : line_(std::move(other.line_)), port_name_(std::move(other.port_name_)), heard_(std::move(other.heard_)),
      com_(std::exchange(other.com_, 0)) {}

TSimFarEnd& TSimFarEnd::operator=(TSimFarEnd&& other) noexcept {
  std::swap(line_, other.line_);
  std::swap(port_name_, other.port_name_);
  std::swap(heard_, other.heard_);
  std::swap(com_, other.com_);
  return *this;
}

void TSimFarEnd::OnCom(int port) {
  ASSERT_TRUE(platform::SetComPortTarget(port, port_name_));
  com_ = port;
}

std::size_t TSimFarEnd::Read(void* data, std::size_t size, std::uint32_t timeout_ms) {
  const std::uint32_t start = platform::GetTickCount();
  for (;;) {
    if (const std::size_t n = line_->Read(data, size); n != 0) return n;
    const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), timeout_ms);
    if (left == 0) return 0;
    line_->WaitGateActivity(left);
  }
}

void TSimFarEnd::Say(std::string_view bytes) { ASSERT_EQ(Write(bytes), bytes.size()); }

const std::string& TSimFarEnd::WaitFor(std::string_view needle, std::uint32_t timeout_ms) {
  const std::uint32_t t0 = platform::GetTickCount();
  for (std::uint32_t left = timeout_ms; Heard().find(needle) == std::string::npos && left > 0;
       left = platform::Remaining(t0, platform::GetTickCount(), timeout_ms))
    line_->WaitGateActivity(std::min<std::uint32_t>(left, 50));
  return heard_;
}

const std::string& TSimFarEnd::Heard() {
  char buf[4096];
  for (std::size_t n; (n = line_->Read(buf, sizeof buf)) > 0;) heard_.append(buf, n);
  return heard_;
}

void TSimFarEnd::Forget() {
  Heard();
  heard_.clear();
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

}  // namespace kestrel::testing
