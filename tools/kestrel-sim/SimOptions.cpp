#include "tools/kestrel-sim/SimOptions.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <set>

#include "kestrel/version.h"
#include "sim/DialString.h"
#include "sim/FaultText.h"

namespace kestrel::tools {
namespace {

std::string Footer() {
  return "Faults (--fault NUMBER:FAULT, as often as needed):\n" + std::string(sim::FaultTextHelp()) +
         "\nEach modem's device is a link DIR/PREFIX<number> to a pseudo-terminal; open it as a\n"
         "serial port. Ctrl-C or SIGTERM stops the exchange and removes the links.\n";
}

}  // namespace

int ParseSimOptions(int argc, char** argv, TSimProgramOptions& options) {
  CLI::App app{"kestrel-sim: Hayes modems on a simulated telephone exchange, on pseudo-terminals"};
  app.footer(Footer());
  app.set_version_flag("--version", "kestrel-sim " KESTREL_VERSION, "Print the version and exit");
  unsigned count = 2;
  std::vector<std::string> numbers;
  std::string dir = "/tmp/kestrel-sim";
  std::string prefix = "modem";
  std::string unknown = "silence";
  std::vector<std::string> faults;
  auto& ex = options.exchange;

  app.add_option("-n,--modems", count, "Number of modems, numbered 101, 102, ...")->check(CLI::Range(1, 64));
  app.add_option("--numbers", numbers, "Their telephone numbers instead (comma-separated)")->delimiter(',');
  app.add_option("-d,--dir", dir, "Directory for the device links")->capture_default_str();
  app.add_option("--prefix", prefix, "Link name before the number")->capture_default_str();
  app.add_option("-r,--rate", ex.rate, "Carrier rate of a call, bit/s")->check(CLI::Range(300, 10000000))->capture_default_str();
  app.add_option("--latency-ms", ex.latency_ms, "One-way delay of a line")->check(CLI::Range(0, 60000))->capture_default_str();
  app.add_option("--dial-ms", ex.dial_ms, "From the end of dialling until the far line rings")
      ->check(CLI::Range(0, 600000))->capture_default_str();
  app.add_option("--handshake-ms", ex.handshake_ms, "From the answer until CONNECT")
      ->check(CLI::Range(0, 600000))->capture_default_str();
  app.add_option("--ring-on-ms", ex.ring_on_ms, "Ring cadence: ringing")->check(CLI::Range(1, 60000))->capture_default_str();
  app.add_option("--ring-off-ms", ex.ring_off_ms, "Ring cadence: pause")->check(CLI::Range(0, 60000))->capture_default_str();
  app.add_option("--unknown", unknown, "A number nobody has: silence (NO CARRIER) or ring (NO ANSWER)")
      ->check(CLI::IsMember({"silence", "ring"}))->capture_default_str();
  app.add_option("--seed", ex.seed, "Seed of the fault generator")->capture_default_str();
  app.add_option("--fault", faults, "A fault of one modem: NUMBER:FAULT (see below)");
  app.add_flag("-q,--quiet", options.quiet, "Do not log the calls");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  ex.unknown_number = unknown == "ring" ? sim::TExchangeOptions::TUnknownNumber::kRingNoAnswer
                                        : sim::TExchangeOptions::TUnknownNumber::kSilence;
  if (numbers.empty())
    for (unsigned i = 0; i < count; ++i) numbers.push_back(std::to_string(101 + i));

  std::set<std::string> seen;
  for (const auto& number : numbers) {
    const std::string digits = sim::NormaliseNumber(number);
    if (digits.empty() || !seen.insert(digits).second) {
      std::cerr << "kestrel-sim: the number \"" << number << "\" is empty or given twice\n";
      return 2;
    }
    TSimModem m;
    m.number = number;
    m.setup.number = number;
    m.link = (std::filesystem::path(dir) / (prefix + number)).string();
    options.modems.push_back(m);
  }
  for (const auto& f : faults) {
    const std::size_t colon = f.find(':');
    const std::string digits = sim::NormaliseNumber(f.substr(0, colon == std::string::npos ? 0 : colon));
    TSimModem* target = nullptr;
    for (auto& m : options.modems)
      if (sim::NormaliseNumber(m.number) == digits) target = &m;
    if (colon == std::string::npos || target == nullptr) {
      std::cerr << "kestrel-sim: --fault " << f << ": NUMBER:FAULT with the number of one of the modems\n";
      return 2;
    }
    std::string error;
    if (!sim::ApplyFaultText(std::string_view(f).substr(colon + 1), target->setup, error)) {
      std::cerr << "kestrel-sim: " << error << "\n";
      return 2;
    }
  }
  return -1;
}

}  // namespace kestrel::tools
