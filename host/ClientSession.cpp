#include "host/ClientSession.h"

#include <algorithm>
#include <string_view>

#include "heron.h"
#include "host/CoreCalls.h"
#include "host/Exchanger.h"
#include "host/GateManager.h"
#include "host/Protocol.h"
#include "host/Seal.h"
#include "platform/Check.h"
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
      FailCurrentAndQueued(refusal_.empty() ? "no connection" : refusal_);
      continue;
    }
    Serve();
    if (Stopping()) return;
  }
}

bool TClientSession::Establish(bool after_break) {
  refusal_.clear();
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
    if (!refusal_.empty()) return false;  // the peer will not have us; asking again changes nothing
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
  wire_.SetSeal(nullptr);
  const std::int32_t far = protocol_.FarIdCl();
  const TPartyStanding party = AskParty(far);
  TAuthInput auth{party.Key, protocol_.SelfIdCl(), FreshNonce(), {}};
  // AUTH rides right behind HELLO, so that an unkeyed greeting costs one
  // round trip and a keyed one two.
  const std::uint32_t hello = ++seq_;
  const std::uint32_t ask = ++seq_;
  if (!wire_.Send(MakeHello(hello, protocol_.SelfIdCl(), protocol_.Identity()))) return false;
  // A server that refuses us at HELLO hangs up at once, maybe before AUTH
  // is through; its REFUSE is read all the same.
  const bool asked = wire_.Send(MakeAuth(ask, party.Keyed, auth.ClientNonce));
  const auto welcome = wire_.AwaitReply(hello, TMsgType::Welcome);
  if (!welcome) return false;
  if (welcome->Type == TMsgType::Refuse)
    return Refused(std::string("refused by the peer: ") + RefusalText(welcome->Reason));
  if (welcome->Version != kProtocolVersion) {
    Log("Greet:(Peer speaks another version)", "Version: " + std::to_string(welcome->Version));
    return Refused("the peer speaks protocol version " + std::to_string(welcome->Version));
  }
  keep_alive_ms_ = KeepAliveInterval(welcome->KeepAliveMs);
  if (!asked) return false;
  const auto authed = wire_.AwaitReply(ask, TMsgType::Authed);
  if (!authed) return false;
  if (authed->Type == TMsgType::Refuse)
    return Refused(std::string("refused by the peer: ") + RefusalText(authed->Reason));
  // A server of ours refuses such a mismatch itself, before it gets here.
  if (authed->Keyed != party.Keyed)
    return Refused(party.Keyed ? "the peer offered no key" : "the peer asks for a key we do not hold");
  if (party.Keyed) {
    auth.ServerNonce = authed->Nonce;
    const bool peer_proved = ProofMatches(authed->Proof, ServerProof(auth));
    // Our proof goes out even to a peer that failed its own, so that a
    // server of ours with another key says so in its journal too; it covers
    // the peer's fresh nonce and serves no other session.
    // We hang up only once its answer is in, which a hang-up of ours could
    // cut off on the line.
    const std::uint32_t proof = ++seq_;
    if (!wire_.Send(MakeProof(proof, ClientProof(auth)))) return false;
    const auto accept = wire_.AwaitReply(proof, TMsgType::Accept);
    if (!peer_proved) return Refused("wrong key: the peer's proof does not match");
    if (!accept) return false;
    if (accept->Type == TMsgType::Refuse)
      return Refused(std::string("refused by the peer: ") + RefusalText(accept->Reason));
    wire_.SetSeal(std::make_unique<TSeal>(SessionKeys(auth), TSeal::TSide::Client));
  }
  ReportSession(far, HERON_PROGRESS_SEND, party.Keyed ? HERON_SESSION_KEYED : HERON_SESSION_UNKEYED);
  last_reply_tick_ = GetTickCount();
  return true;
}

bool TClientSession::Refused(const std::string& why) {
  // Our goodbye lets the server hang up at once instead of waiting for the
  // line to drop.
  (void)wire_.Send(MakeBare(TMsgType::Bye, ++seq_));
  refusal_ = why;
  Log("Greet:(Session refused)", why);
  ReportSession(protocol_.FarIdCl(), HERON_PROGRESS_SEND, HERON_SESSION_REFUSED, why);
  return false;
}

void TClientSession::Serve() {
  for (;;) {
    switch (SendQueued()) {
      case TOutcome::Stopped:
        return;  // the destructor says goodbye and reports
      case TOutcome::Broken: {
        KESTREL_CHECK(!flight_.empty(), "a line breaks only under a message");
        const TInFlight& first = flight_.front();
        Log("Send:(Connection broken)", RefText(first.Packet.Ref) + "; Held by peer: " + std::to_string(first.Held) +
                                            " of " + std::to_string(first.Packet.Data.size()));
        Disconnect();
        if (Stopping()) return;
        if (!Establish(true)) {
          FailCurrentAndQueued(refusal_.empty() ? "connection lost" : refusal_);
          return;
        }
        resume_probe_ = flight_.front().Touched;
        continue;
      }
      case TOutcome::Done:
        break;
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

TClientSession::TOutcome TClientSession::SendQueued() {
  TProgress progress(manager_, process_, HERON_PROGRESS_SEND);
  int stalls = 0;
  for (;;) {
    if (Stopping()) return TOutcome::Stopped;
    const bool probe = resume_probe_;
    std::vector<TPart> parts;
    if (probe) {
      // Every packet that went out in part, in one message: the server
      // answers in order up to the first it holds unfinished.
      for (const TInFlight& f : flight_) {
        if (!f.Touched || parts.size() == kMaxParts) break;
        parts.push_back(TPart{f.Packet.Ref, static_cast<std::uint32_t>(f.Packet.Data.size()), f.Held, {}});
      }
      KESTREL_CHECK(!parts.empty(), "a resume asks about the packet that went out in part");
    } else {
      parts = NextParts();
    }
    if (parts.empty()) return TOutcome::Done;
    std::uint32_t sent = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      sent += static_cast<std::uint32_t>(parts[i].Payload.size());
      flight_[i].Touched = true;
    }
    const std::uint32_t seq = ++seq_;
    const std::uint32_t t0 = GetTickCount();
    if (!wire_.Send(MakeData(seq, parts))) return TOutcome::Broken;
    const auto ack = wire_.AwaitReply(seq, TMsgType::Ack);
    if (!ack) return TOutcome::Broken;
    const std::uint32_t now = GetTickCount();
    last_reply_tick_ = now;
    if (!Consistent(ack->Answers, parts)) return TOutcome::Broken;
    resume_probe_ = false;
    if (!probe) fragment_ = NextFragmentSize(fragment_, sent, Elapsed(t0, now), tuning_);
    const bool moved = Apply(ack->Answers, progress);
    if (moved) progress_since_break_ = true;
    stalls = (probe || moved) ? 0 : stalls + 1;
    if (stalls > kMaxStalls) return TOutcome::Broken;
  }
}

std::vector<TPart> TClientSession::NextParts() {
  std::vector<TPart> parts;
  // The first part takes up to a fragment's worth as it is; each later one
  // counts its header too, so that many tiny packets fill a message as well.
  std::uint32_t used = 0;
  const auto room = [&] { return fragment_ > used + kPartHeaderBytes ? fragment_ - used - kPartHeaderBytes : 0; };
  for (std::size_t i = 0; parts.size() < kMaxParts; ++i) {
    if (i == flight_.size()) {
      if (!parts.empty() && room() == 0) break;
      std::optional<TOutPacket> next = protocol_.queue_.TakeNext();
      if (!next) break;
      flight_.push_back(TInFlight{std::move(*next)});
    }
    const TInFlight& f = flight_[i];
    const auto total = static_cast<std::uint32_t>(f.Packet.Data.size());
    const std::uint32_t left = total - f.Held;
    const std::uint32_t n = std::min(left, parts.empty() ? fragment_ : room());
    if (n < left && n == 0) break;  // no room left for any of it
    parts.push_back(TPart{f.Packet.Ref, total, f.Held, std::string_view(f.Packet.Data).substr(f.Held, n)});
    used += n + (parts.size() > 1 ? kPartHeaderBytes : 0);
    if (n < left) break;  // a packet cut short ends the message
  }
  return parts;
}

bool TClientSession::Consistent(const std::vector<TAnswer>& answers, const std::vector<TPart>& parts) const {
  if (answers.size() > parts.size()) return false;
  for (std::size_t i = 0; i < answers.size(); ++i) {
    if (!SameRef(answers[i].Ref, parts[i].Ref)) return false;
    // The server handles nothing after a packet it holds unfinished.
    if (answers[i].Status == TAckStatus::Continue && (answers[i].Position > parts[i].Total || i + 1 != answers.size()))
      return false;
  }
  return true;
}

bool TClientSession::Apply(const std::vector<TAnswer>& answers, TProgress& progress) {
  bool moved = false;
  for (const TAnswer& answer : answers) {
    TInFlight& f = flight_.front();
    const auto total = static_cast<std::uint32_t>(f.Packet.Data.size());
    switch (answer.Status) {
      case TAckStatus::Continue:
        moved = moved || answer.Position > f.Held;
        f.Held = answer.Position;
        progress.Report(f.Held, total);
        continue;
      case TAckStatus::Delivered:
        ++delivered_;
        progress.Report(total, total);
        ConfirmPacketDelivered(process_, f.Packet.Ref);
        break;
      case TAckStatus::Refused:
        ReportPacketFailed(manager_, f.Packet.Ref, "the far core refused it");
        break;
      case TAckStatus::Rejected:
        ReportPacketFailed(manager_, f.Packet.Ref, "the far gate rejected it");
        break;
    }
    flight_.pop_front();
    moved = true;
  }
  return moved;
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
      if (!wire_.Send(MakeBare(TMsgType::Ping, seq)) || !wire_.AwaitReply(seq, TMsgType::Pong)) return TIdle::Broken;
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

void TClientSession::FailCurrentAndQueued(std::string_view why) {
  // Taken all before the first is reported: a packet queued after the core
  // heard of this failure belongs to the next attempt.
  std::vector<TRefPack> refs;
  for (const TInFlight& f : flight_) refs.push_back(f.Packet.Ref);
  flight_.clear();
  // Nothing is left to ask the server about: the next connection sends.
  resume_probe_ = false;
  for (const TOutPacket& p : protocol_.queue_.Drain()) refs.push_back(p.Ref);
  for (const TRefPack& ref : refs) ReportPacketFailed(manager_, ref, why);
}

void TClientSession::CloseQueue() {
  // From here on the queue takes no packet, so none can slip in after the
  // last drain and be lost.
  for (const TOutPacket& p : protocol_.queue_.RequestStop()) ReportPacketFailed(manager_, p.Ref, "process ended");
}

}  // namespace kestrel::host
