// What only a termios device shows: the DCB mapped onto termios (built
// without a device: a pseudo-terminal would not show data bits or parity),
// the settings as the device holds them (the two ends of a pseudo-terminal
// share one termios, so the master reads back what the port layer set on the
// slave) and the device's failures.
#include <gtest/gtest.h>

#include <errno.h>
#include <termios.h>

#include <string>

#include "platform/Port.h"
#include "platform/PortBaud_linux.h"
#include "platform/PortTermios.h"
#include "platform/SysError.h"
#include "tests/kit/PtyFarEnd.h"

namespace kestrel::platform::testing {
namespace {

using kestrel::testing::TPtyFarEnd;

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
  // Open applies the built termios (its flags are PortTermios's test).
  termios t = Device();
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_NE(t.c_cflag & HUPCL, 0u) << "closing must drop DTR";

  TPortDcb dcb;
  dcb.byte_size = 7;
  dcb.parity = 3;  // mark
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
