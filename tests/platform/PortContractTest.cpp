// The port contract, run against every backend: a sim line and a
// pseudo-terminal must behave alike wherever the serial driver can tell.
//
// The posix backend: the DCB mapped onto termios (built without a device: a
// pseudo-terminal would not show data bits or parity), then what only a
// termios device shows: the settings as the device holds them (the two ends of
// a pseudo-terminal share one termios, so the master reads back what the port
// layer set on the slave) and the device's failures.
#include <gtest/gtest.h>

#include <errno.h>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

#include "platform/Port.h"
#include "platform/PortBaud_linux.h"
#include "platform/PortTermios.h"
#include "platform/SysError.h"
#include "platform/Tick.h"
#include "tests/kit/FarEnds.h"

namespace kestrel::platform::testing {
namespace {

using kestrel::testing::TPtyFarEnd;
using kestrel::testing::TSimFarEnd;

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
  dcb.baud_rate = 56000;  // not in the classic table
  dcb.parity = 3;
  dcb.stop_bits = 1;
  EXPECT_TRUE(PortSetState(this->port_, dcb)) << LastError();
  EXPECT_TRUE(PortSetupComm(this->port_, 2048, 2048));
  EXPECT_FALSE(PortSetupComm(this->port_, 0, 2048));
  EXPECT_TRUE(PortSetTimeouts(this->port_, TPortTimeouts{1, 10, 1, 10, 10}));
}

TYPED_TEST(PortContract, WaitsEndAtTheirTimeOutAndSeeTheFarEndHangUp) {
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
      ASSERT_TRUE(PortWrite(this->port_, block.data(), static_cast<std::uint32_t>(block.size()), done));
      total += done;
    }
    ASSERT_EQ(done, 0u) << "a far end that never reads must fill the line";
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
  for (const char* name : {"sim:no-such-line", "/dev/kestrel-no-such-device", ""}) {
    EXPECT_EQ(PortOpen(name), kInvalidPortHandle) << name;
    EXPECT_EQ(LastError(), kErrorFileNotFound) << name;
  }
  EXPECT_FALSE(SystemErrorText(kErrorFileNotFound).empty());
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


termios Built(const TPortDcb& dcb) {
  termios t{};
  t.c_iflag = ICRNL | IXANY | ISTRIP;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ICANON | ECHO | ISIG;
  t.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS;
  BuildTermios(dcb, t);
  return t;
}

TEST(PortTermios, DataBitsParityAndStopBits) {
  TPortDcb dcb;
  const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  for (std::uint8_t bits = 5; bits <= 8; ++bits) {
    dcb.byte_size = bits;
    EXPECT_EQ(Built(dcb).c_cflag & CSIZE, sizes[bits - 5]) << int(bits);
  }
  const tcflag_t parities[] = {0, PARENB | PARODD, PARENB, PARENB | PARODD | CMSPAR, PARENB | CMSPAR};
  for (std::uint8_t p = 0; p <= 4; ++p) {
    dcb.parity = p;
    EXPECT_EQ(Built(dcb).c_cflag & (PARENB | PARODD | CMSPAR), parities[p]) << int(p);
    EXPECT_EQ(Built(dcb).c_iflag & INPCK, 0u);
  }
  dcb.parity_check = true;
  EXPECT_NE(Built(dcb).c_iflag & INPCK, 0u);
  dcb.parity = 0;
  EXPECT_EQ(Built(dcb).c_iflag & INPCK, 0u) << "nothing to check without parity";
  const bool two[] = {false, true, true};
  for (std::uint8_t sb = 0; sb <= 2; ++sb) {
    dcb.stop_bits = sb;
    EXPECT_EQ((Built(dcb).c_cflag & CSTOPB) != 0, two[sb]) << int(sb);
  }
}

TEST(PortTermios, RawModeLocalLinesHangUpOnCloseAndFlowControl) {
  TPortDcb dcb;
  termios t = Built(dcb);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXANY | ISTRIP | IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL | HUPCL | CRTSCTS), static_cast<tcflag_t>(CREAD | CLOCAL | HUPCL));
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);

  dcb.rts_control = TPortDcb::TRtsControl::kHandshake;
  EXPECT_NE(Built(dcb).c_cflag & CRTSCTS, 0u);
  dcb.rts_control = TPortDcb::TRtsControl::kEnable;
  dcb.outx_cts_flow = true;
  EXPECT_NE(Built(dcb).c_cflag & CRTSCTS, 0u);
  dcb = TPortDcb{};
  dcb.outx = true;
  EXPECT_EQ(Built(dcb).c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON));
  dcb.inx = true;
  dcb.xon_char = 0x11;
  dcb.xoff_char = 0x13;
  t = Built(dcb);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

class PortPosix : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(port_ = PortOpen(pty_.PortName()), kInvalidPortHandle); }
  void TearDown() override { EXPECT_TRUE(PortClose(port_)); }
  termios Device() {
    termios t{};
    EXPECT_EQ(::tcgetattr(pty_.Master(), &t), 0);
    return t;
  }
  TPtyFarEnd pty_;
  TPortHandle port_ = kInvalidPortHandle;
};

TEST_F(PortPosix, OpenLeavesTheLineRawAndSettingsReachTheDevice) {
  termios t = Device();
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
  EXPECT_NE(t.c_cflag & HUPCL, 0u) << "closing must drop DTR";

  TPortDcb dcb;
  dcb.byte_size = 7;
  dcb.parity = 3;  // mark
  dcb.stop_bits = 1;
  // Rates outside the classic table are set as custom rates.
  for (std::uint32_t rate : {56000u, 14400u, 128000u, 256000u, 115200u, 110u, 9600u}) {
    dcb.baud_rate = rate;
    ASSERT_TRUE(PortSetState(port_, dcb)) << rate << ": " << LastError();
    std::uint32_t in = 0, out = 0;
    ASSERT_EQ(GetBaudRates(pty_.Master(), in, out), 0);
    EXPECT_EQ(in, rate);
    EXPECT_EQ(out, rate);
  }
  t = Device();
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u) << "one and a half stop bits are set as two";
  EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), static_cast<tcflag_t>(PARODD | CMSPAR));
  // The kernel pins a pseudo-terminal to eight bits without parity; the port
  // layer must accept that rather than fail the settings.
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (CLOCAL | HUPCL), static_cast<tcflag_t>(CLOCAL | HUPCL));
}

TEST_F(PortPosix, WritingAfterTheHangUpFailsWithTheDeviceError) {
  pty_.HangUp();
  EXPECT_EQ(PortWaitTransmit(port_, 1000), TPortWait::kLineChange);
  std::uint32_t done = 7;
  EXPECT_FALSE(PortWrite(port_, "ATH\r", 4, done));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(LastError(), static_cast<std::uint32_t>(EIO));

  EXPECT_EQ(PortOpen("/dev/null"), kInvalidPortHandle) << "not a terminal";
  EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ENOTTY));
}

}  // namespace
}  // namespace kestrel::platform::testing
