// The journal: outcomes settled once, listing; and the core's dates and the
// durations shown. (Queued, delivered, failed, interrupted and received
// documents as the program journals them are the program's test.)
#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Clock.h"
#include "tools/kestrel/Journal.h"

namespace kestrel::app {
namespace {

using namespace testing;

struct Journal : TStoreTest {
  TJournal journal{*db};
};

TEST_F(Journal, AnOutcomeIsSettledOnceAndFailUnsettledTouchesOnlyOpenEntries) {
  const auto es = journal.Queue({{"B", 2, "1", 1, 0}, {"B", 2, "2", 1, 0}, {"B", 2, "3", 1, 0}});
  EXPECT_TRUE(journal.Settle(es[0].id, TOutcome::Delivered, ""));
  EXPECT_FALSE(journal.Settle(es[0].id, TOutcome::Failed, "late report")) << "a delivered document stays delivered";
  EXPECT_FALSE(journal.Settle(9999, TOutcome::Failed, "")) << "unknown entry";
  ASSERT_TRUE(journal.Settle(es[1].id, TOutcome::Failed, "busy"));
  EXPECT_EQ(journal.FailUnsettled({es[0].id, es[1].id, es[2].id}, "interrupted by SIGINT"), 1);
  const auto delivered = journal.Find(es[0].id);
  EXPECT_EQ(delivered->outcome, TOutcome::Delivered);
  EXPECT_EQ(delivered->detail, "");
  EXPECT_FALSE(delivered->finished.empty());
  EXPECT_EQ(journal.Find(es[1].id)->detail, "busy");
  EXPECT_EQ(journal.Find(es[2].id)->outcome, TOutcome::Failed);
  EXPECT_EQ(journal.Find(es[2].id)->detail, "interrupted by SIGINT");
}

TEST_F(Journal, ListingFiltersAndShowsTheNewestOldestFirst) {
  journal.Queue({{"A", 1, "a1", 1, 0}, {"B", 2, "b1", 1, 0}, {"A", 1, "a2", 1, 0}, {"A", 1, "a3", 1, 0}});
  const auto list = journal.List({"A", std::nullopt, 2});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].file, "a2");
  EXPECT_EQ(list[1].file, "a3");
  EXPECT_EQ(journal.List({"", TOutcome::Queued, 0}).size(), 4u);
  EXPECT_TRUE(journal.List({"", TOutcome::Delivered, 0}).empty());
}

TEST(CoreClock, DayNumbersAndDurations) {
  EXPECT_EQ(DayNumber(1, 1, 1), 1);
  EXPECT_EQ(DayNumber(1970, 1, 1), 719163);
  EXPECT_EQ(DayNumber(2000, 3, 1) - DayNumber(2000, 2, 28), 2) << "2000 is a leap year";
  EXPECT_EQ(DayNumber(1900, 3, 1) - DayNumber(1900, 2, 28), 1) << "1900 is not";
  const auto t = CoreDateTime(TWallClock::now());
  EXPECT_GE(t.time, 0);
  EXPECT_LT(t.time, 86'400'000);
  for (const auto& [seconds, text] : {std::pair{0.0, "0:00"}, {65.4, "1:05"}, {3725.0, "1:02:05"}, {-3.0, "0:00"}})
    EXPECT_EQ(DurationText(seconds), text) << seconds;
}

}  // namespace
}  // namespace kestrel::app
