// Helpers of the serial driver tests: a driver that shows its poll thread and
// counts its Disconnect calls, sim lines with unique names, and a
// pseudo-terminal pair whose master the test holds.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/SimLine.h"
#include "serial/ExCPDrv.h"

namespace kestrel::serial::testing {

class TTestDriver : public TCommPortDriver {
 public:
  ~TTestDriver() override { TTestDriver::Disconnect(); }
  void Disconnect() override {
    if (Connected()) ++disconnects;
    TCommPortDriver::Disconnect();
  }
  const TNotifyThread* Thread() const { return NotifyThread.get(); }
  std::atomic<int> disconnects{0};
};

// A sim line under a name no other test uses; CD on unless told otherwise.
std::shared_ptr<platform::TSimLine> NewSimLine(bool carrier = true, platform::TSimLineOptions options = {});
// The port name of a sim line.
std::string SimPort(const platform::TSimLine& line);

class TPty {
 public:
  TPty();
  ~TPty();
  const std::string& SlavePath() const { return slave_path_; }
  int Master() const { return master_; }
  void WriteAll(const std::string& bytes);
  void CloseMaster();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

}  // namespace kestrel::serial::testing
