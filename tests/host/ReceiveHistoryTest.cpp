#include "host/ReceiveHistory.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel::host {
namespace {

TPacketKey Key(std::int32_t sender, std::int32_t number) { return {sender, TRefPack{number, 738000, 1000}}; }

TEST(ReceiveHistory, APacketIsDeliveredOnceAndItsRepeatsAreAcknowledged) {
  TReceiveHistory h;
  auto step = h.Accept(Key(5, 1), 6, 0, "abc");
  EXPECT_FALSE(step.Deliver);
  EXPECT_EQ(step.Status, TAckStatus::Continue);
  EXPECT_EQ(step.Position, 3u);
  step = h.Accept(Key(5, 1), 6, 3, "def");
  ASSERT_TRUE(step.Deliver);
  EXPECT_EQ(step.Packet, "abcdef");
  h.Finish(Key(5, 1), 6, true);
  EXPECT_TRUE(h.WasDelivered(Key(5, 1), 6));

  // The same packet again, whole or as a probe: acknowledged, not delivered.
  step = h.Accept(Key(5, 1), 6, 0, "abcdef");
  EXPECT_FALSE(step.Deliver);
  EXPECT_EQ(step.Status, TAckStatus::Delivered);
  step = h.Accept(Key(5, 1), 6, 6, "");
  EXPECT_EQ(step.Status, TAckStatus::Delivered);
  // Another sender with the same reference is another packet.
  EXPECT_TRUE(h.Accept(Key(6, 1), 6, 0, "abcdef").Deliver);
  // So is one of another size.
  EXPECT_TRUE(h.Accept(Key(5, 1), 2, 0, "xy").Deliver);
  EXPECT_EQ(h.PartialCount(), 0u);
}

TEST(ReceiveHistory, FragmentsThatDoNotContinueAnswerWhereToGoOn) {
  TReceiveHistory h;
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 4, "xxxx").Position, 0u);  // nothing held: from 0
  EXPECT_EQ(h.PartialCount(), 0u);
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 0, "").Position, 0u);      // a probe
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 0, "0123").Position, 4u);
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 0, "0123").Position, 4u);  // a repeat changes nothing
  EXPECT_EQ(h.Accept(Key(1, 1), 10, 6, "67").Position, 4u);    // a gap changes nothing
  EXPECT_EQ(h.PartialBytesHeld(), 4u);
  // The same reference with another size restarts from scratch.
  EXPECT_EQ(h.Accept(Key(1, 1), 12, 4, "4567").Position, 0u);
  EXPECT_EQ(h.PartialCount(), 0u);
  // A zero-byte packet is complete at once.
  EXPECT_TRUE(h.Accept(Key(1, 2), 0, 0, "").Deliver);
}

TEST(ReceiveHistory, RefusedPacketsAreForgottenAndTooLargeOnesRejected) {
  TReceiveHistory h;
  h.SetLimits({.MaxPacketBytes = 100});
  ASSERT_TRUE(h.Accept(Key(1, 1), 3, 0, "abc").Deliver);
  h.Finish(Key(1, 1), 3, false);
  EXPECT_FALSE(h.WasDelivered(Key(1, 1), 3));
  EXPECT_TRUE(h.Accept(Key(1, 1), 3, 0, "abc").Deliver);  // a later attempt delivers afresh
  EXPECT_EQ(h.Accept(Key(1, 2), 101, 0, "a").Status, TAckStatus::Rejected);
}

TEST(ReceiveHistory, MemoryIsBoundedOldestFirstButNeverThePacketInHand) {
  TReceiveHistory h;
  h.SetLimits({.HistoryEntries = 2, .PartialEntries = 2, .PartialBytes = 10});
  for (int n = 1; n <= 3; ++n) {
    ASSERT_TRUE(h.Accept(Key(1, n), 1, 0, "x").Deliver);
    h.Finish(Key(1, n), 1, true);
  }
  EXPECT_FALSE(h.WasDelivered(Key(1, 1), 1));  // pushed out by the third
  EXPECT_TRUE(h.WasDelivered(Key(1, 2), 1));
  EXPECT_TRUE(h.WasDelivered(Key(1, 3), 1));

  h.Accept(Key(2, 1), 100, 0, "aaaa");
  h.Accept(Key(2, 2), 100, 0, "bbbb");
  h.Accept(Key(2, 3), 100, 0, "cccc");  // a third partial: the oldest goes
  EXPECT_EQ(h.PartialCount(), 2u);
  EXPECT_EQ(h.Accept(Key(2, 1), 100, 4, "aaaa").Position, 0u);
  // One big partial beyond the byte bound pushes the others out but stays.
  EXPECT_EQ(h.Accept(Key(2, 4), 100, 0, std::string(20, 'd')).Position, 20u);
  EXPECT_EQ(h.PartialCount(), 1u);
  EXPECT_EQ(h.PartialBytesHeld(), 20u);
  EXPECT_EQ(h.Accept(Key(2, 4), 100, 20, "d").Position, 21u);
}

TEST(ReceiveHistory, ARepeatWaitsForTheDeliveryInProgress) {
  TReceiveHistory h;
  ASSERT_TRUE(h.Accept(Key(1, 1), 1, 0, "x").Deliver);
  // Still with the core: the repeat cannot be answered yet.
  EXPECT_TRUE(h.Accept(Key(1, 1), 1, 0, "x", 20).Timeout);
  h.Finish(Key(1, 1), 1, true);
  EXPECT_EQ(h.Accept(Key(1, 1), 1, 0, "x", 20).Status, TAckStatus::Delivered);
}

}  // namespace
}  // namespace kestrel::host
