// run, outbox, outbox cancel, party retry: the outbox and its delivery.
#include <algorithm>
#include <thread>

#include "tools/kestrel/Clock.h"
#include "tools/kestrel/Commands.h"
#include "tools/kestrel/Console.h"
#include "tools/kestrel/Outbox.h"
#include "tools/kestrel/Runtime.h"
#include "tools/kestrel/Schema.h"
#include "tools/kestrel/Sender.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

std::string Pad(std::string s, std::size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s + " ";
}

std::string TimeOf(std::int64_t epoch) {
  return LocalTimeText(TWallClock::time_point(std::chrono::seconds(epoch))).substr(0, 19);
}

std::string PolicyText(const TRetryPolicy& p) {
  return "first retry after " + SecondsText(p.first_s) + ", doubling up to " + SecondsText(p.ceiling_s) +
         "; given up after " + (p.attempts > 0 ? std::to_string(p.attempts) + " attempts" : "no number of attempts") +
         " or " + (p.max_age_s > 0 ? SecondsText(p.max_age_s) : "no age limit");
}

std::int64_t SecondsOption(const std::optional<std::string>& text, const char* option, std::int64_t current) {
  if (!text) return current;
  const auto s = ParseSeconds(*text);
  if (!s) throw EToolError(std::string(option) + " " + *text + ": not a duration (90, 90s, 5m, 2h or 3d)");
  return *s;
}

}  // namespace

int DeliverOutbox(TRuntime& rt, TSendRun& run, const TOptions& o, const std::string& prefix) {
  TConsole& console = TConsole::Standard();
  int failed_calls = 0;
  for (;;) {
    if (run.Stopped()) break;
    if (const int recovered = rt.Outbox().Recover(); recovered > 0)
      console.Line(prefix + "outbox: " + std::to_string(recovered) +
                   " documents were left being sent by a process that ended; queued again");
    for (const std::string& name : rt.Outbox().DueParties(EpochNow())) {
      if (run.Stopped()) break;
      const auto party = rt.Config().FindParty(name);
      if (!party) {
        for (const auto& item : rt.Outbox().List(name))
          if (item.state == "queued") rt.Outbox().Cancel(item.id, "the party \"" + name + "\" no longer exists");
        console.Line(prefix + "outbox: gave up the documents for \"" + name + "\": no such party any more");
        continue;
      }
      const auto items = rt.Outbox().Claim(name, EpochNow());
      if (items.empty()) continue;
      console.Line(prefix + "calling " + name + " with " + std::to_string(items.size()) + " documents");
      const TSendReport r = run.Deliver(rt, *party, items, o.timeout_s * 1000, false);
      if (r.failed > 0) ++failed_calls;
      console.Line(prefix + "call to " + name + ": " + std::to_string(r.delivered) + " delivered, " +
                   std::to_string(r.waiting) + " wait for a retry, " + std::to_string(r.failed - r.waiting) +
                   " given up");
    }
    if (o.once || run.Stopped()) break;
    if (o.until_empty && rt.Outbox().List().empty()) break;
    const auto next = rt.Outbox().NextTry();
    const std::int64_t now = EpochNow();
    // Rows another process sends are looked at again every few seconds.
    std::int64_t wait_s = 5;
    if (next) wait_s = std::clamp<std::int64_t>(*next - now, 0, 5);
    if (wait_s > 0 && run.WaitForStop(static_cast<std::uint32_t>(wait_s * 1000))) break;
    if (wait_s == 0 && run.WaitForStop(200)) break;
  }
  return failed_calls;
}

int RunDeliver(const TOptions& o) {
  TConsole& console = TConsole::Standard();
  // Made before the runtime, so that it outlives the gate's threads (the
  // runtime stops the whole gate as it goes).
  TSendRun run(console, "", o.global.verbose);
  TRuntime rt(o.global);
  (void)rt.RequireChannelSettings();
  (void)rt.RequireOwnAddress();
  rt.LoadGate(run);
  platform::TStopNotifier stop([&](const std::string& sig) { run.RequestStop("interrupted by " + sig); });
  DeliverOutbox(rt, run, o, "");
  const auto left = rt.Outbox().List();
  console.Line("run ends: " + std::to_string(left.size()) + " documents wait in the outbox");
  return o.until_empty && !left.empty() ? 1 : 0;
}

int RunOutbox(const TOptions& o) {
  auto db = OpenStore(o.global.db.empty() ? DefaultDatabasePath() : o.global.db);
  TOutbox outbox(*db);
  TConsole& console = TConsole::Standard();
  if (o.command == TCommand::PartyRetry) {
    if (!TConfigStore(*db).FindParty(o.party))
      throw EToolError("no party named \"" + o.party + "\" in " + db->Path() + " (see kestrel party list)");
    TRetryPolicy p = outbox.Policy(o.party);
    if (o.retry_first || o.retry_ceiling || o.retry_attempts || o.retry_max_age) {
      p.first_s = SecondsOption(o.retry_first, "--first", p.first_s);
      p.ceiling_s = SecondsOption(o.retry_ceiling, "--ceiling", p.ceiling_s);
      p.max_age_s = SecondsOption(o.retry_max_age, "--max-age", p.max_age_s);
      if (o.retry_attempts) p.attempts = *o.retry_attempts;
      if (p.first_s < 1) throw EToolError("--first: at least 1 s");
      if (p.ceiling_s < p.first_s) p.ceiling_s = p.first_s;
      outbox.SetPolicy(o.party, p);
    }
    console.Line("party \"" + o.party + "\": " + PolicyText(p));
    return 0;
  }
  if (o.command == TCommand::OutboxCancel) {
    int failed = 0;
    for (const std::int64_t id : o.ids) {
      if (outbox.Cancel(id, "cancelled (kestrel outbox cancel)")) {
        console.Line("cancelled " + std::to_string(id));
      } else {
        console.Line("not cancelled " + std::to_string(id) + ": not in the outbox, or being sent now");
        ++failed;
      }
    }
    return failed == 0 ? 0 : 1;
  }
  const auto items = outbox.List(o.party);
  if (items.empty()) {
    console.Line("the outbox is empty");
    return 0;
  }
  const std::int64_t now = EpochNow();
  console.Line(Pad("ID", 6) + Pad("PARTY", 14) + Pad("FILE", 24) + Pad("BYTES", 9) + Pad("STATE", 8) +
               Pad("TRIES", 5) + Pad("NEXT TRY", 19) + "WHY IT WAITS");
  for (const auto& i : items) {
    std::string why = i.last_error.empty() ? "not tried yet" : i.last_error;
    std::string next = i.state == "sending" ? "now (pid " + std::to_string(i.owner_pid) + ")"
                       : i.next_try <= now ? "due now"
                                           : TimeOf(i.next_try);
    console.Line(Pad(std::to_string(i.id), 6) + Pad(i.party, 14) + Pad(i.file, 24) + Pad(std::to_string(i.bytes), 9) +
                 Pad(i.state, 8) + Pad(std::to_string(i.attempts), 5) + Pad(next, 19) + why);
  }
  console.Line(std::to_string(items.size()) + " documents wait");
  return 0;
}

}  // namespace kestrel::app
