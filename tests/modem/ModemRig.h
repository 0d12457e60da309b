// Test rig of the modem driver: a gate accessor the tests control, channels
// on COM numbers that point at sim lines, and two far ends of a sim line: one
// the test drives by hand, one a modem played by a script.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gate/common/GateAccess.h"
#include "modem/MdmFrame.h"
#include "modem/MdmMain.h"
#include "platform/Event.h"
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
    const auto it = std::find(pool_.begin(), pool_.end(), channel);
    return it == pool_.end() ? -1 : static_cast<std::int32_t>(it - pool_.begin());
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

// A channel record for COM `port` with the given init string.
inline store::TMdmChannelSettings ChannelOn(int port, std::string_view init = "ATX3") {
  store::TMdmChannelSettings s = store::DefaultChannelSettings();
  s.PortNumber = static_cast<gate::TPortNumber>(port);
  EXPECT_TRUE(store::SetShortText(s.InitString, init));
  return s;
}

// An address with tone dialling, every port allowed and short time-outs.
inline store::TMdmAddress QuickAddress(std::uint32_t dial_ms = 3000, std::uint32_t restore_ms = 200) {
  store::TMdmAddress a = store::DefaultAddress();
  a.DialPhoneType = gate::TDialType::dtDialTone;
  a.DialTimeOut = store::MsToTimeSpan(dial_ms);
  a.DataWaitTimeOut = store::MsToTimeSpan(3000);
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

// The far end of a sim line, driven by the test as a modem would be.
class TFarEnd {
 public:
  explicit TFarEnd(const std::string& name) : line_(platform::TSimLine::Create(name)) {}
  platform::TSimLine& Line() { return *line_; }

  void Say(std::string_view bytes) { ASSERT_EQ(line_->Write(bytes.data(), bytes.size()), bytes.size()); }
  // Everything the gate wrote so far, once `needle` is in it or `timeout_ms` passed.
  std::string WaitFor(std::string_view needle, std::uint32_t timeout_ms = 3000) {
    const std::uint32_t t0 = platform::GetTickCount();
    for (std::uint32_t left = timeout_ms; Heard().find(needle) == std::string::npos && left > 0;
         left = platform::Remaining(t0, platform::GetTickCount(), timeout_ms))
      line_->WaitGateActivity(std::min<std::uint32_t>(left, 50));
    return heard_;
  }
  // What the gate wrote so far; Forget clears it.
  const std::string& Heard() {
    char buf[4096];
    for (std::size_t n; (n = line_->Read(buf, sizeof buf)) > 0;) heard_.append(buf, n);
    return heard_;
  }
  void Forget() { Heard(), heard_.clear(); }

 private:
  std::shared_ptr<platform::TSimLine> line_;
  std::string heard_;
};

// A modem played by a script: a thread reads the command lines the gate
// sends (CR-terminated, and "+++" on its own) and writes the reply `reply`
// gives for each. Commands heard are kept in order.
class TScriptedModem {
 public:
  TScriptedModem(const std::string& line_name, std::function<std::string(const std::string&)> reply)
      : line_(platform::TSimLine::Create(line_name)), reply_(std::move(reply)) {
    line_->SetCD(false);
    line_->SetOnGateActivity([this] { gate_active_.Set(); });
    thread_ = std::thread([this] { Run(); });
  }
  ~TScriptedModem() {
    stop_ = true;
    thread_.join();
    line_->SetOnGateActivity({});
  }
  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  // Waits up to `timeout_ms` until `count` commands were heard in all.
  bool WaitCommands(std::size_t count, std::uint32_t timeout_ms = 3000) const {
    std::unique_lock lock(mutex_);
    return heard_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return commands_.size() >= count; });
  }
  // Writes `bytes` toward the gate and waits (up to 3 s) until the gate end
  // did something, which a listening gate does only by reading them.
  bool SayAndWaitRead(std::string_view bytes) {
    gate_active_.Reset();
    line_->Write(bytes.data(), bytes.size());
    return gate_active_.WaitFor(3000);
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
          heard_.notify_all();
        }
        const std::string answer = reply_(cmd);
        if (!answer.empty()) line_->Write(answer.data(), answer.size());
      }
    }
  }

  std::shared_ptr<platform::TSimLine> line_;
  std::function<std::string(const std::string&)> reply_;
  platform::TEvent gate_active_;
  mutable std::mutex mutex_;
  mutable std::condition_variable heard_;
  std::vector<std::string> commands_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A connected driver on COM3 whose far end the test plays by hand.
class MdmByHand : public ::testing::Test {
 protected:
  void SetUp() override {
    map_.Map(3, far_name_);
    drv_.SetChannelSettings(ChannelOn(3));
    ASSERT_TRUE(drv_.Connect());
  }
  // Runs `call` on another thread while the test plays the far end.
  static std::future<bool> Async(std::function<bool()> call) {
    return std::async(std::launch::async, std::move(call));
  }

  TFakeGate gate_;
  std::string far_name_ = UniqueLineName("hand");
  TFarEnd far_{far_name_};
  TComMap map_;
  TMdmDriver drv_;
  std::string err_;
};

// A kind-2 header announcing `length` bytes, with a correct header checksum.
inline std::string HeaderAnnouncing(std::uint32_t length) {
  std::string h = BuildFrame(2, "");
  for (std::size_t i = 0; i < 4; ++i) h[4 + i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  const std::uint16_t sum = ByteSum16(std::string_view(h).substr(0, 10));
  h[10] = static_cast<char>(sum & 0xFF);
  h[11] = static_cast<char>(sum >> 8);
  return h;
}

}  // namespace kestrel::modem::testing
