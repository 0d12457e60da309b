// The DCB to termios mapping, without a device (a pseudo-terminal would not
// show data bits or parity).
#include "platform/PortTermios.h"

#include <gtest/gtest.h>
#include <termios.h>

namespace kestrel::platform {
namespace {

termios Built(const TPortDcb& dcb) {
  termios t{};
  t.c_iflag = ICRNL | IXANY | ISTRIP;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ICANON | ECHO | ISIG;
  t.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS;
  BuildTermios(dcb, t);
  return t;
}

constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;

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
    EXPECT_EQ(Built(dcb).c_cflag & kParityBits, parities[p]) << int(p);
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

TEST(PortTermios, RawModeWithLocalLinesAndHangUpOnClose) {
  const termios t = Built(TPortDcb{});
  EXPECT_EQ(t.c_iflag & (ICRNL | IXANY | ISTRIP | IXON | IXOFF), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL | HUPCL), static_cast<tcflag_t>(CREAD | CLOCAL | HUPCL));
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(PortTermios, HardwareAndSoftwareFlowControl) {
  TPortDcb dcb;
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
  const termios t = Built(dcb);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

}  // namespace
}  // namespace kestrel::platform
