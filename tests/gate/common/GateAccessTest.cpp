// The accessor through which the layers below the gate ask for its manager:
// the default without one, and one installed and removed again.
#include "gate/common/GateAccess.h"

#include <gtest/gtest.h>

namespace kestrel::gate {
namespace {

class FakeAccess : public IGateAccess {
 public:
  bool stopping = false;
  bool HasManager() const override { return true; }
  bool GateStopping() const override { return stopping; }
  std::int32_t PoolIndexOf(const void* channel) const override { return channel == this ? 3 : -1; }
};

TEST(GateAccess, DefaultAnswersNoManager) {
  EXPECT_FALSE(GateAccess().HasManager());
  EXPECT_FALSE(GateAccess().GateStopping());
  EXPECT_EQ(GateAccess().PoolIndexOf(nullptr), -1);
  EXPECT_TRUE(GateStopRequested()) << "without a manager every wait ends";
}

TEST(GateAccess, InstalledAccessorIsUsedUntilRemoved) {
  FakeAccess fake;
  const IGateAccess* previous = SetGateAccess(&fake);
  EXPECT_FALSE(GateStopRequested());
  EXPECT_EQ(GateAccess().PoolIndexOf(&fake), 3);
  fake.stopping = true;
  EXPECT_TRUE(GateStopRequested());
  EXPECT_EQ(SetGateAccess(previous), &fake);
  EXPECT_FALSE(GateAccess().HasManager());
  SetGateAccess(&fake);
  SetGateAccess(nullptr);
  EXPECT_FALSE(GateAccess().HasManager()) << "null puts the default back";
}

}  // namespace
}  // namespace kestrel::gate
