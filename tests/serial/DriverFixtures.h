// The driver of the serial driver tests: it shows its poll thread, counts its
// Disconnect calls, and ends its blocking waits when the test asks, as the
// modem driver does while the gate stops. The far ends (sim lines,
// pseudo-terminals) are those of the port tests.
#pragma once

#include <atomic>
#include <string>

#include "serial/ExCPDrv.h"
#include "tests/kit/FarEnds.h"

namespace kestrel::serial::testing {

using kestrel::testing::TPtyFarEnd;
using kestrel::testing::TSimFarEnd;

class TTestDriver : public TCommPortDriver {
 public:
  TTestDriver() = default;
  explicit TTestDriver(const std::string& port) { SetPortName(port); }
  ~TTestDriver() override { TTestDriver::Disconnect(); }
  void Disconnect() override {
    if (Connected()) ++disconnects;
    TCommPortDriver::Disconnect();
  }
  bool AbortWaits() override { return abort.load(); }
  const TNotifyThread* Thread() const { return NotifyThread.get(); }
  std::atomic<int> disconnects{0};
  std::atomic<bool> abort{false};
};

}  // namespace kestrel::serial::testing
