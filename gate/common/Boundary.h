// The frame of a logged boundary towards the host: the five transmit and
// listen exports, and the operations the host framework calls on the
// exchanger and the listener. Each writes a begin line, runs its body, turns
// any exception from the body into an error line and an empty result, and
// writes an end line that shows the result:
//
//   return LoggedBoundary<bool>(
//       [&] { GateLog(10, Fmt(kConnectBegin, Id())); },
//       {kConnectError, Id()},
//       [&] { ...; return true; },
//       [&](bool result) { GateLog(10, Fmt(kConnectEnd, Id()), ResultText(result)); });
//
// The error line is logged with GateLogError at level 1: the error format
// ("MDMGATE.StartTransmit:(Ошибка %s:(%s))", or "TME[$%s].Connect:(Ошибка
// %s:(%s))" with the identity first) filled with the exception's class name
// and message (CurrentExceptionInfo). After it `on_failure` runs, for a
// boundary that tells the core more about a failure. A log step (the begin,
// error and end lines, `on_failure`) that throws is lost and the frame goes
// on: a line that cannot be written never costs the work or the result.
// Nothing escapes the frame.
#pragma once

#include <string_view>
#include <type_traits>
#include <utility>

namespace kestrel::gate {

// The error line's format, and the identity for a format that begins with
// one (empty for none). Both views must live through the boundary's call.
struct TErrorLine {
  TErrorLine(std::string_view format, std::string_view identity = {}) : Format(format), Identity(identity) {}
  std::string_view Format;
  std::string_view Identity;
};

// Runs a step whose failure only costs a log line: the line is lost.
template <typename Step>
void LogStep(Step&& step) noexcept {
  try {
    std::forward<Step>(step)();
  } catch (...) {
    // A line that cannot be built or written is not worth the boundary's answer.
  }
}

// Logs the error line for the exception being handled; call it only inside
// a catch block. Never throws (a line that cannot be made is lost).
void LogBoundaryError(const TErrorLine& error) noexcept;

// `on_failure` of a boundary that has nothing to add.
struct TNothingMore {
  void operator()() const noexcept {}
};

// `log_begin()` logs the begin line; `body()` does the work and returns the
// result (R may be void); `log_end(result)` (or `log_end()` for void) logs
// the end line. The result is R{} when the body throws.
template <typename R, typename Begin, typename Body, typename End, typename OnFailure = TNothingMore>
R LoggedBoundary(Begin&& log_begin, const TErrorLine& error, Body&& body, End&& log_end,
                 OnFailure&& on_failure = {}) noexcept {
  LogStep(log_begin);
  bool failed = false;
  if constexpr (std::is_void_v<R>) {
    try {
      body();
    } catch (...) {
      failed = true;
      LogBoundaryError(error);
    }
    if (failed) LogStep(on_failure);
    LogStep(log_end);
  } else {
    R result{};
    try {
      result = body();
    } catch (...) {
      failed = true;
      LogBoundaryError(error);
    }
    if (failed) LogStep(on_failure);
    LogStep([&] { log_end(std::as_const(result)); });
    return result;
  }
}

}  // namespace kestrel::gate
