// The kestrel command line: every command and option, parsed into TOptions.
//
//   kestrel [--db FILE] [--gate-library FILE] [--gate-code N] [--com-dir DIR] [-v] COMMAND ...
//
// Parsing only: nothing is opened or checked against the database here, so
// that every usage error is found before anything is touched.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrel::app {

enum class TCommand {
  Demo,
  Send,
  Listen,
  Sim,
  SettingsShow,
  SettingsEdit,
  SettingsSet,
  AddressShow,
  AddressEdit,
  AddressSet,
  PartyAdd,
  PartyList,
  PartyRemove,
  Journal,
  Log,
  Monitor,
  Ports,
  Run,
  OutboxList,
  OutboxCancel,
  PartyRetry,
  PartyKey,
};

// What `party key` does with the party's key.
enum class TKeyAction { Generate, Set, Remove };

struct TGlobalOptions {
  std::string db;            // empty: the default database
  std::string gate_library;  // empty: looked for (GateLibrary.h)
  std::int16_t gate_code = 1;
  std::string com_dir;   // sets KESTREL_COM_DIR for the gate
  bool verbose = false;  // print the gate's log lines as they come
};

// Address parameters a person may give; unset ones keep their value.
struct TAddressOptions {
  std::optional<std::int32_t> client_id;
  std::optional<std::string> ports;  // "1,3" or "1-4"
  std::vector<std::string> phones;
  std::optional<bool> tone;  // tone (true) or pulse (false) dialling
  std::optional<std::string> dial_timeout, data_wait, stay_on_line, restore_timeout, restore_after_break;
  std::optional<std::int32_t> restore_tries;
  std::vector<std::string> params;  // NAME=VALUE, any address parameter
  bool edit = false;                // open the gate's dialog
};

struct TSimOptions {
  unsigned modems = 2;
  std::vector<std::string> numbers;
  std::string dir;
  std::uint32_t rate = 57600;
  std::uint32_t latency_ms = 20;
  std::vector<std::string> faults;  // NUMBER:FAULT
  bool quiet = false;
};

struct TDemoOptions {
  std::uint32_t rate = 57600;
  std::uint32_t kib = 300;             // about this much data in all
  std::string sender_db, listener_db;  // empty: temporary ones
  bool keep = false;
  std::uint32_t timeout_s = 110;
};

struct TOptions {
  TCommand command = TCommand::Demo;
  TGlobalOptions global;
  // send
  std::string to;
  std::vector<std::string> files;
  std::uint32_t timeout_s = 0;  // 0: no limit
  // run, listen --deliver
  bool deliver = false;     // listen: deliver the outbox too
  bool once = false;        // run: deliver what is due now, then end
  bool until_empty = false; // run: end once the outbox is empty
  // outbox cancel
  std::vector<std::int64_t> ids;
  // party retry
  std::optional<std::string> retry_first, retry_ceiling, retry_max_age;
  std::optional<std::int64_t> retry_attempts;
  // party key
  TKeyAction key_action = TKeyAction::Generate;
  std::string key_text;  // --set: 64 hex digits, checked while parsing
  // listen, monitor
  std::string into;
  bool accept_unknown = false;  // listen: let in callers that are no party (unkeyed)
  bool open_monitor = false;
  bool stop_at_end_of_input = false;
  // settings set
  std::vector<std::string> channels;
  std::vector<int> remove_ports;
  std::optional<bool> show_progress;
  // address, party
  TAddressOptions address;
  std::string party;
  bool party_update = false;
  // journal
  int limit = 50;
  std::string outcome;
  // ports
  bool probe = false;
  // log
  bool errors_only = false;
  std::string contains;
  TSimOptions sim;
  TDemoOptions demo;
};

// Parses argv (argv[0] is the program). Returns -1 with `options` filled
// when the program should go on; otherwise the exit code to end with: 0
// after --help, 2 after a usage error, its text written to `out` / `err`.
int ParseOptions(const std::vector<std::string>& args, TOptions& options, std::ostream& out, std::ostream& err);

// The database used when --db is not given:
// $XDG_DATA_HOME/kestrel/kestrel.db, else ~/.local/share/kestrel/kestrel.db.
std::string DefaultDatabasePath();
// The folder received documents go to when --into is not given.
std::string DefaultInboxPath();

}  // namespace kestrel::app
