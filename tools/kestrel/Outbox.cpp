#include "tools/kestrel/Outbox.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>

#include "platform/ProcessEnv.h"
#include "tools/kestrel/Clock.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

constexpr const char* kItemColumns =
    "o.journal_id, o.party, j.file, j.bytes, j.ref_number, j.ref_date, j.ref_time, o.state, o.attempts, "
    "o.queued_at, o.next_try, o.last_error, coalesce(o.owner_pid, 0)";

TOutboxItem ItemFrom(const TStatement& st) {
  TOutboxItem i;
  i.id = st.Int(0);
  i.party = st.Text(1);
  i.file = st.Text(2);
  i.bytes = st.Int(3);
  i.ref = TRefPack{static_cast<std::int32_t>(st.Int(4)), static_cast<std::int32_t>(st.Int(5)),
                   static_cast<std::int32_t>(st.Int(6))};
  i.state = st.Text(7);
  i.attempts = st.Int(8);
  i.queued_at = st.Int(9);
  i.next_try = st.Int(10);
  i.last_error = st.Text(11);
  i.owner_pid = st.Int(12);
  return i;
}

// Whether the process that claimed a row still runs (and so may still send
// it). This process counts as running.
bool ProcessRuns(std::int64_t pid) {
  if (pid <= 0 || pid > std::numeric_limits<std::uint32_t>::max()) return false;
  const auto id = static_cast<std::uint32_t>(pid);
  return id == platform::ProcessId() || platform::ProcessRuns(id);
}

std::string TimeText(std::int64_t epoch) {
  const std::string t = LocalTimeText(TWallClock::time_point(std::chrono::seconds(epoch)));
  return t.substr(0, 19);
}

void SettleJournal(TDatabase& db, std::int64_t id, const char* outcome, const std::string& detail) {
  TStatement st(db, "UPDATE journal SET outcome = ?, detail = ?, finished = ? WHERE id = ? AND outcome = 'queued'");
  st.BindText(1, outcome).BindText(2, detail).BindText(3, NowText()).Bind(4, id).Run();
}

void NoteJournal(TDatabase& db, std::int64_t id, const std::string& detail) {
  TStatement st(db, "UPDATE journal SET detail = ? WHERE id = ? AND outcome = 'queued'");
  st.BindText(1, detail).Bind(2, id).Run();
}

void RemoveRow(TDatabase& db, std::int64_t id) {
  TStatement st(db, "DELETE FROM outbox WHERE journal_id = ?");
  st.Bind(1, id).Run();
}

}  // namespace

std::int64_t TRetryPolicy::Interval(std::int64_t attempt) const {
  std::int64_t s = std::max<std::int64_t>(first_s, 1);
  for (std::int64_t i = 1; i < attempt && s < ceiling_s; ++i) s *= 2;
  return std::min(s, std::max<std::int64_t>(ceiling_s, 1));
}

std::optional<std::int64_t> ParseSeconds(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::size_t used = 0;
  long long n = 0;
  try {
    n = std::stoll(text, &used);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (n < 0) return std::nullopt;
  const std::string unit = text.substr(used);
  std::int64_t scale = 0;
  if (unit.empty() || unit == "s") scale = 1;
  else if (unit == "m") scale = 60;
  else if (unit == "h") scale = 3600;
  else if (unit == "d") scale = 86400;
  else return std::nullopt;
  if (n > std::numeric_limits<std::int64_t>::max() / scale) return std::nullopt;
  return n * scale;
}

std::string SecondsText(std::int64_t s) {
  if (s <= 0) return "0s";
  std::string out;
  for (const auto& [unit, size] : {std::pair{"d", 86400}, {"h", 3600}, {"m", 60}, {"s", 1}}) {
    if (s >= size) {
      out += std::to_string(s / size) + unit;
      s %= size;
    }
  }
  return out;
}

std::int64_t EpochNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(TWallClock::now().time_since_epoch()).count();
}

std::vector<TJournalEntry> TOutbox::Add(const std::string& party, std::int32_t client_id,
                                        const std::vector<TOutgoing>& documents,
                                        const std::vector<std::string>& packets) {
  std::vector<TOutgoing> outgoing = documents;
  for (TOutgoing& d : outgoing) {
    d.party = party;
    d.client_id = client_id;
  }
  const std::int64_t now = EpochNow();
  TTransaction tx(db_);
  const std::vector<TJournalEntry> entries = TJournal(db_).QueueInTransaction(outgoing);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    TStatement row(db_,
                   "INSERT INTO outbox(journal_id, party, packet, state, attempts, queued_at, next_try) "
                   "VALUES(?, ?, ?, 'queued', 0, ?, ?)");
    row.Bind(1, entries[i].id).BindText(2, party).BindBlob(3, packets.at(i)).Bind(4, now).Bind(5, now).Run();
  }
  tx.Commit();
  return entries;
}

std::vector<TOutboxItem> TOutbox::Claim(const std::string& party, std::int64_t now,
                                        const std::vector<std::int64_t>& ids) {
  TTransaction tx(db_);
  std::vector<TOutboxItem> items;
  {
    TStatement st(db_, std::string("SELECT ") + kItemColumns +
                           ", o.packet FROM outbox o JOIN journal j ON j.id = o.journal_id "
                           "WHERE o.party = ? AND o.state = 'queued' AND o.next_try <= ? ORDER BY o.journal_id");
    st.BindText(1, party).Bind(2, now);
    while (st.Step()) {
      TOutboxItem i = ItemFrom(st);
      if (!ids.empty() && std::find(ids.begin(), ids.end(), i.id) == ids.end()) continue;
      i.packet = st.Blob(13);
      items.push_back(std::move(i));
    }
  }
  const std::int64_t pid = static_cast<std::int64_t>(platform::ProcessId());
  for (auto& i : items) {
    TStatement st(db_,
                  "UPDATE outbox SET state = 'sending', attempts = attempts + 1, owner_pid = ? WHERE journal_id = ?");
    st.Bind(1, pid).Bind(2, i.id).Run();
    i.state = "sending";
    ++i.attempts;
    i.owner_pid = pid;
  }
  tx.Commit();
  return items;
}

void TOutbox::Delivered(std::int64_t id) {
  TTransaction tx(db_);
  TStatement find(db_, "SELECT attempts FROM outbox WHERE journal_id = ?");
  find.Bind(1, id);
  const std::int64_t attempts = find.Step() ? find.Int(0) : 1;
  SettleJournal(db_, id, "delivered", attempts > 1 ? "on attempt " + std::to_string(attempts) : "");
  RemoveRow(db_, id);
  tx.Commit();
}

std::string TOutbox::Failed(std::int64_t id, const std::string& why, const TRetryPolicy& policy) {
  const std::int64_t now = EpochNow();
  TTransaction tx(db_);
  TStatement find(db_, "SELECT attempts, queued_at FROM outbox WHERE journal_id = ?");
  find.Bind(1, id);
  if (!find.Step()) return "no longer in the outbox";
  const std::int64_t attempts = find.Int(0);
  const std::int64_t queued_at = find.Int(1);
  std::string next;
  if (policy.attempts > 0 && attempts >= policy.attempts) {
    next = "given up after " + std::to_string(attempts) + (attempts == 1 ? " attempt" : " attempts");
  } else if (policy.max_age_s > 0 && now - queued_at >= policy.max_age_s) {
    next = "given up after " + std::to_string(attempts) + (attempts == 1 ? " attempt" : " attempts") + " in " +
           SecondsText(now - queued_at);
  }
  if (!next.empty()) {
    SettleJournal(db_, id, "failed", why + "; " + next);
    RemoveRow(db_, id);
  } else {
    const std::int64_t at = now + policy.Interval(attempts);
    next = "next try at " + TimeText(at) + " (attempt " + std::to_string(attempts + 1) + ")";
    TStatement st(db_,
                  "UPDATE outbox SET state = 'queued', next_try = ?, last_error = ?, owner_pid = NULL "
                  "WHERE journal_id = ?");
    st.Bind(1, at).BindText(2, why).Bind(3, id).Run();
    NoteJournal(db_, id, "attempt " + std::to_string(attempts) + ": " + why + "; " + next);
  }
  tx.Commit();
  return next;
}

bool TOutbox::Cancel(std::int64_t id, const std::string& why) {
  TTransaction tx(db_);
  TStatement find(db_, "SELECT state, coalesce(owner_pid, 0) FROM outbox WHERE journal_id = ?");
  find.Bind(1, id);
  if (!find.Step()) return false;
  if (find.Text(0) == "sending" && ProcessRuns(find.Int(1))) return false;
  SettleJournal(db_, id, "failed", why);
  RemoveRow(db_, id);
  tx.Commit();
  return true;
}

int TOutbox::Recover() {
  const std::int64_t now = EpochNow();
  TTransaction tx(db_);
  std::vector<std::pair<std::int64_t, std::int64_t>> dead;  // id, pid
  std::vector<std::int64_t> attempts;
  {
    TStatement st(db_, "SELECT journal_id, coalesce(owner_pid, 0), attempts FROM outbox WHERE state = 'sending'");
    while (st.Step()) {
      if (ProcessRuns(st.Int(1)) && st.Int(1) != static_cast<std::int64_t>(platform::ProcessId())) continue;
      dead.emplace_back(st.Int(0), st.Int(1));
      attempts.push_back(st.Int(2));
    }
  }
  for (std::size_t k = 0; k < dead.size(); ++k) {
    const auto [id, pid] = dead[k];
    const std::string why = "attempt " + std::to_string(attempts[k]) + " interrupted: the sending process (pid " +
                            std::to_string(pid) + ") ended before an outcome; queued again " + TimeText(now);
    TStatement st(db_,
                  "UPDATE outbox SET state = 'queued', next_try = ?, last_error = ?, owner_pid = NULL "
                  "WHERE journal_id = ?");
    st.Bind(1, now).BindText(2, why).Bind(3, id).Run();
    NoteJournal(db_, id, why);
  }
  tx.Commit();
  return static_cast<int>(dead.size());
}

std::vector<TOutboxItem> TOutbox::List(const std::string& party) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, std::string("SELECT ") + kItemColumns +
                         " FROM outbox o JOIN journal j ON j.id = o.journal_id WHERE (?1 = '' OR o.party = ?1) "
                         "ORDER BY o.journal_id");
  st.BindText(1, party);
  std::vector<TOutboxItem> items;
  while (st.Step()) items.push_back(ItemFrom(st));
  tx.Commit();
  return items;
}

std::vector<std::string> TOutbox::DueParties(std::int64_t now) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_,
                "SELECT party FROM outbox WHERE state = 'queued' AND next_try <= ? GROUP BY party "
                "ORDER BY min(journal_id)");
  st.Bind(1, now);
  std::vector<std::string> parties;
  while (st.Step()) parties.push_back(st.Text(0));
  tx.Commit();
  return parties;
}

std::optional<std::int64_t> TOutbox::NextTry() {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, "SELECT min(next_try) FROM outbox WHERE state = 'queued'");
  std::optional<std::int64_t> next;
  if (st.Step() && !st.IsNull(0)) next = st.Int(0);
  tx.Commit();
  return next;
}

TRetryPolicy TOutbox::Policy(const std::string& party) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, "SELECT first_s, ceiling_s, attempts, max_age_s FROM retry_policy WHERE party = ?");
  st.BindText(1, party);
  TRetryPolicy p;
  if (st.Step()) p = TRetryPolicy{st.Int(0), st.Int(1), st.Int(2), st.Int(3)};
  tx.Commit();
  return p;
}

void TOutbox::SetPolicy(const std::string& party, const TRetryPolicy& p) {
  TTransaction tx(db_);
  TStatement st(db_,
                "INSERT INTO retry_policy(party, first_s, ceiling_s, attempts, max_age_s) VALUES(?, ?, ?, ?, ?) "
                "ON CONFLICT(party) DO UPDATE SET first_s = excluded.first_s, ceiling_s = excluded.ceiling_s, "
                "attempts = excluded.attempts, max_age_s = excluded.max_age_s");
  st.BindText(1, party).Bind(2, p.first_s).Bind(3, p.ceiling_s).Bind(4, p.attempts).Bind(5, p.max_age_s).Run();
  tx.Commit();
}

}  // namespace kestrel::app
