// Small text helpers for log lines and error texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kestrel/kestrel.h"

namespace kestrel::gate {

// "TRUE" / "FALSE".
std::string_view BoolToText(bool value);

// "RefPack = (%d, %d/%s, %d/%s)": number; date and its text; time and its text.
std::string RefPackToText(const TRefPack& ref);

// Value <= 999999: the time text of Value * 1000 ms (computed without
// overflow, also for large negative values); otherwise of Value ms.
std::string TimeValueToText(std::int32_t value);

// The first MaxLen bytes of Data, printable bytes as they are and the others
// as "$XX"; "..." when Data was longer. A MaxLen below 0 counts as 0.
std::string PrintableText(std::string_view data, std::int32_t max_len);

// "OCTET(<Length>):<" + PrintableText + ">", or "OCTET(0):<>". Only the
// bytes shown are read (at most MaxLen); a null buffer shows none.
std::string OctetText(const void* buffer, std::uint32_t length, std::int32_t max_len);

// Removes every CR and LF at the end of `text`.
void TrimTrailingCRLF(std::string& text);

// Code := the platform's last error; Text := its system message. True when a
// message was found. Resets the platform's last error to 0.
[[nodiscard]] bool LastSysErrorText(std::uint32_t& code, std::string& text);

// A floating-point value in the general format of the log: up to 15
// significant digits, no trailing zeros, "." as decimal separator; an
// exponent ("1.5E20", "1E-6") only where the integer part would need more
// than 15 digits or the value is below 0.00001. NaN and infinities give
// "NAN", "INF", "-INF".
std::string FloatToText(double value);

}  // namespace kestrel::gate
