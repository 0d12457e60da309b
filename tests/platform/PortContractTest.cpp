// The port contract, run against every backend: a sim line and a
// pseudo-terminal must behave alike wherever the serial driver can tell.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/Port.h"
#include "platform/SysError.h"
#include "platform/Tick.h"
#include "tests/platform/PortFarEnds.h"

namespace kestrel::platform::testing {
namespace {

template <class FarEnd>
class PortContract : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = PortOpen(far_.PortName());
    ASSERT_NE(port_, kInvalidPortHandle) << "open failed with " << LastError();
  }
  void TearDown() override {
    if (port_ != kInvalidPortHandle) {
      EXPECT_TRUE(PortClose(port_));
    }
  }

  // Waits until at least `n` bytes are queued (a pseudo-terminal counts late).
  std::uint32_t WaitQueued(std::uint32_t n) {
    const std::uint32_t start = GetTickCount();
    TPortQueueStat stat;
    while (Elapsed(start, GetTickCount()) < 2000) {
      EXPECT_TRUE(PortClearError(port_, nullptr, &stat));
      if (stat.in_queue >= n) break;
      PortWaitReceive(port_, 20);
    }
    return stat.in_queue;
  }

  FarEnd far_;
  TPortHandle port_ = kInvalidPortHandle;
};

using FarEnds = ::testing::Types<TSimFarEnd, TPtyFarEnd>;
class FarEndNames {
 public:
  template <class T>
  static std::string GetName(int) {
    return std::is_same_v<T, TSimFarEnd> ? "Sim" : "Pty";
  }
};
TYPED_TEST_SUITE(PortContract, FarEnds, FarEndNames);

TYPED_TEST(PortContract, SecondOpenerIsRefusedAsBusyUntilClosed) {
  const TPortHandle second = PortOpen(this->far_.PortName());
  EXPECT_EQ(second, kInvalidPortHandle) << "the tests run as root: exclusivity must not rest on TIOCEXCL";
  EXPECT_EQ(LastError(), kErrorBusy);
  ASSERT_TRUE(PortClose(this->port_));
  this->port_ = PortOpen(this->far_.PortName());
  EXPECT_NE(this->port_, kInvalidPortHandle);
}

TYPED_TEST(PortContract, BytesCrossBothWaysAndCountsTellWhatIsQueued) {
  const std::string text = "ATZ\r\nOK\r\n";
  ASSERT_EQ(this->far_.Write(text.data(), text.size()), text.size());
  EXPECT_EQ(PortWaitReceive(this->port_, 2000), TPortWait::kReady);
  EXPECT_EQ(this->WaitQueued(text.size()), text.size());

  char buf[64] = {};
  std::uint32_t done = 0;
  ASSERT_TRUE(PortRead(this->port_, buf, 4, done));
  EXPECT_EQ(std::string(buf, done), "ATZ\r") << "a read takes no more than asked";
  ASSERT_TRUE(PortRead(this->port_, buf, sizeof buf, done));
  EXPECT_EQ(std::string(buf, done), "\nOK\r\n");
  ASSERT_TRUE(PortRead(this->port_, buf, sizeof buf, done));
  EXPECT_EQ(done, 0u) << "an empty queue reads 0 bytes without waiting";

  ASSERT_TRUE(PortWrite(this->port_, "ATH\r", 4, done));
  EXPECT_EQ(done, 4u);
  char got[16] = {};
  EXPECT_EQ(this->far_.Read(got, sizeof got, 2000), 4u);
  EXPECT_EQ(std::string(got, 4), "ATH\r");
}

TYPED_TEST(PortContract, PurgeDiscardsTheReceiveQueue) {
  ASSERT_EQ(this->far_.Write("garbage", 7), 7u);
  ASSERT_EQ(this->WaitQueued(7), 7u);
  ASSERT_TRUE(PortPurge(this->port_, kPurgeRxAbort | kPurgeRxClear));
  TPortQueueStat stat;
  ASSERT_TRUE(PortClearError(this->port_, nullptr, &stat));
  EXPECT_EQ(stat.in_queue, 0u);
  char buf[8];
  std::uint32_t done = 1;
  ASSERT_TRUE(PortRead(this->port_, buf, sizeof buf, done));
  EXPECT_EQ(done, 0u);
  ASSERT_EQ(this->far_.Write("X", 1), 1u);
  EXPECT_EQ(this->WaitQueued(1), 1u) << "bytes after the purge arrive as usual";
}

TYPED_TEST(PortContract, SettingsAreCheckedAndApplied) {
  TPortDcb dcb;
  dcb.byte_size = 9;
  EXPECT_FALSE(PortSetState(this->port_, dcb));
  EXPECT_EQ(LastError(), kErrorInvalidParameter);
  dcb.byte_size = 8;
  dcb.baud_rate = 0;
  EXPECT_FALSE(PortSetState(this->port_, dcb));
  dcb.baud_rate = 56000;  // not in the classic table
  dcb.parity = 3;
  dcb.stop_bits = 1;
  EXPECT_TRUE(PortSetState(this->port_, dcb)) << LastError();
  EXPECT_TRUE(PortSetupComm(this->port_, 2048, 2048));
  EXPECT_FALSE(PortSetupComm(this->port_, 0, 2048));
  EXPECT_TRUE(PortSetTimeouts(this->port_, TPortTimeouts{1, 10, 1, 10, 10}));
}

TYPED_TEST(PortContract, CarrierIsOnWhileTheFarEndIsThereAndOffAfterItsHangUp) {
  std::uint32_t status = 0;
  ASSERT_TRUE(PortGetModemStatus(this->port_, status));
  EXPECT_EQ(status & (kModemCtsOn | kModemDsrOn | kModemRlsdOn), kModemCtsOn | kModemDsrOn | kModemRlsdOn);
  EXPECT_EQ(PortWaitReceive(this->port_, 0, &status), TPortWait::kTimeout);

  // Whether the hang-up comes before the wait begins or during it, the wait
  // reports it: it compares with the lines the caller saw.
  std::thread far([this] { this->far_.HangUp(); });
  EXPECT_EQ(PortWaitReceive(this->port_, 5000, &status), TPortWait::kLineChange);
  far.join();
  ASSERT_TRUE(PortGetModemStatus(this->port_, status));
  EXPECT_EQ(status & kModemRlsdOn, 0u);
  EXPECT_EQ(PortWaitReceive(this->port_, 0, &status), TPortWait::kTimeout);

  // After a hang-up a wait sleeps out its time instead of returning at once.
  const std::uint32_t start = GetTickCount();
  EXPECT_EQ(PortWaitReceive(this->port_, 60), TPortWait::kTimeout);
  EXPECT_GE(Elapsed(start, GetTickCount()), 55u);
}

TYPED_TEST(PortContract, WaitsEndAtTheirTimeOut) {
  const std::uint32_t start = GetTickCount();
  std::uint32_t status = 0;
  ASSERT_TRUE(PortGetModemStatus(this->port_, status));
  EXPECT_EQ(PortWaitReceive(this->port_, 50, &status), TPortWait::kTimeout);
  const std::uint32_t took = Elapsed(start, GetTickCount());
  EXPECT_GE(took, 49u);
  EXPECT_LT(took, 1000u);
  EXPECT_EQ(PortWaitTransmit(this->port_, 0), TPortWait::kReady);
}

TYPED_TEST(PortContract, CloseWakesABlockedWaitAndInvalidatesTheHandle) {
  TPortWait result = TPortWait::kReady;
  std::thread waiter([&] { result = PortWaitReceive(this->port_, 10000); });
  // Whether the waiter is already blocked or not, it must come back quickly.
  const std::uint32_t start = GetTickCount();
  ASSERT_TRUE(PortClose(this->port_));
  waiter.join();
  EXPECT_LT(Elapsed(start, GetTickCount()), 2000u);
  EXPECT_TRUE(result == TPortWait::kAborted || result == TPortWait::kError);

  std::uint32_t done = 0;
  EXPECT_FALSE(PortWrite(this->port_, "x", 1, done));
  EXPECT_EQ(LastError(), kErrorInvalidHandle);
  EXPECT_FALSE(PortClose(this->port_));
  this->port_ = kInvalidPortHandle;
}

TYPED_TEST(PortContract, FullTransmitSideTakesNothingAfterItsTimeOutAndRoomWakesTheWriter) {
  ASSERT_TRUE(PortSetupComm(this->port_, 4096, 1024));
  ASSERT_TRUE(PortSetTimeouts(this->port_, TPortTimeouts{0xFFFFFFFFu, 0, 0, 0, 20}));
  std::vector<char> block(1024, 'z');
  std::size_t total = 0;
  std::uint32_t done = 1;
  while (done != 0 && total < (4u << 20)) {
    ASSERT_TRUE(PortWrite(this->port_, block.data(), static_cast<std::uint32_t>(block.size()), done));
    total += done;
  }
  ASSERT_EQ(done, 0u) << "a far end that never reads must fill the line";
  if (TypeParam::kHasOutQueue) {
    TPortQueueStat stat;
    ASSERT_TRUE(PortClearError(this->port_, nullptr, &stat));
    EXPECT_EQ(stat.out_queue, 1024u);
  }
  EXPECT_EQ(PortWaitTransmit(this->port_, 30), TPortWait::kTimeout);

  std::thread reader([this, total] {
    std::vector<char> sink(4096);
    std::size_t got = 0;
    while (got < total) {
      const std::size_t n = this->far_.Read(sink.data(), sink.size(), 2000);
      if (n == 0) break;
      got += n;
    }
  });
  EXPECT_EQ(PortWaitTransmit(this->port_, 5000), TPortWait::kReady);
  reader.join();
}

TEST(PortOpen, MissingDevicesAreFileNotFound) {
  EXPECT_EQ(PortOpen("sim:no-such-line"), kInvalidPortHandle);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(PortOpen("/dev/kestrel-no-such-device"), kInvalidPortHandle);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_EQ(PortOpen(""), kInvalidPortHandle);
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(SystemErrorText(kErrorFileNotFound).empty());
  EXPECT_FALSE(SystemErrorText(kErrorBusy).empty());
}

TEST(PortOpen, InvalidHandleIsRefusedEverywhere) {
  std::uint32_t status = 0, done = 0;
  TPortQueueStat stat;
  EXPECT_FALSE(PortGetModemStatus(kInvalidPortHandle, status));
  EXPECT_FALSE(PortClearError(12345678, nullptr, &stat));
  EXPECT_FALSE(PortRead(kInvalidPortHandle, &status, 1, done));
  EXPECT_FALSE(PortPurge(kInvalidPortHandle, kPurgeRxClear));
  EXPECT_EQ(PortWaitReceive(kInvalidPortHandle, 10), TPortWait::kError);
  EXPECT_EQ(LastError(), kErrorInvalidHandle);
}

}  // namespace
}  // namespace kestrel::platform::testing
