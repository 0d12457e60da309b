// Answering calls and keeping the documents that arrive, as `kestrel listen`
// and the listening side of `kestrel demo` do it.
//
// Each packet the gate hands over is read as a document (Document.h): its
// checksum is checked, it is stored in the inbox under its own name made
// safe, and the journal gets a "received" entry.
//
// Exactly once: the content is first written whole to a part file; one
// transaction then enters the document in the journal together with its
// sender's client id and packet reference, the part file's name and the name
// it gets; then the part file is renamed to that name, and only then is the
// packet acknowledged. A packet whose sender and reference are already held
// is acknowledged without being stored again (journal: "repeated"). At start,
// a part file that a transaction recorded is renamed to its name (the process
// ended between the two), and one that none recorded is removed (its sender
// was never told it arrived, and sends it again). A document that cannot be
// written (a full disk) is refused with nothing kept: the partial file is
// removed, the database is not touched, the sender is told it failed.
//
// Test-only fault switch: KESTREL_TEST_FAULT=die-after-store:N kills this
// process (SIGKILL) once the Nth document it stores is recorded and in the
// inbox, before it is acknowledged; die-after-commit:N kills it after the
// transaction, before the rename. KESTREL_TEST_ACK_DELAY_MS=N waits N ms
// after a document is stored (and its line printed) before acknowledging it,
// so that a test can kill the sender in that window. A packet that is no
// document of this program is kept as raw bytes ("packet-<number>.bin"). A
// damaged document, or one that cannot be stored, is refused: the journal
// gets a "rejected" entry and the gate is told, so that the sender learns
// the packet failed instead of believing it delivered.
//
// Core events arrive on the gate's threads; RequestStop from any thread; Run
// on the main thread, once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "tools/host/Core.h"
#include "tools/kestrel/Console.h"
#include "tools/kestrel/Inbox.h"
#include "tools/kestrel/Progress.h"

namespace kestrel::app {

class TRuntime;

class TReceiveRun final : public TCoreEvents {
 public:
  TReceiveRun(TConsole& console, std::string prefix, bool verbose);

  // Starts listening with the stored own address and settings, prints
  // "listening ..." once the gate listens, and returns after RequestStop
  // with the number of documents received. `rt` must have loaded the gate
  // with this object as its events. `open_monitor` opens the gate's monitor
  // window as well, and then lends the main thread to it while waiting
  // (Run must then be called on the main thread). Throws EToolError when
  // the gate does not start.
  // `before_stop` runs once the stop request came, before the gate stops.
  int Run(TRuntime& rt, TInbox& inbox, bool open_monitor, const std::function<void()>& before_stop = {});
  // Runs `f` (once, on the main thread) when the gate listens.
  void OnListening(std::function<void()> f) { on_listening_ = std::move(f); }
  void RequestStop(const std::string& why);

  void OnGateLine(const TLogLine& line) override;
  void OnChannelProblem(const std::string& port, const std::string& problem) override;
  bool OnPacket(std::int32_t sender_id_cl, const TRefPack& ref, std::string_view data) override;
  void OnProgress(KHandle process, const std::string& caption, std::int32_t done, std::int32_t total,
                  std::int32_t direction) override;
  // A call refused at its greeting gets a line ("refused a call from client
  // 77: unknown caller"); nothing else of it is kept here.
  void OnSession(std::int32_t id_cl, std::int32_t direction, std::int32_t kind, const std::string& reason) override;

 private:
  TConsole& console_;
  std::string prefix_;
  bool verbose_;

  std::mutex mutex_;
  std::condition_variable cv_;
  TRuntime* rt_ = nullptr;
  TInbox* inbox_ = nullptr;
  std::string stop_reason_;
  int received_ = 0;
  std::map<KHandle, TTransferMeter> meters_;
  std::function<void()> on_listening_;
  int stored_ = 0;  // documents stored by this process (for the test-only fault switch)
};

}  // namespace kestrel::app
