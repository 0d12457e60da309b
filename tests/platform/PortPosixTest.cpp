// What only a termios device shows: the settings as termios holds them (the
// two ends of a pseudo-terminal share one termios, so the master reads back
// what the port layer set on the slave), and the failures of the device.
#include <gtest/gtest.h>

#include <errno.h>
#include <termios.h>

#include <string>

#include "platform/Port.h"
#include "platform/PortBaud_linux.h"
#include "platform/SysError.h"
#include "tests/platform/PortFarEnds.h"

namespace kestrel::platform::testing {
namespace {

class PortPosix : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = PortOpen(pty_.PortName());
    ASSERT_NE(port_, kInvalidPortHandle);
  }
  void TearDown() override { EXPECT_TRUE(PortClose(port_)); }

  termios Applied(const TPortDcb& dcb) {
    EXPECT_TRUE(PortSetState(port_, dcb)) << LastError();
    termios t{};
    EXPECT_EQ(::tcgetattr(pty_.Master(), &t), 0);
    return t;
  }

  TPtyFarEnd pty_;
  TPortHandle port_ = kInvalidPortHandle;
};

TEST_F(PortPosix, OpenLeavesTheLineRawBeforeAnySettings) {
  termios t{};
  ASSERT_EQ(::tcgetattr(pty_.Master(), &t), 0);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON), 0u);
  EXPECT_NE(t.c_cflag & HUPCL, 0u) << "closing must drop DTR";
}

TEST_F(PortPosix, APseudoTerminalKeepsRateStopBitsAndParityKindButNotDataBits) {
  TPortDcb dcb;
  dcb.baud_rate = 9600;
  dcb.byte_size = 7;
  dcb.parity = 3;  // mark
  dcb.stop_bits = 1;
  termios t = Applied(dcb);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u) << "one and a half stop bits are set as two";
  EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), static_cast<tcflag_t>(PARODD | CMSPAR));
  // The kernel pins a pseudo-terminal to eight bits without parity; the port
  // layer must accept that rather than fail the settings.
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_NE(t.c_cflag & HUPCL, 0u);
}

TEST_F(PortPosix, FlowControlMapsOntoTermios) {
  TPortDcb dcb;
  dcb.outx_cts_flow = true;
  dcb.rts_control = TPortDcb::TRtsControl::kHandshake;
  dcb.outx = dcb.inx = true;
  termios t = Applied(dcb);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 17);
  EXPECT_EQ(t.c_cc[VSTOP], 19);

  dcb = TPortDcb{};  // RTS held on, no handshakes
  t = Applied(dcb);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
}

TEST_F(PortPosix, RatesOutsideTheClassicTableAreSetAsCustomRates) {
  for (std::uint32_t rate : {56000u, 14400u, 128000u, 256000u, 115200u, 110u}) {
    TPortDcb dcb;
    dcb.baud_rate = rate;
    ASSERT_TRUE(PortSetState(port_, dcb)) << rate;
    std::uint32_t in = 0, out = 0;
    ASSERT_EQ(GetBaudRates(pty_.Master(), in, out), 0);
    EXPECT_EQ(in, rate);
    EXPECT_EQ(out, rate);
  }
}

TEST_F(PortPosix, WritingAfterTheHangUpFailsWithTheDeviceError) {
  pty_.HangUp();
  EXPECT_EQ(PortWaitTransmit(port_, 1000), TPortWait::kLineChange);
  std::uint32_t done = 7;
  EXPECT_FALSE(PortWrite(port_, "ATH\r", 4, done));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(LastError(), static_cast<std::uint32_t>(EIO));
}

TEST(PortPosixOpen, ANonTerminalIsRefusedWithItsError) {
  EXPECT_EQ(PortOpen("/dev/null"), kInvalidPortHandle);
  EXPECT_EQ(LastError(), static_cast<std::uint32_t>(ENOTTY));
}

}  // namespace
}  // namespace kestrel::platform::testing
