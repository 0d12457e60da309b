#include "host/ServerSession.h"

#include "heron.h"
#include "host/CoreCalls.h"
#include "host/Exchanger.h"
#include "host/GateManager.h"
#include "host/Protocol.h"
#include "host/ReceiveHistory.h"
#include "host/Seal.h"

namespace kestrel::host {
namespace {

// Frames in a row that are not messages (or not ones we expect) before the
// peer is taken to be something else than our client.
constexpr int kMaxJunk = 16;

}  // namespace

TServerSession::TServerSession(TProtocol& protocol, KHandle process)
    : protocol_(protocol),
      manager_(*protocol.Manager()),
      exchanger_(*protocol.Exchanger),
      process_(process),
      tuning_(manager_.ProcessList->Tuning()),
      history_(manager_.ProcessList->History()),
      wire_(exchanger_),
      progress_(manager_, process, HERON_PROGRESS_RECEIVE),
      restore_ms_(DayFractionToMs(protocol.restore_timeout_)),
      tries_(protocol.restore_tries_) {}

bool TServerSession::Stopping() const { return protocol_.StopRequested() || manager_.GateStopping.load(); }

void TServerSession::Log(const std::string& what, const std::string& details) {
  FrameworkLog(manager_, "TProtocol[$" + Hex8(protocol_.Identity()) + "]." + what, details);
}

void TServerSession::Run() {
  int junk = 0;
  while (end_reason_.empty()) {
    if (Stopping()) {
      end_reason_ = "stopped";
      break;
    }
    TMessage msg;
    const TWire::TRecv got = wire_.Receive(msg);
    if (got == TWire::TRecv::Broken) {
      end_reason_ = "nothing received";
      break;
    }
    // A request we answered already comes again when the line repeats it;
    // answering twice would confuse the client, so it is passed over.
    if (got == TWire::TRecv::Junk || msg.Seq <= last_seq_) {
      if (++junk > kMaxJunk) end_reason_ = "the peer sends junk";
      continue;
    }
    junk = 0;
    if (!Handle(msg)) break;
  }
  (void)exchanger_.DisConnect();  // a failure is the gate's to log; the session ends all the same
  Log("Serve:(Session ended)", end_reason_ + "; Sender: " + std::to_string(sender_) + "; Delivered: " +
                                   std::to_string(delivered_) + "; Repeats: " + std::to_string(repeats_));
}

bool TServerSession::Handle(const TMessage& msg) {
  const bool greeted = greeting_ == TGreeting::Done;
  switch (msg.Type) {
    case TMsgType::Hello:
      return greeting_ != TGreeting::None || OnHello(msg);
    case TMsgType::Auth:
      return greeting_ != TGreeting::Hello || OnAuth(msg);
    case TMsgType::Proof:
      return greeting_ != TGreeting::Proving || OnProof(msg);
    case TMsgType::Data:
      if (!greeted) return true;  // nobody greeted us: not our client yet
      last_seq_ = msg.Seq;
      return OnData(msg);
    case TMsgType::Ping:
      if (!greeted) return true;
      last_seq_ = msg.Seq;
      return Reply(MakeBare(TMsgType::Pong, msg.Seq));
    case TMsgType::Bye:
      end_reason_ = "goodbye";
      return false;
    case TMsgType::Welcome:
    case TMsgType::Ack:
    case TMsgType::Pong:
    case TMsgType::Refuse:
    case TMsgType::Authed:
    case TMsgType::Accept:
      return true;  // replies are the client's to receive, not ours
  }
  return true;
}

bool TServerSession::OnHello(const TMessage& msg) {
  last_seq_ = msg.Seq;
  if (msg.Version != kProtocolVersion && msg.Version != kUnkeyedVersion) {
    // Our WELCOME tells the client our version, so it parts with its own
    // clear word instead of waiting for a reply.
    Log("Serve:(Peer speaks another version)", "Version: " + std::to_string(msg.Version));
    if (wire_.Send(MakeWelcome(msg.Seq, tuning_.KeepAliveMs))) LetTheCallerHangUp();
    end_reason_ = "the peer speaks protocol version " + std::to_string(msg.Version);
    return false;
  }
  sender_ = msg.SenderIdCl;
  client_id_ = msg.ClientId;
  version_ = msg.Version;
  party_ = AskParty(sender_);
  if (!party_.Known) return Refuse(msg.Seq, TRefusal::UnknownCaller);
  if (version_ == kUnkeyedVersion) {
    if (party_.Keyed) {
      // The caller cannot prove its key; our version in the WELCOME gives it
      // its clear word, as to any caller of another version.
      (void)wire_.Send(MakeWelcome(msg.Seq, tuning_.KeepAliveMs));
      return Refuse(0, TRefusal::OldVersion);
    }
    TMessage welcome = MakeWelcome(msg.Seq, tuning_.KeepAliveMs);
    welcome.Version = kUnkeyedVersion;
    return Reply(welcome) && Begin(false);
  }
  greeting_ = TGreeting::Hello;
  return Reply(MakeWelcome(msg.Seq, tuning_.KeepAliveMs));
}

bool TServerSession::OnAuth(const TMessage& msg) {
  last_seq_ = msg.Seq;
  if (party_.Keyed && !msg.Keyed) return Refuse(msg.Seq, TRefusal::NoKeyOffered);
  if (!party_.Keyed && msg.Keyed) return Refuse(msg.Seq, TRefusal::NoKeyShared);
  if (!party_.Keyed) return Reply(MakeAuthed(msg.Seq, false, {}, {})) && Begin(false);
  auth_ = TAuthInput{party_.Key, sender_, msg.Nonce, FreshNonce()};
  greeting_ = TGreeting::Proving;
  return Reply(MakeAuthed(msg.Seq, true, auth_.ServerNonce, ServerProof(auth_)));
}

bool TServerSession::OnProof(const TMessage& msg) {
  last_seq_ = msg.Seq;
  if (!ProofMatches(msg.Proof, ClientProof(auth_))) return Refuse(msg.Seq, TRefusal::WrongKey);
  if (!Reply(MakeBare(TMsgType::Accept, msg.Seq))) return false;
  wire_.SetSeal(std::make_unique<TSeal>(SessionKeys(auth_), TSeal::TSide::Server));
  return Begin(true);
}

bool TServerSession::Begin(bool keyed) {
  greeting_ = TGreeting::Done;
  Log("Serve:(Session started)", "Sender: " + std::to_string(sender_) + "; Client: $" + Hex8(client_id_) +
                                     "; Version: " + std::to_string(version_) + (keyed ? "; Keyed" : "; Unkeyed") +
                                     "; Restore: " + std::to_string(tries_) + " x " + std::to_string(restore_ms_) +
                                     " ms");
  ReportSession(sender_, HERON_PROGRESS_RECEIVE, keyed ? HERON_SESSION_KEYED : HERON_SESSION_UNKEYED);
  return true;
}

bool TServerSession::Refuse(std::uint32_t seq, TRefusal reason) {
  const char* text = RefusalText(reason);
  Log("Serve:(Session refused)", std::string(text) + "; Sender: " + std::to_string(sender_));
  ReportSession(sender_, HERON_PROGRESS_RECEIVE, HERON_SESSION_REFUSED, text);
  // The session ends whether the REFUSE arrives or not.
  if (seq == 0 || wire_.Send(MakeRefuse(seq, reason))) LetTheCallerHangUp();
  end_reason_ = std::string("refused: ") + text;
  return false;
}

void TServerSession::LetTheCallerHangUp() {
  for (int frames = 0; frames < 3 && !Stopping(); ++frames) {
    TMessage msg;
    const TWire::TRecv got = wire_.Receive(msg);
    if (got == TWire::TRecv::Broken || (got == TWire::TRecv::Message && msg.Type == TMsgType::Bye)) return;
  }
}

bool TServerSession::Reply(const TMessage& msg) {
  if (wire_.Send(msg)) return true;
  end_reason_ = "send failed";
  return false;
}

bool TServerSession::OnData(const TMessage& msg) {
  std::vector<TAnswer> answers;
  for (const TPart& part : msg.Parts) {
    const std::optional<TAnswer> answer = OnPart(part);
    if (!answer) return false;
    answers.push_back(*answer);
    // The parts after one that leaves its packet unfinished wait: a later
    // packet must not reach the core before an earlier one.
    if (answer->Status == TAckStatus::Continue) break;
  }
  return Reply(MakeAck(msg.Seq, std::move(answers)));
}

std::optional<TAnswer> TServerSession::OnPart(const TPart& part) {
  const TPacketKey key{sender_, part.Ref};
  TReceiveHistory::TStep step = history_.Accept(key, part.Total, part.Offset, part.Payload);
  if (step.Timeout) {
    end_reason_ = "the packet is still being delivered by another session";
    return std::nullopt;
  }
  if (step.Deliver) {
    const bool taken = DeliverPacket(sender_, part.Ref, step.Packet);
    history_.Finish(key, part.Total, taken);
    if (taken) {
      ++delivered_;
      step.Status = TAckStatus::Delivered;
      step.Position = part.Total;
      progress_.Report(part.Total, part.Total);
    } else {
      step.Status = TAckStatus::Refused;
      step.Position = 0;
      Log("Serve:(Packet refused by the core)", RefText(part.Ref));
    }
  } else if (step.Status == TAckStatus::Delivered) {
    ++repeats_;
    Log("Serve:(Repeat of a delivered packet)", RefText(part.Ref));
  } else if (step.Status == TAckStatus::Rejected) {
    Log("Serve:(Packet rejected)", RefText(part.Ref) + "; Size: " + std::to_string(part.Total));
  } else {
    progress_.Report(step.Position, part.Total);
  }
  return TAnswer{part.Ref, step.Status, step.Position};
}

}  // namespace kestrel::host
