// Fmt: the printf-style formatting of the gate's fixed message texts.
//
// Only the conversions that the texts use are known: %s (any text or a
// Windows-1251 string view), %d (a signed integer), %u (an unsigned one) and
// %% (a percent sign). Arguments are checked at run time: a missing argument
// leaves its conversion as written, an argument of the wrong kind is
// converted as well as it can be; nothing ever throws or reads out of bounds.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace kestrel::gate {

class FmtArg {
 public:
  FmtArg(std::string_view s) : kind_(Kind::Text), text_(s) {}
  FmtArg(const std::string& s) : kind_(Kind::Text), text_(s) {}
  FmtArg(const char* s) : kind_(Kind::Text), text_(s ? s : "") {}
  FmtArg(std::int64_t v) : kind_(Kind::Signed), signed_(v) {}
  FmtArg(std::int32_t v) : kind_(Kind::Signed), signed_(v) {}
  FmtArg(std::int16_t v) : kind_(Kind::Signed), signed_(v) {}
  FmtArg(std::uint32_t v) : kind_(Kind::Unsigned), unsigned_(v) {}
  FmtArg(std::uint64_t v) : kind_(Kind::Unsigned), unsigned_(v) {}

  void AppendTo(std::string& out, char conversion) const;

 private:
  enum class Kind { Text, Signed, Unsigned } kind_;
  std::string_view text_;
  std::int64_t signed_ = 0;
  std::uint64_t unsigned_ = 0;
};

std::string FmtList(std::string_view format, std::initializer_list<FmtArg> args);

template <typename... A>
std::string Fmt(std::string_view format, const A&... args) {
  return FmtList(format, {FmtArg(args)...});
}

}  // namespace kestrel::gate
