#include "platform/PortBaud_linux.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

namespace kestrel::platform {

int SetCustomBaudRate(int fd, std::uint32_t bits_per_second) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
  // The input field left at 0 means "as the output", so that a later
  // classic rate set through termios moves both directions again.
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER;
  t.c_ispeed = bits_per_second;
  t.c_ospeed = bits_per_second;
  if (::ioctl(fd, TCSETS2, &t) != 0) return errno;
  return 0;
}

int GetBaudRates(int fd, std::uint32_t& input, std::uint32_t& output) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
  input = t.c_ispeed;
  output = t.c_ospeed;
  return 0;
}

}  // namespace kestrel::platform
