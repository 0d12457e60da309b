// One line of a call log for an exchange event, as kestrel-sim prints it:
// "101 dials 102", "102 RING", "102 answers", "101 CONNECT 33600",
// "101 hangs up", "101 DTR off", "101 carrier dropped".
#pragma once

#include <string>

#include "sim/Exchange.h"

namespace kestrel::sim {

// `who` names the modem (its number, or a stand-in when it has none).
std::string EventText(const TExchangeEvent& event, const std::string& who);

}  // namespace kestrel::sim
