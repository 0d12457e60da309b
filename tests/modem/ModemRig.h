// Test rig of the modem driver: a gate accessor the tests control, a far end
// of a sim line that a test drives by hand, and channels configured on COM
// numbers that point at sim lines.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <mutex>
#include <string>
#include <vector>

#include "gate/GateAccess.h"
#include "modem/MdmMain.h"
#include "platform/PortNames.h"
#include "platform/SimLine.h"
#include "platform/Thread.h"
#include "platform/Tick.h"
#include "store/MdmAddress.h"
#include "store/MdmSettings.h"

namespace kestrel::modem::testing {

// The gate manager as the modem layer sees it: present, stoppable, with a pool.
class TFakeGate final : public gate::IGateAccess {
 public:
  TFakeGate() : previous_(gate::SetGateAccess(this)) {}
  ~TFakeGate() override { gate::SetGateAccess(previous_); }

  bool HasManager() const override { return true; }
  bool GateStopping() const override { return stopping.load(); }
  std::int32_t PoolIndexOf(const void* channel) const override {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < pool_.size(); ++i)
      if (pool_[i] == channel) return static_cast<std::int32_t>(i);
    return -1;
  }
  void PutInPool(std::size_t index, const void* channel) {
    std::lock_guard lock(mutex_);
    if (pool_.size() <= index) pool_.resize(index + 1, nullptr);
    pool_[index] = channel;
  }

  std::atomic<bool> stopping{false};

 private:
  const gate::IGateAccess* previous_;
  mutable std::mutex mutex_;
  std::vector<const void*> pool_;
};

// A unique sim line name per call, so tests never collide in the registry.
inline std::string UniqueLineName(const char* stem) {
  static std::atomic<int> counter{0};
  return std::string(stem) + "-" + std::to_string(++counter);
}

// The far end of a sim line, driven by the test as a modem would be.
class TFarEnd {
 public:
  explicit TFarEnd(const std::string& name) : line_(platform::TSimLine::Create(name)) {}
  platform::TSimLine& Line() { return *line_; }

  void Say(std::string_view bytes) { ASSERT_EQ(line_->Write(bytes.data(), bytes.size()), bytes.size()); }

  // Everything the gate wrote so far, plus what comes until `needle` is seen
  // in it or `timeout_ms` pass.
  std::string WaitFor(std::string_view needle, std::uint32_t timeout_ms = 3000) {
    const std::uint32_t t0 = platform::GetTickCount();
    for (;;) {
      Drain();
      if (heard_.find(needle) != std::string::npos) return heard_;
      const std::uint32_t left = platform::Remaining(t0, platform::GetTickCount(), timeout_ms);
      if (left == 0) return heard_;
      line_->WaitGateActivity(std::min<std::uint32_t>(left, 50));
    }
  }
  // What the gate wrote so far; Forget clears it.
  const std::string& Heard() {
    Drain();
    return heard_;
  }
  void Forget() {
    Drain();
    heard_.clear();
  }

 private:
  void Drain() {
    char buf[4096];
    for (std::size_t n; (n = line_->Read(buf, sizeof buf)) > 0;) heard_.append(buf, n);
  }
  std::shared_ptr<platform::TSimLine> line_;
  std::string heard_;
};

// A channel record for COM `port` with the given init string.
inline store::TMdmChannelSettings ChannelOn(int port, std::string_view init = "ATX3") {
  store::TMdmChannelSettings s = store::DefaultChannelSettings();
  s.PortNumber = static_cast<gate::TPortNumber>(port);
  EXPECT_TRUE(store::SetShortText(s.InitString, init));
  return s;
}

// An address with tone dialling and short time-outs.
inline store::TMdmAddress QuickAddress(std::uint32_t dial_ms = 3000, std::uint32_t data_wait_ms = 3000,
                                       std::uint32_t restore_ms = 200) {
  store::TMdmAddress a = store::DefaultAddress();
  a.DialPhoneType = gate::TDialType::dtDialTone;
  a.DialTimeOut = store::MsToTimeSpan(dial_ms);
  a.DataWaitTimeOut = store::MsToTimeSpan(data_wait_ms);
  a.RestoreConnTimeOut = store::MsToTimeSpan(restore_ms);
  for (auto& p : a.UseComPorts) p = 1;
  return a;
}

// Maps COM numbers to sim lines for the lifetime of the object.
class TComMap {
 public:
  ~TComMap() { platform::ClearComPortTargets(); }
  void Map(int com, const std::string& line) { ASSERT_TRUE(platform::SetComPortTarget(com, "sim:" + line)); }
};

}  // namespace kestrel::modem::testing

namespace kestrel::modem::testing {

// A modem played by a script: a thread reads the command lines the gate
// sends (CR-terminated, and "+++" on its own) and writes the reply `reply`
// gives for each. Commands heard are kept in order.
class TScriptedModem {
 public:
  TScriptedModem(const std::string& line_name, std::function<std::string(const std::string&)> reply)
      : line_(platform::TSimLine::Create(line_name)), reply_(std::move(reply)) {
    line_->SetCD(false);
    thread_ = std::thread([this] { Run(); });
  }
  ~TScriptedModem() {
    stop_ = true;
    thread_.join();
  }
  platform::TSimLine& Line() { return *line_; }
  void Say(std::string_view bytes) { line_->Write(bytes.data(), bytes.size()); }
  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  bool Heard(const std::string& cmd) const {
    const auto c = Commands();
    return std::find(c.begin(), c.end(), cmd) != c.end();
  }
  // Waits until `cmd` was heard, up to `timeout_ms`.
  bool WaitHeard(const std::string& cmd, std::uint32_t timeout_ms = 3000) const {
    const std::uint32_t t0 = platform::GetTickCount();
    while (!Heard(cmd)) {
      if (platform::Elapsed(t0, platform::GetTickCount()) > timeout_ms) return false;
      platform::SleepFor(10);
    }
    return true;
  }

 private:
  void Run() {
    std::string pending;
    while (!stop_) {
      line_->WaitGateActivity(20);
      char buf[512];
      for (std::size_t n; (n = line_->Read(buf, sizeof buf)) > 0;) pending.append(buf, n);
      for (;;) {
        std::string cmd;
        if (pending.rfind("+++", 0) == 0) {
          cmd = "+++";
          pending.erase(0, 3);
        } else if (const auto cr = pending.find('\r'); cr != std::string::npos) {
          cmd = pending.substr(0, cr);
          pending.erase(0, cr + 1);
        } else {
          break;
        }
        {
          std::lock_guard lock(mutex_);
          commands_.push_back(cmd);
        }
        const std::string answer = reply_(cmd);
        if (!answer.empty()) line_->Write(answer.data(), answer.size());
      }
    }
  }

  std::shared_ptr<platform::TSimLine> line_;
  std::function<std::string(const std::string&)> reply_;
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace kestrel::modem::testing
