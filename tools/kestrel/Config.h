// What the kestrel program keeps about its gate and its correspondents: the
// gate settings block per gate code, the own address per gate code (with the
// own client id), and the parties (a name, a client id, a remote address
// block and the secret key shared with the party, if any). Blocks are stored
// exactly as the gate produced them.
//
// Each call is one transaction. Thread-safe through the database's lock.
// Failures throw EToolError naming the database and what was refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/kestrel/Database.h"
#include "tools/host/PartyKey.h"

namespace kestrel::app {

struct TParty {
  std::string name;
  std::int32_t client_id = 0;
  std::string address;  // the remote address block
  std::optional<TPartyKey> key;  // none: the party's sessions run unkeyed
};

struct TOwnAddress {
  std::int32_t client_id = 0;
  std::string block;
};

class TConfigStore {
 public:
  explicit TConfigStore(TDatabase& db) : db_(db) {}

  std::optional<std::string> GateSettings(std::int16_t gate_code);
  void SetGateSettings(std::int16_t gate_code, const std::string& block);

  std::optional<TOwnAddress> OwnAddress(std::int16_t gate_code);
  void SetOwnAddress(std::int16_t gate_code, const TOwnAddress& own);

  // Adds a party; refuses an empty name and a name or client id already
  // taken ("party \"X\" already exists in <db>").
  void AddParty(const TParty& party);
  // Replaces the client id and address of an existing party (its key stays);
  // false when none has that name.
  bool UpdateParty(const TParty& party);
  // Stores the party's key, or removes it (nullopt); false when no party has
  // that name.
  bool SetPartyKey(const std::string& name, const std::optional<TPartyKey>& key);
  std::optional<TParty> FindParty(const std::string& name);
  std::optional<TParty> FindPartyByClientId(std::int32_t client_id);
  // Every party, by name.
  std::vector<TParty> Parties();
  // False when no party has that name. Its key goes with it.
  bool RemoveParty(const std::string& name);

  // The party of `name`, or EToolError "no party named \"X\" in <db> (see kestrel party list)".
  TParty RequireParty(const std::string& name);

 private:
  TDatabase& db_;
};

}  // namespace kestrel::app
