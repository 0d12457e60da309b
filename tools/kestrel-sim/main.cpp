// kestrel-sim: runs an exchange of simulated Hayes modems, each on a
// pseudo-terminal that other programs open through a link, prints where each
// modem is and logs the calls until SIGINT or SIGTERM.
#include <chrono>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <string>

#include "platform/StopSignal.h"
#include "sim/EventText.h"
#include "sim/ExchangeRunner.h"
#include "tools/kestrel-sim/SimOptions.h"

namespace {

std::mutex g_out;

std::string Clock() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char buf[32];
  // Only the runner's thread calls this once the exchange runs.
  std::strftime(buf, sizeof buf, "%H:%M:%S", std::localtime(&t));
  char out[40];
  std::snprintf(out, sizeof out, "%s.%03d", buf, static_cast<int>(ms));
  return out;
}

void Say(const std::string& line) {
  std::lock_guard lock(g_out);
  std::cout << line << std::endl;
}

int Run(int argc, char** argv) {
  // Before any thread starts, so that every thread leaves the signals to WaitStopSignal.
  kestrel::platform::BlockStopSignals();
  kestrel::tools::TSimProgramOptions options;
  if (const int rc = kestrel::tools::ParseSimOptions(argc, argv, options); rc >= 0) return rc;

  kestrel::sim::TExchangeRunner runner(options.exchange);
  std::map<kestrel::sim::TModemId, std::string> names;
  for (const auto& m : options.modems) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m.link).parent_path(), ec);
    std::string error;
    const auto id = runner.AddPtyModem(m.link, m.setup, error);
    if (id == kestrel::sim::kNoModem) {
      std::cerr << "kestrel-sim: modem " << m.number << ": " << error << "\n";
      return 1;
    }
    names[id] = m.number;
    Say("modem " + m.number + ": " + runner.PortDescription(id));
  }
  if (!options.quiet) {
    runner.SetEventSink([&names](const kestrel::sim::TExchangeEvent& e) {
      const auto it = names.find(e.modem);
      Say(Clock() + "  " + kestrel::sim::EventText(e, it == names.end() ? "?" : it->second));
    });
  }
  runner.Start();
  Say("kestrel-sim: " + std::to_string(options.modems.size()) + " modems ready; Ctrl-C or SIGTERM stops");
  const std::string signal = kestrel::platform::WaitStopSignal();
  Say("kestrel-sim: " + signal + ", stopping");
  runner.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "kestrel-sim: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "kestrel-sim: unexpected failure\n";
  }
  return 1;
}
