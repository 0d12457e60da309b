#include "tools/kestrel/Journal.h"

#include <algorithm>
#include <array>
#include <limits>

#include "tools/kestrel/Clock.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

constexpr std::array<const char*, 9> kOutcomeNames = {"queued",   "delivered", "failed", "received", "rejected",
                                                     "repeated", "keyed",     "unkeyed", "refused"};

constexpr const char* kColumns =
    "id, direction, party, client_id, file, bytes, crc32, ref_number, ref_date, ref_time, outcome, detail, "
    "started, finished";

TJournalEntry EntryFrom(const TStatement& st) {
  TJournalEntry e;
  e.id = st.Int(0);
  e.direction = st.Text(1) == "in" ? TDirection::In : TDirection::Out;
  e.party = st.Text(2);
  e.client_id = static_cast<std::int32_t>(st.Int(3));
  e.file = st.Text(4);
  e.bytes = st.Int(5);
  if (!st.IsNull(6)) e.crc32 = static_cast<std::uint32_t>(st.Int(6));
  e.ref = TRefPack{static_cast<std::int32_t>(st.Int(7)), static_cast<std::int32_t>(st.Int(8)),
                   static_cast<std::int32_t>(st.Int(9))};
  e.outcome = OutcomeFromName(st.Text(10)).value_or(TOutcome::Failed);
  e.detail = st.Text(11);
  e.started = st.Text(12);
  e.finished = st.Text(13);
  return e;
}

}  // namespace

const char* OutcomeName(TOutcome outcome) { return kOutcomeNames[static_cast<std::size_t>(outcome)]; }

bool IsSessionOutcome(TOutcome outcome) {
  return outcome == TOutcome::Keyed || outcome == TOutcome::Unkeyed || outcome == TOutcome::Refused;
}

std::optional<TOutcome> OutcomeFromName(const std::string& name) {
  for (std::size_t i = 0; i < kOutcomeNames.size(); ++i)
    if (name == kOutcomeNames[i]) return static_cast<TOutcome>(i);
  return std::nullopt;
}

std::vector<TJournalEntry> TJournal::Queue(const std::vector<TOutgoing>& documents) {
  TTransaction tx(db_);
  std::vector<TJournalEntry> entries = QueueInTransaction(documents);
  tx.Commit();
  return entries;
}

std::vector<TJournalEntry> TJournal::QueueInTransaction(const std::vector<TOutgoing>& documents) {
  std::vector<TJournalEntry> entries;
  const auto now = TWallClock::now();
  const TCoreDateTime stamp = CoreDateTime(now);
  const std::string started = LocalTimeText(now);
  for (const auto& d : documents) {
    TStatement insert(db_,
                      "INSERT INTO journal(direction, party, client_id, file, bytes, crc32, ref_number, ref_date, "
                      "ref_time, outcome, started) VALUES('out', ?, ?, ?, ?, ?, 0, ?, ?, 'queued', ?)");
    insert.BindText(1, d.party).Bind(2, d.client_id).BindText(3, d.file).Bind(4, d.bytes).Bind(5, d.crc32);
    insert.Bind(6, stamp.date).Bind(7, stamp.time).BindText(8, started).Run();
    const std::int64_t id = db_.LastInsertId();
    if (id > std::numeric_limits<std::int32_t>::max())
      throw EToolError("database " + db_.Path() + ": the journal has run out of packet numbers");
    TStatement number(db_, "UPDATE journal SET ref_number = id WHERE id = ?");
    number.Bind(1, id).Run();
    TJournalEntry e;
    e.id = id;
    e.party = d.party;
    e.client_id = d.client_id;
    e.file = d.file;
    e.bytes = d.bytes;
    e.crc32 = d.crc32;
    e.ref = TRefPack{static_cast<std::int32_t>(id), stamp.date, stamp.time};
    e.started = started;
    entries.push_back(e);
  }
  return entries;
}

bool TJournal::Settle(std::int64_t id, TOutcome outcome, const std::string& detail) {
  TTransaction tx(db_);
  TStatement st(db_, "UPDATE journal SET outcome = ?, detail = ?, finished = ? WHERE id = ? AND outcome = 'queued'");
  st.BindText(1, OutcomeName(outcome)).BindText(2, detail).BindText(3, NowText()).Bind(4, id).Run();
  const bool settled = db_.Changes() > 0;
  tx.Commit();
  return settled;
}

int TJournal::FailUnsettled(const std::vector<std::int64_t>& ids, const std::string& detail) {
  TTransaction tx(db_);
  int count = 0;
  const std::string now = NowText();
  for (const std::int64_t id : ids) {
    TStatement st(
        db_, "UPDATE journal SET outcome = 'failed', detail = ?, finished = ? WHERE id = ? AND outcome = 'queued'");
    st.BindText(1, detail).BindText(2, now).Bind(3, id).Run();
    count += db_.Changes();
  }
  tx.Commit();
  return count;
}

std::int64_t TJournal::AddIncoming(const std::string& party, std::int32_t client_id, const std::string& file,
                                   std::int64_t bytes, std::optional<std::uint32_t> crc32, const TRefPack& ref,
                                   TOutcome outcome, const std::string& detail) {
  TTransaction tx(db_);
  const std::int64_t id = InsertIncoming(party, client_id, file, bytes, crc32, ref, outcome, detail);
  tx.Commit();
  return id;
}

std::int64_t TJournal::InsertIncoming(const std::string& party, std::int32_t client_id, const std::string& file,
                                      std::int64_t bytes, std::optional<std::uint32_t> crc32, const TRefPack& ref,
                                      TOutcome outcome, const std::string& detail) {
  const std::string now = NowText();
  TStatement st(db_,
                "INSERT INTO journal(direction, party, client_id, file, bytes, crc32, ref_number, ref_date, ref_time, "
                "outcome, detail, started, finished) VALUES('in', ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  st.BindText(1, party).Bind(2, client_id).BindText(3, file).Bind(4, bytes);
  if (crc32)
    st.Bind(5, *crc32);
  else
    st.BindNull(5);
  st.Bind(6, ref.Number).Bind(7, ref.Date).Bind(8, ref.Time).BindText(9, OutcomeName(outcome)).BindText(10, detail);
  st.BindText(11, now).BindText(12, now).Run();
  return db_.LastInsertId();
}

std::int64_t TJournal::AddSession(TDirection direction, const std::string& party, std::int32_t client_id,
                                  TOutcome outcome, const std::string& detail) {
  TTransaction tx(db_);
  const std::string now = NowText();
  TStatement st(db_,
                "INSERT INTO journal(direction, party, client_id, file, bytes, ref_number, ref_date, ref_time, "
                "outcome, detail, started, finished) VALUES(?, ?, ?, '', 0, 0, 0, 0, ?, ?, ?, ?)");
  st.BindText(1, direction == TDirection::In ? "in" : "out").BindText(2, party).Bind(3, client_id);
  st.BindText(4, OutcomeName(outcome)).BindText(5, detail).BindText(6, now).BindText(7, now).Run();
  const std::int64_t id = db_.LastInsertId();
  tx.Commit();
  return id;
}

namespace {

std::optional<TJournal::TStoredRef> StoredFrom(TStatement& st) {
  if (!st.Step()) return std::nullopt;
  return TJournal::TStoredRef{st.Int(0), st.Text(1), st.Text(2)};
}

std::optional<TJournal::TStoredRef> FindStoredIn(TDatabase& db, std::int32_t client_id, const TRefPack& ref) {
  TStatement st(db,
                "SELECT journal_id, part, target FROM received_refs WHERE client_id = ? AND ref_number = ? "
                "AND ref_date = ? AND ref_time = ?");
  st.Bind(1, client_id).Bind(2, ref.Number).Bind(3, ref.Date).Bind(4, ref.Time);
  return StoredFrom(st);
}

}  // namespace

std::optional<TJournal::TStoredRef> TJournal::FindStored(std::int32_t client_id, const TRefPack& ref) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  auto found = FindStoredIn(db_, client_id, ref);
  tx.Commit();
  return found;
}

std::optional<TJournal::TStoredRef> TJournal::FindStoredByPart(const std::string& part) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, "SELECT journal_id, part, target FROM received_refs WHERE part = ?");
  st.BindText(1, part);
  auto found = StoredFrom(st);
  tx.Commit();
  return found;
}

TJournal::TStoredRef TJournal::AddStored(const std::string& party, std::int32_t client_id, const std::string& file,
                                         std::int64_t bytes, std::optional<std::uint32_t> crc32, const TRefPack& ref,
                                         const std::string& part, const std::string& target, bool& repeat) {
  TTransaction tx(db_);
  if (auto earlier = FindStoredIn(db_, client_id, ref)) {
    repeat = true;
    return *earlier;
  }
  repeat = false;
  const std::int64_t id = InsertIncoming(party, client_id, file, bytes, crc32, ref, TOutcome::Received, target);
  TStatement remember(db_,
                      "INSERT INTO received_refs(client_id, ref_number, ref_date, ref_time, journal_id, part, target) "
                      "VALUES(?, ?, ?, ?, ?, ?, ?)");
  remember.Bind(1, client_id).Bind(2, ref.Number).Bind(3, ref.Date).Bind(4, ref.Time).Bind(5, id);
  remember.BindText(6, part).BindText(7, target).Run();
  tx.Commit();
  return TStoredRef{id, part, target};
}

std::optional<TJournalEntry> TJournal::Find(std::int64_t id) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  TStatement st(db_, std::string("SELECT ") + kColumns + " FROM journal WHERE id = ?");
  st.Bind(1, id);
  std::optional<TJournalEntry> e;
  if (st.Step()) e = EntryFrom(st);
  tx.Commit();
  return e;
}

std::vector<TJournalEntry> TJournal::List(const TJournalFilter& filter) {
  TTransaction tx(db_, TTransaction::TKind::Read);
  std::string sql = std::string("SELECT ") + kColumns + " FROM journal WHERE (?1 = '' OR party = ?1) " +
                    "AND (?2 = '' OR outcome = ?2) ORDER BY id DESC";
  if (filter.limit > 0) sql += " LIMIT " + std::to_string(filter.limit);
  TStatement st(db_, sql);
  st.BindText(1, filter.party).BindText(2, filter.outcome ? OutcomeName(*filter.outcome) : "");
  std::vector<TJournalEntry> entries;
  while (st.Step()) entries.push_back(EntryFrom(st));
  tx.Commit();
  std::reverse(entries.begin(), entries.end());
  return entries;
}

}  // namespace kestrel::app
