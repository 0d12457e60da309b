// settings, address and party: what the program keeps about its gate and
// its correspondents.
#include <iostream>

#include "tools/kestrel/Commands.h"
#include "tools/kestrel/Console.h"
#include "tools/kestrel/GateAddresses.h"
#include "tools/kestrel/GateSettings.h"
#include "tools/kestrel/Runtime.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

class TNoEvents final : public TCoreEvents {};

void PrintParams(TConsole& console, const TParams& params) {
  console.Line("Parameters:");
  for (const auto& p : params) console.Line("  " + p.name + " = " + ParamValueText(p));
}

// The view text, or why there is none: a missing export is no reason to
// refuse the rest of what `show` prints.
std::string ViewOrWhy(TGateAddresses& addresses, const std::string& block, bool self) {
  try {
    return addresses.View(block, self);
  } catch (const EToolError& e) {
    return std::string("(") + e.what() + ")";
  }
}

// ", <view text>" when the gate gives one; nothing otherwise.
std::string ViewSuffix(TGateAddresses& addresses, const std::string& block, bool self) {
  try {
    return ", " + addresses.View(block, self);
  } catch (const EToolError&) {
    return {};
  }
}

// Applies the options a person gave to an address's parameters.
void ApplyAddressOptions(TParams& params, const TAddressOptions& a) {
  if (a.client_id) SetParamFromText(params, "IdCl", std::to_string(*a.client_id));
  if (a.ports) {
    TParamValue* p = FindParam(params, "UseComPorts");
    if (p == nullptr) throw EToolError("the gate's address has no UseComPorts parameter");
    p->bytes = PortFlags(*a.ports);
  }
  if (!a.phones.empty()) {
    std::string joined;
    for (const auto& phone : a.phones) {
      if (phone.find_first_of(";,") != std::string::npos)
        throw EToolError("--phone \"" + phone + "\": give one number per --phone");
      joined += (joined.empty() ? "" : ";") + phone;
    }
    SetParamFromText(params, "PhonesList", joined);
  }
  if (a.tone) SetParamFromText(params, "DialPhoneType", *a.tone ? "1" : "0");
  const std::pair<const std::optional<std::string>*, const char*> times[] = {
      {&a.dial_timeout, "DialTimeOut"},
      {&a.data_wait, "DataWaitTimeOut"},
      {&a.stay_on_line, "StayOnLineTimeOut"},
      {&a.restore_timeout, "RestoreConnTimeOut"},
      {&a.restore_after_break, "RestoreConnAfterBreakTimeOut"}};
  for (const auto& [value, name] : times)
    if (*value) SetParamFromText(params, name, **value);
  if (a.restore_tries) SetParamFromText(params, "RestoreConnTries", std::to_string(*a.restore_tries));
  for (const auto& assignment : a.params) {
    const auto [name, value] = SplitAssignment(assignment);
    SetParamFromText(params, name, value);
  }
}

std::int32_t ClientIdOf(TParams& params) {
  const TParamValue* p = FindParam(params, "IdCl");
  return p != nullptr ? p->scalar : -1;
}

int SettingsShow(TRuntime& rt, TConsole& console) {
  const std::string block = rt.RequireSettings();
  const TSettings s = ReadSettings(block);
  console.Line("Gate settings of gate code " + std::to_string(rt.Options().gate_code) + " (" +
               std::to_string(block.size()) + " bytes):");
  console.Line(std::string("  progress shown: ") + (s.show_progress ? "yes" : "no"));
  if (s.channels.empty()) console.Line("  no channel");
  for (const auto& c : s.channels) console.Line("  " + ChannelText(c));
  PrintParams(console, SettingsParams(block));
  return 0;
}

// party key: the key is printed once, when it is made, and never again.
int PartyKey(TRuntime& rt, TConsole& console, const TOptions& o) {
  const TParty before = rt.Config().RequireParty(o.party);
  std::optional<TPartyKey> key;
  if (o.key_action == TKeyAction::Generate) key = NewPartyKey();
  if (o.key_action == TKeyAction::Set) key = PartyKeyFromText(o.key_text);  // checked while parsing
  if (!rt.Config().SetPartyKey(o.party, key)) throw EToolError("party \"" + o.party + "\" was removed meanwhile");
  const std::string label = "party \"" + o.party + "\": ";
  const std::string was = before.key ? "; its earlier key is gone" : "";
  if (o.key_action == TKeyAction::Remove) {
    console.Line(label + (before.key ? "key removed; its sessions run unkeyed" : "had no key; nothing changed"));
  } else if (o.key_action == TKeyAction::Set) {
    console.Line(label + "key stored" + was);
  } else {
    console.Line(label + "a new key is stored" + was + "; it is shown this once:");
    console.Line(PartyKeyText(*key));
    console.Line("Give it to " + o.party + " out of band (by hand or by telephone, never with the documents); " +
                 "they enter it with: kestrel party key <their name for this side> --set <the key>");
  }
  return 0;
}

}  // namespace

int RunSettings(const TOptions& o) {
  TRuntime rt(o.global);
  TConsole& console = TConsole::Standard();
  const std::int16_t code = o.global.gate_code;
  if (o.command == TCommand::SettingsShow) return SettingsShow(rt, console);
  if (o.command == TCommand::SettingsEdit) {
    TNoEvents events;
    rt.LoadGate(events);
    const std::string old = rt.Config().GateSettings(code).value_or("");
    const auto edited = EditSettings(rt.Gate(), old);
    if (!edited) {
      console.Line("settings unchanged");
      return 0;
    }
    ReadSettings(*edited);  // refuses a block the program could not read back
    rt.Config().SetGateSettings(code, *edited);
    console.Line("settings of gate code " + std::to_string(code) + " saved");
    return SettingsShow(rt, console);
  }
  const auto old = rt.Config().GateSettings(code);
  TSettings s = old ? ReadSettings(*old) : TSettings{};
  for (const int port : o.remove_ports)
    if (!RemoveChannel(s, port))
      throw EToolError("--remove-port " + std::to_string(port) + ": no channel on COM" + std::to_string(port));
  for (const auto& text : o.channels) ApplyChannelText(s, text);
  if (o.show_progress) s.show_progress = *o.show_progress;
  rt.Config().SetGateSettings(code, BuildSettings(s));
  console.Line("settings of gate code " + std::to_string(code) + " saved");
  return SettingsShow(rt, console);
}

int RunAddress(const TOptions& o) {
  TRuntime rt(o.global);
  TConsole& console = TConsole::Standard();
  TNoEvents events;
  rt.LoadGate(events);
  TGateAddresses addresses(rt.Gate());
  const std::int16_t code = o.global.gate_code;
  std::optional<TOwnAddress> own = rt.Config().OwnAddress(code);
  if (o.command == TCommand::AddressShow) {
    if (!own) own = rt.RequireOwnAddress();
    console.Line("Own address of gate code " + std::to_string(code) + ": client " + std::to_string(own->client_id) +
                 " (" + std::to_string(own->block.size()) + " bytes)");
    console.Line("  " + ViewOrWhy(addresses, own->block, true));
    PrintParams(console, addresses.Read(own->block));
    return 0;
  }
  std::string block;
  if (o.command == TCommand::AddressEdit) {
    const auto edited = addresses.Edit(own ? own->block : std::string(), true);
    if (!edited) {
      console.Line("own address unchanged");
      return 0;
    }
    block = *edited;
  } else {
    TParams params = addresses.Read(own ? own->block : std::string());
    ApplyAddressOptions(params, o.address);
    block = addresses.Build(params);
  }
  TParams params = addresses.Read(block);
  const std::int32_t client = ClientIdOf(params);
  if (client < 0) throw EToolError("the own address needs a client id: give --client-id N");
  rt.Config().SetOwnAddress(code, TOwnAddress{client, block});
  console.Line("own address of gate code " + std::to_string(code) + " saved: client " + std::to_string(client) +
               ViewSuffix(addresses, block, true));
  return 0;
}

int RunParty(const TOptions& o) {
  TRuntime rt(o.global);
  TConsole& console = TConsole::Standard();
  if (o.command == TCommand::PartyKey) return PartyKey(rt, console, o);
  if (o.command == TCommand::PartyRemove) {
    if (!rt.Config().RemoveParty(o.party)) throw EToolError("no party named \"" + o.party + "\" in " + rt.Db().Path());
    console.Line("party \"" + o.party + "\" removed");
    return 0;
  }
  TNoEvents events;
  if (o.command == TCommand::PartyList) {
    const auto parties = rt.Config().Parties();
    std::unique_ptr<TGateAddresses> addresses;
    try {
      rt.LoadGate(events);
      rt.Gate().Need(rt.Gate().ViewAddrGate, "ViewAddrGate", "the address view text");
      addresses = std::make_unique<TGateAddresses>(rt.Gate());
    } catch (const EToolError& e) {
      std::cerr << "kestrel: note: no view texts: " << e.what() << "\n";
    }
    if (parties.empty()) console.Line("no parties in " + rt.Db().Path());
    for (const auto& p : parties)
      console.Line(p.name + "  client " + std::to_string(p.client_id) + (p.key ? "  keyed" : "  unkeyed") +
                   (addresses ? "  " + ViewOrWhy(*addresses, p.address, false) : std::string()));
    return 0;
  }
  rt.LoadGate(events);
  TGateAddresses addresses(rt.Gate());
  std::optional<TParty> existing = rt.Config().FindParty(o.party);
  if (o.party_update && !existing) throw EToolError("no party named \"" + o.party + "\" in " + rt.Db().Path());
  if (!o.party_update && existing)
    throw EToolError("party \"" + o.party + "\" already exists in " + rt.Db().Path() + " (use --update to change it)");
  TParams params = addresses.Read(existing ? existing->address : std::string());
  ApplyAddressOptions(params, o.address);
  std::string block = addresses.Build(params);
  if (o.address.edit) {
    if (auto edited = addresses.Edit(block, false)) block = *edited;
  }
  TParams final_params = addresses.Read(block);
  const std::int32_t client = ClientIdOf(final_params);
  if (client < 0) throw EToolError("party \"" + o.party + "\" needs a client id: give --client-id N");
  const TParty party{o.party, client, block, std::nullopt};
  if (existing)
    rt.Config().UpdateParty(party);
  else
    rt.Config().AddParty(party);
  console.Line("party \"" + o.party + "\" " + (existing ? "changed" : "added") + ": client " + std::to_string(client) +
               ViewSuffix(addresses, block, false));
  return 0;
}

}  // namespace kestrel::app
