// The gate's log as the kestrel program keeps it: every line the gate hands
// to the core (GateInfo), converted to UTF-8, with the time it arrived, its
// level ("error" for the gate's error reports, "info" for the other lines),
// the id of the gate thread that wrote it and its details text.
//
// TLogBook reads and writes the lines (each call one transaction);
// TLogWriter takes lines from any thread without waiting for the database
// and writes them in batches on a thread of its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/host/Core.h"
#include "tools/kestrel/Database.h"

namespace kestrel::app {

struct TLogFilter {
  int limit = 100;  // the newest lines, shown oldest first; 0: all
  bool errors_only = false;
  std::string contains;  // only lines whose text or details hold it
};

class TLogBook {
 public:
  explicit TLogBook(TDatabase& db) : db_(db) {}
  // Appends the lines in one transaction.
  void Append(const std::vector<TLogLine>& lines);
  std::vector<TLogLine> List(const TLogFilter& filter);

 private:
  TDatabase& db_;
};

// Thread-safe. Lines reach the database at most about 200 ms after they were
// added; Flush and the destructor write what is left. A write that fails is
// counted, not thrown: a broken log must not stop an exchange.
class TLogWriter {
 public:
  explicit TLogWriter(TLogBook& book);
  ~TLogWriter();
  TLogWriter(const TLogWriter&) = delete;
  TLogWriter& operator=(const TLogWriter&) = delete;

  void Add(TLogLine line);
  // Blocks until every line added so far is written (or failed).
  void Flush();
  std::uint64_t Failures() const;
  std::string LastFailure() const;

 private:
  void Run();

  TLogBook& book_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<TLogLine> queue_;
  std::uint64_t added_ = 0;
  std::uint64_t written_ = 0;  // lines written or given up
  std::uint64_t failures_ = 0;
  std::string last_failure_;
  bool flush_wanted_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace kestrel::app
