#include "ui/AddrViewText.h"

#include <cstring>
#include <exception>
#include <string_view>

#include "gate/common/MdmError.h"
#include "gate/common/MdmTypes.h"
#include "platform/Cp1251.h"
#include "store/MdmAddress.h"

namespace kestrel::ui {
namespace {
using namespace kestrel::literals;

constexpr std::string_view kNotSet = "(не заданы)"_cp;
constexpr std::string_view kShortBlock = "Переданный блок памяти имеет размер меньше минимального для TMdmAddress"_cp;

// The common shape of both lists: none, one alone, or several in parentheses.
std::string ListText(const std::vector<std::string_view>& items, bool full) {
  if (items.empty()) return std::string(kNotSet);
  if (items.size() == 1) return std::string(items.front());
  std::string out = "(";
  out += items.front();
  if (!full) return out + ";...)";
  for (std::size_t i = 1; i < items.size(); ++i) {
    out += "; ";
    out += items[i];
  }
  return out + ")";
}

template <typename Build>
std::string Guarded(Build build) {
  try {
    return build();
  } catch (const std::exception& e) {
    // What the block's codecs and the texts raise: all standard exceptions.
    return gate::ExceptionClassName(e) + ": " + e.what();
  }
}

store::TMdmAddress ReadRecord(const void* data) {
  store::TMdmAddress rec;
  std::memcpy(&rec, data, sizeof rec);
  return rec;
}

}  // namespace

std::string PortsViewText(std::span<const std::uint8_t, 16> ports, bool full) {
  return Guarded([&] {
    std::vector<std::string_view> names;
    for (std::size_t k = 0; k < ports.size(); ++k)
      if (ports[k] != 0) names.push_back(gate::PortDisplayName(static_cast<int>(k) + 1));
    return ListText(names, full);
  });
}

std::string PhonesViewText(const std::vector<std::string>& phones, bool full) {
  return Guarded([&] {
    std::vector<std::string_view> numbers;
    for (const auto& p : phones) numbers.push_back(store::TrimBlanks(p));
    return ListText(numbers, full);
  });
}

std::string OwnAddrViewText(const void* data, std::int32_t size, bool full) {
  return Guarded([&] {
    if (data == nullptr || size < static_cast<std::int32_t>(sizeof(store::TMdmAddress))) return std::string(kShortBlock);
    const store::TMdmAddress rec = ReadRecord(data);
    return std::string("Порты:"_cp) + PortsViewText(rec.UseComPorts, full);
  });
}

std::string RemoteAddrViewText(const void* data, std::int32_t size, bool full) {
  return Guarded([&] {
    if (data == nullptr || size <= 0) return std::string();
    if (size < static_cast<std::int32_t>(sizeof(store::TMdmAddress))) return std::string(kShortBlock);
    const store::TMdmAddress rec = ReadRecord(data);
    const std::string_view section(static_cast<const char*>(data) + sizeof rec, static_cast<std::size_t>(size) - sizeof rec);
    std::vector<std::string> phones;
    std::string out;
    if (!section.empty() && !store::DecodePhones(section, phones))
      out = "(ошибка в структуре тел-ов)"_cp;
    else
      out = std::string("Тел:"_cp) + PhonesViewText(phones, full);
    return out + std::string(" Порты:"_cp) + PortsViewText(rec.UseComPorts, full);
  });
}

}  // namespace kestrel::ui
