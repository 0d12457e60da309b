#include "host/Pacing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "host/OutQueue.h"

namespace kestrel::host {
namespace {

TEST(Pacing, DayFractionsBecomeMillisecondsOfTheTimeOfDay) {
  const std::pair<double, std::uint32_t> cases[] = {
      {1.0 / 1440, 60000}, {3.0 / 1440, 180000},
      {1000.6 / 86400000.0, 1001}, {1000.4 / 86400000.0, 1000},  // rounded to the nearest ms
      {1.5, 43200000},  // a day and a half: noon
      {2.0, 0}, {1.0 - 1e-12, 0},  // rounds up to midnight
      {0.0, 0}, {-0.25, 0}, {std::nan(""), 0}, {std::numeric_limits<double>::infinity(), 0}};
  for (const auto& [days, ms] : cases) EXPECT_EQ(DayFractionToMs(days), ms) << days;
}

TEST(Pacing, FragmentsFollowTheMeasuredRateWithinBounds) {
  TProtocolTuning t;  // 5 s worth, 256 B .. 256 KiB
  // 4096 bytes in 2000 ms: 5 s worth is 10240 bytes, within four-fold.
  EXPECT_EQ(NextFragmentSize(4096, 4096, 2000, t), 10240u);
  // A fast line grows at most four-fold per step, then stops at the bound.
  EXPECT_EQ(NextFragmentSize(1024, 1024, 1, t), 4096u);
  EXPECT_EQ(NextFragmentSize(200000, 200000, 1, t), 256u * 1024);
  // Elapsed 0 counts as 1 ms rather than dividing by zero.
  EXPECT_EQ(NextFragmentSize(1024, 1024, 0, t), 4096u);
  // A slow line shrinks at most four-fold, never below the minimum.
  EXPECT_EQ(NextFragmentSize(4096, 4096, 600000, t), 1024u);
  EXPECT_EQ(NextFragmentSize(512, 512, 600000, t), 256u);
  // The tail of a packet says little about the rate: the size stays.
  EXPECT_EQ(NextFragmentSize(4096, 100, 100000, t), 4096u);
  EXPECT_EQ(NextFragmentSize(4096, 0, 0, t), 4096u);
  // Bounds that contradict each other: the maximum wins.
  t.MinFragment = 10000;
  t.MaxFragment = 500;
  EXPECT_EQ(NextFragmentSize(4096, 4096, 2000, t), 500u);
}

TEST(Pacing, KeepAliveIntervalStaysSane) {
  EXPECT_EQ(KeepAliveInterval(0), 10000u);
  EXPECT_EQ(KeepAliveInterval(1), 50u);
  EXPECT_EQ(KeepAliveInterval(2500), 2500u);
  EXPECT_EQ(KeepAliveInterval(0xFFFFFFFF), 60000u);
}

TEST(OutQueue, PacketsLeaveOnceAndNoneEntersAfterAStop) {
  TOutQueue q;
  EXPECT_EQ(q.WaitForPacket(0), TOutQueue::TWake::Timeout);
  ASSERT_TRUE(q.Push({TRefPack{1, 0, 0}, "a"}));
  ASSERT_TRUE(q.Push({TRefPack{2, 0, 0}, "b"}));
  EXPECT_EQ(q.WaitForPacket(0), TOutQueue::TWake::Packet);
  const auto first = q.TakeNext();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Ref.Number, 1);
  const auto rest = q.RequestStop();
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0].Ref.Number, 2);
  EXPECT_FALSE(q.Push({TRefPack{3, 0, 0}, "c"}));
  EXPECT_EQ(q.Size(), 0u);
  EXPECT_EQ(q.WaitForPacket(100000), TOutQueue::TWake::Stop);  // returns at once
  EXPECT_TRUE(q.WaitForStop(100000));
}

}  // namespace
}  // namespace kestrel::host
