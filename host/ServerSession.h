// TServerSession: the receiving side of the protocol, run by the exchange
// process that serves one answered call (see host/Protocol.h for what it
// does, host/Message.h for what it says).
//
// Internal to the framework: built and run by TProtocol::Run. The session
// ends on the client's goodbye, on a failed receive or send, on a stop, or
// when the peer sends nothing but junk; then it calls the exchanger's
// DisConnect once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/Auth.h"
#include "host/CoreCalls.h"
#include "host/Pacing.h"
#include "host/Wire.h"
#include "kestrel/kestrel.h"

namespace kestrel::host {

class TProtocol;
class TGateManager;
class TExchanger;
class TReceiveHistory;

class TServerSession {
 public:
  TServerSession(TProtocol& protocol, KHandle process);
  TServerSession(const TServerSession&) = delete;
  TServerSession& operator=(const TServerSession&) = delete;

  void Run();

 private:
  // Where the greeting stands: HELLO taken (AUTH awaited), AUTHED sent in a
  // keyed greeting (PROOF awaited), or over.
  enum class TGreeting { None, Hello, Proving, Done };

  // Handles one message; false ends the session with `end_reason_` set.
  [[nodiscard]] bool Handle(const TMessage& msg);
  [[nodiscard]] bool OnHello(const TMessage& msg);
  [[nodiscard]] bool OnAuth(const TMessage& msg);
  [[nodiscard]] bool OnProof(const TMessage& msg);
  // The greeting is over: data may come.
  [[nodiscard]] bool Begin(bool keyed);
  // Refuses the session: logs, answers `seq` with REFUSE, tells the core.
  [[nodiscard]] bool Refuse(std::uint32_t seq, TRefusal reason);
  // After our last word: a gate that hangs up at once may cut it off on the
  // line, so we wait for the caller's goodbye (which says it has read it) or
  // for the line to drop, through at most three frames (what it sent before
  // it read our word; each within the line's data wait), or until a stop.
  void LetTheCallerHangUp();
  [[nodiscard]] bool Reply(const TMessage& msg);
  [[nodiscard]] bool OnData(const TMessage& msg);
  // Applies one part and answers it; nothing ends the session (end_reason_ set).
  [[nodiscard]] std::optional<TAnswer> OnPart(const TPart& part);
  bool Stopping() const;
  void Log(const std::string& what, const std::string& details = {});

  TProtocol& protocol_;
  TGateManager& manager_;
  TExchanger& exchanger_;
  KHandle process_;
  TProtocolTuning tuning_;
  TReceiveHistory& history_;
  TWire wire_;
  TProgress progress_;
  std::uint32_t restore_ms_;  // the own address's restore parameters, for the log
  std::int32_t tries_;
  TGreeting greeting_ = TGreeting::None;
  std::uint16_t version_ = 0;
  TPartyStanding party_;
  TAuthInput auth_;
  std::int32_t sender_ = 0;
  std::uint32_t client_id_ = 0;
  std::uint32_t last_seq_ = 0;
  std::uint32_t delivered_ = 0;
  std::uint32_t repeats_ = 0;
  std::string end_reason_;
};

}  // namespace kestrel::host
