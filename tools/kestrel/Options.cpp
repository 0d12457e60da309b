#include "tools/kestrel/Options.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>

#include "kestrel/version.h"
#include "sim/FaultText.h"
#include "tools/host/PartyKey.h"

namespace kestrel::app {
namespace {

void AddAddressOptions(CLI::App& cmd, TAddressOptions& a, bool remote) {
  cmd.add_option("--client-id", a.client_id, "Client id (IdCl)");
  cmd.add_option("--ports", a.ports, remote ? "COM ports to call from, e.g. 1,3 or 1-4" : "COM ports to listen on");
  if (remote) {
    cmd.add_option("--phone", a.phones, "A phone number to dial (repeat for more, tried in turn)");
    cmd.add_flag("--tone,!--pulse", a.tone, "Tone or pulse dialling");
    cmd.add_option("--dial-timeout", a.dial_timeout, "Dial time-out: seconds, m:ss or h:mm:ss");
    cmd.add_option("--restore-timeout", a.restore_timeout, "Time to restore a broken connection");
    cmd.add_option("--restore-after-break", a.restore_after_break, "Wait before restoring after a break");
    cmd.add_option("--restore-tries", a.restore_tries, "Tries to restore a connection");
  }
  cmd.add_option("--data-wait", a.data_wait, "Data wait time-out");
  cmd.add_option("--stay-on-line", a.stay_on_line, "How long to keep the line after the last packet");
  cmd.add_option("--param", a.params, "NAME=VALUE for any address parameter (see 'show')");
}

// A command of the line as CLI11 parses it, and what it runs.
struct TLeaf {
  CLI::App* app;
  TCommand command;
};
using TLeaves = std::vector<TLeaf>;

void AddGlobalOptions(CLI::App& app, TGlobalOptions& g) {
  app.add_option("--db", g.db, "Database file (default " + DefaultDatabasePath() + ")");
  app.add_option("--gate-library", g.gate_library, "The gate library (default: found beside the program)");
  app.add_option("--gate-code", g.gate_code, "Gate code the settings and own address belong to")
      ->check(CLI::Range(-32768, 32767))
      ->capture_default_str();
  app.add_option("--com-dir", g.com_dir, "Folder of comN links that COM ports resolve through");
  app.add_flag("-v,--verbose", g.verbose, "Print the gate's log lines as they come");
}

void AddDemo(CLI::App& app, TDemoOptions& d, TLeaves& leaves) {
  auto* demo = app.add_subcommand("demo", "Two gates exchange generated documents over simulated modems");
  demo->add_option("--rate", d.rate, "Line rate, bit/s")->check(CLI::Range(1200, 1000000))->capture_default_str();
  demo->add_option("--kib", d.kib, "About this many KiB of documents")->check(CLI::Range(8, 4096))->capture_default_str();
  demo->add_option("--sender-db", d.sender_db, "Sending side's database (default: a temporary one)");
  demo->add_option("--listener-db", d.listener_db, "Listening side's database (default: a temporary one)");
  demo->add_option("--timeout", d.timeout_s, "Give up after this many seconds")->capture_default_str();
  demo->add_flag("--keep", d.keep, "Keep the temporary folder (databases, documents)");
  leaves.push_back({demo, TCommand::Demo});
}

void AddTransfers(CLI::App& app, TOptions& o, TLeaves& leaves) {
  auto* send = app.add_subcommand("send", "Send files to a party");
  send->add_option("--to", o.to, "The party's name")->required();
  send->add_option("files", o.files, "Files to send")->required();
  send->add_option("--timeout", o.timeout_s,
                   "End the call after this many seconds (0: wait for every outcome); what is not delivered "
                   "stays in the outbox");
  leaves.push_back({send, TCommand::Send});

  auto* run = app.add_subcommand("run", "Deliver the outbox: each party's due documents in one call, retried "
                                        "per the party's retry policy, until Ctrl-C");
  run->add_flag("--once", o.once, "Deliver what is due now, then end");
  run->add_flag("--until-empty", o.until_empty, "End once the outbox is empty");
  run->add_option("--timeout", o.timeout_s, "End a call after this many seconds (0: no limit)");
  leaves.push_back({run, TCommand::Run});

  auto* outbox = app.add_subcommand("outbox", "Documents waiting to be delivered: why, and when they are tried next");
  outbox->add_option("--party", o.party, "Only this party");
  auto* cancel = outbox->add_subcommand("cancel", "Give documents up (the journal says cancelled)");
  cancel->add_option("ids", o.ids, "Their ids (as kestrel outbox shows them)")->required();
  leaves.push_back({outbox, TCommand::OutboxList});
  leaves.push_back({cancel, TCommand::OutboxCancel});

  auto* listen = app.add_subcommand("listen", "Answer calls and store the documents that arrive");
  listen->add_option("--into", o.into, "Folder for received documents (default " + DefaultInboxPath() + ")");
  listen->add_flag("--monitor", o.open_monitor, "Open the gate's monitor window too");
  listen->add_flag("--deliver", o.deliver, "Deliver the outbox too, as kestrel run does");
  listen->add_flag("--accept-unknown", o.accept_unknown,
                   "Also answer callers whose client id is no party's (their sessions run unkeyed)");
  listen->add_flag("--stop-at-end-of-input", o.stop_at_end_of_input,
                   "Stop when the standard input ends too (for a program that runs this one)");
  leaves.push_back({listen, TCommand::Listen});

  auto* monitor = app.add_subcommand("monitor", "Open the gate's monitor window");
  monitor->add_flag("--listen", o.open_monitor, "Listen for calls while it is open");
  leaves.push_back({monitor, TCommand::Monitor});
}

void AddSim(CLI::App& app, TSimOptions& s, TLeaves& leaves) {
  auto* sim = app.add_subcommand("sim", "Run simulated modems on pseudo-terminals until Ctrl-C");
  sim->add_option("-n,--modems", s.modems, "Number of modems, numbered 101, 102, ...")
      ->check(CLI::Range(1, 64))
      ->capture_default_str();
  sim->add_option("--numbers", s.numbers, "Their phone numbers instead (comma-separated)")->delimiter(',');
  sim->add_option("-d,--dir", s.dir, "Folder for the links: DIR/<number>/com1 (default: a new temporary one)");
  sim->add_option("-r,--rate", s.rate, "Line rate of a call, bit/s")
      ->check(CLI::Range(300, 10000000))
      ->capture_default_str();
  sim->add_option("--latency-ms", s.latency_ms, "One-way delay of a line")
      ->check(CLI::Range(0, 60000))
      ->capture_default_str();
  sim->add_option("--fault", s.faults, "NUMBER:FAULT, a fault of one modem:\n" + std::string(sim::FaultTextHelp()));
  sim->add_flag("-q,--quiet", s.quiet, "Do not print the calls");
  leaves.push_back({sim, TCommand::Sim});
}

void AddPorts(CLI::App& app, TOptions& o, TLeaves& leaves) {
  auto* ports = app.add_subcommand(
      "ports", "Check COM1..COM16: device, access, holder; fails when a channel's port is unusable");
  ports->add_flag("--probe", o.probe, "Ask each free port's modem: AT (OK within 1 s?) and ATI");
  leaves.push_back({ports, TCommand::Ports});
}

void AddSettings(CLI::App& app, TOptions& o, TLeaves& leaves) {
  auto* settings = app.add_subcommand("settings", "The gate settings (modem channels) of the gate code");
  settings->require_subcommand(1);
  leaves.push_back({settings->add_subcommand("show", "Print the settings and their parameters"),
                    TCommand::SettingsShow});
  leaves.push_back({settings->add_subcommand("edit", "Edit the settings in the gate's dialog"),
                    TCommand::SettingsEdit});
  auto* set = settings->add_subcommand("set", "Change the settings from the command line");
  set->add_option("--channel", o.channels,
                  "port=N[,baud=57600][,data=8][,parity=none][,stop=1][,flow=hardware][,init=ATX3][,alias=TEXT]");
  set->add_option("--remove-port", o.remove_ports, "Remove the channel on this port")->check(CLI::Range(1, 16));
  set->add_option("--progress", o.show_progress, "Show transfer progress (yes/no)");
  leaves.push_back({set, TCommand::SettingsSet});
}

void AddAddresses(CLI::App& app, TOptions& o, TLeaves& leaves) {
  auto* address = app.add_subcommand("address", "The own address: client id and the ports calls are answered on");
  address->require_subcommand(1);
  leaves.push_back({address->add_subcommand("show", "Print the own address"), TCommand::AddressShow});
  leaves.push_back({address->add_subcommand("edit", "Edit the own address in the gate's dialog"),
                    TCommand::AddressEdit});
  auto* set = address->add_subcommand("set", "Change the own address from the command line");
  AddAddressOptions(*set, o.address, false);
  leaves.push_back({set, TCommand::AddressSet});

  auto* party = app.add_subcommand("party", "The parties documents go to and come from");
  party->require_subcommand(1);
  auto* add = party->add_subcommand("add", "Add a party, or change it with --update");
  add->add_option("name", o.party, "Its name")->required();
  AddAddressOptions(*add, o.address, true);
  add->add_flag("--edit", o.address.edit, "Edit the address in the gate's dialog as well");
  add->add_flag("--update", o.party_update, "Change an existing party");
  leaves.push_back({add, TCommand::PartyAdd});
  leaves.push_back({party->add_subcommand("list", "List the parties"), TCommand::PartyList});
  auto* remove = party->add_subcommand("remove", "Remove a party");
  remove->add_option("name", o.party, "Its name")->required();
  leaves.push_back({remove, TCommand::PartyRemove});
  auto* retry = party->add_subcommand(
      "retry", "Show or set when a party's undelivered documents are tried again (durations: 90, 90s, 5m, 2h, 3d)");
  retry->add_option("name", o.party, "Its name")->required();
  retry->add_option("--first", o.retry_first, "Wait before the first retry (default 5m)");
  retry->add_option("--ceiling", o.retry_ceiling, "The wait doubles up to this (default 1h)");
  retry->add_option("--attempts", o.retry_attempts, "Give up after this many tries (0: no limit; default 20)")
      ->check(CLI::Range(0, 1000000));
  retry->add_option("--max-age", o.retry_max_age, "Give up once a try fails this long after queueing (0: no "
                                                  "limit; default 3d)");
  leaves.push_back({retry, TCommand::PartyRetry});

  auto* key = party->add_subcommand(
      "key", "Share a secret key with a party: its calls must then prove it, and what crosses is sealed");
  key->add_option("name", o.party, "Its name")->required();
  auto* action = key->add_option_group("action", "What to do with the key");
  auto* generate = action->add_flag("--generate")->description("Make a new key, store it and print it once");
  auto* replace = action->add_option("--set", o.key_text, "Store the key the party made (64 hex digits)")
                      ->check(CLI::Validator(
                          [](const std::string& text) {
                            return PartyKeyFromText(text) ? std::string()
                                                          : "a key is exactly 64 hex digits, as kestrel party "
                                                            "key --generate prints it";
                          },
                          "HEX"));
  action->add_flag("--remove")->description("Remove the party's key (its sessions run unkeyed)");
  action->require_option(1);
  key->callback([&o, generate, replace] {
    o.key_action = generate->count() > 0 ? TKeyAction::Generate
                   : replace->count() > 0 ? TKeyAction::Set
                                          : TKeyAction::Remove;
  });
  leaves.push_back({key, TCommand::PartyKey});
}

void AddReports(CLI::App& app, TOptions& o, TLeaves& leaves) {
  auto* journal = app.add_subcommand(
      "journal", "Documents sent and received, with their outcome, and how each session began");
  journal->add_option("--party", o.party, "Only this party");
  journal->add_option("--outcome", o.outcome, "Only this outcome")
      ->check(CLI::IsMember({"queued", "delivered", "failed", "received", "rejected", "repeated", "keyed",
                             "unkeyed", "refused"}));
  journal->add_option("-n,--limit", o.limit, "The newest N entries (0: all)")->capture_default_str();
  leaves.push_back({journal, TCommand::Journal});

  auto* log = app.add_subcommand("log", "The gate's log lines");
  log->add_option("-n,--limit", o.limit, "The newest N lines (0: all)");
  log->add_flag("--errors", o.errors_only, "Only error reports");
  log->add_option("--grep", o.contains, "Only lines holding this text");
  // The log is longer than the journal: its own default.
  log->callback([log, &o] {
    if (log->count("--limit") == 0) o.limit = 100;
  });
  leaves.push_back({log, TCommand::Log});
}

// What a command needs beyond its own options; the usage error, or "".
std::string MissingArguments(const TOptions& o) {
  if (o.command == TCommand::SettingsSet && o.channels.empty() && o.remove_ports.empty() && !o.show_progress)
    return "settings set: nothing to change; give --channel, --remove-port or --progress";
  if (o.command == TCommand::PartyAdd && !o.party_update && !o.address.client_id)
    return "party add: --client-id is required for a new party";
  return {};
}

}  // namespace

int ParseOptions(const std::vector<std::string>& args, TOptions& o, std::ostream& out, std::ostream& err) {
  CLI::App app{"kestrel: sends and receives documents through the Kestrel modem gate"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "kestrel " KESTREL_VERSION, "Print the version and exit");
  app.footer(
      "The gate is libKestrel.so, loaded through its exports. COM ports are found as the README's\n"
      "\"Serial ports\" section says (KESTREL_COM_DIR, or --com-dir). Run 'kestrel COMMAND --help' for more.");
  AddGlobalOptions(app, o.global);
  TLeaves leaves;
  AddDemo(app, o.demo, leaves);
  AddTransfers(app, o, leaves);
  AddSim(app, o.sim, leaves);
  AddPorts(app, o, leaves);
  AddSettings(app, o, leaves);
  AddAddresses(app, o, leaves);
  AddReports(app, o, leaves);

  try {
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e, out, err);
    return rc == 0 ? 0 : 2;
  }
  for (const TLeaf& leaf : leaves)
    if (leaf.app->parsed()) o.command = leaf.command;
  if (const std::string missing = MissingArguments(o); !missing.empty()) {
    err << missing << "\n";
    return 2;
  }
  return -1;
}

std::string DefaultDatabasePath() {
  namespace fs = std::filesystem;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/')
    return (fs::path(xdg) / "kestrel" / "kestrel.db").string();
  const char* home = std::getenv("HOME");
  return (fs::path(home != nullptr && *home != '\0' ? home : ".") / ".local" / "share" / "kestrel" / "kestrel.db")
      .string();
}

std::string DefaultInboxPath() {
  return (std::filesystem::path(DefaultDatabasePath()).parent_path() / "inbox").string();
}

}  // namespace kestrel::app
