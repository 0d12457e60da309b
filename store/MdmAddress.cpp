#include "store/MdmAddress.h"

#include <cmath>
#include <cstring>

#include "store/ParamListError.h"

namespace kestrel::store {

TMdmAddress DefaultAddress() {
  TMdmAddress a{};
  a.Version = 1;
  a.SubVersion = 0;
  a.DialPhoneType = gate::TDialType::dtDialPulse;
  // Each span is one correctly rounded division (ms / ms per day), the value a
  // time-of-day encoding gives, not a product of rounded unit constants.
  a.RestoreConnAfterBreakTimeOut = MsToTimeSpan(60'000);
  a.DataWaitTimeOut = MsToTimeSpan(60'000);
  a.StayOnLineTimeOut = MsToTimeSpan(180'000);
  a.RestoreConnTimeOut = MsToTimeSpan(30'000);
  a.RestoreConnTries = 2;
  a.DialTimeOut = MsToTimeSpan(30'000);
  a.IdCl = -1;
  return a;
}

std::uint32_t TimeSpanToMs(double span) {
  if (!std::isfinite(span)) return 0;
  // fmod first: a stored span may be any double, and only its fraction of a
  // day matters; multiplying the whole value could overflow the conversion.
  const double day_part = std::fmod(std::fabs(span), 1.0);
  const double ms = std::round(day_part * kMsPerDay);
  if (ms >= kMsPerDay) return 0;  // a fraction a hair below 1 rounds to a whole day
  return static_cast<std::uint32_t>(ms);
}

double MsToTimeSpan(std::uint32_t ms) { return static_cast<double>(ms % kMsPerDay) / kMsPerDay; }

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string EncodePhones(const std::vector<std::string>& lines) {
  std::vector<std::string_view> kept;
  for (const auto& line : lines) {
    if (TrimBlanks(line).empty()) continue;
    std::string_view stored = line;
    if (stored.size() > kPhoneEntrySize) {
      // Only the tail that decoding trims away anyway may be dropped.
      while (stored.size() > kPhoneEntrySize && static_cast<unsigned char>(stored.back()) <= ' ')
        stored.remove_suffix(1);
      if (stored.size() > kPhoneEntrySize)
        throw EParamListError("Phone number '" + std::string(TrimBlanks(line)) + "' is longer than 100 characters");
    }
    kept.push_back(stored);
  }
  const auto count = static_cast<std::int32_t>(kept.size());
  std::string out(4 + kPhoneEntrySize * kept.size(), ' ');
  std::memcpy(out.data(), &count, 4);
  for (std::size_t i = 0; i < kept.size(); ++i) std::memcpy(out.data() + 4 + i * kPhoneEntrySize, kept[i].data(), kept[i].size());
  return out;
}

bool DecodePhones(std::string_view section, std::vector<std::string>& phones) {
  if (section.size() < 4) return false;
  phones.clear();
  std::int32_t count = 0;
  std::memcpy(&count, section.data(), 4);
  if (count < 0) return false;
  // 64-bit arithmetic: 100 * count cannot overflow it for any 32-bit count.
  if (4 + std::uint64_t{kPhoneEntrySize} * static_cast<std::uint64_t>(count) != section.size()) return false;
  phones.reserve(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i)
    phones.emplace_back(TrimBlanks(section.substr(4 + i * kPhoneEntrySize, kPhoneEntrySize)));
  return true;
}

}  // namespace kestrel::store
