// Who may call and with what key, and what is kept of each session's
// greeting: the program's answer to the gate's PartyKeyFromCore and
// SessionFromGate, placed in front of the events of the running command.
//
//  - PartyKeyFromCore: a client id that is a party's gives 0, or the party's
//    key (HERON_KEY_SIZE) when one is stored; any other client id gives -1
//    (its calls are refused), unless unknown callers are admitted: then 0,
//    and their sessions run unkeyed. The same answer serves calls placed and
//    calls answered.
//  - SessionFromGate: one journal entry per greeting (keyed, unkeyed or
//    refused, with the reason), under the party's name or "client N"; then
//    the command's events hear of it.
//  - Everything else goes to the command's events unchanged.
//
// Called on the gate's threads: the store and the journal are shared with the
// rest of the program through the database's lock. A failure to read or
// write the database throws; the core (tools/host/Core.h) turns it into -1
// for PartyKeyFromCore and an error line in the log.
#pragma once

#include "tools/host/Core.h"
#include "tools/kestrel/Config.h"
#include "tools/kestrel/Journal.h"

namespace kestrel::app {

class TAdmission final : public TCoreEvents {
 public:
  // `events`, `config` and `journal` must outlive it.
  TAdmission(TCoreEvents& events, TConfigStore& config, TJournal& journal, bool admit_unknown);

  std::int32_t OnPartyKey(std::int32_t id_cl, std::span<std::uint8_t> key) override;
  void OnSession(std::int32_t id_cl, std::int32_t direction, std::int32_t kind, const std::string& reason) override;

  void OnGateLine(const TLogLine& line) override { events_.OnGateLine(line); }
  void OnChannelProblem(const std::string& port, const std::string& problem) override {
    events_.OnChannelProblem(port, problem);
  }
  bool OnPacketFailed(const TRefPack& ref, std::int32_t code, std::int32_t param) override {
    return events_.OnPacketFailed(ref, code, param);
  }
  bool OnPacket(std::int32_t sender, const TRefPack& ref, std::string_view data) override {
    return events_.OnPacket(sender, ref, data);
  }
  void OnDelivered(KHandle process, const TRefPack& ref) override { events_.OnDelivered(process, ref); }
  void OnProgress(KHandle process, const std::string& caption, std::int32_t done, std::int32_t total,
                  std::int32_t direction) override {
    events_.OnProgress(process, caption, done, total, direction);
  }

 private:
  TCoreEvents& events_;
  TConfigStore& config_;
  TJournal& journal_;
  bool admit_unknown_;
};

}  // namespace kestrel::app
