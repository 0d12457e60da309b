#include "tools/kestrel/GateSettings.h"

#include <algorithm>
#include <array>

#include "gate/common/MdmTypes.h"
#include "platform/Cp1251.h"
#include "store/MdmSettList.h"
#include "store/MdmSettings.h"
#include "tools/kestrel/GateAddresses.h"
#include "tools/kestrel/Params.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

constexpr std::array<const char*, 5> kParityWords = {"none", "odd", "even", "mark", "space"};
constexpr std::array<const char*, 3> kStopWords = {"1", "1.5", "2"};

std::string Numbered(const char* name, std::size_t n) { return name + std::to_string(n); }

TParamValue Scalar(std::string name, std::int32_t type, std::int32_t value) {
  TParamValue p;
  p.name = std::move(name);
  p.type = type;
  p.scalar = value;
  return p;
}

TParamValue Text(std::string name, const std::string& bytes) {
  TParamValue p;
  p.name = std::move(name);
  p.type = PARAM_TEXT;
  p.bytes = bytes;
  return p;
}

TChannel NewChannel(std::uint8_t port) {
  const store::TMdmChannelSettings d = store::DefaultChannelSettings();
  TChannel c;
  c.port = port;
  c.baud = static_cast<std::uint8_t>(d.BaudRate);
  c.data_bits = static_cast<std::uint8_t>(d.DataBits);
  c.sw_flow = static_cast<std::uint8_t>(d.SwFlow);
  c.parity = static_cast<std::uint8_t>(d.Parity);
  c.stop_bits = static_cast<std::uint8_t>(d.StopBits);
  c.init = store::ShortTextToString(d.InitString);
  return c;
}

// Splits "k=v,k=v" at the commas that start a key: lower-case letters
// followed by '=', ',' or the end. A modem command ("AT&F,S0=0") keeps its
// commas.
std::vector<std::pair<std::string, std::string>> SplitKeys(const std::string& text) {
  std::vector<std::size_t> starts = {0};
  for (std::size_t i = text.find(','); i != std::string::npos; i = text.find(',', i + 1)) {
    std::size_t j = i + 1;
    while (j < text.size() && text[j] >= 'a' && text[j] <= 'z') ++j;
    if (j > i + 1 && (j == text.size() || text[j] == '=' || text[j] == ',')) starts.push_back(i + 1);
  }
  std::vector<std::pair<std::string, std::string>> out;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1] - 1 : text.size();
    const std::string piece = text.substr(starts[k], end - starts[k]);
    const std::size_t eq = piece.find('=');
    if (eq == std::string::npos) throw EToolError("channel \"" + text + "\": \"" + piece + "\" is not KEY=VALUE");
    out.emplace_back(piece.substr(0, eq), piece.substr(eq + 1));
  }
  return out;
}

int PortOf(const std::string& value) {
  std::string v = value;
  if (v.size() > 3 && (v.compare(0, 3, "COM") == 0 || v.compare(0, 3, "com") == 0)) v.erase(0, 3);
  int port = 0;
  for (const char c : v) {
    if (c < '0' || c > '9' || port > 100) return 0;
    port = port * 10 + (c - '0');
  }
  return v.empty() || port < 1 || port > 16 ? 0 : port;
}

template <std::size_t N>
int IndexOf(const std::array<const char*, N>& words, const std::string& value) {
  for (std::size_t i = 0; i < N; ++i)
    if (value == words[i]) return static_cast<int>(i);
  return -1;
}

std::string ShortText(const std::string& key, const std::string& utf8) {
  std::string bytes = text::Utf8ToCp1251(utf8);
  if (bytes.size() > store::kShortTextMax)
    throw EToolError(key + ": \"" + utf8 + "\" is longer than " + std::to_string(store::kShortTextMax) + " characters");
  return bytes;
}

}  // namespace

TParams SettingsParams(const std::string& block) {
  store::TMdmSettList list;
  if (!list.BlobToParamList(block.data(), static_cast<std::int32_t>(block.size())))
    throw EToolError("the settings block (" + std::to_string(block.size()) + " bytes) is damaged");
  return ReadParamList(list.ParamList);
}

TSettings ReadSettings(const std::string& block) {
  TParams params = SettingsParams(block);
  TSettings s;
  if (const TParamValue* p = FindParam(params, "ToShowProgress")) s.show_progress = p->scalar != 0;
  for (std::size_t n = 1;; ++n) {
    const TParamValue* port = FindParam(params, Numbered("PortNumber", n));
    if (port == nullptr) break;
    TChannel c;
    auto scalar = [&](const char* name) {
      const TParamValue* p = FindParam(params, Numbered(name, n));
      return static_cast<std::uint8_t>(p != nullptr ? p->scalar : 0);
    };
    c.port = static_cast<std::uint8_t>(port->scalar);
    c.baud = scalar("BaudRate");
    c.data_bits = scalar("DataBits");
    c.sw_flow = scalar("SwFlow");
    c.parity = scalar("Parity");
    c.stop_bits = scalar("StopBits");
    if (const TParamValue* p = FindParam(params, Numbered("InitString", n))) c.init = p->bytes;
    if (const TParamValue* p = FindParam(params, Numbered("Alias", n))) c.alias = p->bytes;
    s.channels.push_back(std::move(c));
  }
  return s;
}

std::string BuildSettings(const TSettings& settings) {
  TParams params;
  params.push_back(Scalar("ToShowProgress", PARAM_BOOL, settings.show_progress ? 1 : 0));
  for (std::size_t i = 0; i < settings.channels.size(); ++i) {
    const TChannel& c = settings.channels[i];
    const std::size_t n = i + 1;
    params.push_back(Scalar(Numbered("PortNumber", n), PARAM_ENUM, c.port));
    params.push_back(Scalar(Numbered("BaudRate", n), PARAM_ENUM, c.baud));
    params.push_back(Scalar(Numbered("DataBits", n), PARAM_ENUM, c.data_bits));
    params.push_back(Scalar(Numbered("SwFlow", n), PARAM_ENUM, c.sw_flow));
    params.push_back(Scalar(Numbered("Parity", n), PARAM_ENUM, c.parity));
    params.push_back(Scalar(Numbered("StopBits", n), PARAM_ENUM, c.stop_bits));
    params.push_back(Text(Numbered("InitString", n), c.init));
    params.push_back(Text(Numbered("Alias", n), c.alias));
  }
  TOwnedParamList list(params);
  store::TMdmSettList sett;
  try {
    sett.ParamListToBlob(list.Get());
  } catch (const std::exception& e) {
    throw EToolError(std::string("the gate settings were refused: ") + e.what());
  }
  std::string block(reinterpret_cast<const char*>(sett.BLOB), static_cast<std::size_t>(sett.BLOBSize));
  // What was built must read back as the same channels.
  const TSettings back = ReadSettings(block);
  if (back.channels.size() != settings.channels.size() || back.show_progress != settings.show_progress)
    throw EToolError("the gate settings block did not read back as built");
  return block;
}

void ApplyChannelText(TSettings& settings, const std::string& text) {
  const auto pairs = SplitKeys(text);
  int port = 0;
  for (const auto& [key, value] : pairs)
    if (key == "port") port = PortOf(value);
  if (port == 0) throw EToolError("channel \"" + text + "\": port=1..16 is required");
  auto it = std::find_if(settings.channels.begin(), settings.channels.end(),
                         [&](const TChannel& c) { return c.port == port; });
  TChannel c = it != settings.channels.end() ? *it : NewChannel(static_cast<std::uint8_t>(port));
  for (const auto& [key, value] : pairs) {
    if (key == "port") continue;
    if (key == "baud") {
      int ord = -1;
      for (std::size_t i = 1; i < gate::BaudRateValues.size(); ++i)
        if (std::to_string(gate::BaudRateValues[i]) == value) ord = static_cast<int>(i);
      if (ord < 0) throw EToolError("channel \"" + text + "\": baud=" + value + " is not a rate the gate offers");
      c.baud = static_cast<std::uint8_t>(ord);
    } else if (key == "data") {
      if (value.size() != 1 || value[0] < '5' || value[0] > '8')
        throw EToolError("channel \"" + text + "\": data=" + value + " is not 5, 6, 7 or 8");
      c.data_bits = static_cast<std::uint8_t>(value[0] - '5');
    } else if (key == "parity") {
      const int i = IndexOf(kParityWords, value);
      if (i < 0)
        throw EToolError("channel \"" + text + "\": parity=" + value + " is not none, odd, even, mark or space");
      c.parity = static_cast<std::uint8_t>(i);
    } else if (key == "stop") {
      const int i = IndexOf(kStopWords, value == "1,5" ? std::string("1.5") : value);
      if (i < 0) throw EToolError("channel \"" + text + "\": stop=" + value + " is not 1, 1.5 or 2");
      c.stop_bits = static_cast<std::uint8_t>(i);
    } else if (key == "flow") {
      if (value == "hardware" || value == "rtscts")
        c.sw_flow = static_cast<std::uint8_t>(gate::TSwFlowControl::sfNONE);
      else if (value == "software" || value == "xonxoff")
        c.sw_flow = static_cast<std::uint8_t>(gate::TSwFlowControl::sfXONXOFF);
      else
        throw EToolError("channel \"" + text + "\": flow=" + value + " is not hardware or software");
    } else if (key == "init") {
      c.init = ShortText("init", value);
    } else if (key == "alias") {
      c.alias = ShortText("alias", value);
    } else {
      throw EToolError("channel \"" + text + "\": unknown key \"" + key +
                       "\" (known: port, baud, data, parity, stop, flow, init, alias)");
    }
  }
  if (it != settings.channels.end())
    *it = c;
  else
    settings.channels.push_back(c);
  std::sort(settings.channels.begin(), settings.channels.end(),
            [](const TChannel& a, const TChannel& b) { return a.port < b.port; });
}

bool RemoveChannel(TSettings& settings, int port) {
  const auto before = settings.channels.size();
  std::erase_if(settings.channels, [&](const TChannel& c) { return c.port == port; });
  return settings.channels.size() != before;
}

std::string ChannelText(const TChannel& c) {
  const std::string baud(gate::BaudRateDisplay(c.baud));
  std::string s = std::string(gate::PortDisplayName(c.port)) + ": " + (baud.empty() ? "custom rate" : baud + " baud");
  s += ", " + std::string(gate::DataBitsDisplay(c.data_bits)) + " data bits";
  s += c.parity == 0 ? std::string(", no parity")
                     : ", " + std::string(c.parity < kParityWords.size() ? kParityWords[c.parity] : "?") + " parity";
  s += ", " + std::string(c.stop_bits < kStopWords.size() ? kStopWords[c.stop_bits] : "?") + " stop bit" +
       (c.stop_bits == 0 ? "" : "s");
  s += c.sw_flow == 0 ? ", hardware flow (RTS/CTS)" : ", software flow (XON/XOFF)";
  s += ", init \"" + text::Cp1251ToUtf8(c.init) + "\"";
  if (!c.alias.empty()) s += ", alias \"" + text::Cp1251ToUtf8(c.alias) + "\"";
  return s;
}

std::optional<std::string> EditSettings(TGateLibrary& gate, const std::string& block) {
  auto edit = gate.Need(gate.EditGateSetting, "EditGateSetting", "the settings dialog");
  auto fetch = gate.Need(gate.GetGateSetting, "GetGateSetting", "the settings dialog");
  PrepareDialogs();
  std::int32_t new_size = 0;
  bool confirmed = false;
  try {
    confirmed =
        edit(block.empty() ? nullptr : block.data(), static_cast<std::int32_t>(block.size()), &new_size, 0) != 0;
  } catch (const std::exception& e) {
    throw EToolError(std::string("the settings dialog failed: ") + e.what());
  }
  if (!confirmed) return std::nullopt;
  if (new_size <= 0) throw EToolError("the settings dialog confirmed an empty block");
  std::string result(static_cast<std::size_t>(new_size), '\0');
  if (fetch(result.data()) == 0) throw EToolError("the gate did not hand over the edited settings");
  return result;
}

}  // namespace kestrel::app
