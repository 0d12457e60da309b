// A gate for the monitor window whose channels and log lines the test sets,
// and a listener that only listens, to give it a process.
#pragma once

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/GateManager.h"
#include "host/Listener.h"
#include "host/MonitorSource.h"

namespace kestrel::host {

// A gate that overrides only the two slots it must: it has neither
// exchanger nor listener, nor channels to show.
class TPlainGate : public TGateManager {
 public:
  TExchanger* CreateExchanger(const void*, std::int32_t) override { return nullptr; }
  TListener* CreateListener(const void*, std::int32_t, std::int32_t) override { return nullptr; }
};

class TMonitorGate : public TPlainGate, public TMonitorSource {
 public:
  std::vector<TMonitorChannel> MonitorChannels() const override {
    std::lock_guard lock(mutex);
    ++reads;
    std::vector<TMonitorChannel> list;
    for (const auto& [index, channel] : channels) list.push_back(channel);
    return list;
  }
  std::vector<std::string> MonitorLogLines(std::size_t max) const override {
    std::lock_guard lock(mutex);
    const std::size_t n = std::min(max, lines.size());
    return {lines.end() - static_cast<std::ptrdiff_t>(n), lines.end()};
  }
  void Set(int index, std::string alias, TChannelActivity activity, std::uint32_t owner) {
    std::lock_guard lock(mutex);
    channels[index] = TMonitorChannel{index, std::move(alias), activity, owner};
  }
  void Log(std::string line) {
    std::lock_guard lock(mutex);
    lines.push_back(std::move(line));
  }

  mutable std::mutex mutex;
  mutable int reads = 0;
  std::map<int, TMonitorChannel> channels;
  std::vector<std::string> lines;
};

// A listener that is always listening: a process of the gate's list.
class TIdleListener final : public TListener {
 public:
  explicit TIdleListener(TGateManager* manager) : TListener(manager, nullptr, 0) {}
  bool Listen() override { return true; }
};

}  // namespace kestrel::host
