// Any bytes a modem may send: ClassifyResponse must give one of the ten
// classes, and PrintableText must dump them in its documented shape.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gate/common/LogText.h"
#include "gate/common/MdmResp.h"

using namespace kestrel::gate;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const TRespCode code = ClassifyResponse(text);
  if (static_cast<unsigned>(code) > static_cast<unsigned>(TRespCode::rcOther)) __builtin_trap();
  // A text that has anything besides line breaks is an answer of some kind.
  if ((code == TRespCode::rcNoResponse) != (text.find_first_not_of("\r\n") == std::string_view::npos))
    __builtin_trap();
  if (ResponseText(code).empty()) __builtin_trap();

  // The first byte chooses the length limit, the rest is dumped.
  const std::int32_t max_len = size > 0 ? static_cast<std::int32_t>(data[0]) - 16 : 0;
  const std::string_view body = size > 0 ? text.substr(1) : text;
  const std::string dump = PrintableText(body, max_len);
  const std::size_t shown = max_len <= 0 ? 0 : std::min(body.size(), static_cast<std::size_t>(max_len));
  const bool cut = body.size() > shown;
  // Every shown byte becomes one byte or three ("$XX"); a cut adds "...".
  if (dump.size() < shown + (cut ? 3 : 0) || dump.size() > 3 * shown + (cut ? 3 : 0)) __builtin_trap();
  if (cut && dump.compare(dump.size() - 3, 3, "...") != 0) __builtin_trap();

  const std::string octet = OctetText(body.data(), static_cast<std::uint32_t>(body.size()), max_len);
  if (octet.rfind("OCTET(", 0) != 0 || octet.back() != '>') __builtin_trap();
  return 0;
}
