#include "host/ClientSession.h"

#include <algorithm>
#include <string_view>

#include "heron.h"
#include "host/CoreCalls.h"
#include "host/Exchanger.h"
#include "host/GateManager.h"
#include "host/Protocol.h"
#include "platform/Tick.h"

namespace kestrel::host {
namespace {

using platform::Elapsed;
using platform::GetTickCount;
using platform::Remaining;

// An idle transmit process sleeps until a packet or a stop wakes it; the
// period only bounds a single wait.
constexpr std::uint32_t kIdleWaitMs = 3600000;
// Answers that leave the position where it was, in a row, before the server
// is taken to be confused and the line restarted.
constexpr int kMaxStalls = 8;

}  // namespace

TClientSession::TClientSession(TProtocol& protocol, KHandle process)
    : protocol_(protocol),
      manager_(*protocol.Manager()),
      exchanger_(*protocol.Exchanger),
      process_(process),
      tuning_(manager_.ProcessList != nullptr ? manager_.ProcessList->Tuning() : TProtocolTuning{}),
      wire_(exchanger_) {}

TClientSession::~TClientSession() {
  try {
    if (connected_) Goodbye();
    FailCurrentAndQueued("process stopped");
    CloseQueue();
  } catch (...) {
    // Only an allocation can fail here; nothing better is left to do.
  }
}

bool TClientSession::Stopping() const { return protocol_.StopRequested() || manager_.GateStopping.load(); }

void TClientSession::Log(const std::string& what, const std::string& details) {
  FrameworkLog(manager_, "TProtocol[$" + Hex8(protocol_.Identity()) + "]." + what, details);
}

void TClientSession::Run() {
  for (;;) {
    const TOutQueue::TWake wake = protocol_.queue_.WaitForPacket(kIdleWaitMs);
    if (wake == TOutQueue::TWake::Stop || Stopping()) return;
    if (wake == TOutQueue::TWake::Timeout) continue;
    if (!Establish(false)) {
      if (Stopping()) return;
      FailCurrentAndQueued("no connection");
      continue;
    }
    Serve();
    if (Stopping()) return;
  }
}

bool TClientSession::Establish(bool after_break) {
  if (!after_break) {
    progress_since_break_ = true;
    if (Stopping()) return false;
    const bool ok = TryConnect();
    Log(ok ? "Connect:(Connected)" : "Connect:(No connection)");
    return ok;
  }
  std::int32_t tries = 0;
  double pause_days = 0;
  exchanger_.GetRestoreConnParams(pause_days, tries);
  const std::uint32_t pause_ms = DayFractionToMs(pause_days);
  const auto window_ms =
      static_cast<std::uint32_t>(std::max<std::int32_t>(exchanger_.GetRestoreConnAfterBreakTimeOut(), 0));
  // A line that breaks again before anything went through continues the
  // same restore episode: its tries and window are not granted afresh, or a
  // line that always fails at the same place would be redialled for ever.
  if (progress_since_break_) {
    episode_start_ = GetTickCount();
    episode_attempts_ = 0;
  }
  progress_since_break_ = false;
  while (episode_attempts_ < tries) {
    if (episode_attempts_ > 0) {
      // The first restore is tried at once; each later one after the pause,
      // and only while it still starts inside the window after the break.
      const std::uint32_t left = Remaining(episode_start_, GetTickCount(), window_ms);
      if (left == 0 || left < pause_ms) break;
      if (protocol_.queue_.WaitForStop(pause_ms)) return false;
    }
    if (Stopping()) return false;
    ++episode_attempts_;
    if (TryConnect()) {
      Log("Restore:(Connection restored)", "Attempt: " + std::to_string(episode_attempts_));
      return true;
    }
  }
  Log("Restore:(Connection not restored)", "Attempts: " + std::to_string(episode_attempts_));
  return false;
}

bool TClientSession::TryConnect() {
  if (!exchanger_.Connect()) return false;
  connected_ = true;
  protocol_.connections_.fetch_add(1);
  seq_ = 0;
  fragment_ = tuning_.FirstFragment;
  if (Greet()) return true;
  Disconnect();
  return false;
}

bool TClientSession::Greet() {
  const std::uint32_t seq = ++seq_;
  if (!wire_.Send(MakeHello(seq, protocol_.SelfIdCl(), protocol_.Identity()))) return false;
  const auto reply = wire_.AwaitReply(seq, TMsgType::Welcome);
  if (!reply) return false;
  if (reply->Version != kProtocolVersion) {
    Log("Greet:(Peer speaks another version)", "Version: " + std::to_string(reply->Version));
    return false;
  }
  keep_alive_ms_ = KeepAliveInterval(reply->KeepAliveMs);
  last_reply_tick_ = GetTickCount();
  return true;
}

void TClientSession::Serve() {
  for (;;) {
    if (!current_ && !Stopping()) {
      current_ = protocol_.queue_.TakeNext();
      current_offset_ = 0;
      current_touched_ = false;
      resume_probe_ = false;
    }
    if (current_) {
      switch (SendCurrent()) {
        case TOutcome::Delivered:
          ++delivered_;
          ConfirmPacketDelivered(process_, current_->Ref);
          current_.reset();
          continue;
        case TOutcome::Refused:
          ReportPacketFailed(manager_, current_->Ref, "the far core refused it");
          current_.reset();
          continue;
        case TOutcome::Rejected:
          ReportPacketFailed(manager_, current_->Ref, "the far gate rejected it");
          current_.reset();
          continue;
        case TOutcome::Stopped:
          return;  // the destructor says goodbye and reports
        case TOutcome::Broken:
          Log("Send:(Connection broken)", RefText(current_->Ref) + "; Held by peer: " +
                                              std::to_string(current_offset_) + " of " +
                                              std::to_string(current_->Data.size()));
          Disconnect();
          if (Stopping()) return;
          if (!Establish(true)) {
            FailCurrentAndQueued("connection lost");
            return;
          }
          resume_probe_ = current_touched_;
          continue;
      }
    }
    switch (StayOnLine()) {
      case TIdle::Packet:
        continue;
      case TIdle::Stop:
        return;
      case TIdle::Timeout:
        Goodbye();
        return;
      case TIdle::Broken:
        // Nothing is waiting to be sent: the next packet dials afresh.
        Disconnect();
        return;
    }
  }
}

TClientSession::TOutcome TClientSession::SendCurrent() {
  const std::string& data = current_->Data;
  const auto total = static_cast<std::uint32_t>(data.size());
  TProgress progress(manager_, process_, HERON_PROGRESS_SEND);
  int stalls = 0;
  for (;;) {
    if (Stopping()) return TOutcome::Stopped;
    const bool probe = resume_probe_;
    const std::uint32_t n = probe ? 0 : std::min(fragment_, total - current_offset_);
    const std::uint32_t seq = ++seq_;
    const std::uint32_t t0 = GetTickCount();
    current_touched_ = true;
    if (!wire_.Send(MakeData(seq, current_->Ref, total, current_offset_,
                             std::string_view(data).substr(current_offset_, n))))
      return TOutcome::Broken;
    const auto ack = wire_.AwaitReply(seq, TMsgType::Ack);
    if (!ack) return TOutcome::Broken;
    const std::uint32_t now = GetTickCount();
    last_reply_tick_ = now;
    if (ack->Ref.Number != current_->Ref.Number || ack->Ref.Date != current_->Ref.Date ||
        ack->Ref.Time != current_->Ref.Time)
      return TOutcome::Broken;
    resume_probe_ = false;
    if (!probe) fragment_ = NextFragmentSize(fragment_, n, Elapsed(t0, now), tuning_);
    if (ack->Status != TAckStatus::Continue || ack->Position > current_offset_) progress_since_break_ = true;
    switch (ack->Status) {
      case TAckStatus::Delivered:
        progress.Report(total, total);
        return TOutcome::Delivered;
      case TAckStatus::Refused:
        return TOutcome::Refused;
      case TAckStatus::Rejected:
        return TOutcome::Rejected;
      case TAckStatus::Continue:
        break;
    }
    if (ack->Position > total) return TOutcome::Broken;
    stalls = (probe || ack->Position > current_offset_) ? 0 : stalls + 1;
    if (stalls > kMaxStalls) return TOutcome::Broken;
    current_offset_ = ack->Position;
    progress.Report(current_offset_, total);
  }
}

TClientSession::TIdle TClientSession::StayOnLine() {
  const std::uint32_t stay_ms = DayFractionToMs(exchanger_.GetStayOnLineTimeOut());
  const std::uint32_t start = GetTickCount();
  for (;;) {
    const std::uint32_t now = GetTickCount();
    const std::uint32_t left = Remaining(start, now, stay_ms);
    if (left == 0) return TIdle::Timeout;
    const std::uint32_t ping_in = Remaining(last_reply_tick_, now, keep_alive_ms_);
    const TOutQueue::TWake wake = protocol_.queue_.WaitForPacket(std::min(left, ping_in));
    if (wake == TOutQueue::TWake::Stop || Stopping()) return TIdle::Stop;
    if (wake == TOutQueue::TWake::Packet) return TIdle::Packet;
    if (Remaining(last_reply_tick_, GetTickCount(), keep_alive_ms_) == 0) {
      const std::uint32_t seq = ++seq_;
      if (!wire_.Send(MakeBare(TMsgType::Ping, seq)) || !wire_.AwaitReply(seq, TMsgType::Pong))
        return TIdle::Broken;
      last_reply_tick_ = GetTickCount();
    }
  }
}

void TClientSession::Goodbye() {
  // While the gate stops, the line is going down anyway and a send would
  // only fail.
  if (connected_ && !manager_.GateStopping.load()) (void)wire_.Send(MakeBare(TMsgType::Bye, ++seq_));
  Disconnect();
}

void TClientSession::Disconnect() {
  if (!connected_) return;
  connected_ = false;
  (void)exchanger_.DisConnect();  // a failure is the gate's to log; the line is ours no more
  Log("DisConnect:(Disconnected)", "Delivered: " + std::to_string(delivered_));
}

void TClientSession::FailCurrentAndQueued(const char* why) {
  if (current_) {
    ReportPacketFailed(manager_, current_->Ref, why);
    current_.reset();
  }
  for (const TOutPacket& p : protocol_.queue_.Drain()) ReportPacketFailed(manager_, p.Ref, why);
}

void TClientSession::CloseQueue() {
  // From here on the queue takes no packet, so none can slip in after the
  // last drain and be lost.
  for (const TOutPacket& p : protocol_.queue_.RequestStop()) ReportPacketFailed(manager_, p.Ref, "process ended");
}

}  // namespace kestrel::host
