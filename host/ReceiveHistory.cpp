#include "host/ReceiveHistory.h"

#include <algorithm>
#include <chrono>

namespace kestrel::host {

void TReceiveHistory::SetLimits(const TLimits& limits) {
  std::lock_guard lock(mutex_);
  limits_ = limits;
  limits_.HistoryEntries = std::max<std::uint32_t>(limits_.HistoryEntries, 1);
  while (delivered_order_.size() > limits_.HistoryEntries) {
    delivered_.erase(delivered_order_.front());
    delivered_order_.pop_front();
  }
  EvictPartials(partials_.end());
}

TReceiveHistory::TStep TReceiveHistory::Accept(const TPacketKey& key, std::uint32_t total, std::uint32_t offset,
                                               std::string_view payload, std::uint32_t busy_wait_ms) {
  std::unique_lock lock(mutex_);
  TStep step;
  // A repeat may arrive through a new connection while the old one's
  // process is still handing the packet to the core; its outcome decides the
  // answer, so wait for it rather than guess.
  const bool settled = cv_.wait_for(lock, std::chrono::milliseconds(busy_wait_ms), [&] {
    const auto it = delivering_.find(key);
    return it == delivering_.end() || it->second != total;
  });
  if (!settled) {
    step.Timeout = true;
    return step;
  }
  if (const auto it = delivered_.find(key); it != delivered_.end() && it->second == total) {
    step.Status = TAckStatus::Delivered;
    step.Position = total;
    return step;
  }
  if (total > limits_.MaxPacketBytes) {
    step.Status = TAckStatus::Rejected;
    return step;
  }

  auto part = std::find_if(partials_.begin(), partials_.end(), [&](const TPartial& p) { return p.Key == key; });
  if (part != partials_.end() && part->Total != total) {
    // Same reference, another size: not the packet we hold; start over.
    partial_bytes_ -= part->Bytes.size();
    partials_.erase(part);
    part = partials_.end();
  }
  if (part == partials_.end()) {
    if (offset != 0) return step;  // Continue from 0
    partials_.push_front(TPartial{key, total, {}});
    part = partials_.begin();
  } else if (part != partials_.begin()) {
    partials_.splice(partials_.begin(), partials_, part);  // most recently used first
  }
  if (offset != part->Bytes.size()) {
    step.Position = static_cast<std::uint32_t>(part->Bytes.size());
    return step;
  }
  part->Bytes.append(payload);
  partial_bytes_ += payload.size();
  if (part->Bytes.size() < total) {
    step.Position = static_cast<std::uint32_t>(part->Bytes.size());
    EvictPartials(part);
    return step;
  }
  step.Deliver = true;
  step.Packet = std::move(part->Bytes);
  partial_bytes_ -= step.Packet.size();
  partials_.erase(part);
  delivering_[key] = total;
  return step;
}

void TReceiveHistory::Finish(const TPacketKey& key, std::uint32_t total, bool delivered) {
  {
    std::lock_guard lock(mutex_);
    delivering_.erase(key);
    if (delivered) Remember(key, total);
  }
  cv_.notify_all();
}

void TReceiveHistory::Remember(const TPacketKey& key, std::uint32_t total) {
  if (auto it = delivered_.find(key); it != delivered_.end()) {
    it->second = total;
    return;
  }
  delivered_.emplace(key, total);
  delivered_order_.push_back(key);
  while (delivered_order_.size() > limits_.HistoryEntries) {
    delivered_.erase(delivered_order_.front());
    delivered_order_.pop_front();
  }
}

void TReceiveHistory::EvictPartials(const TPartialList::iterator& keep) {
  auto over = [&] {
    return partials_.size() > limits_.PartialEntries || partial_bytes_ > limits_.PartialBytes;
  };
  auto it = partials_.end();
  while (over() && it != partials_.begin()) {
    --it;
    if (it == keep) continue;
    partial_bytes_ -= it->Bytes.size();
    it = partials_.erase(it);
  }
}

bool TReceiveHistory::WasDelivered(const TPacketKey& key, std::uint32_t total) const {
  std::lock_guard lock(mutex_);
  const auto it = delivered_.find(key);
  return it != delivered_.end() && it->second == total;
}

std::size_t TReceiveHistory::PartialCount() const {
  std::lock_guard lock(mutex_);
  return partials_.size();
}

std::uint64_t TReceiveHistory::PartialBytesHeld() const {
  std::lock_guard lock(mutex_);
  return partial_bytes_;
}

}  // namespace kestrel::host
