// The two COM ports of the channel dialog's connection test: one with a live
// modem, one that leads nowhere. ConnectionPorts_<os>.cpp, chosen by CMake:
// here a modem of the simulator on a sim line; on Windows (under Wine) the
// ports the test script maps, KESTREL_TEST_MODEM_COM to a modem of the
// Linux simulator on a pseudo-terminal, KESTREL_TEST_MISSING_COM to nothing.
#pragma once

#include <memory>
#include <string>

namespace kestrel::ui::testing {

struct TConnectionPorts {
  int live = 0;
  int missing = 0;
  std::shared_ptr<void> keep;  // what keeps the live modem there
};

// The ports, or nothing (with the reason) where they cannot be had.
std::unique_ptr<TConnectionPorts> MakeConnectionPorts(std::string& why_not);

}  // namespace kestrel::ui::testing
