#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "platform/Port.h"
#include "tests/kit/SystemFarEnd.h"

namespace kestrel::testing {
namespace {

// The two COM numbers of KESTREL_TEST_COM_PAIR, or {0, 0}.
std::pair<int, int> Pair() {
  const char* text = std::getenv("KESTREL_TEST_COM_PAIR");
  int port = 0, far = 0;
  if (text == nullptr || std::sscanf(text, "%d,%d", &port, &far) != 2 || port < 1 || far < 1) return {0, 0};
  return {port, far};
}

void Drain(platform::TPortHandle port) {
  char junk[4096];
  std::uint32_t got = 0;
  while (platform::PortRead(port, junk, sizeof junk, got) && got > 0) {
  }
}

}  // namespace

struct TSystemFarEnd::TImpl {
  std::string name;
  platform::TPortHandle far = platform::kInvalidPortHandle;
};

bool TSystemFarEnd::Available() { return Pair().first > 0; }
bool TSystemFarEnd::CanHangUp() { return false; }
bool TSystemFarEnd::TellsRoom() { return false; }

TSystemFarEnd::TSystemFarEnd() : impl_(std::make_unique<TImpl>()) {
  const auto [port, far] = Pair();
  if (port == 0) return;
  impl_->name = "COM" + std::to_string(port);
  impl_->far = platform::PortOpen("COM" + std::to_string(far));
  if (impl_->far == platform::kInvalidPortHandle) throw std::runtime_error("the far COM port does not open");
  (void)platform::PortSetTimeouts(impl_->far, platform::TPortTimeouts{});
  // What an earlier test left in the link, either way, is not this test's.
  Drain(impl_->far);
  const platform::TPortHandle near = platform::PortOpen(impl_->name);
  if (near != platform::kInvalidPortHandle) {
    Drain(near);
    (void)platform::PortClose(near);
  }
}

TSystemFarEnd::~TSystemFarEnd() {
  if (impl_->far != platform::kInvalidPortHandle) (void)platform::PortClose(impl_->far);
}

const std::string& TSystemFarEnd::PortName() const { return impl_->name; }

std::size_t TSystemFarEnd::Write(const void* data, std::size_t size) {
  std::uint32_t done = 0;
  return platform::PortWrite(impl_->far, data, static_cast<std::uint32_t>(size), done) ? done : 0;
}

std::size_t TSystemFarEnd::Read(void* data, std::size_t size, std::uint32_t timeout_ms) {
  if (platform::PortWaitReceive(impl_->far, timeout_ms) != platform::TPortWait::kReady) return 0;
  std::uint32_t got = 0;
  return platform::PortRead(impl_->far, data, static_cast<std::uint32_t>(size), got) ? got : 0;
}

void TSystemFarEnd::HangUp() { throw std::logic_error("a COM pair cannot hang up"); }

}  // namespace kestrel::testing
