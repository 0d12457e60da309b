// The journal: packet references of queued documents, outcomes settled once,
// received documents, listing.
#include <gtest/gtest.h>

#include "tests/tools/ToolTempDir.h"
#include "tools/kestrel/Clock.h"
#include "tools/kestrel/Journal.h"
#include "tools/kestrel/Schema.h"

namespace kestrel::app {
namespace {

using testing::TTestDir;

struct JournalFixture : ::testing::Test {
  TTestDir dir;
  std::unique_ptr<TDatabase> db = OpenStore(dir / "k.db");
  TJournal journal{*db};
};

using Journal = JournalFixture;

TEST_F(Journal, QueuedDocumentsGetTheirEntryIdAsPacketNumber) {
  const auto before = CoreDateTime(TWallClock::now());
  const auto entries = journal.Queue({{"Bank", 2, "a.txt", 10, 0x1111}, {"Bank", 2, "b.bin", 20, 0x2222}});
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_NE(entries[0].id, entries[1].id);
  for (const auto& e : entries) {
    EXPECT_EQ(e.ref.Number, e.id);
    EXPECT_GE(e.ref.Date, before.date);
    EXPECT_EQ(e.outcome, TOutcome::Queued);
    const auto stored = journal.Find(e.id);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->ref.Number, e.ref.Number);
    EXPECT_EQ(stored->ref.Date, e.ref.Date);
    EXPECT_EQ(stored->ref.Time, e.ref.Time);
    EXPECT_EQ(stored->direction, TDirection::Out);
    EXPECT_TRUE(stored->finished.empty());
  }
  EXPECT_EQ(journal.Find(entries[1].id)->crc32, 0x2222u);
}

TEST_F(Journal, AnOutcomeIsSettledOnce) {
  const auto e = journal.Queue({{"Bank", 2, "a.txt", 10, 0}})[0];
  EXPECT_TRUE(journal.Settle(e.id, TOutcome::Delivered, ""));
  EXPECT_FALSE(journal.Settle(e.id, TOutcome::Failed, "late report")) << "a delivered document stays delivered";
  const auto stored = journal.Find(e.id);
  EXPECT_EQ(stored->outcome, TOutcome::Delivered);
  EXPECT_EQ(stored->detail, "");
  EXPECT_FALSE(stored->finished.empty());
  EXPECT_FALSE(journal.Settle(9999, TOutcome::Failed, "")) << "unknown entry";
}

TEST_F(Journal, FailUnsettledTouchesOnlyOpenEntries) {
  const auto es = journal.Queue({{"B", 2, "1", 1, 0}, {"B", 2, "2", 1, 0}, {"B", 2, "3", 1, 0}});
  ASSERT_TRUE(journal.Settle(es[0].id, TOutcome::Delivered, ""));
  ASSERT_TRUE(journal.Settle(es[1].id, TOutcome::Failed, "busy"));
  EXPECT_EQ(journal.FailUnsettled({es[0].id, es[1].id, es[2].id}, "interrupted by SIGINT"), 1);
  EXPECT_EQ(journal.Find(es[0].id)->outcome, TOutcome::Delivered);
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
  TJournalFilter f;
  f.party = "A";
  f.limit = 2;
  auto list = journal.List(f);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].file, "a2");
  EXPECT_EQ(list[1].file, "a3");
  f = TJournalFilter{};
  f.outcome = TOutcome::Queued;
  f.limit = 0;
  EXPECT_EQ(journal.List(f).size(), 4u);
  f.outcome = TOutcome::Delivered;
  EXPECT_TRUE(journal.List(f).empty());
}

TEST(JournalOutcomes, NamesGoBothWays) {
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
  EXPECT_EQ(DurationText(0), "0:00");
  EXPECT_EQ(DurationText(65.4), "1:05");
  EXPECT_EQ(DurationText(3725), "1:02:05");
  EXPECT_EQ(DurationText(-3), "0:00");
}

}  // namespace
}  // namespace kestrel::app
