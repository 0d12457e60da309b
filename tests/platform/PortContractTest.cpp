// The port contract, run against every backend: a sim line and the system's
// own device (a pseudo-terminal on POSIX, a COM port under Windows) must
// behave alike wherever the serial driver can tell. What only a termios
// device shows is in PortTest_posix.cpp.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Port.h"
#include "platform/SysError.h"
#include "platform/Tick.h"
#include "tests/kit/FarEnds.h"
#include "tests/kit/SystemFarEnd.h"

namespace kestrel::platform::testing {
namespace {

using kestrel::testing::TSystemFarEnd;
using kestrel::testing::TSimFarEnd;

template <class FarEnd>
class PortContract : public ::testing::Test {
 protected:
  // The system's far end exists only where it can be made (a COM pair needs
  // its link), and not every one can hang up or tell room.
  void SetUp() override {
    if (!FarEnd::Available()) GTEST_SKIP() << "no far end of a system port here";
    port_ = PortOpen(far_.PortName());
    ASSERT_NE(port_, kInvalidPortHandle) << "open failed with " << LastError();
  }
  void TearDown() override {
    if (port_ != kInvalidPortHandle) {
      EXPECT_TRUE(PortClose(port_));
    }
  }
  std::uint32_t Queued() {
    TPortQueueStat stat;
    EXPECT_TRUE(PortClearError(port_, nullptr, &stat));
    return stat.in_queue;
  }
  // Waits until at least `n` bytes are queued (a pseudo-terminal counts late).
  std::uint32_t WaitQueued(std::uint32_t n) {
    const std::uint32_t start = GetTickCount();
    while (Queued() < n && Elapsed(start, GetTickCount()) < 2000) PortWaitReceive(port_, 20);
    return Queued();
  }
  // What a read takes at once, up to `size` bytes.
  std::string ReadNow(std::uint32_t size = 64) {
    std::string buf(size, '\0');
    std::uint32_t done = 99;
    EXPECT_TRUE(PortRead(port_, buf.data(), size, done));
    return buf.substr(0, done);
  }
  // Waits up to `timeout_ms` for the receive side; returns the result and the time it took.
  std::pair<TPortWait, std::uint32_t> TimedWait(std::uint32_t timeout_ms, std::uint32_t* lines = nullptr) {
    const std::uint32_t start = GetTickCount();
    const TPortWait result = PortWaitReceive(port_, timeout_ms, lines);
    return {result, Elapsed(start, GetTickCount())};
  }

  FarEnd far_;
  TPortHandle port_ = kInvalidPortHandle;
};

using FarEnds = ::testing::Types<TSimFarEnd, TSystemFarEnd>;
class FarEndNames {
 public:
  template <class T>
  static std::string GetName(int) {
    return std::is_same_v<T, TSimFarEnd> ? "Sim" : "System";
  }
};
TYPED_TEST_SUITE(PortContract, FarEnds, FarEndNames);

TYPED_TEST(PortContract, SecondOpenerIsRefusedAsBusyUntilClosed) {
  EXPECT_EQ(PortOpen(this->far_.PortName()), kInvalidPortHandle)
      << "the tests run as root: exclusivity must not rest on TIOCEXCL";
  EXPECT_EQ(LastError(), kErrorBusy);
  ASSERT_TRUE(PortClose(this->port_));
  this->port_ = PortOpen(this->far_.PortName());
  EXPECT_NE(this->port_, kInvalidPortHandle);
}

TYPED_TEST(PortContract, BytesCrossBothWaysCountsTellWhatIsQueuedAndPurgeDiscardsIt) {
  ASSERT_EQ(this->far_.Write("ATZ\r\nOK\r\n"), 9u);
  EXPECT_EQ(PortWaitReceive(this->port_, 2000), TPortWait::kReady);
  EXPECT_EQ(this->WaitQueued(9), 9u);
  EXPECT_EQ(this->ReadNow(4), "ATZ\r") << "a read takes no more than asked";
  EXPECT_EQ(this->ReadNow(), "\nOK\r\n");
  EXPECT_EQ(this->ReadNow(), "") << "an empty queue reads 0 bytes without waiting";

  std::uint32_t done = 0;
  ASSERT_TRUE(PortWrite(this->port_, "ATH\r", 4, done));
  EXPECT_EQ(done, 4u);
  char got[16] = {};
  EXPECT_EQ(this->far_.Read(got, sizeof got, 2000), 4u);
  EXPECT_EQ(std::string(got, 4), "ATH\r");

  ASSERT_EQ(this->far_.Write("garbage"), 7u);
  ASSERT_EQ(this->WaitQueued(7), 7u);
  ASSERT_TRUE(PortPurge(this->port_, kPurgeRxAbort | kPurgeRxClear));
  EXPECT_EQ(this->Queued(), 0u);
  EXPECT_EQ(this->ReadNow(), "");
  ASSERT_EQ(this->far_.Write("X"), 1u);
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
  dcb.baud_rate = 57600;
  // No parity: a pseudo-terminal drops the parity bit, and the C library
  // then reports the whole change as invalid (seen under Wine).
  dcb.parity = 0;
  dcb.stop_bits = 2;  // two
  EXPECT_TRUE(PortSetState(this->port_, dcb)) << LastError();
  EXPECT_TRUE(PortSetupComm(this->port_, 2048, 2048));
  EXPECT_FALSE(PortSetupComm(this->port_, 0, 2048));
  EXPECT_TRUE(PortSetTimeouts(this->port_, TPortTimeouts{1, 10, 1, 10, 10}));
}

TYPED_TEST(PortContract, WaitsEndAtTheirTimeOutAndSeeTheFarEndHangUp) {
  if (!TypeParam::CanHangUp()) GTEST_SKIP() << "this far end cannot hang up";
  constexpr std::uint32_t kLines = kModemCtsOn | kModemDsrOn | kModemRlsdOn;
  std::uint32_t status = 0;
  ASSERT_TRUE(PortGetModemStatus(this->port_, status));
  EXPECT_EQ(status & kLines, kLines) << "the carrier is on while the far end is there";
  EXPECT_EQ(PortWaitTransmit(this->port_, 0), TPortWait::kReady);
  const auto [quiet, took] = this->TimedWait(50, &status);
  EXPECT_EQ(quiet, TPortWait::kTimeout);
  EXPECT_GE(took, 49u);
  EXPECT_LT(took, 1000u);

  // Whether the hang-up comes before the wait begins or during it, the wait
  // reports it: it compares with the lines the caller saw.
  std::thread far([this] { this->far_.HangUp(); });
  EXPECT_EQ(PortWaitReceive(this->port_, 5000, &status), TPortWait::kLineChange);
  far.join();
  ASSERT_TRUE(PortGetModemStatus(this->port_, status));
  EXPECT_EQ(status & kModemRlsdOn, 0u);
  EXPECT_EQ(PortWaitReceive(this->port_, 0, &status), TPortWait::kTimeout);
  // After a hang-up a wait sleeps out its time instead of returning at once.
  const auto [after, slept] = this->TimedWait(60);
  EXPECT_EQ(after, TPortWait::kTimeout);
  EXPECT_GE(slept, 55u);
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

// A receive wake is never lost: one that comes before the wait ends the next
// wait at once, once; one during a wait ends it; bytes stay queued.
TYPED_TEST(PortContract, AReceiveWakeEndsTheWaitUnderWayOrTheNextOneAndDiscardsNothing) {
  ASSERT_EQ(this->far_.Write("kept"), 4u);
  ASSERT_EQ(this->WaitQueued(4), 4u);
  PortWakeReceive(this->port_);  // taken by the next wait, or that wait sees the bytes
  (void)PortWaitReceive(this->port_, 0);
  EXPECT_EQ(this->ReadNow(), "kept");

  PortWakeReceive(this->port_);
  std::uint32_t start = GetTickCount();
  EXPECT_EQ(PortWaitReceive(this->port_, 5000), TPortWait::kAborted);
  EXPECT_EQ(PortWaitReceive(this->port_, 50), TPortWait::kTimeout) << "a wake ends one wait";

  TPortWait result = TPortWait::kReady;
  std::thread waiter([&] { result = PortWaitReceive(this->port_, 10000); });
  start = GetTickCount();
  PortWakeReceive(this->port_);  // before or during the wait: either way it ends
  waiter.join();
  EXPECT_EQ(result, TPortWait::kAborted);
  EXPECT_LT(Elapsed(start, GetTickCount()), 2000u);
}

TYPED_TEST(PortContract, FullTransmitSideTakesNothingAfterItsTimeOutAndRoomWakesTheWriter) {
  ASSERT_TRUE(PortSetupComm(this->port_, 4096, 1024));
  ASSERT_TRUE(PortSetTimeouts(this->port_, TPortTimeouts{0xFFFFFFFFu, 0, 0, 0, 20}));
  std::vector<char> block(1024, 'z');
  std::size_t total = 0;
  std::uint32_t done = 1;
  // A pseudo-terminal's kernel side moves bytes on in the background, so a
  // late move can make room once more after a write took nothing: fill again.
  bool full = false;
  for (int fills = 0; fills < 20 && !full; ++fills) {
    done = 1;
    while (done != 0 && total < (4u << 20)) {
      ASSERT_TRUE(PortWrite(this->port_, block.data(), static_cast<std::uint32_t>(block.size()), done))
          << "error " << LastError();
      total += done;
    }
    ASSERT_EQ(done, 0u) << "a far end that never reads must fill the line";
    if (!TypeParam::TellsRoom()) GTEST_SKIP() << "this line cannot tell when it has room again";
    full = PortWaitTransmit(this->port_, 30) == TPortWait::kTimeout;
  }
  EXPECT_TRUE(full) << "a full line has no room to wait for";
  if (TypeParam::kHasOutQueue) {
    TPortQueueStat stat;
    ASSERT_TRUE(PortClearError(this->port_, nullptr, &stat));
    EXPECT_EQ(stat.out_queue, 1024u);
  }

  std::thread reader([this, total] {
    std::vector<char> sink(4096);
    for (std::size_t got = 0, n = 1; got < total && n != 0; got += n)
      n = this->far_.Read(sink.data(), sink.size(), 2000);
  });
  EXPECT_EQ(PortWaitTransmit(this->port_, 5000), TPortWait::kReady);
  reader.join();
}

TEST(PortOpen, MissingDevicesAreFileNotFoundAndBadHandlesAreRefused) {
  for (const char* name : {"sim:no-such-line", "COM99", ""}) {
    EXPECT_EQ(PortOpen(name), kInvalidPortHandle) << name;
    EXPECT_EQ(LastError(), kErrorFileNotFound) << name;
  }
  // (the text of kErrorFileNotFound: CommonTest's LastSysErrorText test)
  EXPECT_FALSE(SystemErrorText(kErrorBusy).empty());

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
