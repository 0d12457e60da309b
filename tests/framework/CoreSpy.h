// CoreSpy: a core for the framework tests. It installs heron handlers that
// record what the gates hand over (received packets, confirmations, failure
// reports, progress, log lines) and answer localisation keys; tests wait on
// it with deadlines. Uninstalls everything when destroyed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kestrel/kestrel.h"

namespace kestrel::framework_test {

struct TReceived {
  std::int32_t Sender = 0;
  TRefPack Ref{};
  std::string Bytes;
};

class CoreSpy {
 public:
  CoreSpy();
  ~CoreSpy();
  CoreSpy(const CoreSpy&) = delete;
  CoreSpy& operator=(const CoreSpy&) = delete;

  // Waits up to `timeout_ms` for `done`, which is checked under the spy's
  // lock and so may read only the counters below, not call the snapshots.
  bool WaitUntil(const std::function<bool(const CoreSpy&)>& done, std::uint32_t timeout_ms);

  // Snapshots.
  std::vector<TReceived> Received() const;
  std::vector<std::int32_t> Confirmed() const;  // packet numbers
  std::vector<std::int32_t> Failed() const;     // packet numbers
  std::vector<std::string> Logs() const;        // kind-2 lines, text then "|" details
  std::vector<std::string> Infos() const;       // kind-1 messages, text then "|" details
  int ProgressCalls() const;
  std::string LastCaption() const;
  bool LogContains(const std::string& part) const;

  // Packets whose number is in here are refused by this core.
  std::set<std::int32_t> Refuse;
  std::map<std::string, std::string> Texts;  // localised texts

  // Read under the lock by WaitUntil's predicate.
  std::size_t received_ = 0, confirmed_ = 0, failed_ = 0, progress_ = 0;

 private:
  friend struct SpyHandlers;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<TReceived> received_list_;
  std::vector<std::int32_t> confirmed_list_, failed_list_;
  std::vector<std::string> logs_, infos_;
  std::string caption_;
};

}  // namespace kestrel::framework_test
