#include "platform/SimLine.h"

#include <map>
#include <mutex>

#include "platform/SimLineState.h"

namespace kestrel::platform {
namespace {

// The live lines by name. The entry remembers the state it registered, so
// that a line being destroyed never erases a newer line of the same name.
struct TRegistration {
  std::weak_ptr<TSimLine> line;
  const TSimLineState* state = nullptr;
};

std::mutex g_registry_mutex;
std::map<std::string, TRegistration>& Registry() {
  static std::map<std::string, TRegistration> registry;
  return registry;
}

}  // namespace

std::shared_ptr<TSimLine> TSimLine::Create(const std::string& name, TSimLineOptions options) {
  if (name.empty()) return nullptr;
  std::lock_guard lock(g_registry_mutex);
  auto& entry = Registry()[name];
  if (!entry.line.expired()) return nullptr;
  std::shared_ptr<TSimLine> line(new TSimLine(name, std::make_shared<TSimLineState>(options)));
  entry.line = line;
  entry.state = line->state_.get();
  return line;
}

std::shared_ptr<TSimLineState> OpenSimLineState(const std::string& name, std::uint32_t& error) {
  std::shared_ptr<TSimLine> line;
  {
    std::lock_guard lock(g_registry_mutex);
    const auto it = Registry().find(name);
    if (it != Registry().end()) line = it->second.line.lock();
  }
  // `line` may be the last owner when it goes out of scope below; its
  // destructor takes the registry lock, which is no longer held here.
  if (!line) {
    error = kErrorFileNotFound;
    return nullptr;
  }
  std::shared_ptr<TSimLineState> state = line->State();
  error = state->GateOpen();
  if (error != 0) return nullptr;
  return state;
}

TSimLine::TSimLine(std::string name, std::shared_ptr<TSimLineState> state)
    : name_(std::move(name)), state_(std::move(state)) {}

TSimLine::~TSimLine() {
  {
    std::lock_guard lock(g_registry_mutex);
    const auto it = Registry().find(name_);
    if (it != Registry().end() && it->second.state == state_.get()) Registry().erase(it);
  }
  state_->FarGone();
}

std::size_t TSimLine::Write(const void* data, std::size_t size) { return state_->FarWrite(data, size); }
std::size_t TSimLine::Read(void* data, std::size_t size) { return state_->FarRead(data, size); }
std::size_t TSimLine::Pending() const { return state_->FarPending(); }
void TSimLine::SetCTS(bool on) { state_->SetFarLine(kModemCtsOn, on); }
void TSimLine::SetDSR(bool on) { state_->SetFarLine(kModemDsrOn, on); }
void TSimLine::SetRing(bool on) { state_->SetFarLine(kModemRingOn, on); }
void TSimLine::SetCD(bool on) { state_->SetFarLine(kModemRlsdOn, on); }
bool TSimLine::GateOpen() const { return state_->GateIsOpen(); }
bool TSimLine::DTR() const { return state_->Dtr(); }
bool TSimLine::RTS() const { return state_->Rts(); }
bool TSimLine::WaitGateActivity(std::uint32_t timeout_ms) { return state_->WaitGateActivity(timeout_ms); }
void TSimLine::SetOnGateActivity(std::function<void()> callback) { state_->SetOnGateActivity(std::move(callback)); }

}  // namespace kestrel::platform
