#include "tools/kestrel/Receiver.h"


#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <thread>

#include "heron.h"
#include "platform/PortNames.h"
#include "tools/kestrel/Commands.h"
#include "tools/kestrel/Document.h"
#include "tools/kestrel/Runtime.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {

TReceiveRun::TReceiveRun(TConsole& console, std::string prefix, bool verbose)
    : console_(console), prefix_(std::move(prefix)), verbose_(verbose) {}

namespace {

// The fault the test asked for at `point` ("die-after-store") on the
// `count`th document: none unless KESTREL_TEST_FAULT says so.
void TestFault(const char* point, int count) {
  const char* fault = std::getenv("KESTREL_TEST_FAULT");
  if (fault == nullptr) return;
  const std::string text(fault);
  const std::string prefix = std::string(point) + ":";
  if (text.rfind(prefix, 0) != 0) return;
  if (std::atoi(text.c_str() + prefix.size()) != count) return;
  std::_Exit(137);  // at once, as a kill ends it: no destructor runs, nothing more is acknowledged
}

// The party's name, or "client N" when no party has that client id.
std::string PartyName(TRuntime& rt, std::int32_t id_cl) {
  const auto party = rt.Config().FindPartyByClientId(id_cl);
  return party ? party->name : "client " + std::to_string(id_cl);
}

// Part files left by a process that ended: placed when a transaction
// recorded them, else removed. Returns a line for the person, or "".
std::string RecoverParts(TRuntime& rt, TInbox& inbox) {
  int placed = 0, removed = 0;
  std::lock_guard lock(inbox.Mutex());
  for (const std::string& part : inbox.OrphanParts()) {
    if (auto stored = rt.Journal().FindStoredByPart(part)) {
      std::filesystem::path target = stored->target;
      std::error_code ec;
      if (std::filesystem::exists(target, ec)) target = inbox.FreeName(target.filename().string());
      inbox.Place(part, target);
      ++placed;
    } else {
      inbox.RemovePart(part);
      ++removed;
    }
  }
  if (placed == 0 && removed == 0) return {};
  return "inbox: " + std::to_string(placed) + " documents recorded before an interruption put in place, " +
         std::to_string(removed) + " partial files removed";
}

}  // namespace

int TReceiveRun::Run(TRuntime& rt, TInbox& inbox, bool open_monitor, const std::function<void()>& before_stop) {
  const std::string settings = rt.RequireChannelSettings();
  const TOwnAddress own = rt.RequireOwnAddress();
  if (const std::string recovered = RecoverParts(rt, inbox); !recovered.empty()) console_.Line(prefix_ + recovered);
  rt.Core().SetGateSettings(rt.Options().gate_code, settings);
  auto monitor = open_monitor ? rt.Gate().Need(rt.Gate().GateMonitor, "GateMonitor", "the monitor window") : nullptr;
  {
    std::lock_guard lock(mutex_);
    rt_ = &rt;
    inbox_ = &inbox;
  }
  rt.GateStarted();
  const KHandle process = rt.Gate().StartListen(own.block.data(), static_cast<std::int32_t>(own.block.size()),
                                                own.client_id, rt.Options().gate_code, 0);
  if (process == 0) {
    const std::string why = rt.Core().LastError();
    throw EToolError("the gate did not start listening" + (why.empty() ? std::string() : ": " + why));
  }
  if (monitor != nullptr) OpenMonitor(rt, monitor);
  console_.Line(prefix_ + "listening as client " + std::to_string(own.client_id) + " (gate code " +
                std::to_string(rt.Options().gate_code) + "); documents go to " + inbox.Dir().string());
  if (on_listening_) on_listening_();
  std::string why;
  if (monitor != nullptr) {
    PumpMainThreadUntil([&] {
      std::lock_guard lock(mutex_);
      return !stop_reason_.empty();
    });
  }
  {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return !stop_reason_.empty(); });
    why = stop_reason_;
  }
  console_.Line(prefix_ + "stopping: " + why);
  if (before_stop) before_stop();
  rt.Gate().StopListen(process, 1);
  rt.StopGate();
  console_.ClearStatus();
  std::lock_guard lock(mutex_);
  rt_ = nullptr;
  inbox_ = nullptr;
  return received_;
}

void TReceiveRun::RequestStop(const std::string& why) {
  {
    std::lock_guard lock(mutex_);
    if (stop_reason_.empty()) stop_reason_ = why;
  }
  cv_.notify_all();
}

void TReceiveRun::OnGateLine(const TLogLine& line) {
  if (verbose_ || line.error)
    console_.Line(prefix_ + (line.error ? "gate error: " : "gate: ") + line.text +
                  (line.details.empty() ? "" : " | " + line.details));
}

void TReceiveRun::OnChannelProblem(const std::string& port, const std::string& problem) {
  console_.Line(prefix_ + "cannot listen on " + port + " (" + platform::ResolvePortName(port) + "): " + problem);
}

bool TReceiveRun::OnPacket(std::int32_t sender_id_cl, const TRefPack& ref, std::string_view data) {
  TRuntime* rt = nullptr;
  TInbox* inbox = nullptr;
  {
    std::lock_guard lock(mutex_);
    rt = rt_;
    inbox = inbox_;
  }
  if (rt == nullptr || inbox == nullptr) return false;
  const std::string party = PartyName(*rt, sender_id_cl);

  TDocument doc;
  std::string why;
  const TDecodeResult kind = DecodeDocument(data, doc, why);
  std::string name;
  std::string_view content;
  std::optional<std::uint32_t> crc;
  if (kind == TDecodeResult::Document) {
    name = doc.name;
    content = doc.content;
    crc = doc.crc32;
  } else if (kind == TDecodeResult::NotADocument) {
    name = "packet-" + std::to_string(ref.Number) + ".bin";
    content = data;
    crc = Crc32(data);
  }
  if (kind == TDecodeResult::Damaged) content = data;
  if (kind == TDecodeResult::Damaged) {
    try {
      rt->Journal().AddIncoming(party, sender_id_cl, "(damaged)", static_cast<std::int64_t>(content.size()), crc, ref,
                                TOutcome::Rejected, why);
    } catch (const std::exception& e) {
      console_.Line(prefix_ + "journal: " + e.what());
    }
    console_.Line(prefix_ + "REFUSED a packet from " + party + ": " + why);
    return false;
  }
  const std::string label = name + " (" + std::to_string(content.size()) + " bytes) from " + party;
  auto repeated = [&](const TJournal::TStoredRef& earlier) {
    const std::string detail = "already stored as journal entry " + std::to_string(earlier.journal_id) + " (" +
                               earlier.target + "); acknowledged, not stored again";
    try {
      rt->Journal().AddIncoming(party, sender_id_cl, name, static_cast<std::int64_t>(content.size()), crc, ref,
                                TOutcome::Repeated, detail);
    } catch (const std::exception& e) {
      console_.Line(prefix_ + "journal: " + e.what());
    }
    console_.Line(prefix_ + "received again " + label + ": " + detail);
    return true;
  };
  std::filesystem::path target;
  try {
    if (auto earlier = rt->Journal().FindStored(sender_id_cl, ref)) return repeated(*earlier);
    const std::string part = inbox->WritePart(name, content);
    TJournal::TStoredRef stored;
    bool repeat = false;
    {
      std::lock_guard store_lock(inbox->Mutex());
      try {
        target = inbox->FreeName(name);
        stored = rt->Journal().AddStored(party, sender_id_cl, name, static_cast<std::int64_t>(content.size()), crc,
                                         ref, part, target.string(), repeat);
      } catch (...) {
        inbox->RemovePart(part);
        throw;
      }
      if (repeat) {
        inbox->RemovePart(part);
      } else {
        int count = 0;
        {
          std::lock_guard lock(mutex_);
          count = ++stored_;
        }
        TestFault("die-after-commit", count);
        // Recorded: a failure here leaves the part file for the next start.
        inbox->Place(part, target);
        TestFault("die-after-store", count);
      }
    }
    if (repeat) return repeated(stored);
  } catch (const std::exception& e) {
    console_.Line(prefix_ + "REFUSED " + label + ": " + e.what());
    return false;
  }
  console_.Line(prefix_ + "received " + label + " -> " + target.string());
  if (const char* delay = std::getenv("KESTREL_TEST_ACK_DELAY_MS"))
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
  std::lock_guard lock(mutex_);
  ++received_;
  return true;
}

void TReceiveRun::OnSession(std::int32_t id_cl, std::int32_t direction, std::int32_t kind, const std::string& reason) {
  if (direction != HERON_PROGRESS_RECEIVE || kind != HERON_SESSION_REFUSED) return;
  TRuntime* rt = nullptr;
  {
    std::lock_guard lock(mutex_);
    rt = rt_;
  }
  const std::string who = rt != nullptr ? PartyName(*rt, id_cl) : "client " + std::to_string(id_cl);
  console_.Line(prefix_ + "refused a call from " + who + (reason.empty() ? "" : ": " + reason));
}

void TReceiveRun::OnProgress(KHandle process, const std::string& caption, std::int32_t done, std::int32_t total,
                             std::int32_t direction) {
  if (direction != HERON_PROGRESS_RECEIVE) return;
  std::unique_lock lock(mutex_);
  TTransferMeter& meter = meters_[process];
  const bool line_due = meter.Report(done, total, TSteadyClock::now());
  const TProgressView view = meter.View(TrimCaption(caption));
  const bool finished = meter.Finished();
  if (finished) meters_.erase(process);
  lock.unlock();
  const std::string key = prefix_ + "progress " + std::to_string(process);
  if (console_.Terminal())
    console_.SetStatus(
        key, finished ? "" : prefix_ + ProgressBar(view, console_.Width() - 1 - static_cast<int>(prefix_.size())));
  else if (line_due)
    console_.Line(prefix_ + ProgressLine(view));
}

}  // namespace kestrel::app
