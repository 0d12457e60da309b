// The journal: packet references of queued documents, outcomes settled once,
// received documents, listing; and the core's dates and the durations shown.
#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Clock.h"
#include "tools/kestrel/Journal.h"

namespace kestrel::app {
namespace {

using namespace testing;

struct Journal : TStoreTest {
  TJournal journal{*db};
};

TEST_F(Journal, QueuedDocumentsGetTheirEntryIdAsPacketNumber) {
  const auto before = CoreDateTime(TWallClock::now());
  const auto entries = journal.Queue({{"Bank", 2, "a.txt", 10, 0x1111}, {"Bank", 2, "b.bin", 20, 0x2222}});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_NE(entries[0].id, entries[1].id);
  for (const auto& e : entries) {
    EXPECT_EQ(e.ref.Number, e.id);
    EXPECT_GE(e.ref.Date, before.date);
    const auto stored = journal.Find(e.id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(std::tie(stored->ref.Number, stored->ref.Date, stored->ref.Time),
              std::tie(e.ref.Number, e.ref.Date, e.ref.Time));
    EXPECT_EQ(stored->direction, TDirection::Out);
    EXPECT_EQ(stored->outcome, TOutcome::Queued);
    EXPECT_TRUE(stored->finished.empty());
  }
  EXPECT_EQ(journal.Find(entries[1].id)->crc32, 0x2222u);
}

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

TEST_F(Journal, ReceivedDocumentsKeepTheSendersReference) {
  const TRefPack ref{41, 739000, 3600000};
  const auto id = journal.AddIncoming("Sender", 1, "a.txt", 5, 0xABCDu, ref, TOutcome::Received, "/in/a.txt");
  const auto raw =
      journal.AddIncoming("client 9", 9, "packet-7.bin", 3, std::nullopt, ref, TOutcome::Rejected, "disk full");
  const auto e = journal.Find(id);
  EXPECT_EQ(e->direction, TDirection::In);
  EXPECT_EQ(e->ref.Number, 41);
  EXPECT_EQ(e->ref.Time, 3600000);
  EXPECT_EQ(e->outcome, TOutcome::Received);
  EXPECT_EQ(e->crc32, 0xABCDu);
  EXPECT_FALSE(journal.Find(raw)->crc32);
  EXPECT_EQ(journal.Find(raw)->outcome, TOutcome::Rejected);
}

TEST_F(Journal, ListingFiltersAndShowsTheNewestOldestFirst) {
  journal.Queue({{"A", 1, "a1", 1, 0}, {"B", 2, "b1", 1, 0}, {"A", 1, "a2", 1, 0}, {"A", 1, "a3", 1, 0}});
  const auto list = journal.List({"A", std::nullopt, 2});
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].file, "a2");
  EXPECT_EQ(list[1].file, "a3");
  EXPECT_EQ(journal.List({"", TOutcome::Queued, 0}).size(), 4u);
  EXPECT_TRUE(journal.List({"", TOutcome::Delivered, 0}).empty());
  for (const TOutcome o :
       {TOutcome::Queued, TOutcome::Delivered, TOutcome::Failed, TOutcome::Received, TOutcome::Rejected})
    EXPECT_EQ(OutcomeFromName(OutcomeName(o)), o);
  EXPECT_FALSE(OutcomeFromName("lost"));
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
