// A modem's answer to one command, read from the bytes it sends back: the
// echo of the command, information lines, and the final result. Bytes in,
// result out; no I/O, so that `kestrel ports` reads its probe answers here.
//
// Lines end in CR, LF or both; empty lines are skipped. A line equal to the
// command (any letter case) is its echo. The final results are OK and ERROR,
// verbose or numeric (0 and 4, as a modem set to V0 says them); a line counts
// only once its terminator came, so "OK" split across two reads is still one
// result. Whatever follows the final result is ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrel::app {

class TModemAnswer {
 public:
  enum class TResult { kNone, kOk, kError };

  // `command` as sent, without its CR ("AT", "ATI").
  explicit TModemAnswer(std::string command) : command_(std::move(command)) {}

  // Takes the next bytes; true once the final result has come.
  bool Feed(std::string_view bytes);

  TResult Result() const { return result_; }
  // The information lines before the result, without echo and empty lines.
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  void TakeLine(const std::string& line);

  std::string command_;
  std::string partial_;
  std::vector<std::string> lines_;
  TResult result_ = TResult::kNone;
};

}  // namespace kestrel::app
