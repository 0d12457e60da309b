#include "tests/kit/PtyFarEnd.h"
#include "tests/kit/SystemFarEnd.h"

namespace kestrel::testing {

struct TSystemFarEnd::TImpl {
  TPtyFarEnd pty;
};

bool TSystemFarEnd::Available() { return true; }
bool TSystemFarEnd::CanHangUp() { return true; }
bool TSystemFarEnd::TellsRoom() { return true; }
TSystemFarEnd::TSystemFarEnd() : impl_(std::make_unique<TImpl>()) {}
TSystemFarEnd::~TSystemFarEnd() = default;
const std::string& TSystemFarEnd::PortName() const { return impl_->pty.PortName(); }
std::size_t TSystemFarEnd::Write(const void* data, std::size_t size) { return impl_->pty.Write(data, size); }
std::size_t TSystemFarEnd::Read(void* data, std::size_t size, std::uint32_t timeout_ms) {
  return impl_->pty.Read(data, size, timeout_ms);
}
void TSystemFarEnd::HangUp() { impl_->pty.HangUp(); }

}  // namespace kestrel::testing
