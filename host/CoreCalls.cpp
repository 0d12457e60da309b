#include "host/CoreCalls.h"

#include <algorithm>
#include <limits>
#include <new>

#include "heron.h"
#include "host/GateManager.h"
#include "host/HostObject.h"
#include "host/ProcessList.h"
#include "host/Wagtail.h"
#include "platform/ThreadId.h"

namespace kestrel::host {
namespace {

std::int32_t Clamp32(std::uint32_t v) {
  return static_cast<std::int32_t>(std::min<std::uint32_t>(v, std::numeric_limits<std::int32_t>::max()));
}

static_assert(kPartyKeyBytes == HERON_KEY_SIZE);

}  // namespace

void FrameworkLog(TGateManager& manager, std::string_view text, std::string_view details) {
  try {
    if (!manager.SetNeedLog()) return;
    const std::int16_t code = manager.ProcessList != nullptr ? manager.ProcessList->GateCode() : 0;
    const std::string line = "[$" + Hex8(platform::CurrentThreadId()) + "] " + std::string(text);
    const std::string det(details);
    GateInfo(2, code, line.c_str(), det.c_str(), 0);
  } catch (...) {
    // A log line is never worth a failed exchange.
  }
}

std::string RefText(const TRefPack& ref) {
  return "No=" + std::to_string(ref.Number) + "; Date=" + SysDateToStr(ref.Date) + "; Time=" + SysTimeToStr(ref.Time);
}

void ReportPacketFailed(TGateManager& manager, const TRefPack& ref, std::string_view why) {
  const bool taken = RecvFromGate(&ref, -10, -1) != 0;
  try {
    FrameworkLog(manager, "TProtocol.PacketFailed:(" + RefText(ref) + ")",
                 std::string(why) + (taken ? "" : "; RecvFromGate: FALSE"));
  } catch (const std::bad_alloc&) {
    // FrameworkLog never throws; only composing its texts can. The core has
    // the failure already, only the line is lost.
  }
}

void ConfirmPacketDelivered(KHandle process, const TRefPack& ref) { PacketDeliveredFromGate(process, &ref); }

bool DeliverPacket(std::int32_t sender_id_cl, const TRefPack& ref, std::string_view data) {
  return RecvPacketFromGate(sender_id_cl, &ref, data.empty() ? nullptr : data.data(),
                            Clamp32(static_cast<std::uint32_t>(data.size()))) != 0;
}

TPartyStanding AskParty(std::int32_t id_cl) {
  TPartyStanding party;
  const std::int32_t got = PartyKeyFromCore(id_cl, party.Key.data(), static_cast<std::int32_t>(party.Key.size()));
  party.Known = got >= 0;
  party.Keyed = got == HERON_KEY_SIZE;
  if (!party.Keyed) party.Key = {};
  return party;
}

void ReportSession(std::int32_t id_cl, std::int32_t direction, std::int32_t kind, std::string_view reason) {
  const std::string text(reason);
  SessionFromGate(id_cl, direction, kind, text.c_str());
}

TProgress::TProgress(TGateManager& manager, KHandle process, std::int32_t direction)
    : process_(process), direction_(direction), show_(false) {
  try {
    show_ = manager.GetToShowProgress();
    if (show_) caption_ = manager.GetProgressCaption();
  } catch (const std::bad_alloc&) {
    // The caption is a copy of a text the core gives; without it the
    // transfer runs on unseen.
    show_ = false;
  }
}

void TProgress::Report(std::uint32_t done, std::uint32_t total) {
  if (show_) ProgressFromGate(process_, caption_.c_str(), Clamp32(done), Clamp32(total), direction_);
}

}  // namespace kestrel::host
