#include "tools/kestrel/Options.h"

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>

#include "sim/FaultText.h"

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

}  // namespace

int ParseOptions(const std::vector<std::string>& args, TOptions& o, std::ostream& out, std::ostream& err) {
  CLI::App app{"kestrel: sends and receives documents through the Kestrel modem gate"};
  app.require_subcommand(1);
  app.footer(
      "The gate is libKestrel.so, loaded through its exports. COM ports are found as the README's\n"
      "\"Serial ports\" section says (KESTREL_COM_DIR, or --com-dir). Run 'kestrel COMMAND --help' for more.");
  auto& g = o.global;
  app.add_option("--db", g.db, "Database file (default " + DefaultDatabasePath() + ")");
  app.add_option("--gate-library", g.gate_library, "The gate library (default: found beside the program)");
  app.add_option("--gate-code", g.gate_code, "Gate code the settings and own address belong to")
      ->check(CLI::Range(-32768, 32767))
      ->capture_default_str();
  app.add_option("--com-dir", g.com_dir, "Folder of comN links that COM ports resolve through");
  app.add_flag("-v,--verbose", g.verbose, "Print the gate's log lines as they come");

  auto* demo = app.add_subcommand("demo", "Two gates exchange generated documents over simulated modems");
  demo->add_option("--rate", o.demo.rate, "Line rate, bit/s")->check(CLI::Range(1200, 1000000))->capture_default_str();
  demo->add_option("--kib", o.demo.kib, "About this many KiB of documents")
      ->check(CLI::Range(8, 4096))
      ->capture_default_str();
  demo->add_option("--sender-db", o.demo.sender_db, "Sending side's database (default: a temporary one)");
  demo->add_option("--listener-db", o.demo.listener_db, "Listening side's database (default: a temporary one)");
  demo->add_option("--timeout", o.demo.timeout_s, "Give up after this many seconds")->capture_default_str();
  demo->add_flag("--keep", o.demo.keep, "Keep the temporary folder (databases, documents)");

  auto* send = app.add_subcommand("send", "Send files to a party");
  send->add_option("--to", o.to, "The party's name")->required();
  send->add_option("files", o.files, "Files to send")->required();
  send->add_option("--timeout", o.timeout_s, "Give up after this many seconds (0: wait for every outcome)");

  auto* listen = app.add_subcommand("listen", "Answer calls and store the documents that arrive");
  listen->add_option("--into", o.into, "Folder for received documents (default " + DefaultInboxPath() + ")");
  listen->add_flag("--monitor", o.open_monitor, "Open the gate's monitor window too");
  listen->add_flag("--stop-at-end-of-input", o.stop_at_end_of_input,
                   "Stop when the standard input ends too (for a program that runs this one)");

  auto* sim = app.add_subcommand("sim", "Run simulated modems on pseudo-terminals until Ctrl-C");
  sim->add_option("-n,--modems", o.sim.modems, "Number of modems, numbered 101, 102, ...")
      ->check(CLI::Range(1, 64))
      ->capture_default_str();
  sim->add_option("--numbers", o.sim.numbers, "Their phone numbers instead (comma-separated)")->delimiter(',');
  sim->add_option("-d,--dir", o.sim.dir, "Folder for the links: DIR/<number>/com1 (default: a new temporary one)");
  sim->add_option("-r,--rate", o.sim.rate, "Line rate of a call, bit/s")
      ->check(CLI::Range(300, 10000000))
      ->capture_default_str();
  sim->add_option("--latency-ms", o.sim.latency_ms, "One-way delay of a line")
      ->check(CLI::Range(0, 60000))
      ->capture_default_str();
  sim->add_option("--fault", o.sim.faults, "NUMBER:FAULT, a fault of one modem:\n" + std::string(sim::FaultTextHelp()));
  sim->add_flag("-q,--quiet", o.sim.quiet, "Do not print the calls");

  auto* settings = app.add_subcommand("settings", "The gate settings (modem channels) of the gate code");
  settings->require_subcommand(1);
  auto* s_show = settings->add_subcommand("show", "Print the settings and their parameters");
  auto* s_edit = settings->add_subcommand("edit", "Edit the settings in the gate's dialog");
  auto* s_set = settings->add_subcommand("set", "Change the settings from the command line");
  s_set->add_option("--channel", o.channels,
                    "port=N[,baud=57600][,data=8][,parity=none][,stop=1][,flow=hardware][,init=ATX3][,alias=TEXT]");
  s_set->add_option("--remove-port", o.remove_ports, "Remove the channel on this port")->check(CLI::Range(1, 16));
  s_set->add_option("--progress", o.show_progress, "Show transfer progress (yes/no)");

  auto* address = app.add_subcommand("address", "The own address: client id and the ports calls are answered on");
  address->require_subcommand(1);
  auto* a_show = address->add_subcommand("show", "Print the own address");
  auto* a_edit = address->add_subcommand("edit", "Edit the own address in the gate's dialog");
  auto* a_set = address->add_subcommand("set", "Change the own address from the command line");
  AddAddressOptions(*a_set, o.address, false);

  auto* party = app.add_subcommand("party", "The parties documents go to and come from");
  party->require_subcommand(1);
  auto* p_add = party->add_subcommand("add", "Add a party, or change it with --update");
  p_add->add_option("name", o.party, "Its name")->required();
  AddAddressOptions(*p_add, o.address, true);
  p_add->add_flag("--edit", o.address.edit, "Edit the address in the gate's dialog as well");
  p_add->add_flag("--update", o.party_update, "Change an existing party");
  auto* p_list = party->add_subcommand("list", "List the parties");
  auto* p_remove = party->add_subcommand("remove", "Remove a party");
  p_remove->add_option("name", o.party, "Its name")->required();

  auto* journal = app.add_subcommand("journal", "Documents sent and received, with their outcome");
  journal->add_option("--party", o.party, "Only this party");
  journal->add_option("--outcome", o.outcome, "Only this outcome")
      ->check(CLI::IsMember({"queued", "delivered", "failed", "received", "rejected"}));
  journal->add_option("-n,--limit", o.limit, "The newest N entries (0: all)")->capture_default_str();

  auto* log = app.add_subcommand("log", "The gate's log lines");
  log->add_option("-n,--limit", o.limit, "The newest N lines (0: all)");
  log->add_flag("--errors", o.errors_only, "Only error reports");
  log->add_option("--grep", o.contains, "Only lines holding this text");

  auto* monitor = app.add_subcommand("monitor", "Open the gate's monitor window");
  monitor->add_flag("--listen", o.open_monitor, "Listen for calls while it is open");

  try {
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e, out, err);
    return rc == 0 ? 0 : 2;
  }
  if (log->parsed() && log->count("--limit") == 0) o.limit = 100;

  if (demo->parsed())
    o.command = TCommand::Demo;
  else if (send->parsed())
    o.command = TCommand::Send;
  else if (listen->parsed())
    o.command = TCommand::Listen;
  else if (sim->parsed())
    o.command = TCommand::Sim;
  else if (s_show->parsed())
    o.command = TCommand::SettingsShow;
  else if (s_edit->parsed())
    o.command = TCommand::SettingsEdit;
  else if (s_set->parsed())
    o.command = TCommand::SettingsSet;
  else if (a_show->parsed())
    o.command = TCommand::AddressShow;
  else if (a_edit->parsed())
    o.command = TCommand::AddressEdit;
  else if (a_set->parsed())
    o.command = TCommand::AddressSet;
  else if (p_add->parsed())
    o.command = TCommand::PartyAdd;
  else if (p_list->parsed())
    o.command = TCommand::PartyList;
  else if (p_remove->parsed())
    o.command = TCommand::PartyRemove;
  else if (journal->parsed())
    o.command = TCommand::Journal;
  else if (log->parsed())
    o.command = TCommand::Log;
  else if (monitor->parsed())
    o.command = TCommand::Monitor;

  if (s_set->parsed() && o.channels.empty() && o.remove_ports.empty() && !o.show_progress) {
    err << "settings set: nothing to change; give --channel, --remove-port or --progress\n";
    return 2;
  }
  if (p_add->parsed() && !o.party_update && !o.address.client_id) {
    err << "party add: --client-id is required for a new party\n";
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
