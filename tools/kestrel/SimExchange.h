// Simulated modems on pseudo-terminals for the `sim` and `demo` commands:
// each modem's port is a pseudo-terminal that another process opens through
// a link, as it would open a serial device.
//
// With `show_dialogue`, the console gets the call events of the exchange
// ("101 dials 102", "102 RING", "101 CONNECT 57600", "101 hangs up") and,
// between calls, the dialogue on each modem's port: the commands its program
// sent ("101 <- ATDT102") and the modem's answers ("101 -> OK"). The bytes of
// a call are not shown.
//
// Construct, add modems (all before Start) and Start on one thread; the destructor stops the
// exchange, closes the pseudo-terminals and removes their links.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "sim/ExchangeRunner.h"
#include "tools/kestrel/Console.h"

namespace kestrel::app {

class TSimExchange {
 public:
  TSimExchange(const sim::TExchangeOptions& options, TConsole& console, std::string prefix, bool show_dialogue);
  ~TSimExchange();
  TSimExchange(const TSimExchange&) = delete;
  TSimExchange& operator=(const TSimExchange&) = delete;

  // A modem with the phone number `number` on a new pseudo-terminal that
  // `link` points to. Throws EToolError when it cannot be made.
  void AddModem(const std::string& number, const std::string& link, const sim::TModemSetup& setup);
  // "<link> -> /dev/pts/N" of a modem.
  std::string Describe(const std::string& number) const;
  void Start();

  struct TTap;

 private:
  TConsole& console_;
  std::string prefix_;
  bool show_;
  std::map<sim::TModemId, std::string> names_;
  std::map<sim::TModemId, TTap*> taps_;  // owned by the runner's ports
  sim::TExchangeRunner runner_;
};

// Splits what went one way through a modem's port into the lines a person
// reads: text is cut at CR and LF, empty pieces dropped, other control bytes
// shown as <XX>. Keeps an unfinished line for the next call. Pure.
class TLineSplitter {
 public:
  // Appends `bytes` and returns the lines completed by them.
  std::vector<std::string> Add(std::string_view bytes);
  void Clear() { pending_.clear(); }

 private:
  std::string pending_;
};

}  // namespace kestrel::app
