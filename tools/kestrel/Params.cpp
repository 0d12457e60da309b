#include "tools/kestrel/Params.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "gate/common/MdmTypes.h"
#include "host/ParamList.h"
#include "platform/Cp1251.h"
#include "platform/ScopeExit.h"
#include "tools/kestrel/ToolError.h"

namespace kestrel::app {
namespace {

bool ParseInt(std::string_view text, std::int64_t& out) {
  if (text.empty() || text.size() > 12) return false;
  std::size_t i = 0;
  const bool negative = text[0] == '-';
  if (negative || text[0] == '+') ++i;
  if (i == text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  out = negative ? -v : v;
  return true;
}

std::string Trim(std::string_view s) {
  const std::size_t a = s.find_first_not_of(" \t");
  if (a == std::string_view::npos) return {};
  const std::size_t b = s.find_last_not_of(" \t");
  return std::string(s.substr(a, b - a + 1));
}

std::string KnownNames(const TParams& params) {
  std::string s;
  for (const auto& p : params) s += (s.empty() ? "" : ", ") + p.name;
  return s;
}

}  // namespace

TParams ReadParamList(const TParamList* list) {
  TParams out;
  if (list == nullptr || list->Count <= 0 || list->Items == nullptr) return out;
  for (std::int32_t i = 0; i < list->Count; ++i) {
    const TParamListItem* item = list->Items[i];
    if (item == nullptr || item->Name == nullptr || item->Size < 0) continue;
    if (item->Size > 0 && item->Value == 0) continue;
    TParamValue v;
    v.name = item->Name;
    v.type = item->ParamType;
    if (item->Size == 0)
      v.scalar = static_cast<std::int32_t>(item->Value);
    else
      v.bytes.assign(reinterpret_cast<const char*>(item->Value), static_cast<std::size_t>(item->Size));
    out.push_back(std::move(v));
  }
  return out;
}

TOwnedParamList::TOwnedParamList(const TParams& params) : list_(host::NewParamList()) {
  // A list that cannot be completed goes again, with the items it holds.
  platform::TScopeExit free_list([this] {
    host::DestroyParamList(*list_);
    host::FreeParamList(list_);
  });
  for (const auto& p : params) {
    TParamListItem* item =
        p.bytes.empty() && p.type != PARAM_DATETIME
            ? host::NewScalarItem(p.name, p.type, p.scalar)
            : host::NewBytesItem(p.name, p.type, p.bytes.data(), static_cast<std::int32_t>(p.bytes.size()));
    platform::TScopeExit dispose([item] { host::DisposeParamListItem(item); });
    host::AddParamListItem(*list_, item);
    dispose.Dismiss();
  }
  free_list.Dismiss();
}

TOwnedParamList::~TOwnedParamList() {
  host::DestroyParamList(*list_);
  host::FreeParamList(list_);
}

TParamValue* FindParam(TParams& params, std::string_view name) {
  for (auto& p : params)
    if (p.name == name) return &p;
  return nullptr;
}

double SecondsToTimeSpan(double seconds) { return seconds / 86400.0; }
double TimeSpanSeconds(double span) { return std::round(span * 86400.0); }

bool ParseSeconds(std::string_view text, double& seconds) {
  std::int64_t parts[3] = {0, 0, 0};
  int count = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = text.find(':', start);
    const std::string_view piece = text.substr(start, colon == std::string_view::npos ? text.npos : colon - start);
    if (count == 3 || !ParseInt(piece, parts[count]) || parts[count] < 0) return false;
    if (piece[0] == '+') return false;
    ++count;
    if (colon == std::string_view::npos) break;
    start = colon + 1;
  }
  // Minutes and seconds after a colon stay below 60.
  for (int i = 1; i < count; ++i)
    if (parts[i] >= 60) return false;
  std::int64_t total = 0;
  for (int i = 0; i < count; ++i) total = total * 60 + parts[i];
  seconds = static_cast<double>(total);
  return true;
}

void SetParamFromText(TParams& params, const std::string& name, const std::string& text) {
  TParamValue* p = FindParam(params, name);
  if (p == nullptr) throw EToolError("unknown parameter " + name + " (known: " + KnownNames(params) + ")");
  std::int64_t n = 0;
  switch (p->type) {
    case PARAM_ENUM:
    case PARAM_INT32:
      if (!ParseInt(Trim(text), n) || n < std::numeric_limits<std::int32_t>::min() ||
          n > std::numeric_limits<std::int32_t>::max() || (p->type == PARAM_ENUM && (n < 0 || n > 255)))
        throw EToolError(name + ": \"" + text + "\" is not a whole number" +
                         (p->type == PARAM_ENUM ? " from 0 to 255" : ""));
      p->scalar = static_cast<std::int32_t>(n);
      return;
    case PARAM_BOOL: {
      const std::string t = Trim(text);
      if (t == "1" || t == "yes" || t == "true" || t == "on")
        p->scalar = 1;
      else if (t == "0" || t == "no" || t == "false" || t == "off")
        p->scalar = 0;
      else
        throw EToolError(name + ": \"" + text + "\" is neither yes nor no");
      return;
    }
    case PARAM_DATETIME: {
      double seconds = 0;
      if (!ParseSeconds(Trim(text), seconds) || seconds >= 86400)
        throw EToolError(name + ": \"" + text + "\" is not a time below a day (seconds, m:ss or h:mm:ss)");
      const double span = SecondsToTimeSpan(seconds);
      p->bytes.assign(reinterpret_cast<const char*>(&span), sizeof span);
      return;
    }
    case PARAM_TEXT: {
      if (name == "PhonesList") {
        std::string joined;
        std::size_t start = 0;
        while (start <= text.size()) {
          const std::size_t sep = text.find_first_of(";,", start);
          const std::string number =
              Trim(text.substr(start, sep == std::string::npos ? std::string::npos : sep - start));
          if (!number.empty()) joined += (joined.empty() ? "" : "\r\n") + number;
          if (sep == std::string::npos) break;
          start = sep + 1;
        }
        p->bytes = text::Utf8ToCp1251(joined);
      } else {
        p->bytes = text::Utf8ToCp1251(text);
      }
      return;
    }
    default:
      throw EToolError(name + ": parameters of type " + std::to_string(p->type) + " cannot be set");
  }
}

std::pair<std::string, std::string> SplitAssignment(const std::string& text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) throw EToolError("\"" + text + "\" is not NAME=VALUE");
  return {text.substr(0, eq), text.substr(eq + 1)};
}

namespace {

// The symbolic name of an enumeration parameter's value, "" for other names.
std::string_view EnumName(const std::string& name, std::int32_t value) {
  const auto is = [&](std::string_view prefix) { return name.rfind(prefix, 0) == 0; };
  if (name == "DialPhoneType") return gate::DialTypeName(value);
  if (is("PortNumber")) return gate::PortNumberName(value);
  if (is("BaudRate")) return gate::BaudRateName(value);
  if (is("DataBits")) return gate::DataBitsName(value);
  if (is("SwFlow")) return gate::SwFlowName(value);
  if (is("Parity")) return gate::ParityName(value);
  if (is("StopBits")) return gate::StopBitsName(value);
  return {};
}

}  // namespace

std::string ParamValueText(const TParamValue& param) {
  switch (param.type) {
    case PARAM_ENUM: {
      const std::string_view symbol = EnumName(param.name, param.scalar);
      return std::to_string(param.scalar) + (symbol.empty() ? "" : " (" + std::string(symbol) + ")");
    }
    case PARAM_INT32:
      return std::to_string(param.scalar);
    case PARAM_BOOL:
      return param.scalar != 0 ? "yes" : "no";
    case PARAM_DATETIME: {
      if (param.bytes.size() != sizeof(double)) return "(damaged)";
      double span = 0;
      std::memcpy(&span, param.bytes.data(), sizeof span);
      if (!std::isfinite(span)) return "(not a time)";
      const double seconds = TimeSpanSeconds(span);
      const auto s = static_cast<long long>(seconds);
      char buf[64];
      std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld (%lld s)", s / 3600, s / 60 % 60, s % 60, s);
      return buf;
    }
    case PARAM_TEXT: {
      std::string text = text::Cp1251ToUtf8(param.bytes);
      if (param.name == "PhonesList") {
        std::string out;
        std::size_t start = 0;
        while (start < text.size()) {
          const std::size_t cut = text.find_first_of("\r\n", start);
          const std::string line = text.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
          if (!line.empty()) out += (out.empty() ? "" : "; ") + line;
          if (cut == std::string::npos) break;
          start = cut + 1;
        }
        return out.empty() ? "(none)" : out;
      }
      if (param.name == "UseComPorts") return param.bytes + " (" + PortFlagsText(param.bytes) + ")";
      return text;
    }
    default:
      return param.bytes.empty() ? std::to_string(param.scalar) : "(" + std::to_string(param.bytes.size()) + " bytes)";
  }
}

std::string PortFlags(const std::string& ports) {
  std::string flags(16, '0');
  std::size_t start = 0;
  while (start <= ports.size()) {
    const std::size_t comma = ports.find(',', start);
    const std::string piece = Trim(ports.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (!piece.empty()) {
      std::string first = piece, last = piece;
      if (const std::size_t dash = piece.find('-'); dash != std::string::npos && dash > 0) {
        first = Trim(piece.substr(0, dash));
        last = Trim(piece.substr(dash + 1));
      }
      // "COM3" and "com3" mean port 3 as well.
      for (std::string* s : {&first, &last})
        if (s->size() > 3 && (s->compare(0, 3, "COM") == 0 || s->compare(0, 3, "com") == 0)) s->erase(0, 3);
      std::int64_t a = 0, b = 0;
      if (!ParseInt(first, a) || !ParseInt(last, b) || a < 1 || b > 16 || a > b)
        throw EToolError("ports: \"" + piece + "\" is not a port from 1 to 16 or a range of them");
      for (std::int64_t k = a; k <= b; ++k) flags[static_cast<std::size_t>(k - 1)] = '1';
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return flags;
}

std::string PortFlagsText(std::string_view flags) {
  std::string out;
  for (std::size_t k = 0; k < flags.size() && k < 16; ++k)
    if (flags[k] == '1') out += (out.empty() ? "COM" : ", COM") + std::to_string(k + 1);
  return out.empty() ? "none" : out;
}

}  // namespace kestrel::app
