// Test rig of the modem driver, beside the kit's (a fake gate, sim lines and
// the simulated exchange): a modem played by a script on a sim line, and a
// driver whose far end the test plays by hand.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gate/common/MdmResp.h"
#include "modem/MdmFrame.h"
#include "modem/MdmMain.h"
#include "platform/Event.h"
#include "platform/Thread.h"
#include "platform/Tick.h"
#include "tests/kit/Blocks.h"
#include "tests/kit/FakeGate.h"
#include "tests/kit/FarEnds.h"
#include "tests/kit/SimRig.h"

namespace kestrel::modem::testing {

using kestrel::testing::ChannelOn;
using kestrel::testing::TFakeGate;
using kestrel::testing::TSimFarEnd;
using kestrel::testing::TSimRig;

// An address for the driver alone: every port allowed, tone dialling, the
// given dial time-out and restore pause, 3 s to wait for data.
inline store::TMdmAddress Quick(std::uint32_t dial_ms = 3000, std::uint32_t restore_ms = 200) {
  store::TMdmAddress a = kestrel::testing::QuickAddress({}, dial_ms, restore_ms);
  a.DataWaitTimeOut = store::MsToTimeSpan(3000);
  return a;
}

// The roles of a channel in one text: "S<owner>" when sending, "L<owner>"
// when listening ("-<owner>" otherwise; owners in hex), then " C" when its
// port is open.
inline std::string Roles(const TMdmDriver& d) {
  char text[40];
  std::snprintf(text, sizeof text, "%c%X %c%X%s", d.Sending() ? 'S' : '-', d.SendingOwner(), d.Listening() ? 'L' : '-',
                d.ListeningOwner(), d.Connected() ? " C" : "");
  return text;
}

// A modem played by a script on COM `com`: a thread reads the command lines
// the gate sends (CR-terminated, and "+++" on its own) and writes the reply
// `reply` gives for each. Commands heard are kept in order.
class TScriptedModem {
 public:
  TScriptedModem(int com, std::function<std::string(const std::string&)> reply) : reply_(std::move(reply)) {
    far_.OnCom(com);
    far_.Line().SetOnGateActivity([this] { gate_active_.Set(); });
    thread_ = std::thread([this] { Run(); });
  }
  ~TScriptedModem() {
    stop_ = true;
    thread_.join();
    far_.Line().SetOnGateActivity({});
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
    far_.Say(bytes);
    return gate_active_.WaitFor(3000);
  }

 private:
  void Run() {
    std::string pending;
    while (!stop_) {
      far_.Line().WaitGateActivity(20);
      pending += far_.Heard();
      far_.Forget();
      for (;;) {
        const bool escape = pending.starts_with("+++");
        const std::size_t end = escape ? 3 : pending.find('\r');
        if (end == std::string::npos) break;
        const std::string cmd = pending.substr(0, end);
        pending.erase(0, escape ? end : end + 1);
        {
          std::lock_guard lock(mutex_);
          commands_.push_back(cmd);
          heard_.notify_all();
        }
        const std::string answer = reply_(cmd);
        if (!answer.empty()) far_.Write(answer);
      }
    }
  }

  TSimFarEnd far_{false};
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
    far_.OnCom(3);
    drv_.SetChannelSettings(ChannelOn(3));
    ASSERT_TRUE(drv_.Connect());
  }

  TFakeGate gate_;
  TSimFarEnd far_{false};
  TMdmDriver drv_;
  std::string err_;
};

// The error text of an answer of class `code` that was not accepted, quoting it as `quoted`.
inline std::string BadResponse(gate::TRespCode code, const std::string& quoted) {
  return "Bad Response: " + std::string(gate::ResponseText(code)) + "; exactly: '" + quoted + "'";
}

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
