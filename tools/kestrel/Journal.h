// The journal: one entry per document sent or received, with its outcome.
//
// A document to send is entered as "queued" before it is handed to the gate;
// its entry id is the number of its packet reference, so the gate's report
// about the packet (delivered, or failed) finds it again. An outcome is
// settled once: a queued entry becomes "delivered" or "failed", and a later
// report about the same packet changes nothing. A received document is
// entered as "received" (stored in the inbox) or "rejected" (it could not be
// stored, and the sender was told so). A document whose reference the
// receiving side already holds for that sending client is entered as
// "repeated": acknowledged, not stored again.
//
// The greeting of each session, as a call is placed or answered, is an entry
// of its own, without a file or a reference: "keyed" (both sides proved they
// hold the key shared with the party), "unkeyed" (no key is shared with it)
// or "refused" (by either side; the detail says why). It is entered when the
// greeting ends: after the entries of the documents queued for a call placed,
// before those of the documents a call answered brings.
//
// The receiving side keeps, per sending client id, every reference it
// stored (the table received_refs), in the same transaction that enters the
// document, together with the part file the content waits in and the name it
// is given in the inbox: a process that ends between the two finds the part
// file again at its next start (see TReceiveRun).
//
// Each call is one transaction. Thread-safe through the database's lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kestrel/kestrel.h"
#include "tools/kestrel/Database.h"

namespace kestrel::app {

enum class TDirection { Out, In };
enum class TOutcome { Queued, Delivered, Failed, Received, Rejected, Repeated, Keyed, Unkeyed, Refused };

const char* OutcomeName(TOutcome outcome);
// Whether an entry of this outcome is a session's greeting (not a document).
bool IsSessionOutcome(TOutcome outcome);
std::optional<TOutcome> OutcomeFromName(const std::string& name);

struct TJournalEntry {
  std::int64_t id = 0;
  TDirection direction = TDirection::Out;
  std::string party;
  std::int32_t client_id = 0;
  std::string file;  // empty for a session
  std::int64_t bytes = 0;
  std::optional<std::uint32_t> crc32;  // none in entries made before it was kept, and for a session
  TRefPack ref{};
  TOutcome outcome = TOutcome::Queued;
  std::string detail;
  std::string started;
  std::string finished;  // empty while queued
};

struct TOutgoing {
  std::string party;
  std::int32_t client_id = 0;
  std::string file;
  std::int64_t bytes = 0;
  std::uint32_t crc32 = 0;
};

struct TJournalFilter {
  std::string party;  // empty: every party
  std::optional<TOutcome> outcome;
  int limit = 50;  // the newest entries, shown oldest first; 0: all
};

class TJournal {
 public:
  explicit TJournal(TDatabase& db) : db_(db) {}

  // Enters every document as queued, all or none, and gives each its packet
  // reference: number = its entry id, date and time = now. Refuses ids that
  // do not fit the reference's 32-bit number.
  std::vector<TJournalEntry> Queue(const std::vector<TOutgoing>& documents);
  // The same inside a writing transaction the caller holds.
  std::vector<TJournalEntry> QueueInTransaction(const std::vector<TOutgoing>& documents);
  // Settles a queued entry; false when the entry is unknown or already settled.
  bool Settle(std::int64_t id, TOutcome outcome, const std::string& detail);
  // Fails every entry of `ids` still queued, with `detail`; returns how many.
  int FailUnsettled(const std::vector<std::int64_t>& ids, const std::string& detail);

  // Enters a received document (outcome Received or Rejected).
  std::int64_t AddIncoming(const std::string& party, std::int32_t client_id, const std::string& file,
                           std::int64_t bytes, std::optional<std::uint32_t> crc32, const TRefPack& ref,
                           TOutcome outcome, const std::string& detail);

  // A received document as the receiving side remembers it by its sender's
  // reference.
  struct TStoredRef {
    std::int64_t journal_id = 0;
    std::string part;    // the part file's name in the inbox
    std::string target;  // the path it is stored under
  };
  std::optional<TStoredRef> FindStored(std::int32_t client_id, const TRefPack& ref);
  // The document stored from the part file of that name, if any.
  std::optional<TStoredRef> FindStoredByPart(const std::string& part);
  // Enters a received document and its reference in one transaction. When the
  // reference is already held, nothing is written and the earlier one is
  // returned with `repeat` set.
  TStoredRef AddStored(const std::string& party, std::int32_t client_id, const std::string& file, std::int64_t bytes,
                       std::optional<std::uint32_t> crc32, const TRefPack& ref, const std::string& part,
                       const std::string& target, bool& repeat);

  // Enters the greeting of a session with the party (`party` its name, or
  // "client N" when it is not known); `outcome` Keyed, Unkeyed or Refused.
  std::int64_t AddSession(TDirection direction, const std::string& party, std::int32_t client_id, TOutcome outcome,
                          const std::string& detail);

  std::optional<TJournalEntry> Find(std::int64_t id);
  std::vector<TJournalEntry> List(const TJournalFilter& filter);

 private:
  // AddIncoming's row, inside a writing transaction the caller holds; its id.
  std::int64_t InsertIncoming(const std::string& party, std::int32_t client_id, const std::string& file,
                              std::int64_t bytes, std::optional<std::uint32_t> crc32, const TRefPack& ref,
                              TOutcome outcome, const std::string& detail);
  TDatabase& db_;
};

}  // namespace kestrel::app
