// The framework's calls into the core (heron.h) on behalf of one gate
// manager: its log lines, the outcome of each packet, progress, and received
// packets. Each call is a plain function call into the core; none throws and
// none holds a lock of the framework while the core runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/Auth.h"
#include "kestrel/kestrel.h"

namespace kestrel::host {

class TGateManager;

// A framework log line: "[$<thread id>] " + text, with `details`, handed to
// the core's GateInfo as kind 2 with the manager's gate code, only when the
// gate's SetNeedLog() says the log is wanted. The framework writes few of
// them: connections, breaks, failed packets, the end of a session.
void FrameworkLog(TGateManager& manager, std::string_view text, std::string_view details = {});

// "No=<n>; Date=<DD.MM.YYYY>; Time=<HH:MM:SS.mmm>" of a reference.
std::string RefText(const TRefPack& ref);

// Tells the core that the packet of `ref` could not be sent
// (RecvFromGate(ref, -10, -1)) and logs it.
void ReportPacketFailed(TGateManager& manager, const TRefPack& ref, std::string_view why);

// Tells the core that the packet of `ref`, given to `process`, reached the far core.
void ConfirmPacketDelivered(KHandle process, const TRefPack& ref);

// Hands a received packet to the core; its answer.
[[nodiscard]] bool DeliverPacket(std::int32_t sender_id_cl, const TRefPack& ref, std::string_view data);

// What the core knows of the party with client id `id_cl` (PartyKeyFromCore).
struct TPartyStanding {
  bool Known = false;
  bool Keyed = false;
  TPartyKey Key{};
};
TPartyStanding AskParty(std::int32_t id_cl);

// Tells the core how the greeting of a session with `id_cl` ended
// (SessionFromGate): `kind` HERON_SESSION_*, `direction` HERON_PROGRESS_*.
void ReportSession(std::int32_t id_cl, std::int32_t direction, std::int32_t kind, std::string_view reason = {});

// Progress of the process's current packet, when the gate asks for it to be
// shown (GetToShowProgress), with the gate's caption.
class TProgress {
 public:
  TProgress(TGateManager& manager, KHandle process, std::int32_t direction);
  // Reports `done` of `total` bytes; a no-op when the gate shows no progress.
  void Report(std::uint32_t done, std::uint32_t total);

 private:
  KHandle process_;
  std::int32_t direction_;
  bool show_;
  std::string caption_;
};

}  // namespace kestrel::host
