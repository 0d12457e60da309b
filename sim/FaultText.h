// Faults and line settings of a modem written as text, as the command line
// of kestrel-sim takes them:
//
//   dead                 the modem is silent (says nothing, answers nothing)
//   echo                 it echoes commands whatever E says
//   chunks=SIZE/DELAY    it says everything in pieces of SIZE bytes, DELAY ms apart
//   no-line              no line plugged in (NO DIALTONE; calls to it find silence)
//   busy                 calls to it get the busy tone
//   dtr-ignored          it is set to &D0: it stays in its call when the port closes
//   no-dtr               its cable carries no DTR: closing the port never ends its call
//   max-rate=BPS         its calls run at no more than BPS
//   bit-errors=P         each data bit of its calls arrives flipped with probability P
//   lose=P               each byte of its calls is lost with probability P
//   drop-after-bytes=N   its calls lose the carrier after N bytes
//   drop-after-ms=N      its calls lose the carrier N ms after CONNECT
//
// Probabilities are decimal numbers from 0 to 1; counts are whole numbers.
#pragma once

#include <string>
#include <string_view>

#include "sim/Exchange.h"

namespace kestrel::sim {

// Applies one fault to `setup`. Returns false with a readable `error` for a
// text that is none of the above or whose value is out of range; `setup` is
// then unchanged.
[[nodiscard]] bool ApplyFaultText(std::string_view desc, TModemSetup& setup, std::string& error);

// The list above, for a program's --help.
std::string_view FaultTextHelp();

}  // namespace kestrel::sim
