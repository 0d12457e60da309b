// The accessor through which the layers below the gate ask for its manager:
// the default without one, and one installed and removed again.
#include "gate/common/GateAccess.h"

#include <gtest/gtest.h>

#include "tests/kit/FakeGate.h"

namespace kestrel::gate {
namespace {

TEST(GateAccess, DefaultAnswersNoManager) {
  EXPECT_FALSE(GateAccess().HasManager());
  EXPECT_FALSE(GateAccess().GateStopping());
  EXPECT_EQ(GateAccess().PoolIndexOf(nullptr), -1);
  EXPECT_TRUE(GateStopRequested()) << "without a manager every wait ends";
}

TEST(GateAccess, InstalledAccessorIsAskedUntilNullPutsTheDefaultBack) {
  testing::TFakeGate fake;  // installs itself
  fake.PutInPool(3, &fake);
  EXPECT_FALSE(GateStopRequested());
  EXPECT_EQ(GateAccess().PoolIndexOf(&fake), 3);
  fake.stopping = true;
  EXPECT_TRUE(GateStopRequested());
  EXPECT_EQ(SetGateAccess(nullptr), &fake);
  EXPECT_FALSE(GateAccess().HasManager());
}

}  // namespace
}  // namespace kestrel::gate
