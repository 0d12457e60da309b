#include "sim/SimLinePort.h"

#include <atomic>
#include <mutex>

namespace kestrel::sim {

struct TSimLinePort::TShared {
  std::weak_ptr<platform::TSimLine> line;
  std::atomic<std::uint32_t> drops{0};
  bool dtr = false;  // as last seen by the callback
  std::mutex mutex;
  std::function<void()> forward;

  void OnGateActivity() {
    std::lock_guard lock(mutex);
    if (const auto l = line.lock()) {
      const bool now = l->DTR();
      if (dtr && !now) ++drops;
      dtr = now;
    }
    if (forward) forward();
  }
};

TSimLinePort::TSimLinePort(std::shared_ptr<platform::TSimLine> line)
    : line_(std::move(line)), shared_(std::make_shared<TShared>()) {
  shared_->line = line_;
  shared_->dtr = line_->DTR();
  // The line may call a copy of this callback after it was replaced, so it
  // holds the shared part, never this object.
  line_->SetOnGateActivity([shared = shared_] { shared->OnGateActivity(); });
}

TSimLinePort::~TSimLinePort() {
  SetOnActivity({});
  line_->SetOnGateActivity({});
  line_->SetCD(false);
  line_->SetRing(false);
}

std::size_t TSimLinePort::Read(void* data, std::size_t size) { return line_->Read(data, size); }

std::size_t TSimLinePort::Write(const void* data, std::size_t size) {
  if (!line_->GateOpen()) return size;
  return line_->Write(data, size);
}

bool TSimLinePort::Dtr() const { return line_->DTR(); }
std::uint32_t TSimLinePort::DtrDrops() const { return shared_->drops; }

void TSimLinePort::SetLines(const TModemLines& lines) {
  // Only changes are passed on: each one wakes a gate waiting for line events.
  if (!lines_set_ || lines.cd != lines_.cd) line_->SetCD(lines.cd);
  if (!lines_set_ || lines.ring != lines_.ring) line_->SetRing(lines.ring);
  if (!lines_set_ || lines.dsr != lines_.dsr) line_->SetDSR(lines.dsr);
  if (!lines_set_ || lines.cts != lines_.cts) line_->SetCTS(lines.cts);
  lines_ = lines;
  lines_set_ = true;
}

void TSimLinePort::SetOnActivity(std::function<void()> callback) {
  std::lock_guard lock(shared_->mutex);
  shared_->forward = std::move(callback);
}

std::string TSimLinePort::Describe() const { return "sim:" + line_->Name(); }

}  // namespace kestrel::sim
