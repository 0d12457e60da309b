// Two gates in two processes, each a small host (GateHost.cpp) that loads
// libKestrel through the dynamic loader, dialling each other through the
// simulated exchange over pseudo-terminals: each process finds its COM1
// through its own KESTREL_COM_DIR. Real time: generous time-outs.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "sim/ExchangeRunner.h"
#include "tests/sim/TempDir.h"

namespace kestrel::e2e {
namespace {

using platform::TChildProcess;

sim::TExchangeOptions QuickExchange() {
  sim::TExchangeOptions o;
  o.dial_ms = 20;
  o.handshake_ms = 30;
  o.latency_ms = 5;
  o.ring_on_ms = 200;
  o.ring_off_ms = 300;
  o.rate = 115200;
  return o;
}

std::unique_ptr<TChildProcess> Host(std::vector<std::string> args, const std::string& com_dir, bool capture) {
  TChildProcess::TSpec spec;
  spec.argv = {GATE_HOST_PATH, KESTREL_LIBRARY_PATH};
  spec.argv.insert(spec.argv.end(), args.begin(), args.end());
  spec.env = {{"KESTREL_COM_DIR", com_dir}};
  spec.capture_output = capture;
  std::string error;
  auto child = TChildProcess::Start(spec, error);
  EXPECT_NE(child, nullptr) << error;
  return child;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(TwoGates, PacketsCrossBetweenTwoHostProcesses) {
  sim::testing::TTempDir dir_a, dir_b;
  sim::TExchangeRunner runner(QuickExchange());
  std::string error;
  ASSERT_NE(runner.AddPtyModem(dir_a / "com1", {.number = "101"}, error), sim::kNoModem) << error;
  ASSERT_NE(runner.AddPtyModem(dir_b / "com1", {.number = "102"}, error), sim::kNoModem) << error;
  runner.Start();

  const std::string report = dir_b / "report";
  auto listener = Host({"listen", "3", report}, dir_b.Path().string(), true);
  ASSERT_NE(listener, nullptr);
  // The sender starts once the listener's modem is armed.
  std::string said;
  ASSERT_EQ(listener->ReadLine(said, 20000), TChildProcess::TRead::Line);
  ASSERT_EQ(said, "ready");

  auto sender = Host({"send", "102", "3", "4000"}, dir_a.Path().string(), false);
  ASSERT_NE(sender, nullptr);
  ASSERT_TRUE(sender->Wait(90000));
  EXPECT_EQ(sender->ExitCode(), 0) << "every packet confirmed";
  listener->RequestStop();
  ASSERT_TRUE(listener->Wait(30000));
  EXPECT_EQ(listener->ExitCode(), 0);

  // Each packet once, as the sender made it.
  std::istringstream lines(ReadFile(report));
  std::vector<int> numbers;
  int number = 0, size = 0;
  unsigned sum = 0;
  while (lines >> number >> size >> sum) {
    numbers.push_back(number);
    EXPECT_EQ(size, 4000);
    unsigned want = 0;
    for (int i = 0; i < size; ++i) want = want * 31 + static_cast<unsigned char>(static_cast<char>(number * 7 + i * 13));
    EXPECT_EQ(sum, want) << "packet " << number;
  }
  EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace kestrel::e2e
