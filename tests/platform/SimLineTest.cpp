// Sim lines as the far end sees them: names, the gate's open, bounded
// queues, activity wake-ups, the line rate, and a far end that goes away.
//
// The COM-number naming rule: which names are COM numbers, and how a number
// reaches a device or a sim line (the posix naming in PtyLineTest_posix.cpp).
// Real-time tests: few, with generous time-outs.
#include "platform/SimLine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/Port.h"
#include "platform/PortNames.h"
#include "platform/SysError.h"
#include "platform/Tick.h"

namespace kestrel::platform {
namespace {

std::string ReadNow(TPortHandle port) {
  char buf[512];
  std::uint32_t done = 0;
  EXPECT_TRUE(PortRead(port, buf, sizeof buf, done));
  return std::string(buf, done);
}

std::uint32_t Lines(TPortHandle port) {
  std::uint32_t status = 0xDEAD;
  EXPECT_TRUE(PortGetModemStatus(port, status));
  return status;
}

std::uint32_t Queued(TPortHandle port) {
  TPortQueueStat stat;
  EXPECT_TRUE(PortClearError(port, nullptr, &stat));
  return stat.in_queue;
}

TEST(SimLine, NamesAreUniqueWhileTheLineLives) {
  auto a = TSimLine::Create("unique");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Name(), "unique");
  EXPECT_FALSE(TSimLine::Create("unique"));
  EXPECT_FALSE(TSimLine::Create(""));
  auto copy = a;
  a.reset();
  EXPECT_FALSE(TSimLine::Create("unique")) << "the registration ends with the last owner";
  copy.reset();
  EXPECT_TRUE(TSimLine::Create("unique"));
}

TEST(SimLine, FarWritesAreKeptUntilTheGateOpensAndBoundedByBothQueues) {
  TSimLineOptions options;
  options.far_to_gate_capacity = 100;
  auto line = TSimLine::Create("bounded", options);
  EXPECT_EQ(line->Write("RING\r\n", 6), 6u);
  const TPortHandle port = PortOpen("sim:bounded");
  ASSERT_NE(port, kInvalidPortHandle);
  ASSERT_TRUE(PortSetupComm(port, 128, 128));
  EXPECT_EQ(ReadNow(port), "RING\r\n");

  std::vector<char> big(1000, 'b');
  EXPECT_EQ(line->Write(big.data(), big.size()), 228u) << "128 in the receive queue, 100 in transit";
  EXPECT_EQ(Queued(port), 128u);
  EXPECT_EQ(ReadNow(port).size(), 128u);
  EXPECT_EQ(Queued(port), 100u) << "transit moves up as room appears";
  EXPECT_TRUE(PortClose(port));
}

TEST(SimLine, GateActivityWakesTheFarEndAndCallsItsCallback) {
  auto line = TSimLine::Create("activity");
  std::atomic<int> calls{0};
  line->SetOnGateActivity([&] { ++calls; });
  EXPECT_FALSE(line->GateOpen());
  const TPortHandle port = PortOpen("sim:activity");
  ASSERT_NE(port, kInvalidPortHandle);
  // The lines the gate sets, and their drop on close: the serial driver's connect test.
  ASSERT_TRUE(line->WaitGateActivity(0)) << "the open is a change";
  EXPECT_FALSE(line->WaitGateActivity(0)) << "and it is reported once";

  std::thread writer([port] {
    std::uint32_t done = 0;
    EXPECT_TRUE(PortWrite(port, "AT\r", 3, done));
  });
  // What the far end then reads: the port contract's bytes both ways.
  EXPECT_TRUE(line->WaitGateActivity(5000));
  writer.join();

  const int before = calls.load();
  EXPECT_GE(before, 2) << "open and write at least";
  ASSERT_TRUE(PortPurge(port, kPurgeRxClear));
  EXPECT_EQ(calls.load(), before + 1);
  line->SetOnGateActivity(nullptr);
  EXPECT_TRUE(PortClose(port));
  EXPECT_EQ(calls.load(), before + 1);
}

TEST(SimLine, LineRateSpacesBytesTenBitsEach) {
  TSimLineOptions options;
  options.bits_per_second = 2000;  // 200 bytes/s: 5 ms a byte
  auto line = TSimLine::Create("slow", options);
  const TPortHandle port = PortOpen("sim:slow");
  ASSERT_NE(port, kInvalidPortHandle);
  std::uint32_t start = GetTickCount();
  ASSERT_EQ(line->Write("0123456789abcdefghij", 20), 20u);
  const std::uint32_t queued = Queued(port);
  // A test descheduled for the whole 100 ms would find every byte there.
  if (Elapsed(start, GetTickCount()) < 90) {
    EXPECT_LT(queued, 20u);
  }
  std::string got;
  while (got.size() < 20 && Elapsed(start, GetTickCount()) < 3000) {
    ASSERT_NE(PortWaitReceive(port, 1000), TPortWait::kError);
    got += ReadNow(port);
  }
  EXPECT_EQ(got, "0123456789abcdefghij");
  EXPECT_GE(Elapsed(start, GetTickCount()), 90u) << "20 bytes at 200 bytes/s take 100 ms";

  std::uint32_t done = 0;
  start = GetTickCount();
  ASSERT_TRUE(PortWrite(port, "0123456789", 10, done));
  EXPECT_EQ(done, 10u);
  const std::size_t pending = line->Pending();
  if (Elapsed(start, GetTickCount()) < 45) {
    EXPECT_LT(pending, 10u);
  }
  std::string back;
  while (back.size() < 10 && line->WaitGateActivity(1000)) {
    char buf[16];
    back.append(buf, line->Read(buf, sizeof buf));
  }
  EXPECT_EQ(back, "0123456789") << "arrivals at the far end wake it too";
  EXPECT_GE(Elapsed(start, GetTickCount()), 45u);
  EXPECT_TRUE(PortClose(port));
}

TEST(SimLine, AGateEndOutlivingItsFarEndSeesNoLinesAndWritesIntoTheVoid) {
  auto line = TSimLine::Create("unplugged");
  line->SetCD(true);
  const TPortHandle port = PortOpen("sim:unplugged");
  ASSERT_NE(port, kInvalidPortHandle);
  std::uint32_t status = Lines(port), done = 0;
  std::thread far([&] { line.reset(); });
  EXPECT_EQ(PortWaitReceive(port, 5000, &status), TPortWait::kLineChange);
  far.join();
  EXPECT_EQ(Lines(port), 0u);
  ASSERT_TRUE(PortWrite(port, "lost", 4, done));
  EXPECT_EQ(done, 4u);
  EXPECT_EQ(PortOpen("sim:unplugged"), kInvalidPortHandle);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_TRUE(PortClose(port));
}

TEST(PortNames, ComNumbersAreRecognisedInTheWindowsForms) {
  EXPECT_EQ(ComPortNumber("\\\\.\\COM12"), 12);
  EXPECT_EQ(ComPortNumber("COM1"), 1);
  EXPECT_EQ(ComPortNumber("\\\\.\\com255"), 255);
  for (const char* other : {"COM0", "COM256", "COM01", "COM", "COM1x", "\\\\.\\", "/dev/ttyS0", "sim:COM1", "LPT1"})
    EXPECT_FALSE(ComPortNumber(other).has_value()) << other;
}

}  // namespace
}  // namespace kestrel::platform
