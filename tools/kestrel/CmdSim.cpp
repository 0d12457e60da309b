// sim: simulated modems on pseudo-terminals for other programs to use.
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "sim/DialString.h"
#include "sim/FaultText.h"
#include "tools/kestrel/Commands.h"
#include "tools/kestrel/SimExchange.h"
#include "tools/kestrel/TempFolder.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {

int RunSim(const TOptions& o) {
  std::vector<std::string> numbers = o.sim.numbers;
  if (numbers.empty())
    for (unsigned i = 0; i < o.sim.modems; ++i) numbers.push_back(std::to_string(101 + i));
  std::map<std::string, sim::TModemSetup> setups;
  std::set<std::string> seen;
  for (const auto& n : numbers) {
    const std::string digits = sim::NormaliseNumber(n);
    if (digits.empty() || !seen.insert(digits).second)
      throw EToolError("sim: the number \"" + n + "\" is empty or given twice");
    setups[n] = sim::TModemSetup{};
  }
  for (const auto& f : o.sim.faults) {
    const std::size_t colon = f.find(':');
    const std::string number = colon == std::string::npos ? std::string() : f.substr(0, colon);
    auto it = std::find_if(setups.begin(), setups.end(), [&](const auto& s) {
      return sim::NormaliseNumber(s.first) == sim::NormaliseNumber(number);
    });
    if (number.empty() || it == setups.end())
      throw EToolError("sim: --fault " + f + ": NUMBER:FAULT with the number of one of the modems");
    std::string error;
    if (!sim::ApplyFaultText(std::string_view(f).substr(colon + 1), it->second, error))
      throw EToolError("sim: --fault " + f + ": " + error);
  }

  std::unique_ptr<TTempFolder> temp;
  std::filesystem::path dir = o.sim.dir;
  if (dir.empty()) {
    temp = std::make_unique<TTempFolder>("kestrel-sim");
    dir = temp->Path();
  }
  sim::TExchangeOptions ex;
  ex.rate = o.sim.rate;
  ex.latency_ms = o.sim.latency_ms;
  TConsole& console = TConsole::Standard();
  TSimExchange exchange(ex, console, "", !o.sim.quiet);
  for (const auto& n : numbers) {
    const std::filesystem::path folder = dir / n;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw EToolError("sim: cannot make " + folder.string() + ": " + ec.message());
    exchange.AddModem(n, (folder / "com1").string(), setups[n]);
    console.Line("modem " + n + ": " + exchange.Describe(n) + "  (KESTREL_COM_DIR=" + folder.string() +
                 " makes it COM1)");
  }
  TStopWait stop;
  exchange.Start();
  console.Line("sim: " + std::to_string(numbers.size()) + " modems at " + std::to_string(ex.rate) +
               " bit/s; Ctrl-C stops");
  console.Line("sim: " + stop.Wait() + ", stopping");
  return 0;
}

}  // namespace kestrel::app
