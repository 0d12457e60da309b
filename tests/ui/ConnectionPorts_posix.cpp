#include "tests/kit/SimRig.h"
#include "tests/ui/ConnectionPorts.h"

namespace kestrel::ui::testing {

std::unique_ptr<TConnectionPorts> MakeConnectionPorts(std::string&) {
  auto rig = std::make_shared<kestrel::testing::TSimRig>();
  auto ports = std::make_unique<TConnectionPorts>(TConnectionPorts{7, 9, rig});
  rig->OnCom(ports->live, "");
  rig->Missing(ports->missing);
  return ports;
}

}  // namespace kestrel::ui::testing
