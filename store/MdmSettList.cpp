#include "store/MdmSettList.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/ParamList.h"
#include "store/MdmSettings.h"
#include "store/ParamItems.h"
#include "store/ParamListError.h"

namespace kestrel::store {
namespace {

constexpr std::string_view kToShowProgress = "ToShowProgress";
constexpr std::string_view kPortNumber = "PortNumber";

std::string Numbered(std::string_view prefix, std::int32_t n) { return std::string(prefix) + std::to_string(n); }

template <typename E>
std::int32_t Ord(E v) {
  return static_cast<std::uint8_t>(v);
}

// The working list holds the caller's items themselves, not copies: they are
// only read, and a taken item just leaves the working list.
using WorkList = std::vector<const TParamListItem*>;

// The first item, in list order, whose name starts with `prefix` and whose
// rest is the number `k`. A rest that is not a number raises the conversion
// error even when a later item would have matched: the walk reads the items
// in order and stops at the first match.
WorkList::iterator FindNumbered(WorkList& work, std::string_view prefix, std::int32_t k) {
  for (auto it = work.begin(); it != work.end(); ++it) {
    const std::string_view name = NameOf(**it);
    if (name.starts_with(prefix) && ParseChannelNumber(name.substr(prefix.size())) == k) return it;
  }
  return work.end();
}

// Takes one channel's items (all prefixed with `prefix`, numbered k) out of
// the working list; sets the field through `apply`.
template <typename Apply>
void TakeItem(WorkList& work, std::string_view prefix, std::int32_t k, Apply apply) {
  const auto it = FindNumbered(work, prefix, k);
  if (it == work.end()) throw EParamListError("Invalid param name (" + Numbered(prefix, k) + " not found)!");
  apply(**it);
  work.erase(it);
}

std::uint8_t EnumByte(const TParamListItem& item) {
  return static_cast<std::uint8_t>(ScalarOf(item, PARAM_ENUM) & 0xFF);
}

void SetText(TShortText& field, const TParamListItem& item) {
  // An init string cut short would be a different modem command, and a cut
  // alias a different name: refuse rather than store something else.
  if (!SetShortText(field, BytesOf(item, PARAM_TEXT)))
    throw EParamListError("Parameter '" + std::string(NameOf(item)) + "' is longer than 50 characters");
}

std::string BuildChannelPart(WorkList& work) {
  if (work.empty()) return {};
  TChannelList channels;
  while (!work.empty()) {
    const auto port_it = std::find_if(work.begin(), work.end(),
                                      [](const TParamListItem* i) { return NameOf(*i).starts_with(kPortNumber); });
    if (port_it == work.end())
      throw EParamListError("Invalid param name (" + std::string(kPortNumber) + "* not found)!");
    const std::int32_t k = ParseChannelNumber(NameOf(**port_it).substr(kPortNumber.size()));
    TMdmChannelSettings rec = DefaultChannelSettings();
    rec.PortNumber = static_cast<gate::TPortNumber>(EnumByte(**port_it));
    work.erase(port_it);
    TakeItem(work, "BaudRate", k, [&](const TParamListItem& i) { rec.BaudRate = static_cast<gate::TBaudRate>(EnumByte(i)); });
    TakeItem(work, "DataBits", k, [&](const TParamListItem& i) { rec.DataBits = static_cast<gate::TDataBits>(EnumByte(i)); });
    TakeItem(work, "SwFlow", k, [&](const TParamListItem& i) { rec.SwFlow = static_cast<gate::TSwFlowControl>(EnumByte(i)); });
    TakeItem(work, "Parity", k, [&](const TParamListItem& i) { rec.Parity = static_cast<gate::TParity>(EnumByte(i)); });
    TakeItem(work, "StopBits", k, [&](const TParamListItem& i) { rec.StopBits = static_cast<gate::TStopBits>(EnumByte(i)); });
    TakeItem(work, "InitString", k, [&](const TParamListItem& i) { SetText(rec.InitString, i); });
    TakeItem(work, "Alias", k, [&](const TParamListItem& i) { SetText(rec.Alias, i); });
    channels.push_back(rec);
  }
  const std::int32_t dup = CheckChannels(channels);
  if (dup >= 0)
    throw EParamListError("Multiple settings for PortNumber" +
                          std::to_string(Ord(channels[static_cast<std::size_t>(dup)].PortNumber)));
  return EncodeChannels(channels);
}

}  // namespace

bool TMdmSettList::BlobToParamList(const void* data, std::int32_t size) {
  try {
    if (ParamList == nullptr)
      ParamList = host::NewParamList();
    else
      DestroyParamList();
    TMdmGateSettings gate_rec = DefaultGateSettings();
    std::string_view part;
    if (size > 0) {
      if (data == nullptr || static_cast<std::size_t>(size) < sizeof(TMdmGateSettings))
        throw std::length_error("settings block shorter than its gate record");
      std::memcpy(&gate_rec, data, sizeof gate_rec);
      part = std::string_view(static_cast<const char*>(data) + sizeof gate_rec,
                              static_cast<std::size_t>(size) - sizeof gate_rec);
    }
    AddScalar(*ParamList, kToShowProgress, PARAM_BOOL, gate_rec.ToShowProgress);
    if (!part.empty()) {
      TChannelList channels;
      if (!DecodeChannels(part, channels)) throw std::runtime_error("Error in Gate Settings structure loaded from database");
      for (std::size_t i = 0; i < channels.size(); ++i) {
        const auto& c = channels[i];
        const auto n = static_cast<std::int32_t>(i + 1);
        AddScalar(*ParamList, Numbered(kPortNumber, n), PARAM_ENUM, Ord(c.PortNumber));
        AddScalar(*ParamList, Numbered("BaudRate", n), PARAM_ENUM, Ord(c.BaudRate));
        AddScalar(*ParamList, Numbered("DataBits", n), PARAM_ENUM, Ord(c.DataBits));
        AddScalar(*ParamList, Numbered("SwFlow", n), PARAM_ENUM, Ord(c.SwFlow));
        AddScalar(*ParamList, Numbered("Parity", n), PARAM_ENUM, Ord(c.Parity));
        AddScalar(*ParamList, Numbered("StopBits", n), PARAM_ENUM, Ord(c.StopBits));
        AddBytes(*ParamList, Numbered("InitString", n), PARAM_TEXT, ShortTextToString(c.InitString));
        AddBytes(*ParamList, Numbered("Alias", n), PARAM_TEXT, ShortTextToString(c.Alias));
      }
    }
    return true;
  } catch (const std::exception&) {
    // A block too short or malformed (raised above), an item the list
    // refuses (std::invalid_argument) or no memory. The reason stays here:
    // the host only learns that the block is unusable.
    if (ParamList != nullptr) DestroyParamList();
    return false;
  }
}

void TMdmSettList::ParamListToBlob(const TParamList* list) {
  ReleaseBlob();
  TMdmGateSettings gate_rec = DefaultGateSettings();
  WorkList work;
  for (const TParamListItem* item : ItemsOf(list)) {
    if (NameOf(*item) == kToShowProgress)
      gate_rec.ToShowProgress = static_cast<std::uint8_t>(ScalarOf(*item) & 0xFF);
    else
      work.push_back(item);
  }
  const std::string part = BuildChannelPart(work);
  std::string block(sizeof gate_rec, '\0');
  std::memcpy(block.data(), &gate_rec, sizeof gate_rec);
  block += part;
  SetBlob(block);
}

}  // namespace kestrel::store
