#include "store/MdmAddrList.h"

#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "host/ParamList.h"
#include "store/MdmAddress.h"
#include "store/ParamItems.h"

namespace kestrel::store {
namespace {

constexpr std::string_view kDialPhoneType = "DialPhoneType";
constexpr std::string_view kRestoreConnAfterBreakTimeOut = "RestoreConnAfterBreakTimeOut";
constexpr std::string_view kDataWaitTimeOut = "DataWaitTimeOut";
constexpr std::string_view kStayOnLineTimeOut = "StayOnLineTimeOut";
constexpr std::string_view kRestoreConnTimeOut = "RestoreConnTimeOut";
constexpr std::string_view kRestoreConnTries = "RestoreConnTries";
constexpr std::string_view kDialTimeOut = "DialTimeOut";
constexpr std::string_view kIdCl = "IdCl";
constexpr std::string_view kUseComPorts = "UseComPorts";
constexpr std::string_view kPhonesList = "PhonesList";

void AddTimeSpan(TParamList& list, std::string_view name, double span) {
  char bytes[8];
  std::memcpy(bytes, &span, 8);
  AddBytes(list, name, PARAM_DATETIME, std::string_view(bytes, 8));
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
      if (i > start) lines.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return lines;
}

}  // namespace

bool TMdmAddrList::BlobToParamList(const void* data, std::int32_t size) {
  try {
    FreeParamList();
    ParamList = host::NewParamList();
    TMdmAddress rec = DefaultAddress();
    std::string_view section;
    bool has_section = false;
    if (size > 0) {
      if (data == nullptr || static_cast<std::size_t>(size) < sizeof(TMdmAddress))
        throw std::length_error("address block shorter than its record");
      std::memcpy(&rec, data, sizeof rec);
      has_section = static_cast<std::size_t>(size) > sizeof rec;
      section = std::string_view(static_cast<const char*>(data) + sizeof rec, static_cast<std::size_t>(size) - sizeof rec);
    }
    TParamList& list = *ParamList;
    AddScalar(list, kDialPhoneType, PARAM_ENUM, static_cast<std::uint8_t>(rec.DialPhoneType));
    AddTimeSpan(list, kRestoreConnAfterBreakTimeOut, rec.RestoreConnAfterBreakTimeOut);
    AddTimeSpan(list, kDataWaitTimeOut, rec.DataWaitTimeOut);
    AddTimeSpan(list, kStayOnLineTimeOut, rec.StayOnLineTimeOut);
    AddTimeSpan(list, kRestoreConnTimeOut, rec.RestoreConnTimeOut);
    AddScalar(list, kRestoreConnTries, PARAM_INT32, rec.RestoreConnTries);
    AddTimeSpan(list, kDialTimeOut, rec.DialTimeOut);
    AddScalar(list, kIdCl, PARAM_INT32, rec.IdCl);
    std::string ports(gate::kPortCount, '0');
    for (int k = 0; k < gate::kPortCount; ++k)
      if (rec.UseComPorts[k] != 0) ports[static_cast<std::size_t>(k)] = '1';
    AddBytes(list, kUseComPorts, PARAM_TEXT, ports);
    std::vector<std::string> phones;
    std::string joined;
    if (has_section && DecodePhones(section, phones)) {
      for (const auto& p : phones) {
        if (p.empty()) continue;
        if (!joined.empty()) joined += "\r\n";
        joined += p;
      }
    }
    AddBytes(list, kPhonesList, PARAM_TEXT, joined);
    return true;
  } catch (const std::exception&) {
    // A block too short for its record (raised above), an item the list
    // refuses (std::invalid_argument) or no memory: the host learns only
    // that the block is unusable.
    FreeParamList();
    return false;
  }
}

std::string TMdmAddrList::AddrListText(std::int32_t) { return {}; }

void TMdmAddrList::ParamListToBlob(const TParamList* list) {
  ReleaseBlob();
  TMdmAddress rec = DefaultAddress();
  std::string_view phones_text;
  for (const TParamListItem* p : ItemsOf(list)) {
    const TParamListItem& item = *p;
    const std::string_view name = NameOf(item);
    if (name == kDialPhoneType) {
      rec.DialPhoneType = static_cast<gate::TDialType>(ScalarOf(item) & 0xFF);
    } else if (name == kRestoreConnAfterBreakTimeOut) {
      rec.RestoreConnAfterBreakTimeOut = TimeSpanOf(item);
    } else if (name == kDataWaitTimeOut) {
      rec.DataWaitTimeOut = TimeSpanOf(item);
    } else if (name == kStayOnLineTimeOut) {
      rec.StayOnLineTimeOut = TimeSpanOf(item);
    } else if (name == kRestoreConnTimeOut) {
      rec.RestoreConnTimeOut = TimeSpanOf(item);
    } else if (name == kRestoreConnTries) {
      rec.RestoreConnTries = ScalarOf(item);
    } else if (name == kDialTimeOut) {
      rec.DialTimeOut = TimeSpanOf(item);
    } else if (name == kIdCl) {
      rec.IdCl = ScalarOf(item);
    } else if (name == kUseComPorts) {
      const std::string_view flags = BytesOf(item);
      for (std::size_t k = 0; k < gate::kPortCount; ++k) rec.UseComPorts[k] = k < flags.size() && flags[k] == '1' ? 1 : 0;
    } else if (name == kPhonesList) {
      phones_text = BytesOf(item);
    }
  }
  std::string block(sizeof rec, '\0');
  std::memcpy(block.data(), &rec, sizeof rec);
  block += EncodePhones(SplitLines(phones_text));
  SetBlob(block);
}

}  // namespace kestrel::store
