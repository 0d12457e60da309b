// What a command that works with the gate needs, made in the order the gate
// needs it and torn down in reverse: the database (brought up to date), the
// log writer, the core handlers in libHeron (which let in only the parties
// the database knows, see Admission.h), the COM port folder, and the gate
// library itself.
//
// Tear-down stops the whole gate first (StopTransmit with no handle) when a
// command started it, so that no gate thread calls the core once the
// handlers go, then unloads the library, uninstalls the handlers, writes the
// last log lines and closes the database.
//
// Main thread only.
#pragma once

#include <memory>
#include <string>

#include "tools/host/Core.h"
#include "tools/host/GateLibrary.h"
#include "tools/kestrel/Admission.h"
#include "tools/kestrel/Config.h"
#include "tools/kestrel/Database.h"
#include "tools/kestrel/Journal.h"
#include "tools/kestrel/LogBook.h"
#include "tools/kestrel/Options.h"
#include "tools/kestrel/Outbox.h"

namespace kestrel::app {

// Points COM port names at the --com-dir folder (KESTREL_COM_DIR), when one
// is given. Throws EToolError when it is no folder. Before any thread starts.
void ApplyComDir(const TGlobalOptions& options);

class TRuntime {
 public:
  // Opens the database (--db or the default). Throws EToolError.
  explicit TRuntime(const TGlobalOptions& options);
  ~TRuntime();
  TRuntime(const TRuntime&) = delete;
  TRuntime& operator=(const TRuntime&) = delete;

  // Installs the core handlers with `events` (which must outlive the
  // runtime), points COM ports at --com-dir and loads the gate library.
  // `admit_unknown` lets callers with a client id of no party in (unkeyed);
  // otherwise they are refused. Throws EToolError when the library cannot be
  // loaded.
  void LoadGate(TCoreEvents& events, bool admit_unknown = false);
  // Says that the gate was started: a whole-gate stop is due at the end.
  void GateStarted() { started_ = true; }
  // Stops the whole gate now (once); returns the export's answer.
  bool StopGate();

  const TGlobalOptions& Options() const { return options_; }
  TDatabase& Db() { return *db_; }
  TConfigStore& Config() { return config_; }
  TJournal& Journal() { return journal_; }
  TOutbox& Outbox() { return outbox_; }
  TLogWriter& Log() { return *log_; }
  TGateLibrary& Gate() { return *gate_; }
  TCore& Core() { return *core_; }

  // The stored settings block of the gate code, or EToolError saying how to
  // make one.
  std::string RequireSettings();
  // RequireSettings for a command that makes or answers calls: also refused
  // (EToolError) when the block configures no modem channel.
  std::string RequireChannelSettings();
  // The stored own address of the gate code, or EToolError saying how to set one.
  TOwnAddress RequireOwnAddress();

 private:
  TGlobalOptions options_;
  std::unique_ptr<TDatabase> db_;
  TConfigStore config_;
  TJournal journal_;
  TOutbox outbox_;
  TLogBook book_;
  std::unique_ptr<TLogWriter> log_;
  std::unique_ptr<TAdmission> admission_;
  std::unique_ptr<TCore> core_;
  std::unique_ptr<TGateLibrary> gate_;
  bool started_ = false;
};

}  // namespace kestrel::app
