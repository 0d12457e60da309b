// ports: what each COM port is on this machine, and whether the gate code's
// channels can use theirs.
#include <algorithm>
#include <filesystem>
#include <map>

#include "gate/common/MdmTypes.h"
#include "tools/kestrel/Commands.h"
#include "tools/kestrel/Config.h"
#include "tools/kestrel/Console.h"
#include "tools/kestrel/GateSettings.h"
#include "tools/kestrel/PortCheck.h"
#include "tools/kestrel/Runtime.h"
#include "tools/kestrel/Schema.h"

namespace kestrel::app {
namespace {

constexpr int kPortCount = 16;

// The channels of the gate code by port; none when the database does not
// exist yet (a new machine is checked before anything is configured, and
// the check makes no database).
std::map<int, TChannel> ConfiguredChannels(const TGlobalOptions& g, std::string& where) {
  where = g.db.empty() ? DefaultDatabasePath() : g.db;
  std::map<int, TChannel> out;
  std::error_code ec;
  if (!std::filesystem::exists(where, ec)) return out;
  auto db = OpenStore(where);
  TConfigStore config(*db);
  if (const auto block = config.GateSettings(g.gate_code))
    for (const TChannel& c : ReadSettings(*block).channels) out[c.port] = c;
  return out;
}

std::string Why(const TPortReport& r) {
  switch (r.state) {
    case TPortState::kMissing:
      return "missing";
    case TPortState::kNoPermission:
      return "no permission";
    case TPortState::kBusy:
      return "busy";
    case TPortState::kFailed:
      return "cannot be opened";
    case TPortState::kFree:
      break;
  }
  return r.modem == TModemState::kRefused ? "modem says ERROR" : "no modem answers";
}

}  // namespace

int RunPorts(const TOptions& o) {
  ApplyComDir(o.global);
  std::string db;
  const auto channels = ConfiguredChannels(o.global, db);

  std::vector<TPortReport> reports;
  for (int n = 1; n <= kPortCount; ++n) {
    std::optional<TProbe> probe;
    if (o.probe) {
      probe.emplace();
      if (auto it = channels.find(n); it != channels.end() && it->second.baud < gate::BaudRateValues.size() &&
                                       gate::BaudRateValues[it->second.baud] != 0)
        probe->baud = gate::BaudRateValues[it->second.baud];
    }
    reports.push_back(CheckPort(n, probe));
    reports.back().channel = channels.count(n) != 0;
  }
  std::size_t width = 0;
  for (const auto& r : reports) width = std::max(width, DeviceText(r).size());
  TConsole& console = TConsole::Standard();
  for (const auto& r : reports) console.Line(PortLine(r, width));

  const std::string gate = "gate code " + std::to_string(o.global.gate_code);
  if (channels.empty()) {
    console.Line(gate + ": no channel is configured in " + db);
    return 0;
  }
  std::string used, unusable;
  for (const auto& r : reports) {
    if (!r.channel) continue;
    used += (used.empty() ? "" : ", ") + ("COM" + std::to_string(r.number));
    if (!Usable(r)) unusable += (unusable.empty() ? "" : ", ") + ("COM" + std::to_string(r.number) + " " + Why(r));
  }
  if (unusable.empty()) {
    console.Line(gate + ": the channels' ports (" + used + ") are usable");
    return 0;
  }
  console.Line(gate + ": channel ports unusable: " + unusable);
  return 1;
}

}  // namespace kestrel::app
