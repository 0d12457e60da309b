// kestrel: the reference host program of the Kestrel modem gate.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "platform/ProcessEnv.h"
#include "platform/StopSignal.h"
#include "tools/kestrel/Commands.h"
#include "tools/kestrel/Options.h"

int main(int argc, char** argv) {
  // Before any thread starts: every thread inherits the blocked stop
  // signals, which the commands then take on a thread of their own.
  kestrel::platform::BlockStopSignals();
  // Output cut off (`kestrel demo | head`) must not end the program before
  // it has stopped its gate and its listener and removed its files.
  kestrel::platform::IgnoreBrokenPipes();
  try {
    kestrel::app::TOptions options;
    const std::vector<std::string> args(argv, argv + argc);
    if (const int rc = kestrel::app::ParseOptions(args, options, std::cout, std::cerr); rc >= 0) return rc;
    return kestrel::app::RunCommand(options);
  } catch (const std::exception& e) {
    std::cerr << "kestrel: " << e.what() << std::endl;
  } catch (...) {
    std::cerr << "kestrel: unexpected failure" << std::endl;
  }
  return 1;
}
