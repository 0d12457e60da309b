// The outbox: documents to send, kept in the database (content and all) from
// the moment `kestrel send` takes them until they are delivered or given up.
//
// An outbox row belongs to a journal entry (outcome "queued" while the row
// lives): the entry's id is the packet number, and the entry's date and time
// complete the packet reference, so every attempt of a document carries the
// reference of the first. A row is "queued" (waiting for its next try) or
// "sending" (claimed by the process with `owner_pid` for a call). When a try
// fails, the row goes back to "queued" with its next try per the party's
// retry policy, or is given up (journal "failed") once the policy's attempts
// or age are used up. A delivered document leaves the outbox with its journal
// entry settled "delivered", in one transaction.
//
// Each call is one transaction. Thread-safe through the database's lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kestrel/kestrel.h"
#include "tools/kestrel/Database.h"
#include "tools/kestrel/Journal.h"

namespace kestrel::app {

// When a party's documents are tried again: the first retry `first_s` after
// a failed try, each next one twice as long after the one before, never more
// than `ceiling_s`; given up after `attempts` tries (0: no limit) or once a
// try fails `max_age_s` after the document was queued (0: no limit).
struct TRetryPolicy {
  std::int64_t first_s = 300;
  std::int64_t ceiling_s = 3600;
  std::int64_t attempts = 20;
  std::int64_t max_age_s = 3 * 24 * 3600;
  // Seconds from a failed try number `attempt` (1 = the first) to the next.
  std::int64_t Interval(std::int64_t attempt) const;
};

// "90", "90s", "5m", "2h", "3d" as seconds; nullopt when unreadable.
std::optional<std::int64_t> ParseSeconds(const std::string& text);
// "5m", "1h30m", "3d", "45s".
std::string SecondsText(std::int64_t seconds);

struct TOutboxItem {
  std::int64_t id = 0;  // the journal entry's id
  std::string party;
  std::string file;
  std::int64_t bytes = 0;
  TRefPack ref{};
  std::string state;  // "queued" or "sending"
  std::int64_t attempts = 0;
  std::int64_t queued_at = 0;  // seconds since the epoch
  std::int64_t next_try = 0;   // seconds since the epoch
  std::string last_error;
  std::int64_t owner_pid = 0;
  std::string packet;  // only from Claim
};

// Seconds since the epoch, now.
std::int64_t EpochNow();

class TOutbox {
 public:
  explicit TOutbox(TDatabase& db) : db_(db) {}

  // Enters the documents (their packets, with the file's name and content
  // size) for `party` into the journal as queued and into the outbox, due
  // now; all or none. Returns their journal entries.
  std::vector<TJournalEntry> Add(const std::string& party, std::int32_t client_id,
                                 const std::vector<TOutgoing>& documents, const std::vector<std::string>& packets);

  // Claims for this process the queued rows of `party` that are due by `now`
  // (all when `ids` is empty, else only those of `ids`): they become
  // "sending", their attempts count up. Returns them with their packets.
  std::vector<TOutboxItem> Claim(const std::string& party, std::int64_t now, const std::vector<std::int64_t>& ids = {});
  // A claimed document was delivered: journal "delivered", row removed.
  void Delivered(std::int64_t id);
  // A claimed document's try failed with `why`: back to queued with its next
  // try, or given up per `policy`. Returns what happens next, for a person
  // ("next try at 16:30:05 (attempt 3)", "given up after 5 attempts").
  std::string Failed(std::int64_t id, const std::string& why, const TRetryPolicy& policy);
  // Gives a waiting document up now with `why` (journal "failed"): false
  // when it is not in the outbox or a live process is sending it.
  bool Cancel(std::int64_t id, const std::string& why);

  // Rows left "sending" by processes that no longer run go back to queued,
  // due now, with the interruption noted in their journal entry. Returns how many.
  int Recover();

  // Every row, oldest first (`party` empty: every party).
  std::vector<TOutboxItem> List(const std::string& party = {});
  // Parties with queued rows due by `now`, in the order of their oldest row.
  std::vector<std::string> DueParties(std::int64_t now);
  // The earliest next try of any queued row; nullopt when none waits.
  std::optional<std::int64_t> NextTry();

  TRetryPolicy Policy(const std::string& party);
  void SetPolicy(const std::string& party, const TRetryPolicy& policy);

 private:
  TDatabase& db_;
};

}  // namespace kestrel::app
