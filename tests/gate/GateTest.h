// The fixture of the export tests: the library as a host loads it, a fresh
// load for each test, with the kit's core installed before it loads and
// removed after it went. Each test ends with a whole-gate stop, so that no
// thread of the gate calls the core once it is removed (on Windows the
// unload leaves a running gate running).
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tests/kit/CoreSpy.h"
#include "tools/host/GateLibrary.h"

namespace kestrel::testing {

class GateTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library->MissingExports().empty()); }
  void TearDown() override {
    if (library) (void)library->StopTransmit(0);
  }

  TCoreSpy core;
  std::unique_ptr<app::TGateLibrary> library = app::TGateLibrary::Load(KESTREL_LIBRARY_PATH, false);
  app::TGateLibrary& gate = *library;
};

}  // namespace kestrel::testing
