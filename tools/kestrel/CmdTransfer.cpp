// send, listen and monitor: the commands that run the gate's exchanges.
#include <cstdio>
#include <atomic>
#include <functional>
#include <thread>

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

// The events of a process that answers and sends: what arrives goes to the
// receiving side, outcomes of sent packets to the sending side.
class TBothEvents final : public TCoreEvents {
 public:
  TBothEvents(TReceiveRun& in, TSendRun& out) : in_(in), out_(out) {}
  void OnGateLine(const TLogLine& line) override { in_.OnGateLine(line); }
  void OnChannelProblem(const std::string& port, const std::string& problem) override {
    in_.OnChannelProblem(port, problem);
  }
  bool OnPacketFailed(const TRefPack& ref, std::int32_t code, std::int32_t param) override {
    return out_.OnPacketFailed(ref, code, param);
  }
  bool OnPacket(std::int32_t sender, const TRefPack& ref, std::string_view data) override {
    return in_.OnPacket(sender, ref, data);
  }
  void OnDelivered(KHandle process, const TRefPack& ref) override { out_.OnDelivered(process, ref); }
  void OnSession(std::int32_t id_cl, std::int32_t direction, std::int32_t kind, const std::string& reason) override {
    if (direction == HERON_PROGRESS_SEND)
      out_.OnSession(id_cl, direction, kind, reason);
    else
      in_.OnSession(id_cl, direction, kind, reason);
  }
  void OnProgress(KHandle process, const std::string& caption, std::int32_t done, std::int32_t total,
                  std::int32_t direction) override {
    if (direction == HERON_PROGRESS_SEND)
      out_.OnProgress(process, caption, done, total, direction);
    else
      in_.OnProgress(process, caption, done, total, direction);
  }

 private:
  TReceiveRun& in_;
  TSendRun& out_;
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
  if (const int recovered = rt.Outbox().Recover(); recovered > 0)
    console.Line("outbox: " + std::to_string(recovered) +
                 " documents were left being sent by a process that ended; queued again (kestrel run sends them)");
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
  if (report.waiting > 0)
    console.Line(std::to_string(report.waiting) +
                 " documents wait in the outbox for their next try (kestrel run or kestrel listen --deliver sends "
                 "them; kestrel outbox shows them)");
  return report.failed == 0 ? 0 : 1;
}

int RunListen(const TOptions& o) {
  TRuntime rt(o.global);
  TInbox inbox(o.into.empty() ? DefaultInboxPath() : o.into);
  TConsole& console = TConsole::Standard();
  TReceiveRun run(console, "", o.global.verbose);
  if (!o.deliver) {
    rt.LoadGate(run, o.accept_unknown);
    platform::TStopNotifier stop(
        [&](const std::string& why) { run.RequestStop(why == "end of input" ? why : "interrupted by " + why); },
        o.stop_at_end_of_input);
    const int received = run.Run(rt, inbox, o.open_monitor);
    console.Line("received " + std::to_string(received) + " documents");
    return 0;
  }
  // Answering and delivering in one process: the delivery runs on a thread
  // of its own once the gate listens; a stop ends the delivery first (no
  // call may run while the whole gate stops), then the listening.
  TSendRun sender(console, "", o.global.verbose);
  TBothEvents both(run, sender);
  rt.LoadGate(both, o.accept_unknown);
  // Whatever way this ends, the gate's threads end before the events go.
  struct TStopFirst {
    TRuntime& rt;
    ~TStopFirst() { rt.StopGate(); }
  } stop_first{rt};
  std::thread delivery;
  std::atomic<bool> delivering{false};
  run.OnListening([&] {
    delivering = true;
    delivery = std::thread([&] {
      try {
        DeliverOutbox(rt, sender, o, "");
      } catch (const std::exception& e) {
        console.Line(std::string("outbox: delivery stopped: ") + e.what());
        run.RequestStop(std::string("the delivery failed: ") + e.what());
        return;
      }
      run.RequestStop(sender.StopReason());
    });
  });
  platform::TStopNotifier stop(
      [&](const std::string& why) {
        const std::string reason = why == "end of input" ? why : "interrupted by " + why;
        sender.RequestStop(reason);
        // Once delivering, the delivery stops the listening as it ends.
        if (!delivering) run.RequestStop(reason);
      },
      o.stop_at_end_of_input);
  int received = 0;
  try {
    received = run.Run(rt, inbox, o.open_monitor, [&] {
      sender.RequestStop("stopping");
      if (delivery.joinable()) delivery.join();
    });
  } catch (...) {
    sender.RequestStop("stopping");
    if (delivery.joinable()) delivery.join();
    throw;
  }
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
