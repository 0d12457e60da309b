#include "sim/Wire.h"

#include <algorithm>

namespace kestrel::sim {

TWire::TWire(std::uint32_t bits_per_second, TSimTime latency, std::uint64_t seed)
    : rate_(bits_per_second == 0 ? 1 : bits_per_second), latency_(latency < 0 ? 0 : latency), random_(seed) {
  const auto per_second = static_cast<std::int64_t>(rate_ / 10);
  capacity_ = static_cast<std::size_t>(std::max<std::int64_t>(16, per_second * (latency_ + Millis(100)) / Seconds(1)));
}

void TWire::SetFaults(double bit_error_rate, double loss_rate) {
  bit_error_rate_ = std::clamp(bit_error_rate, 0.0, 1.0);
  loss_rate_ = std::clamp(loss_rate, 0.0, 1.0);
}

std::size_t TWire::Room() const { return queue_.size() >= capacity_ ? 0 : capacity_ - queue_.size(); }

void TWire::Send(TSimTime now, std::string_view bytes) {
  for (char c : bytes) {
    if (free_at_ <= now) {
      // The line was idle: a new run starts now. Within a run every byte's end
      // is computed from the run's start, so fractional byte times never add up
      // to a drift.
      anchor_ = now;
      run_bytes_ = 0;
    }
    ++run_bytes_;
    const std::uint64_t bits = run_bytes_ * 10;
    free_at_ = anchor_ + static_cast<TSimTime>((bits * 1000000 + rate_ - 1) / rate_);
    ++sent_;
    if (loss_rate_ > 0 && std::bernoulli_distribution(loss_rate_)(random_)) continue;
    if (bit_error_rate_ > 0) {
      std::bernoulli_distribution flip(bit_error_rate_);
      for (int bit = 0; bit < 8; ++bit)
        if (flip(random_)) c = static_cast<char>(c ^ (1 << bit));
    }
    queue_.push_back({free_at_ + latency_, c});
  }
}

std::size_t TWire::Receive(TSimTime now, std::size_t max, std::string& out) {
  std::size_t n = 0;
  while (n < max && !queue_.empty() && queue_.front().at <= now) {
    out += queue_.front().value;
    queue_.pop_front();
    ++n;
  }
  return n;
}

}  // namespace kestrel::sim
