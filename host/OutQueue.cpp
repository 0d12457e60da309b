#include "host/OutQueue.h"

#include <chrono>

namespace kestrel::host {

bool TOutQueue::Push(TOutPacket&& packet) {
  {
    std::lock_guard lock(mutex_);
    if (stop_) return false;
    packets_.push_back(std::move(packet));
  }
  cv_.notify_all();
  return true;
}

std::vector<TOutPacket> TOutQueue::RequestStop() {
  std::vector<TOutPacket> out;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    out.assign(std::make_move_iterator(packets_.begin()), std::make_move_iterator(packets_.end()));
    packets_.clear();
  }
  cv_.notify_all();
  return out;
}

bool TOutQueue::StopRequested() const {
  std::lock_guard lock(mutex_);
  return stop_;
}

TOutQueue::TWake TOutQueue::WaitForPacket(std::uint32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return stop_ || !packets_.empty(); });
  if (stop_) return TWake::Stop;
  return packets_.empty() ? TWake::Timeout : TWake::Packet;
}

bool TOutQueue::WaitForStop(std::uint32_t timeout_ms) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return stop_; });
}

std::optional<TOutPacket> TOutQueue::TakeNext() {
  std::lock_guard lock(mutex_);
  if (packets_.empty()) return std::nullopt;
  TOutPacket p = std::move(packets_.front());
  packets_.pop_front();
  return p;
}

std::vector<TOutPacket> TOutQueue::Drain() {
  std::lock_guard lock(mutex_);
  std::vector<TOutPacket> out(std::make_move_iterator(packets_.begin()), std::make_move_iterator(packets_.end()));
  packets_.clear();
  return out;
}

std::size_t TOutQueue::Size() const {
  std::lock_guard lock(mutex_);
  return packets_.size();
}

}  // namespace kestrel::host
