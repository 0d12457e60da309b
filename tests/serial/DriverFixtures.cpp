#include "tests/serial/DriverFixtures.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace kestrel::serial::testing {

std::shared_ptr<platform::TSimLine> NewSimLine(bool carrier, platform::TSimLineOptions options) {
  static std::atomic<int> counter{0};
  auto line = platform::TSimLine::Create("drv" + std::to_string(++counter), options);
  if (!line) throw std::runtime_error("sim line not created");
  line->SetCD(carrier);
  return line;
}

std::string SimPort(const platform::TSimLine& line) { return "sim:" + line.Name(); }

TPty::TPty() {
  if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  slave_path_ = ::ttyname(slave_);
  termios t{};
  ::tcgetattr(master_, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(master_, TCSANOW, &t);
}

TPty::~TPty() {
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
}

void TPty::WriteAll(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n <= 0) throw std::runtime_error("pty write failed");
    done += static_cast<std::size_t>(n);
  }
}

void TPty::CloseMaster() {
  ::close(slave_);
  slave_ = -1;
  ::close(master_);
  master_ = -1;
}

}  // namespace kestrel::serial::testing
