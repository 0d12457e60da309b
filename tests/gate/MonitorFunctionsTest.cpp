// GLCreateMonitorForm and GLFreeMonitorForm inside the module, where no
// window can be made: the failure is reported to the core through the
// manager, from whichever thread asked, and nothing is left behind.
#include <gtest/gtest.h>

#include "gate/ModuleState.h"
#include "gate/MonitorForm.h"
#include "platform/MainThread.h"
#include "platform/forms/Application.h"
#include "tests/kit/CoreSpy.h"
#include "tests/kit/Pump.h"

namespace kestrel::gate {
namespace {

class MonitorFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    null_backend_ = forms::MakeNullBackend("no display here");
    forms::InstallBackend(null_backend_.get());
    LoadModule();
    ASSERT_NE(MdmGateManager(), nullptr);
  }
  void TearDown() override {
    UnloadModule();
    forms::InstallBackend(nullptr);
  }

  testing::TCoreSpy core;
  std::unique_ptr<forms::TBackend> null_backend_;
};

constexpr const char* kNoWindow =
    "ERROR in GLCreateMonitorForm: Kestrel forms: no user-interface backend (no display here)";

TEST_F(MonitorFunctions, AWindowThatCannotBeMadeIsReportedFromEitherThreadAndNothingIsKept) {
  GLCreateMonitorForm();
  EXPECT_EQ(MonitorForm(), nullptr);
  GLFreeMonitorForm();  // no window: nothing happens
  // From a worker, the failure crosses back from the main thread.
  EXPECT_TRUE(testing::OnWorkerWhilePumping([] {
    GLCreateMonitorForm();
    GLFreeMonitorForm();
  }, 20000, [] { platform::PumpMainThread(20); }));
  EXPECT_EQ(platform::PendingMainThreadCalls(), 0u);
  const auto errors = core.Errors();
  ASSERT_EQ(errors.size(), 2u);
  for (const auto& error : errors) {
    EXPECT_EQ(error.text, kNoWindow);
    EXPECT_TRUE(error.null_details) << "no packet reference";
  }
}

TEST_F(MonitorFunctions, WithoutAManagerTheFailureIsDroppedQuietly) {
  FreeGateManager();
  GLCreateMonitorForm();
  EXPECT_TRUE(core.Errors().empty());
  EXPECT_EQ(MonitorForm(), nullptr);
}

}  // namespace
}  // namespace kestrel::gate
