// The fixture of the session tests: a modem gate manager that the modem layer
// knows of, simulated modems for its COM ports, and a core with the log on.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/HostObject.h"
#include "session/MdmMngr.h"
#include "tests/kit/Blocks.h"
#include "tests/kit/CoreSpy.h"
#include "tests/kit/FakeGate.h"
#include "tests/kit/SimRig.h"

namespace kestrel::session {

class GateFixture : public ::testing::Test {
 protected:
  GateFixture() {
    const TMdmGateManager* m = manager.get();
    gate.Watch([m](const void* channel) { return m->PoolIndexOf(channel); }, [m] { return m->GateStopping.load(); });
  }
  ~GateFixture() override { manager.reset(); }

  static std::string Id(const host::THostObject& object) { return host::Hex8(object.Identity()); }
  // "<kind> <text> | <details>" of every line the core got, in order.
  std::vector<std::string> Transcript() const {
    std::vector<std::string> out;
    for (const testing::TCoreLine& l : core.Lines())
      out.push_back(std::to_string(l.kind) + " " + l.text + " | " + l.details);
    return out;
  }

  testing::TSimRig modems;
  testing::TLoggingCore core;
  testing::TFakeGate gate;
  std::unique_ptr<TMdmGateManager> manager = std::make_unique<TMdmGateManager>();
};

}  // namespace kestrel::session
