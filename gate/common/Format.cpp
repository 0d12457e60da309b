#include "gate/common/Format.h"

namespace kestrel::gate {

void FmtArg::AppendTo(std::string& out, char /*conversion*/) const {
  // A number given to %s and a text given to %d are written as they are: the
  // message keeps every argument, whatever the conversion promised.
  switch (kind_) {
    case Kind::Text:
      out.append(text_);
      break;
    case Kind::Signed:
      out += std::to_string(signed_);
      break;
    case Kind::Unsigned:
      out += std::to_string(unsigned_);
      break;
  }
}

std::string FmtList(std::string_view format, std::initializer_list<FmtArg> args) {
  std::string out;
  out.reserve(format.size() + 16 * args.size());
  auto next = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%' || i + 1 == format.size()) {
      out += c;
      continue;
    }
    const char conversion = format[i + 1];
    if (conversion == '%') {
      out += '%';
      ++i;
    } else if ((conversion == 's' || conversion == 'd' || conversion == 'u') && next != args.end()) {
      (next++)->AppendTo(out, conversion);
      ++i;
    } else {
      // An unknown conversion, or one without an argument, stays as written.
      out += c;
    }
  }
  return out;
}

}  // namespace kestrel::gate
