// The conversions between what an operator types and numbers, with the
// process-wide time separator they read times with.
//
// A failed conversion throws EConvertError whose message is the text the
// dialogs show: "'<text>' is not a valid integer value" or "'<text>' is not
// a valid time". Pure functions apart from the separator, which is one
// atomic setting of the process (any thread may read or set it).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestrel::forms {

class EConvertError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The character between hours, minutes and seconds when a time is read.
// ':' until someone sets another.
char TimeSeparator();
void SetTimeSeparator(char separator);

// A decimal integer: optional blanks, an optional sign, digits, optional
// blanks; within the 32-bit signed range.
std::optional<std::int32_t> TryStrToInt(std::string_view text);
std::int32_t StrToInt(std::string_view text);

// A time of day "h:m" or "h:m:s" read with TimeSeparator(): one or two
// digits each, blanks allowed around each number, hours 0..23, minutes and
// seconds 0..59. The result is milliseconds since midnight.
std::optional<std::uint32_t> TryStrToTime(std::string_view text);
std::uint32_t StrToTime(std::string_view text);

// "hh:mm:ss" of the whole seconds in `ms` (the time of day, ':' always: the
// separator of a time field's mask). 90061000 ms (25:01:01) gives "01:01:01".
std::string TimeToText(std::uint32_t ms);

}  // namespace kestrel::forms
