// The termios form of a DCB (internal to platform/): pure, so that every
// mapping can be tested without a device. A pseudo-terminal cannot show all
// of them: the kernel keeps its termios at eight data bits without parity.
#pragma once

#include "platform/Port.h"

struct termios;

namespace kestrel::platform {

// Sets the flags of `t` that a DCB decides, keeping the others (the rate is
// set apart): raw mode, receiver on, modem lines not gating I/O (carrier is
// read with TIOCMGET, so that a carrier loss never hangs up the descriptor),
// DTR dropped on the last close, data bits, parity (mark and space through
// CMSPAR), stop bits (one and a half as two), RTS/CTS, XON/XOFF with the
// DCB's characters, reads returning at once. `dcb` must be valid (Port.cpp
// checks it).
void BuildTermios(const TPortDcb& dcb, termios& t);

}  // namespace kestrel::platform
