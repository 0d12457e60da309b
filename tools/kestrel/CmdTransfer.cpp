// send, listen and monitor: the commands that run the gate's exchanges.
#include <cstdio>
#include <functional>

#include "heron.h"
#include "platform/StopNotifier.h"
#include "tools/kestrel/Clock.h"
#include "tools/kestrel/Commands.h"
#include "tools/kestrel/Console.h"
#include "tools/kestrel/GateAddresses.h"
#include "tools/kestrel/Progress.h"
#include "tools/kestrel/Receiver.h"
#include "tools/kestrel/Runtime.h"
#include "tools/kestrel/Sender.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

// A monitor window only needs the gate's log lines echoed when asked; a
// window that does not open is told by OpenMonitor.
class TQuietEvents final : public TCoreEvents {
 public:
  TQuietEvents(TConsole& console, bool verbose) : console_(console), verbose_(verbose) {}
  void OnGateLine(const TLogLine& line) override {
    if (verbose_) console_.Line((line.error ? "gate error: " : "gate: ") + line.text);
  }

 private:
  TConsole& console_;
  bool verbose_;
};

}  // namespace

void OpenMonitor(TRuntime& rt, decltype(&::GateMonitor) monitor) {
  PrepareDialogs();
  const std::string before = rt.Core().LastError();
  monitor();
  // The export answers nothing; a window that could not be made is reported
  // to the core as an error.
  const std::string after = rt.Core().LastError();
  if (after != before && after.find("GLCreateMonitorForm") != std::string::npos)
    throw EToolError("the monitor window did not open: " + after);
}

void PumpMainThreadUntil(const std::function<bool()>& done) {
  // The gate's windows live on this thread; a console program has no loop
  // of its own, so it lends the gate this one until it is done. Each pump
  // waits for work up to its time-out: a stop is seen within that time.
  while (!done()) HeronPumpMainThread(100);
}

int RunSend(const TOptions& o) {
  // Files first: an unreadable one ends the command before anything is kept.
  const auto files = ReadFiles(o.files);
  TRuntime rt(o.global);
  const TParty party = rt.Config().RequireParty(o.to);
  TConsole& console = TConsole::Standard();
  TSendRun run(console, "", o.global.verbose);
  rt.LoadGate(run);
  platform::TStopNotifier stop([&](const std::string& sig) { run.RequestStop("interrupted by " + sig); });
  const TSendReport report = run.Run(rt, party, files, o.timeout_s * 1000);
  std::uint64_t total = 0;
  for (const auto& f : files) total += f.content.size();
  char rate[64] = "";
  if (report.seconds > 0 && report.bytes_delivered > 0)
    std::snprintf(rate, sizeof rate, ", %s",
                  RateText(static_cast<double>(report.bytes_delivered) / report.seconds).c_str());
  console.Line("delivered " + std::to_string(report.delivered) + " of " + std::to_string(files.size()) +
               " documents (" + std::to_string(report.bytes_delivered) + " of " + std::to_string(total) +
               " bytes) to " + party.name + " in " + DurationText(report.seconds) + rate);
  return report.failed == 0 ? 0 : 1;
}

int RunListen(const TOptions& o) {
  TRuntime rt(o.global);
  TInbox inbox(o.into.empty() ? DefaultInboxPath() : o.into);
  TConsole& console = TConsole::Standard();
  TReceiveRun run(console, "", o.global.verbose);
  rt.LoadGate(run);
  platform::TStopNotifier stop(
      [&](const std::string& why) { run.RequestStop(why == "end of input" ? why : "interrupted by " + why); },
      o.stop_at_end_of_input);
  const int received = run.Run(rt, inbox, o.open_monitor);
  console.Line("received " + std::to_string(received) + " documents");
  return 0;
}

int RunMonitor(const TOptions& o) {
  if (o.open_monitor) {
    TOptions listen = o;
    listen.command = TCommand::Listen;
    return RunListen(listen);
  }
  TRuntime rt(o.global);
  TConsole& console = TConsole::Standard();
  TQuietEvents events(console, o.global.verbose);
  rt.LoadGate(events);
  auto monitor = rt.Gate().Need(rt.Gate().GateMonitor, "GateMonitor", "the monitor window");
  TStopWait stop;
  rt.GateStarted();  // the whole-gate stop at the end closes the window
  OpenMonitor(rt, monitor);
  console.Line("the monitor window is open; Ctrl-C closes it");
  PumpMainThreadUntil([&] { return !stop.Signal().empty(); });
  return 0;
}

}  // namespace kestrel::app
