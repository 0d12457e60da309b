#include "tools/kestrel/Receiver.h"

#include "heron.h"
#include "platform/PortNames.h"
#include "tools/kestrel/Commands.h"
#include "tools/kestrel/Document.h"
#include "tools/kestrel/Runtime.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {

TReceiveRun::TReceiveRun(TConsole& console, std::string prefix, bool verbose)
    : console_(console), prefix_(std::move(prefix)), verbose_(verbose) {}

int TReceiveRun::Run(TRuntime& rt, TInbox& inbox, bool open_monitor) {
  const std::string settings = rt.RequireChannelSettings();
  const TOwnAddress own = rt.RequireOwnAddress();
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
  std::string party = "client " + std::to_string(sender_id_cl);
  if (auto p = rt->Config().FindPartyByClientId(sender_id_cl)) party = p->name;

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
  TOutcome outcome = TOutcome::Rejected;
  std::string detail = why;
  if (kind != TDecodeResult::Damaged) {
    try {
      const auto path = inbox->Store(name, content);
      outcome = TOutcome::Received;
      detail = path.string();
    } catch (const std::exception& e) {
      detail = e.what();
    }
  }
  try {
    rt->Journal().AddIncoming(party, sender_id_cl, name.empty() ? "(damaged)" : name,
                              static_cast<std::int64_t>(content.size()), crc, ref, outcome, detail);
  } catch (const std::exception& e) {
    console_.Line(prefix_ + "journal: " + e.what());
  }
  if (outcome == TOutcome::Received) {
    console_.Line(prefix_ + "received " + name + " (" + std::to_string(content.size()) + " bytes) from " + party +
                  " -> " + detail);
    std::lock_guard lock(mutex_);
    ++received_;
  } else {
    console_.Line(prefix_ + "REFUSED a packet from " + party + ": " + detail);
  }
  return outcome == TOutcome::Received;
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
