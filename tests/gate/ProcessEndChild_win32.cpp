// Not a test: the host that gate/UnloadTest_win32.cpp starts again and
// again. It starts transmit processes, hands each a packet and returns from
// main at once, so that the process ends while the gate's threads are busy
// starting (the system ends them wherever they are) and the library's unload
// runs after them.
#include <cstdint>
#include <string>

#include "tests/kit/Blocks.h"
#include "tools/host/GateLibrary.h"

int main() {
  using namespace kestrel;
  const auto gate = app::TGateLibrary::Load(KESTREL_LIBRARY_PATH);
  const std::string block = testing::RemoteBlock(testing::QuickAddress({1, 2}), {"101"});
  const TRefPack ref{1, 738000, 0};
  const char data[] = "abc";
  for (std::int16_t code = 1; code <= 4; ++code) {
    const KHandle process = gate->StartTransmit(block.data(), static_cast<std::int32_t>(block.size()), 1, code, 0);
    if (process == 0) return 2;
    (void)gate->SendToGate(data, 3, &ref, process);
  }
  return 0;
}
