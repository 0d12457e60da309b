#include "tools/kestrel/Sender.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "heron.h"
#include "tools/kestrel/Document.h"
#include "tools/kestrel/Runtime.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

constexpr std::uintmax_t kMaxFileBytes = 256u * 1024 * 1024;

}  // namespace

std::vector<TFileToSend> ReadFiles(const std::vector<std::string>& paths) {
  namespace fs = std::filesystem;
  std::vector<TFileToSend> files;
  for (const auto& path : paths) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st)) throw EToolError("cannot read " + path + ": " + (ec ? ec.message() : "no such file"));
    if (!fs::is_regular_file(st)) throw EToolError("cannot read " + path + ": not a regular file");
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) throw EToolError("cannot read " + path + ": " + ec.message());
    if (size > kMaxFileBytes)
      throw EToolError("cannot send " + path + ": " + std::to_string(size) + " bytes is more than the " +
                       std::to_string(kMaxFileBytes) + " a document may hold");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EToolError("cannot read " + path + ": permission denied or unreadable");
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw EToolError("cannot read " + path + ": read error");
    TFileToSend f;
    f.path = path;
    f.name = fs::path(path).filename().string();
    f.content = content.str();
    if (f.content.size() != size) throw EToolError("cannot read " + path + ": it changed while being read");
    files.push_back(std::move(f));
  }
  return files;
}

TSendRun::TSendRun(TConsole& console, std::string prefix, bool verbose)
    : console_(console), prefix_(std::move(prefix)), verbose_(verbose) {}

TSendReport TSendRun::Run(TRuntime& rt, const TParty& party, const std::vector<TFileToSend>& files,
                          std::uint32_t timeout_ms, bool stop_gate) {
  (void)rt.RequireChannelSettings();
  (void)rt.RequireOwnAddress();
  std::vector<std::string> packets;
  std::vector<TOutgoing> outgoing;
  for (const auto& f : files) {
    packets.push_back(EncodeDocument(f.name, f.content));
    outgoing.push_back(
        TOutgoing{party.name, party.client_id, f.name, static_cast<std::int64_t>(f.content.size()), Crc32(f.content)});
  }
  // In the database, content and all, before anything goes on the line.
  const std::vector<TJournalEntry> entries = rt.Outbox().Add(party.name, party.client_id, outgoing, packets);
  console_.Line(prefix_ + "outbox: " + std::to_string(entries.size()) + " documents kept for " + party.name);
  std::vector<std::int64_t> ids;
  for (const auto& e : entries) ids.push_back(e.id);
  const auto items = rt.Outbox().Claim(party.name, EpochNow(), ids);
  return Deliver(rt, party, items, timeout_ms, stop_gate);
}

bool TSendRun::WaitForStop(std::uint32_t ms) {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !stop_reason_.empty(); });
}

std::string TSendRun::StopReason() {
  std::lock_guard lock(mutex_);
  return stop_reason_.empty() ? "the delivery ended" : stop_reason_;
}

bool TSendRun::Stopped() {
  std::lock_guard lock(mutex_);
  return !stop_reason_.empty();
}

TSendReport TSendRun::Deliver(TRuntime& rt, const TParty& party, const std::vector<TOutboxItem>& claimed,
                              std::uint32_t timeout_ms, bool stop_gate) {
  const std::string settings = rt.RequireChannelSettings();
  const TOwnAddress own = rt.RequireOwnAddress();
  rt.Core().SetGateSettings(rt.Options().gate_code, settings);
  {
    std::lock_guard lock(mutex_);
    rt_ = &rt;
    policy_ = rt.Outbox().Policy(party.name);
    items_.clear();
    for (const auto& i : claimed) items_[i.ref.Number] = TItem{i.id, i.file, i.bytes, false};
    open_ = static_cast<int>(claimed.size());
    call_end_.clear();
    meter_ = TTransferMeter{};
    delivered_ = failed_ = 0;
    delivered_bytes_ = 0;
  }

  TGateLibrary& gate = rt.Gate();
  const auto start = TSteadyClock::now();
  auto last_outcome = start;
  KHandle process = 0;
  if (!claimed.empty() && !Stopped()) {
    rt.GateStarted();
    process = gate.StartTransmit(party.address.data(), static_cast<std::int32_t>(party.address.size()),
                                 own.client_id, rt.Options().gate_code, 0);
    if (process == 0) {
      const std::string why = rt.Core().LastError();
      std::lock_guard lock(mutex_);
      call_end_ = "the gate did not start" + (why.empty() ? std::string() : ": " + why);
    } else {
      for (const auto& i : claimed) {
        if (gate.SendToGate(i.packet.data(), static_cast<std::int32_t>(i.packet.size()), &i.ref, process) == 0) {
          const std::string why = rt.Core().LastError();
          Settle(i.ref.Number, TOutcome::Failed, why.empty() ? "the gate refused the packet" : why);
        }
      }
    }
  }

  TSendReport report;
  {
    std::unique_lock lock(mutex_);
    auto done = [&] { return open_ == 0 || !stop_reason_.empty() || !call_end_.empty(); };
    if (timeout_ms == 0)
      cv_.wait(lock, done);
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), done))
      call_end_ = "no outcome within " + std::to_string(timeout_ms / 1000) + " s";
    report.stopped = open_ > 0;
    last_outcome = TSteadyClock::now();
  }
  // The transmit process would keep the line for its stay-on-line time;
  // everything is settled (or given up), so it ends now.
  if (process != 0) gate.StopTransmit(process);
  if (stop_gate) {
    rt.StopGate();
  } else if (process != 0 && !Stopped()) {
    // The packets not started are failed at once; the one on its way settles
    // on its own: its outcome is waited for, for a while.
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, std::chrono::seconds(30), [&] { return open_ == 0 || !stop_reason_.empty(); });
  }
  std::string reason;
  {
    std::lock_guard lock(mutex_);
    reason = !stop_reason_.empty() ? stop_reason_ : !call_end_.empty() ? call_end_ : "no outcome from the gate";
  }
  for (const auto& i : claimed) Settle(i.ref.Number, TOutcome::Failed, reason);
  console_.ClearStatus();

  std::lock_guard lock(mutex_);
  rt_ = nullptr;
  for (const auto& i : claimed) {
    auto now = rt.Journal().Find(i.id);
    if (now) report.entries.push_back(*now);
  }
  for (const auto& e : report.entries) {
    if (e.outcome == TOutcome::Delivered) {
      ++report.delivered;
      report.bytes_delivered += static_cast<std::uint64_t>(e.bytes);
    } else {
      ++report.failed;
      if (e.outcome == TOutcome::Queued) ++report.waiting;
    }
  }
  report.seconds = std::chrono::duration<double>(last_outcome - start).count();
  return report;
}

void TSendRun::RequestStop(const std::string& why) {
  {
    std::lock_guard lock(mutex_);
    if (stop_reason_.empty()) stop_reason_ = why;
  }
  cv_.notify_all();
}

void TSendRun::Settle(std::int32_t number, TOutcome outcome, const std::string& detail) {
  std::unique_lock lock(mutex_);
  const auto it = items_.find(number);
  if (rt_ == nullptr || it == items_.end() || it->second.settled) return;
  it->second.settled = true;
  --open_;
  const TItem item = it->second;
  TRuntime* rt = rt_;
  const TRetryPolicy policy = policy_;
  if (outcome == TOutcome::Delivered) {
    ++delivered_;
    delivered_bytes_ += static_cast<std::uint64_t>(item.bytes);
  } else {
    ++failed_;
  }
  lock.unlock();
  std::string next;
  try {
    if (outcome == TOutcome::Delivered)
      rt->Outbox().Delivered(item.id);
    else
      next = rt->Outbox().Failed(item.id, detail, policy);
  } catch (const std::exception& e) {
    console_.Line(prefix_ + "outbox: " + e.what());
  }
  console_.Line(prefix_ + (outcome == TOutcome::Delivered ? "delivered " : "FAILED ") + item.name + " (" +
                std::to_string(item.bytes) + " bytes)" + (detail.empty() ? "" : ": " + detail) +
                (next.empty() ? "" : "; " + next));
  cv_.notify_all();
}

std::string TSendRun::CurrentName() const {
  for (const auto& [number, item] : items_)
    if (!item.settled) return item.name;
  return {};
}

void TSendRun::OnGateLine(const TLogLine& line) {
  // Errors reach the person with the document they failed (Settle).
  if (verbose_)
    console_.Line(prefix_ + (line.error ? "gate error: " : "gate: ") + line.text +
                  (line.details.empty() ? "" : " | " + line.details));
}

bool TSendRun::OnPacketFailed(const TRefPack& ref, std::int32_t, std::int32_t) {
  std::string why;
  {
    std::lock_guard lock(mutex_);
    why = !stop_reason_.empty() ? stop_reason_ : call_end_;
    if (why.empty() && rt_ != nullptr) {
      why = rt_->Core().LastError();
      const std::string channels = rt_->Core().ChannelProblems();
      if (!channels.empty()) why = "unusable channel " + channels + (why.empty() ? "" : "; " + why);
    }
  }
  Settle(ref.Number, TOutcome::Failed, why.empty() ? "the gate could not send it" : why);
  return true;
}

void TSendRun::OnSession(std::int32_t, std::int32_t direction, std::int32_t kind, const std::string& reason) {
  if (direction != HERON_PROGRESS_SEND || kind != HERON_SESSION_REFUSED) return;
  {
    std::lock_guard lock(mutex_);
    if (call_end_.empty()) call_end_ = "no session: " + (reason.empty() ? std::string("refused") : reason);
  }
  cv_.notify_all();
}

void TSendRun::OnDelivered(KHandle, const TRefPack& ref) { Settle(ref.Number, TOutcome::Delivered, ""); }

void TSendRun::OnProgress(KHandle, const std::string& caption, std::int32_t done, std::int32_t total,
                          std::int32_t direction) {
  if (direction != HERON_PROGRESS_SEND) return;
  std::unique_lock lock(mutex_);
  const bool line_due = meter_.Report(done, total, TSteadyClock::now());
  const std::string name = CurrentName();
  const TProgressView view = meter_.View(TrimCaption(caption) + (name.empty() ? "" : ": " + name));
  const bool finished = meter_.Finished();
  lock.unlock();
  if (console_.Terminal())
    // One column short of the width: a full line would wrap on some terminals.
    console_.SetStatus(
        prefix_ + "progress",
        finished ? "" : prefix_ + ProgressBar(view, console_.Width() - 1 - static_cast<int>(prefix_.size())));
  else if (line_due)
    console_.Line(prefix_ + ProgressLine(view));
}

}  // namespace kestrel::app
