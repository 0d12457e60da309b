// The program's database: migrations, files it must not touch, transactions,
// parties and their keys, two connections; the answers to the gate about
// parties and sessions. (A new database brought to the latest version
// and the stored settings and addresses the gate reads are met by every run
// of the program in its test.)
//
// The journal: outcomes settled once, listing; and the core's dates and the
// durations shown. (Queued, delivered, failed, interrupted and received
// documents as the program journals them are the program's test.)
//
// The gate's log as the program keeps it: filters, and the writer that
// batches lines from many threads.
//
// Documents as packets, safe file names, and the inbox they are stored in.
// (Documents that cross between two programs intact are the program's test.)

#include <filesystem>
#include <future>
#include <thread>

#include "heron.h"
#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Admission.h"
#include "tools/kestrel/Clock.h"
#include "tools/kestrel/Config.h"
#include "tools/kestrel/Document.h"
#include "tools/kestrel/Inbox.h"
#include "tools/kestrel/Journal.h"
#include "tools/kestrel/LogBook.h"
#include "tools/kestrel/Outbox.h"

namespace kestrel::app {
namespace {

using namespace testing;
using ::testing::Pair;

bool HasColumn(TDatabase& db, const std::string& table, const std::string& column) {
  TTransaction tx(db, TTransaction::TKind::Read);
  TStatement st(db, "SELECT count(*) FROM pragma_table_info(?) WHERE name = ?");
  st.BindText(1, table);
  st.BindText(2, column);
  return st.Step() && st.Int(0) == 1;
}

// An entry's outcome and detail; ("<no entry>", "") when there is none.
std::pair<std::string, std::string> Settled(TJournal& journal, std::int64_t id) {
  const auto e = journal.Find(id);
  return e ? std::pair(std::string(OutcomeName(e->outcome)), e->detail) : std::pair(std::string("<no entry>"), std::string());
}

// A database made at `version` with the rows `sql` inserts, opened as the
// program opens it. (That MigrateSchema stops at the version it is given is
// the clash's test below.)
std::unique_ptr<TDatabase> Upgraded(const TTempDir& dir, int version, const std::string& sql) {
  {
    auto db = TDatabase::Open(dir / "old.db");
    MigrateSchema(*db, version);
    TTransaction tx(*db);
    db->Exec(sql);
    tx.Commit();
  }
  return OpenStore(dir / "old.db");
}

TEST(Schema, VersionOneFileKeepsItsDataThroughTheMigration) {
  TTempDir dir;
  auto db = Upgraded(dir, 1,
                     "INSERT INTO parties(name, client_id, address, created) VALUES('Bank', 7, x'0100', 'then');"
                     "INSERT INTO journal(direction, party, client_id, file, bytes, ref_number, ref_date, ref_time, "
                     "outcome, started) VALUES('out', 'Bank', 7, 'a.txt', 3, 1, 2, 3, 'delivered', 'then');");
  EXPECT_EQ(SchemaVersion(*db), kSchemaVersion);
  const auto party = TConfigStore(*db).FindParty("Bank");
  ASSERT_TRUE(party);
  EXPECT_EQ(std::tuple(party->client_id, party->address), std::tuple(7, std::string("\x01\x00", 2)));
  EXPECT_FALSE(party->key) << "no key until one is given";
  const auto entries = TJournal(*db).List({"", std::nullopt, 0});
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(std::tuple(entries[0].file, entries[0].outcome), std::tuple("a.txt", TOutcome::Delivered));
  EXPECT_FALSE(entries[0].crc32) << "entries made before the checksum was kept have none";
}

// Version 4 rebuilds the journal, which the outbox and the received
// references point to.
TEST(Schema, VersionThreeFileKeepsItsOutboxAndReferencesThroughTheJournalsRebuild) {
  TTempDir dir;
  auto db = Upgraded(dir, 3,
                     "INSERT INTO parties(name, client_id, address, created) VALUES('Bank', 7, x'0100', 'then');"
                     "INSERT INTO journal(id, direction, party, client_id, file, bytes, ref_number, ref_date, "
                     "ref_time, outcome, started) VALUES(5, 'out', 'Bank', 7, 'a.txt', 3, 5, 2, 3, 'queued', 'then'), "
                     "(6, 'in', 'Bank', 7, 'b.txt', 4, 9, 2, 3, 'received', 'then');"
                     "INSERT INTO outbox(journal_id, party, packet, state, queued_at, next_try) "
                     "VALUES(5, 'Bank', x'41', 'queued', 1, 1);"
                     "INSERT INTO received_refs(client_id, ref_number, ref_date, ref_time, journal_id, part, target) "
                     "VALUES(7, 9, 2, 3, 6, 'p', 'in/b.txt');");
  EXPECT_EQ(SchemaVersion(*db), 4);
  const auto waiting = TOutbox(*db).List();
  ASSERT_EQ(waiting.size(), 1u);
  EXPECT_EQ(std::tuple(waiting[0].file, waiting[0].ref.Number), std::tuple("a.txt", 5));
  EXPECT_EQ(TJournal(*db).FindStored(7, TRefPack{9, 2, 3})->target, "in/b.txt");
  EXPECT_THAT(ErrorOf([&] { TStatement(*db, "INSERT INTO outbox(journal_id, party, packet, state, queued_at, "
                                            "next_try) VALUES(99, 'Bank', x'41', 'queued', 1, 1)").Run(); }),
              HasSubstr("FOREIGN KEY")) << "foreign keys are enforced again";
}

// A newer database and a one-byte text file are refused by the program's
// test, which sees them left as they were.
TEST(Schema, FilesItCannotUseAreNamedAndLeftAsTheyWere) {
  TTempDir dir;
  // Something in the way of version 2's new table: all of version 2 is undone.
  auto clash = TDatabase::Open(dir / "clash.db");
  MigrateSchema(*clash, 1);
  ASSERT_FALSE(HasColumn(*clash, "journal", "crc32")) << "version 1 has no checksum yet";
  clash->Exec("CREATE TABLE log(x INTEGER)");
  EXPECT_NE(ErrorOf([&] { MigrateSchema(*clash); }), "<none>");
  EXPECT_EQ(SchemaVersion(*clash), 1);
  EXPECT_FALSE(HasColumn(*clash, "journal", "crc32")) << "half of version 2 was kept";

  // SQLite itself would take a file shorter than its header for an empty
  // database and write over it.
  for (const std::string& content : {std::string(4096, 'x'), std::string("SQLite format 2")}) {
    WriteFile(dir / "text.db", content);
    EXPECT_THAT(ErrorOf([&] { OpenStore(dir / "text.db"); }), HasSubstr("text.db")) << content.size() << " bytes";
    EXPECT_EQ(ReadFile(dir / "text.db"), content);
  }
  WriteFile(dir / "empty.db", "");
  EXPECT_NO_THROW(OpenStore(dir / "empty.db")) << "an empty file is a new database";
}

using ConfigStore = TStoreTest;

// A party removed that is not there is the program's test (`party remove`).
TEST_F(ConfigStore, PartiesAreUniqueByNameAndClientId) {
  TConfigStore config(*db);
  config.AddParty(TParty{"Bank", 2, "addr-bank", {}});
  config.AddParty(TParty{"Agency", 3, "addr-agency", {}});
  EXPECT_THROW(config.AddParty(TParty{"Bank", 9, "x", {}}), EToolError);
  EXPECT_THAT(ErrorOf([&] { config.AddParty(TParty{"Other", 3, "x", {}}); }),
              HasSubstr("client id 3 already belongs to party \"Agency\""));
  EXPECT_THROW(config.AddParty(TParty{"", 4, "x", {}}), EToolError);
  EXPECT_THROW(config.UpdateParty(TParty{"Bank", 3, "x", {}}), EToolError) << "client id of another party";
  EXPECT_TRUE(config.UpdateParty(TParty{"Bank", 4, "new", {}}));
  EXPECT_FALSE(config.UpdateParty(TParty{"Nobody", 8, "x", {}}));

  const auto all = config.Parties();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].name, "Agency") << "listed by name";
  EXPECT_EQ(config.FindPartyByClientId(4)->address, "new");
  EXPECT_FALSE(config.FindPartyByClientId(2));
  EXPECT_TRUE(config.RemoveParty("Bank"));
}

// The program's answers to the gate through libHeron's exports, as the
// gate's threads get them: whom it knows, with what key, and the journal of
// each session's greeting. (That keys reach the far side and refuse or admit
// a call is the program's test.)
struct Admission : TStoreTest {
  TConfigStore config{*db};
  TJournal journal{*db};
  TCoreEvents command;
  std::vector<TLogLine> kept;
  std::function<void(TLogLine)> keep = [this](TLogLine line) { kept.push_back(std::move(line)); };
};

TEST_F(Admission, PartiesGetTheirKeyOthersAreRefusedUnlessAdmittedAndEachGreetingIsJournalled) {
  TPartyKey key;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(7 * i + 1);
  config.AddParty(TParty{"Bank", 2, "a", {}});
  config.AddParty(TParty{"Agency", 3, "b", {}});
  ASSERT_TRUE(config.SetPartyKey("Bank", key));
  ASSERT_TRUE(config.UpdateParty(TParty{"Bank", 4, "new", {}})) << "a changed address keeps the key";
  for (const bool admit : {false, true}) {
    TAdmission admission(command, config, journal, admit);
    TCore core(admission, keep);
    std::array<std::uint8_t, 40> got{};
    EXPECT_EQ(::PartyKeyFromCore(4, got.data(), static_cast<std::int32_t>(got.size())), HERON_KEY_SIZE);
    EXPECT_TRUE(std::equal(key.begin(), key.end(), got.begin()));
    EXPECT_EQ(got[32], 0) << "nothing written beyond the key";
    EXPECT_EQ(::PartyKeyFromCore(4, nullptr, 0), HERON_KEY_SIZE) << "only asked";
    EXPECT_EQ(::PartyKeyFromCore(3, got.data(), HERON_KEY_SIZE), 0);
    EXPECT_EQ(::PartyKeyFromCore(77, got.data(), HERON_KEY_SIZE), admit ? 0 : -1);
  }
  TAdmission admission(command, config, journal, true);
  TCore core(admission, keep);
  ::SessionFromGate(4, HERON_PROGRESS_SEND, HERON_SESSION_KEYED, "");
  ::SessionFromGate(77, HERON_PROGRESS_RECEIVE, HERON_SESSION_REFUSED, "unknown caller");
  const auto entries = journal.List({"", std::nullopt, 0});
  ASSERT_EQ(entries.size(), 2u);
  const auto row = [](const TJournalEntry& e) { return std::tuple(e.direction, e.party, e.outcome, e.detail); };
  EXPECT_EQ(row(entries[0]), std::tuple(TDirection::Out, "Bank", TOutcome::Keyed, ""));
  EXPECT_EQ(row(entries[1]), std::tuple(TDirection::In, "client 77", TOutcome::Refused, "unknown caller"));

  // A database that fails: not known, and the log says why.
  db->Exec("DROP TABLE parties");
  EXPECT_EQ(::PartyKeyFromCore(4, nullptr, 0), -1);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0].error);
  EXPECT_THAT(kept[0].text, AllOf(StartsWith("PartyKeyFromCore: "), HasSubstr("parties")));
}

TEST_F(ConfigStore, TwoConnectionsSeeEachOthersCommits) {
  auto b = OpenStore(dir / "k.db");
  TConfigStore(*db).SetGateSettings(1, "from a");
  EXPECT_EQ(TConfigStore(*b).GateSettings(1), "from a");
  // A writer holding the file for a moment makes the other wait, not fail.
  std::promise<void> holding;
  std::thread holder([&] {
    TTransaction tx(*db);
    TStatement(*db, "INSERT INTO gate_settings(gate_code, block, updated) VALUES(5, x'00', 'now')").Run();
    holding.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // how long the file stays held
    tx.Commit();
  });
  holding.get_future().wait();
  EXPECT_NO_THROW(TConfigStore(*b).SetGateSettings(6, "from b"));
  holder.join();
  EXPECT_TRUE(TConfigStore(*b).GateSettings(5));
}


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
  EXPECT_THAT(Settled(journal, es[0].id), Pair("delivered", ""));
  EXPECT_FALSE(journal.Find(es[0].id)->finished.empty());
  EXPECT_THAT(Settled(journal, es[1].id), Pair("failed", "busy"));
  EXPECT_THAT(Settled(journal, es[2].id), Pair("failed", "interrupted by SIGINT"));
}

TEST_F(Journal, ListingFiltersAndShowsTheNewestOldestFirst) {
  journal.Queue({{"A", 1, "a1", 1, 0}, {"B", 2, "b1", 1, 0}, {"A", 1, "a2", 1, 0}, {"A", 1, "a3", 1, 0}});
  std::vector<std::string> files;
  for (const auto& e : journal.List({"A", std::nullopt, 2})) files.push_back(e.file);
  EXPECT_THAT(files, ElementsAre("a2", "a3"));
  EXPECT_EQ(journal.List({"", TOutcome::Queued, 0}).size(), 4u);
  EXPECT_TRUE(journal.List({"", TOutcome::Delivered, 0}).empty());
}

TEST(RetryPolicy, WaitsDoubleUpToTheCeilingAndDurationsRead) {
  const TRetryPolicy p{60, 300, 0, 0};
  std::vector<std::int64_t> waits;
  for (int attempt = 1; attempt <= 5; ++attempt) waits.push_back(p.Interval(attempt));
  EXPECT_EQ(waits, (std::vector<std::int64_t>{60, 120, 240, 300, 300}));
  const std::pair<const char*, std::optional<std::int64_t>> texts[] = {
      {"90", 90}, {"5m", 300}, {"2h", 7200}, {"3d", 259200}, {"soon", {}}, {"-1", {}}, {"5w", {}}};
  for (const auto& [text, seconds] : texts) EXPECT_EQ(ParseSeconds(text), seconds) << text;
  EXPECT_EQ(SecondsText(5400), "1h30m");
}

struct OutboxStore : Journal {
  TOutbox outbox{*db};
};

TEST_F(OutboxStore, ATryKeepsItsReferenceAndIsRetriedThenGivenUp) {
  const auto es = outbox.Add("B", 2, {{"B", 2, "a.txt", 1, 7}, {"B", 2, "b.txt", 1, 8}}, {"packet a", "packet b"});
  ASSERT_EQ(es.size(), 2u);
  EXPECT_EQ(es[0].ref.Number, es[0].id);
  const std::int64_t now = EpochNow();
  auto claimed = outbox.Claim("B", now);
  ASSERT_EQ(claimed.size(), 2u);
  EXPECT_EQ(std::tuple(claimed[0].packet, claimed[0].attempts), std::tuple("packet a", 1));
  EXPECT_TRUE(outbox.Claim("B", now).empty()) << "claimed once";
  const TRetryPolicy policy{60, 600, 2, 0};
  outbox.Delivered(claimed[0].id);
  EXPECT_THAT(Settled(journal, claimed[0].id), Pair("delivered", ""));
  EXPECT_THAT(outbox.Failed(claimed[1].id, "busy", policy), StartsWith("next try at "));
  EXPECT_THAT(Settled(journal, claimed[1].id), Pair("queued", StartsWith("attempt 1: busy; next try at ")));
  EXPECT_TRUE(outbox.Claim("B", now).empty()) << "not due before its next try";
  EXPECT_EQ(outbox.NextTry(), now + 60);
  claimed = outbox.Claim("B", now + 60);
  ASSERT_EQ(claimed.size(), 1u);
  EXPECT_EQ(std::tuple(claimed[0].ref.Number, claimed[0].ref.Date, claimed[0].ref.Time),
            std::tuple(es[1].ref.Number, es[1].ref.Date, es[1].ref.Time)) << "the first attempt's reference";
  EXPECT_EQ(outbox.Failed(claimed[0].id, "busy again", policy), "given up after 2 attempts");
  EXPECT_THAT(Settled(journal, claimed[0].id), Pair("failed", "busy again; given up after 2 attempts"));
  EXPECT_TRUE(outbox.List().empty());
}

TEST_F(OutboxStore, ADeadSendersDocumentsAreQueuedAgainAndCancelWorksOnWaitingOnes) {
  const auto es = outbox.Add("B", 2, {{"B", 2, "a.txt", 1, 7}, {"B", 2, "b.txt", 1, 8}}, {"a", "b"});
  ASSERT_EQ(outbox.Claim("B", EpochNow()).size(), 2u);
  // As if a process that has ended had claimed the first.
  {
    TTransaction tx(*db);
    TStatement st(*db, "UPDATE outbox SET owner_pid = 2147483000 WHERE journal_id = ?");
    st.Bind(1, es[0].id).Run();
    tx.Commit();
  }
  EXPECT_FALSE(outbox.Cancel(es[1].id, "cancelled")) << "this process sends it";
  EXPECT_EQ(outbox.Recover(), 2) << "at a start nothing is this process's";
  const auto items = outbox.List();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].state, "queued");
  EXPECT_THAT(Settled(journal, es[0].id),
              Pair("queued", HasSubstr("attempt 1 interrupted: the sending process (pid 2147483000)")));
  EXPECT_TRUE(outbox.Cancel(es[0].id, "cancelled"));
  EXPECT_THAT(Settled(journal, es[0].id), Pair("failed", "cancelled"));
  EXPECT_EQ(outbox.List().size(), 1u);
  outbox.SetPolicy("B", {1, 2, 3, 4});
  EXPECT_EQ(outbox.Policy("B").max_age_s, 4);
  EXPECT_EQ(outbox.Policy("C").first_s, TRetryPolicy{}.first_s) << "the default";
}

TEST_F(Journal, AReferenceIsStoredOncePerSendingClient) {
  const TRefPack ref{5, 700000, 1000};
  bool repeat = true;
  const auto first = journal.AddStored("A", 1, "a.txt", 3, 9, ref, ".kestrel-part-1", "/in/a.txt", repeat);
  EXPECT_FALSE(repeat);
  const auto again = journal.AddStored("A", 1, "a.txt", 3, 9, ref, ".kestrel-part-2", "/in/a (2).txt", repeat);
  EXPECT_EQ(std::tuple(repeat, again.journal_id, again.target), std::tuple(true, first.journal_id, "/in/a.txt"));
  (void)journal.AddStored("C", 3, "a.txt", 3, 9, ref, ".kestrel-part-3", "/in/a (2).txt", repeat);
  EXPECT_FALSE(repeat) << "another client's reference";
  EXPECT_EQ(journal.FindStoredByPart(".kestrel-part-1")->target, "/in/a.txt");
  EXPECT_FALSE(journal.FindStoredByPart(".kestrel-part-2"));
  EXPECT_EQ(journal.List({"", TOutcome::Received, 0}).size(), 2u);
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


TLogLine Line(const std::string& text, bool error = false, const std::string& details = "") {
  return TLogLine{"2024-01-01 00:00:00.000", error, "0000ABCD", 1, text, details};
}

std::vector<std::string> Texts(TLogBook& book, TLogFilter filter) {
  std::vector<std::string> texts;
  for (const auto& l : book.List(filter)) texts.push_back(l.text);
  return texts;
}

using LogBook = TStoreTest;

TEST_F(LogBook, FiltersKeepOrderAndLimit) {
  TLogBook book(*db);
  book.Append({Line("one"), Line("two failed", true, "why"), Line("three"), Line("четыре", false, "детали")});
  EXPECT_THAT(Texts(book, {0, false, ""}), ElementsAre("one", "two failed", "three", "четыре"));
  EXPECT_EQ(book.List({0, false, ""}).back().details, "детали");
  EXPECT_THAT(Texts(book, {100, true, ""}), ElementsAre("two failed"));
  EXPECT_THAT(Texts(book, {100, false, "детал"}), ElementsAre("четыре")) << "details are searched too";
  EXPECT_THAT(Texts(book, {2, false, ""}), ElementsAre("three", "четыре"));
}

TEST_F(LogBook, WriterTakesLinesFromManyThreadsAndCountsAFailedWrite) {
  TLogBook book(*db);
  {
    TLogWriter writer(book);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&writer, t] {
        for (int i = 0; i < 250; ++i) writer.Add(Line("t" + std::to_string(t) + " #" + std::to_string(i)));
      });
    for (auto& th : threads) th.join();
    writer.Flush();
    EXPECT_EQ(book.List({0, false, ""}).size(), 1000u) << "Flush returns once every line is written";
    writer.Add(Line("last"));
  }
  EXPECT_THAT(Texts(book, {1, false, ""}), ElementsAre("last")) << "the destructor writes what is left";

  db->Exec("DROP TABLE log");
  TLogWriter writer(book);
  writer.Add(Line("nowhere to go"));
  writer.Flush();
  EXPECT_EQ(writer.Failures(), 1u);
  EXPECT_THAT(writer.LastFailure(), HasSubstr("log"));
}


TEST(Document, DamageIsFoundNotStored) {
  const std::string packet = EncodeDocument("report.pdf", "the report");
  auto with = [&](std::size_t at, char c) { return packet.substr(0, at) + c + packet.substr(at + 1); };
  std::string why;
  const auto decode = [&why](const std::string& bytes) {
    TDocument doc;
    return DecodeDocument(bytes, doc, why);
  };
  // A flipped bit, cut short, longer than it says, its header cut, a name
  // length beyond the packet, another version.
  for (const std::string& bytes : {with(packet.size() - 1, packet.back() ^ 0x01), packet.substr(0, packet.size() - 1),
                                   packet + "x", packet.substr(0, 9), with(5, '\xFF'), with(4, 9)})
    EXPECT_EQ(decode(bytes), TDecodeResult::Damaged) << ::testing::PrintToString(bytes);
  for (const char* bytes : {"plain packet bytes", "", "KDO"}) EXPECT_EQ(decode(bytes), TDecodeResult::NotADocument) << bytes;
  decode(with(packet.size() - 1, packet.back() ^ 0x01));
  EXPECT_THAT(why, HasSubstr("checksum"));
  EXPECT_EQ(Crc32("6789", Crc32("12345")), Crc32("123456789")) << "the checksum continues across pieces";
  EXPECT_THROW(EncodeDocument(std::string(kMaxNameBytes + 1, 'n'), "x"), EToolError) << "overlong name";
  EXPECT_NO_THROW(EncodeDocument(std::string(kMaxNameBytes, 'n'), "x"));
}

TEST(SafeFileName, NoNameLeavesTheFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"../../etc/passwd", "passwd"}, {"..\\..\\boot.ini", "boot.ini"}, {"/abs/path/x.txt", "x.txt"},
      {"..", "document"},             {"dir/", "document"},             {"", "document"},
      {".hidden", "hidden"},  // no hidden files made by a sender
      {"a\nb\tc.txt", "a_b_c.txt"},   {"what?*.txt", "what__.txt"},     {"trailing. . ", "trailing"},
      {"письмо.txt", "письмо.txt"},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeFileName(name), safe) << name;
  const std::string cyr = SafeFileName(std::string(150, 'x') + "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ");
  EXPECT_LE(cyr.size(), 200u);
  EXPECT_EQ((static_cast<unsigned char>(cyr.back()) & 0xC0), 0x80u) << "cut at a character boundary";
  EXPECT_EQ(cyr.size() % 2, 0u);
}

TEST(Inbox, TakenNamesAreNumberedAndNothingIsOverwritten) {
  TTempDir dir;
  TInbox inbox(dir.Path() / "in");
  std::vector<std::string> names;
  for (const auto& [name, content] : {std::pair{"report.txt", "one"}, {"../report.txt", "two"},
                                      {"report.txt", "three"}, {"README", "a"}, {"README", "b"}})
    names.push_back(inbox.Store(name, content).filename().string());
  EXPECT_THAT(names, ElementsAre("report.txt", "report (2).txt", "report (3).txt", "README", "README (2)"));
  EXPECT_EQ(std::tuple(ReadFile(dir / "in/report.txt"), ReadFile(dir / "in/report (3).txt")), std::tuple("one", "three"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path() / "in"), {}), 5)
      << "no temporary file was left";
  EXPECT_EQ(NumberedName(".profile", 2), ".profile (2)");
}

TEST(Inbox, FolderThatCannotBeMadeIsNamed) {
  TTempDir dir;
  WriteFile(dir / "file", "x");
  EXPECT_THAT(ErrorOf([&] { TInbox inbox(dir.Path() / "file" / "in"); }), HasSubstr(dir / "file"));
  EXPECT_THROW(TInbox(dir.Path() / "file"), EToolError) << "a file is no folder";
}

}  // namespace
}  // namespace kestrel::app
