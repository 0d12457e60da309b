#include "tools/kestrel/Admission.h"

#include <algorithm>

#include "heron.h"

namespace kestrel::app {

static_assert(kPartyKeyBytes == HERON_KEY_SIZE, "a party's key is the size the gate shares");

TAdmission::TAdmission(TCoreEvents& events, TConfigStore& config, TJournal& journal, bool admit_unknown)
    : events_(events), config_(config), journal_(journal), admit_unknown_(admit_unknown) {}

std::int32_t TAdmission::OnPartyKey(std::int32_t id_cl, std::span<std::uint8_t> key) {
  const std::optional<TParty> party = config_.FindPartyByClientId(id_cl);
  if (!party) return admit_unknown_ ? 0 : -1;
  if (!party->key) return 0;
  if (key.size() >= party->key->size()) std::copy(party->key->begin(), party->key->end(), key.begin());
  return HERON_KEY_SIZE;
}

void TAdmission::OnSession(std::int32_t id_cl, std::int32_t direction, std::int32_t kind, const std::string& reason) {
  const std::optional<TParty> party = config_.FindPartyByClientId(id_cl);
  const TOutcome outcome = kind == HERON_SESSION_KEYED     ? TOutcome::Keyed
                           : kind == HERON_SESSION_UNKEYED ? TOutcome::Unkeyed
                                                           : TOutcome::Refused;
  journal_.AddSession(direction == HERON_PROGRESS_SEND ? TDirection::Out : TDirection::In,
                      party ? party->name : "client " + std::to_string(id_cl), id_cl, outcome, reason);
  events_.OnSession(id_cl, direction, kind, reason);
}

}  // namespace kestrel::app
