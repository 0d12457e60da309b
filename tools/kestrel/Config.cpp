#include "tools/kestrel/Config.h"

#include <algorithm>

#include "tools/kestrel/Clock.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

TParty PartyFrom(const TStatement& st) {
  TParty p;
  p.name = st.Text(0);
  p.client_id = static_cast<std::int32_t>(st.Int(1));
  p.address = st.Blob(2);
  // NULL reads as no bytes; the table allows no other length than a key's.
  if (const std::string key = st.Blob(3); key.size() == kPartyKeyBytes) {
    p.key.emplace();
    std::copy(key.begin(), key.end(), p.key->begin());
  }
  return p;
}

std::string_view KeyBytes(const TPartyKey& key) {
  return std::string_view(reinterpret_cast<const char*>(key.data()), key.size());
}

}  // namespace

std::optional<std::string> TConfigStore::GateSettings(std::int16_t gate_code) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, "SELECT block FROM gate_settings WHERE gate_code = ?");
  st.Bind(1, gate_code);
  std::optional<std::string> block;
  if (st.Step()) block = st.Blob(0);
  tx.Commit();
  return block;
}

void TConfigStore::SetGateSettings(std::int16_t gate_code, const std::string& block) {
  TTransaction tx(db_);
  TStatement st(db_,
                "INSERT INTO gate_settings(gate_code, block, updated) VALUES(?, ?, ?) "
                "ON CONFLICT(gate_code) DO UPDATE SET block = excluded.block, updated = excluded.updated");
  st.Bind(1, gate_code).BindBlob(2, block).BindText(3, NowText()).Run();
  tx.Commit();
}

std::optional<TOwnAddress> TConfigStore::OwnAddress(std::int16_t gate_code) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, "SELECT client_id, block FROM own_address WHERE gate_code = ?");
  st.Bind(1, gate_code);
  std::optional<TOwnAddress> own;
  if (st.Step()) own = TOwnAddress{static_cast<std::int32_t>(st.Int(0)), st.Blob(1)};
  tx.Commit();
  return own;
}

void TConfigStore::SetOwnAddress(std::int16_t gate_code, const TOwnAddress& own) {
  TTransaction tx(db_);
  TStatement st(db_,
                "INSERT INTO own_address(gate_code, client_id, block, updated) VALUES(?, ?, ?, ?) "
                "ON CONFLICT(gate_code) DO UPDATE SET client_id = excluded.client_id, block = excluded.block, "
                "updated = excluded.updated");
  st.Bind(1, gate_code).Bind(2, own.client_id).BindBlob(3, own.block).BindText(4, NowText()).Run();
  tx.Commit();
}

void TConfigStore::AddParty(const TParty& party) {
  if (party.name.empty()) throw EToolError("a party needs a name");
  TTransaction tx(db_);
  {
    TStatement st(db_, "SELECT name FROM parties WHERE name = ? OR client_id = ?");
    st.BindText(1, party.name).Bind(2, party.client_id);
    if (st.Step()) {
      const std::string other = st.Text(0);
      if (other == party.name) throw EToolError("party \"" + party.name + "\" already exists in " + db_.Path());
      throw EToolError("client id " + std::to_string(party.client_id) + " already belongs to party \"" + other +
                       "\" in " + db_.Path());
    }
  }
  TStatement st(db_, "INSERT INTO parties(name, client_id, address, created, key) VALUES(?, ?, ?, ?, ?)");
  st.BindText(1, party.name).Bind(2, party.client_id).BindBlob(3, party.address).BindText(4, NowText());
  if (party.key)
    st.BindBlob(5, KeyBytes(*party.key));
  else
    st.BindNull(5);
  st.Run();
  tx.Commit();
}

bool TConfigStore::UpdateParty(const TParty& party) {
  TTransaction tx(db_);
  {
    TStatement st(db_, "SELECT name FROM parties WHERE client_id = ? AND name <> ?");
    st.Bind(1, party.client_id).BindText(2, party.name);
    if (st.Step())
      throw EToolError("client id " + std::to_string(party.client_id) + " already belongs to party \"" + st.Text(0) +
                       "\" in " + db_.Path());
  }
  TStatement st(db_, "UPDATE parties SET client_id = ?, address = ? WHERE name = ?");
  st.Bind(1, party.client_id).BindBlob(2, party.address).BindText(3, party.name).Run();
  const bool changed = db_.Changes() > 0;
  tx.Commit();
  return changed;
}

bool TConfigStore::SetPartyKey(const std::string& name, const std::optional<TPartyKey>& key) {
  TTransaction tx(db_);
  TStatement st(db_, "UPDATE parties SET key = ? WHERE name = ?");
  if (key)
    st.BindBlob(1, KeyBytes(*key));
  else
    st.BindNull(1);
  st.BindText(2, name).Run();
  const bool changed = db_.Changes() > 0;
  tx.Commit();
  return changed;
}

std::optional<TParty> TConfigStore::FindParty(const std::string& name) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, "SELECT name, client_id, address, key FROM parties WHERE name = ?");
  st.BindText(1, name);
  std::optional<TParty> party;
  if (st.Step()) party = PartyFrom(st);
  tx.Commit();
  return party;
}

std::optional<TParty> TConfigStore::FindPartyByClientId(std::int32_t client_id) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, "SELECT name, client_id, address, key FROM parties WHERE client_id = ?");
  st.Bind(1, client_id);
  std::optional<TParty> party;
  if (st.Step()) party = PartyFrom(st);
  tx.Commit();
  return party;
}

std::vector<TParty> TConfigStore::Parties() {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, "SELECT name, client_id, address, key FROM parties ORDER BY name");
  std::vector<TParty> parties;
  while (st.Step()) parties.push_back(PartyFrom(st));
  tx.Commit();
  return parties;
}

bool TConfigStore::RemoveParty(const std::string& name) {
  TTransaction tx(db_);
  TStatement st(db_, "DELETE FROM parties WHERE name = ?");
  st.BindText(1, name).Run();
  const bool removed = db_.Changes() > 0;
  // Its retry policy goes with it (its waiting documents are given up by the
  // next delivery).
  TStatement policy(db_, "DELETE FROM retry_policy WHERE party = ?");
  policy.BindText(1, name).Run();
  tx.Commit();
  return removed;
}

TParty TConfigStore::RequireParty(const std::string& name) {
  auto party = FindParty(name);
  if (!party) throw EToolError("no party named \"" + name + "\" in " + db_.Path() + " (see kestrel party list)");
  return *party;
}

}  // namespace kestrel::app
