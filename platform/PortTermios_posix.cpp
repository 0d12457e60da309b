#include "platform/PortTermios.h"

#include <termios.h>

namespace kestrel::platform {

void BuildTermios(const TPortDcb& dcb, termios& t) {
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                      IXANY | INPCK | IMAXBEL);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  t.c_cflag |= CREAD | CLOCAL | HUPCL;
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[dcb.byte_size - 5];
  switch (dcb.parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (dcb.parity_check && dcb.parity != 0) t.c_iflag |= INPCK;
  // termios knows one or two stop bits; one and a half becomes two, which a
  // receiver set to one and a half still reads.
  if (dcb.stop_bits != 0) t.c_cflag |= CSTOPB;
  if (dcb.outx_cts_flow || dcb.rts_control == TPortDcb::TRtsControl::kHandshake) t.c_cflag |= CRTSCTS;
  if (dcb.outx) t.c_iflag |= IXON;
  if (dcb.inx) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb.xon_char);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb.xoff_char);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

}  // namespace kestrel::platform
