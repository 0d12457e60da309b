// Sending files to a party through the gate, as `kestrel send` and the
// sending side of `kestrel demo` do it.
//
// Every file is read before anything starts (an unreadable one stops the
// command with nothing queued). The documents are entered in the journal as
// queued, all in one transaction, then handed to one transmit process of the
// gate. The run ends when the gate has settled each of them (delivered or
// failed), or on a stop request or the time-out; documents still open are
// then failed in the journal with that reason. The transmit process and the
// whole gate are stopped before Run returns.
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
  int failed = 0;
  std::uint64_t bytes_delivered = 0;  // of the files' contents
  double seconds = 0;                 // from the start of the transmit process to the last outcome
  bool stopped = false;               // a stop request or the time-out ended it early
};

class TSendRun final : public TCoreEvents {
 public:
  // Lines go to `console`, each starting with `prefix` (may be empty);
  // `verbose` prints every gate log line too.
  TSendRun(TConsole& console, std::string prefix, bool verbose);

  // `rt` must have loaded the gate with this object as its events.
  // `timeout_ms` 0: no limit. Throws EToolError for what stops it before
  // the gate starts (no settings, no own address).
  TSendReport Run(TRuntime& rt, const TParty& party, const std::vector<TFileToSend>& files, std::uint32_t timeout_ms);
  void RequestStop(const std::string& why);

  void OnGateLine(const TLogLine& line) override;
  bool OnPacketFailed(const TRefPack& ref, std::int32_t code, std::int32_t param) override;
  void OnDelivered(KHandle process, const TRefPack& ref) override;
  void OnProgress(KHandle process, const std::string& caption, std::int32_t done, std::int32_t total,
                  std::int32_t direction) override;

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

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::map<std::int32_t, TItem> items_;  // by packet number
  int open_ = 0;
  std::string stop_reason_;
  TTransferMeter meter_;
  std::uint64_t delivered_bytes_ = 0;
  int delivered_ = 0, failed_ = 0;
};

}  // namespace kestrel::app
