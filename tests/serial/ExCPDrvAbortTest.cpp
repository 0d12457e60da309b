// An owner that asks blocking reads and writes to end early (the modem
// driver does while the gate stops) gets them back within a slice.
#include <gtest/gtest.h>

#include <future>

#include "platform/Thread.h"
#include "platform/Tick.h"
#include "tests/serial/DriverFixtures.h"

namespace kestrel::serial {
namespace {

class TAbortableDriver : public testing::TTestDriver {
 public:
  bool AbortWaits() override { return abort.load(); }
  std::atomic<bool> abort{false};
};

TEST(ExCPDrvAbort, ReadDataEndsSoonAfterTheOwnerAsks) {
  auto line = testing::NewSimLine();
  TAbortableDriver drv;
  drv.SetPortName(testing::SimPort(*line));
  ASSERT_TRUE(drv.Connect());
  drv.InputTimeout = 10000;
  auto read = std::async(std::launch::async, [&] {
    char buf[4];
    bool timed_out = false, lost = false;
    std::uint32_t elapsed = 0;
    const auto n = drv.ReadData(buf, sizeof buf, timed_out, elapsed, true, lost);
    return std::make_tuple(n, timed_out, lost);
  });
  platform::SleepFor(150);
  const std::uint32_t t0 = platform::GetTickCount();
  drv.abort = true;
  const auto [n, timed_out, lost] = read.get();
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(timed_out);
  EXPECT_FALSE(lost);
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);
}

TEST(ExCPDrvAbort, SendDataExEndsSoonAfterTheOwnerAsks) {
  platform::TSimLineOptions options;
  options.gate_to_far_capacity = 16;  // the far end never reads: the writer waits for room
  auto line = testing::NewSimLine(true, options);
  TAbortableDriver drv;
  drv.SetPortName(testing::SimPort(*line));
  drv.SetOutBufSize(128);
  ASSERT_TRUE(drv.Connect());
  const std::string big(100000, 'x');
  auto write = std::async(std::launch::async, [&] { return drv.SendDataEx(big.data(), 100000, 20000); });
  platform::SleepFor(150);
  const std::uint32_t t0 = platform::GetTickCount();
  drv.abort = true;
  EXPECT_LT(write.get(), 100000u);
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);
}

}  // namespace
}  // namespace kestrel::serial
