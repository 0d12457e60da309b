// The command line of kestrel-sim.
#pragma once

#include <string>
#include <vector>

#include "sim/Exchange.h"

namespace kestrel::tools {

struct TSimModem {
  std::string number;
  std::string link;  // where the pseudo-terminal's link goes
  sim::TModemSetup setup;
};

struct TSimProgramOptions {
  sim::TExchangeOptions exchange;
  std::vector<TSimModem> modems;
  bool quiet = false;
};

// Parses the command line. Returns -1 when the program should go on with
// `options` filled, otherwise the exit code to end with (0 after --help, 2
// after a usage error), the text already printed.
int ParseSimOptions(int argc, char** argv, TSimProgramOptions& options);

}  // namespace kestrel::tools
