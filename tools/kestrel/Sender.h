// Sending files to a party through the gate, as `kestrel send` and the
// sending side of `kestrel demo` do it.
//
// Every file is read before anything starts (an unreadable one stops the
// command with nothing queued). The documents are put into the outbox
// (Outbox.h) with their journal entries, all in one transaction, before
// anything goes on the line. A call (Deliver) takes documents claimed from
// the outbox and hands them to one transmit process of the gate. It ends
// when the gate has settled each of them (delivered or failed), or on a stop
// request, the time-out or a refusal at the session's greeting; the documents
// still open then count as a failed try with that reason. Each outcome goes to the outbox as it comes: a
// delivered document leaves it, a failed try waits for its next one or is
// given up per the party's retry policy. The transmit process is stopped
// before Deliver returns, the whole gate only when asked.
//
// The core events arrive on the gate's threads; RequestStop may be called
// from any thread. Run itself runs on the main thread, once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tools/host/Core.h"
#include "tools/kestrel/Config.h"
#include "tools/kestrel/Console.h"
#include "tools/kestrel/Journal.h"
#include "tools/kestrel/Outbox.h"
#include "tools/kestrel/Progress.h"

namespace kestrel::app {

class TRuntime;

struct TFileToSend {
  std::string path;
  std::string name;  // the file's own name, as the receiver will see it
  std::string content;
};

// Reads every file whole. Throws EToolError "cannot read <path>: <reason>"
// for the first that cannot be read (missing, a folder, no permission) and
// for one too large to send.
std::vector<TFileToSend> ReadFiles(const std::vector<std::string>& paths);

struct TSendReport {
  std::vector<TJournalEntry> entries;  // as the journal has them at the end
  int delivered = 0;
  int failed = 0;   // tries that failed (given up or waiting for the next try)
  int waiting = 0;  // of those, still in the outbox
  std::uint64_t bytes_delivered = 0;  // of the files' contents
  double seconds = 0;                 // from the start of the transmit process to the last outcome
  bool stopped = false;               // a stop request or the time-out ended it early
};

class TSendRun final : public TCoreEvents {
 public:
  // Lines go to `console`, each starting with `prefix` (may be empty);
  // `verbose` prints every gate log line too.
  TSendRun(TConsole& console, std::string prefix, bool verbose);

  // Puts the files into the outbox for `party` and delivers them (and only
  // them) in one call. `rt` must have loaded the gate with this object as its
  // events. `timeout_ms` 0: no limit. Throws EToolError for what stops it
  // before anything is stored (no settings, no own address).
  TSendReport Run(TRuntime& rt, const TParty& party, const std::vector<TFileToSend>& files, std::uint32_t timeout_ms,
                  bool stop_gate = true);
  // One call to `party` carrying `items` (claimed from the outbox).
  TSendReport Deliver(TRuntime& rt, const TParty& party, const std::vector<TOutboxItem>& items,
                      std::uint32_t timeout_ms, bool stop_gate);
  void RequestStop(const std::string& why);
  bool Stopped();
  std::string StopReason();
  // Waits up to `ms` for a stop request; true when one came.
  bool WaitForStop(std::uint32_t ms);

  void OnGateLine(const TLogLine& line) override;
  bool OnPacketFailed(const TRefPack& ref, std::int32_t code, std::int32_t param) override;
  void OnDelivered(KHandle process, const TRefPack& ref) override;
  void OnProgress(KHandle process, const std::string& caption, std::int32_t done, std::int32_t total,
                  std::int32_t direction) override;
  // A call refused at its greeting ends at once: its documents' try failed
  // with the reason.
  void OnSession(std::int32_t id_cl, std::int32_t direction, std::int32_t kind, const std::string& reason) override;

 private:
  struct TItem {
    std::int64_t id = 0;
    std::string name;
    std::int64_t bytes = 0;
    bool settled = false;
  };
  void Settle(std::int32_t number, TOutcome outcome, const std::string& detail);
  std::string CurrentName() const;  // the first document not yet settled

  TConsole& console_;
  std::string prefix_;
  bool verbose_;
  TRuntime* rt_ = nullptr;
  TRetryPolicy policy_;

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::map<std::int32_t, TItem> items_;  // by packet number
  int open_ = 0;
  std::string stop_reason_;
  std::string call_end_;  // why the current call ended early (time-out)
  TTransferMeter meter_;
  std::uint64_t delivered_bytes_ = 0;
  int delivered_ = 0, failed_ = 0;
};

}  // namespace kestrel::app
