#include "platform/forms/TextConvert.h"

#include <atomic>
#include <cstdio>
#include <limits>

namespace kestrel::forms {
namespace {

std::atomic<char> g_time_separator{':'};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void SkipBlanks(std::string_view text, std::size_t& i) {
  while (i < text.size() && IsBlank(text[i])) ++i;
}

// One to `max_digits` decimal digits at text[i], blanks around them skipped.
std::optional<std::uint32_t> ReadNumber(std::string_view text, std::size_t& i, std::size_t max_digits) {
  SkipBlanks(text, i);
  std::uint32_t value = 0;
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (++digits > max_digits) return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
    ++i;
  }
  if (digits == 0) return std::nullopt;
  SkipBlanks(text, i);
  return value;
}

}  // namespace

char TimeSeparator() { return g_time_separator.load(); }
void SetTimeSeparator(char separator) { g_time_separator.store(separator); }

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
  std::size_t i = 0;
  SkipBlanks(text, i);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a magnitude that may reach 2^31 (the lowest value).
  std::uint64_t magnitude = 0;
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (magnitude > std::uint64_t{1} << 31) return std::nullopt;
    ++digits;
    ++i;
  }
  SkipBlanks(text, i);
  if (digits == 0 || i != text.size()) return std::nullopt;
  if (!negative && magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return std::nullopt;
  const auto signed_magnitude = static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(negative ? -signed_magnitude : signed_magnitude);
}

std::int32_t StrToInt(std::string_view text) {
  if (auto value = TryStrToInt(text)) return *value;
  throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

std::optional<std::uint32_t> TryStrToTime(std::string_view text) {
  const char separator = TimeSeparator();
  std::size_t i = 0;
  const auto hours = ReadNumber(text, i, 2);
  if (!hours || i >= text.size() || text[i] != separator) return std::nullopt;
  ++i;
  const auto minutes = ReadNumber(text, i, 2);
  if (!minutes) return std::nullopt;
  std::uint32_t seconds = 0;
  if (i < text.size()) {
    if (text[i] != separator) return std::nullopt;
    ++i;
    const auto s = ReadNumber(text, i, 2);
    if (!s || i != text.size()) return std::nullopt;
    seconds = *s;
  }
  if (*hours > 23 || *minutes > 59 || seconds > 59) return std::nullopt;
  return ((*hours * 60 + *minutes) * 60 + seconds) * 1000;
}

std::uint32_t StrToTime(std::string_view text) {
  if (auto ms = TryStrToTime(text)) return *ms;
  throw EConvertError("'" + std::string(text) + "' is not a valid time");
}

std::string TimeToText(std::uint32_t ms) {
  const std::uint32_t total = (ms / 1000) % 86400;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", total / 3600, total / 60 % 60, total % 60);
  return buf;
}

}  // namespace kestrel::forms
