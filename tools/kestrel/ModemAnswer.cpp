#include "tools/kestrel/ModemAnswer.h"

#include <algorithm>
#include <cctype>

namespace kestrel::app {
namespace {

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool TModemAnswer::Feed(std::string_view bytes) {
  for (char c : bytes) {
    if (result_ != TResult::kNone) break;
    if (c == '\r' || c == '\n') {
      if (!partial_.empty()) TakeLine(partial_);
      partial_.clear();
    } else {
      partial_ += c;
    }
  }
  return result_ != TResult::kNone;
}

void TModemAnswer::TakeLine(const std::string& line) {
  if (SameText(line, command_)) return;
  if (line == "OK" || line == "0")
    result_ = TResult::kOk;
  else if (line == "ERROR" || line == "4")
    result_ = TResult::kError;
  else
    lines_.push_back(line);
}

}  // namespace kestrel::app
