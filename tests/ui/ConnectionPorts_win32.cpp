#include <cstdlib>

#include "tests/ui/ConnectionPorts.h"

namespace kestrel::ui::testing {

std::unique_ptr<TConnectionPorts> MakeConnectionPorts(std::string& why_not) {
  const char* live = std::getenv("KESTREL_TEST_MODEM_COM");
  const char* missing = std::getenv("KESTREL_TEST_MISSING_COM");
  if (live == nullptr || missing == nullptr) {
    why_not = "no modem port mapped (KESTREL_TEST_MODEM_COM, KESTREL_TEST_MISSING_COM)";
    return nullptr;
  }
  return std::make_unique<TConnectionPorts>(TConnectionPorts{std::atoi(live), std::atoi(missing), nullptr});
}

}  // namespace kestrel::ui::testing
