// The far end of a port that the system's own backend opens, for the port
// contract: on POSIX the master of a pseudo-terminal pair (TPtyFarEnd); on
// Windows the second COM port of a pair whose ends are wired to each other
// (under Wine: two ports mapped to the ends of one pseudo-terminal link,
// named by KESTREL_TEST_COM_PAIR="<port>,<far port>", e.g. "3,4"),
// SystemFarEnd_win32.cpp.
#pragma once

#ifndef _WIN32
#include "tests/kit/PtyFarEnd.h"

namespace kestrel::testing {
using TSystemFarEnd = TPtyFarEnd;
}  // namespace kestrel::testing
#else
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kestrel::testing {

class TSystemFarEnd {
 public:
  // Neither a pseudo-terminal nor a COM port Wine maps to one counts bytes
  // waiting to be sent.
  static constexpr bool kHasOutQueue = false;
  // Whether this system's far end exists here (the COM pair is configured);
  // the tests skip themselves when it does not.
  static bool Available();
  // Whether the far end can hang up (a COM pair cannot without ending the
  // link that wires it).
  static bool CanHangUp();
  // Whether the port can wait for room on a full line (a COM port Wine maps
  // to a pseudo-terminal has no transmit events: it says there is room).
  static bool TellsRoom();

  TSystemFarEnd();
  ~TSystemFarEnd();
  const std::string& PortName() const;
  // What the far end took at once.
  std::size_t Write(const void* data, std::size_t size);
  std::size_t Write(std::string_view text) { return Write(text.data(), text.size()); }
  // Up to `size` bytes the port wrote, waiting up to `timeout_ms` for the first.
  std::size_t Read(void* data, std::size_t size, std::uint32_t timeout_ms);
  void HangUp();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace kestrel::testing
#endif
