#include "gate/common/LogText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "gate/common/Format.h"
#include "host/Wagtail.h"
#include "platform/SysError.h"

namespace kestrel::gate {
namespace {

// The bytes that a dump shows as they are. "$" is left out because it starts
// the hexadecimal form; J, `, j, Й and й are left out too, which the readers
// of existing logs are used to.
bool IsPrintable(unsigned char b) {
  return (b >= 0x20 && b <= 0x23) ||  // " " .. "#"
         (b >= 0x25 && b <= 0x49) ||  // "%" .. "I"
         (b >= 0x4B && b <= 0x5F) ||  // "K" .. "_"
         (b >= 0x61 && b <= 0x69) ||  // "a" .. "i"
         (b >= 0x6B && b <= 0x7E) ||  // "k" .. "~"
         (b >= 0xC0 && b <= 0xC8) ||  // "А" .. "И"
         (b >= 0xCA && b <= 0xE8) ||  // "К" .. "и"
         (b >= 0xEA);                 // "к" .. "я"
}

}  // namespace

std::string_view BoolToText(bool value) { return value ? "TRUE" : "FALSE"; }

std::string RefPackToText(const TRefPack& ref) {
  return Fmt("RefPack = (%d, %d/%s, %d/%s)", ref.Number, ref.Date, host::SysDateToStr(ref.Date), ref.Time,
             TimeValueToText(ref.Time));
}

std::string TimeValueToText(std::int32_t value) {
  // Small values count seconds. The product is taken in 64 bits: a large
  // negative count of seconds has no 32-bit millisecond value.
  if (value <= 999999) return host::LongTimeToStr(static_cast<std::int64_t>(value) * 1000);
  return host::SysTimeToStr(value);
}

std::string PrintableText(std::string_view data, std::int32_t max_len) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::size_t n = max_len <= 0 ? 0 : std::min(data.size(), static_cast<std::size_t>(max_len));
  std::string out;
  out.reserve(n * 3 + 3);
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(data[i]);
    if (IsPrintable(b)) {
      out += static_cast<char>(b);
    } else {
      out += '$';
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  if (data.size() > n) out += "...";
  return out;
}

std::string OctetText(const void* buffer, std::uint32_t length, std::int32_t max_len) {
  std::string out = "OCTET(" + std::to_string(length) + "):<";
  // A null buffer has nothing to show, whatever length it claims.
  if (length > 0 && buffer != nullptr)
    out += PrintableText(std::string_view(static_cast<const char*>(buffer), length), max_len);
  out += '>';
  return out;
}

void TrimTrailingCRLF(std::string& text) {
  const std::size_t keep = text.find_last_not_of("\r\n");
  text.erase(keep == std::string::npos ? 0 : keep + 1);
}

bool LastSysErrorText(std::uint32_t& code, std::string& text) {
  code = platform::LastError();
  text = platform::SystemErrorText(code);
  platform::SetLastError(0);
  return !text.empty();
}

std::string FloatToText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";

  // 15 significant digits, rounded, as "d.dddddddddddddde+x"; to_chars does
  // not depend on the C locale's decimal separator.
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  if (res.ec != std::errc()) return "?";
  const std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
  const std::size_t e_pos = sci.find('e');
  const bool negative = sci.front() == '-';
  std::string digits;
  for (char c : sci.substr(0, e_pos))
    if (c >= '0' && c <= '9') digits += c;
  const int exponent = std::atoi(std::string(sci.substr(e_pos + 1)).c_str());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent >= 15 || exponent < -5) {
    out += digits[0];
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::to_string(exponent);
  } else if (exponent >= 0) {
    const auto int_len = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= int_len) {
      out += digits + std::string(int_len - digits.size(), '0');
    } else {
      out += digits.substr(0, int_len) + "." + digits.substr(int_len);
    }
  } else {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  return out;
}

}  // namespace kestrel::gate
