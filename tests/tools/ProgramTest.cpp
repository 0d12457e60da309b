// The kestrel program as separate processes: a listening one and a sending
// one dialling each other through the simulated exchange over
// pseudo-terminals, and the errors a person meets, each with its exit code
// and with nothing half-written in the database; a listener stopped as the
// service manager stops it; callers let in by their parties' keys only; and
// `kestrel ports` against simulated modems.
// Real time: each side's COM1 is a pseudo-terminal, the line runs at
// 115 200 bit/s.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <set>

#include "platform/Port.h"
#include "platform/PtyPeer.h"
#include "sim/ExchangeRunner.h"
#include "tests/kit/Program.h"
#include "tests/kit/SimRig.h"
#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Journal.h"

namespace kestrel::app {
namespace {

using namespace testing;
using ::testing::_, ::testing::ContainerEq, ::testing::EndsWith, ::testing::IsEmpty, ::testing::Not, ::testing::Pair;
using kestrel::testing::QuickExchange;
namespace fs = std::filesystem;
using TEnv = kestrel::testing::TProgram::TEnv;

// The kestrel program run as its own process, as a person runs it: with
// arguments and the gate library of this build (unless the arguments name
// one), its output collected line by line as it comes.
struct TRunningKestrel : kestrel::testing::TProgram {
  explicit TRunningKestrel(std::vector<std::string> args, const TEnv& env = {})
      : TProgram(
            [&] {
              if (std::find(args.begin(), args.end(), "--gate-library") == args.end())
                args.insert(args.begin(), {"--gate-library", KESTREL_LIBRARY_PATH});
              args.insert(args.begin(), KESTREL_PROGRAM);
              return args;
            }(),
            env) {}
};

// A `kestrel listen` that has said it listens; a test whose listener never
// does ends there, with what it printed.
struct TListener : TRunningKestrel {
  explicit TListener(std::vector<std::string> args, const TEnv& env) : TRunningKestrel(std::move(args), env) {
    if (!WaitForLine("listening", 20000)) throw std::runtime_error("no \"listening\" line within 20 s:\n" + Output());
  }
};

struct TProgramResult {
  int code = -1;  // -1: killed after its time ran out
  std::string output;
};

// Runs it to its end, for at most `timeout_ms`.
TProgramResult RunKestrel(const std::vector<std::string>& args, const TEnv& env = {},
                          std::uint32_t timeout_ms = 60000) {
  TRunningKestrel program(args, env);
  TProgramResult result{program.Wait(timeout_ms), program.Output()};
  if (result.code == -1) result.output += "(killed: no end within the test's time)\n";
  return result;
}

// Two sides, each with its database and its COM1 on a simulated modem:
// "a" (client 1, number 101) and "b" (client 2, number 102), each knowing
// the other as a party, which a broken call is not restored to. Lines run at
// `rate` bit/s.
struct Program : ::testing::Test {
  explicit Program(std::uint32_t rate = 115200) : runner(QuickExchange(rate)) {}
  TTempDir dir;
  // How often each modem went on hook (the exchange's thread counts them).
  std::mutex mutex;
  std::condition_variable hung_up;
  std::map<sim::TModemId, int> hang_ups;
  std::map<std::string, sim::TModemId> modem_of;  // per side
  sim::TExchangeRunner runner;

  void SetUp() override {
    std::string error;
    for (const auto& [side, number] : {std::pair{"a", "101"}, std::pair{"b", "102"}}) {
      std::filesystem::create_directories(dir.Path() / side);
      modem_of[side] = runner.AddPtyModem(dir / (std::string(side) + "/com1"), {.number = number}, error);
      ASSERT_NE(modem_of[side], sim::kNoModem) << error;
    }
    runner.SetEventSink([this](const sim::TExchangeEvent& e) {
      if (e.kind != sim::TExchangeEvent::TKind::kHangUp) return;
      std::lock_guard lock(mutex);
      ++hang_ups[e.modem];
      hung_up.notify_all();
    });
    runner.Start();
    Configure("a", 1, "B", 2, "102");
    Configure("b", 2, "A", 1, "101");
  }

  std::vector<std::string> Side(const std::string& side, std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", DbOf(side), "--com-dir", dir / side});
    return args;
  }
  std::string DbOf(const std::string& side) { return dir / (side + ".db"); }
  // Waits up to 10 s until `side`'s modem has gone on hook `count` times in
  // all: a call ends for the far end a little after its caller has hung up,
  // and until then a new call finds the line busy.
  bool LineFree(const std::string& side, int count) {
    std::unique_lock lock(mutex);
    return hung_up.wait_for(lock, std::chrono::seconds(10), [&] { return hang_ups[modem_of[side]] >= count; });
  }
  // `side` listening, with `options`, into the folder `inbox`.
  TListener Listen(const std::string& side, const std::string& inbox = "inbox", const TEnv& env = {},
                   std::vector<std::string> options = {}) {
    options.insert(options.begin(), "listen");
    options.insert(options.end(), {"--into", dir / inbox});
    return TListener(Side(side, options), env);
  }
  // Runs `args` on `side`, which should end with `code` within `timeout_ms`.
  TProgramResult Run(const std::string& side, const std::vector<std::string>& args, int code = 0,
                     std::uint32_t timeout_ms = 60000) {
    auto r = RunKestrel(Side(side, args), {}, timeout_ms);
    EXPECT_EQ(r.code, code) << ::testing::PrintToString(args) << "\n" << r.output;
    return r;
  }
  void Configure(const std::string& side, int client, const std::string& party, int party_client,
                 const std::string& phone) {
    Run(side, {"settings", "set", "--channel", "port=1,baud=115200,alias=Test line"});
    Run(side, {"address", "set", "--client-id", std::to_string(client), "--ports", "1"});
    Run(side, {"party", "add", party, "--client-id", std::to_string(party_client), "--phone", phone, "--ports", "1",
               "--tone", "--restore-timeout", "5", "--restore-tries", "0"});
  }
  // `args` with each of `files` written into the test's folder and named last.
  std::vector<std::string> WithFiles(std::vector<std::string> args,
                                     const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [name, content] : files) {
      WriteFile(dir / name, content);
      args.push_back(dir / name);
    }
    return args;
  }
  // Both sides' last log lines, which say why a call failed.
  std::string Logs() {
    return RunKestrel(Side("a", {"log", "-n", "40"})).output + RunKestrel(Side("b", {"log", "-n", "40"})).output;
  }
  // The files in `folder` by name.
  std::map<std::string, std::string> FilesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir / folder)) files[e.path().filename()] = ReadFile(e.path());
    return files;
  }
  // The journal's entries of documents, or (`sessions`) those of sessions' greetings.
  std::vector<TJournalEntry> JournalOf(const std::string& side, bool sessions = false) {
    auto entries = TJournal(*OpenStore(DbOf(side))).List({"", std::nullopt, 0});
    std::erase_if(entries, [&](const TJournalEntry& e) { return IsSessionOutcome(e.outcome) != sessions; });
    return entries;
  }
};

TEST_F(Program, DocumentsCrossBetweenASendingAndAListeningProcess) {
  std::string big(40000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
  const std::vector<std::pair<std::string, std::string>> files = {
      {"big.bin", big}, {"note.txt", "hello\n"}, {"счёт.csv", "a;b\n1;2\n"}};
  auto listener = Listen("b");

  const auto sent = RunKestrel(Side("a", WithFiles({"send", "--to", "B", "--timeout", "40"}, files)));
  EXPECT_EQ(sent.code, 0) << sent.output << Logs();
  EXPECT_THAT(sent.output, HasSubstr("delivered 3 of 3 documents"));
  EXPECT_EQ(listener.Stop(), 0) << listener.Output();
  EXPECT_THAT(listener.Output(), HasSubstr("received 3 documents"));

  for (const auto& [name, content] : files) EXPECT_TRUE(ReadFile(dir / ("inbox/" + name)) == content) << name;
  const auto out = JournalOf("a"), in = JournalOf("b");
  ASSERT_EQ(std::pair(out.size(), in.size()), std::pair(std::size_t{3}, std::size_t{3}));
  for (std::size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(std::tuple(out[i].outcome, out[i].party), std::tuple(TOutcome::Delivered, "B")) << out[i].detail;
    // The sender is known by its client id; its reference and checksum travel with the packet.
    EXPECT_EQ(std::tuple(in[i].direction, in[i].outcome, in[i].party, in[i].ref.Number, in[i].crc32),
              std::tuple(TDirection::In, TOutcome::Received, "A", out[i].ref.Number, out[i].crc32)) << in[i].file;
  }
  // The log holds the gate's lines, with their thread.
  EXPECT_THAT(RunKestrel(Side("a", {"log", "--grep", "MDMGATE.StartTransmit", "-n", "2"})).output,
              AllOf(HasSubstr("MDMGATE.StartTransmit:(Начало функции)"), HasSubstr("] MDMGATE")));
}

TEST_F(Program, UndeliverableDocumentsEndFailedInTheJournal) {
  WriteFile(dir / "x.txt", "x");
  // One try: given up at once, not kept for a retry. (A call that gets
  // nowhere given up so is the keys' test; a busy number, the modem's.)
  Run("a", {"party", "retry", "B", "--attempts", "1"});

  // A missing device and a busy port are named with their device: side a's
  // database with a COM1 that links to nothing, then with side b's COM1,
  // which b's listener holds (and the system's busy code).
  std::filesystem::create_directories(dir.Path() / "nodev");
  std::filesystem::create_symlink("/nonexistent/ttyQ", dir.Path() / "nodev" / "com1");
  auto holder = Listen("b");
  for (const auto& [com, also] : {std::pair{"nodev", ""}, {"b", "16"}}) {
    const auto r = RunKestrel({"--db", DbOf("a"), "--com-dir", dir / com, "send", "--to", "B", dir / "x.txt"});
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_THAT(r.output, AllOf(HasSubstr("COM1 (" + (dir / com) + "/com1)"), HasSubstr(also)));
  }
  EXPECT_EQ(holder.Stop(), 0);

  const auto journal = JournalOf("a");
  ASSERT_EQ(journal.size(), 2u);
  for (const auto& e : journal) EXPECT_THAT(std::pair(e.outcome, e.detail), Pair(TOutcome::Failed, Not(IsEmpty())));
  EXPECT_THAT(RunKestrel(Side("a", {"journal", "--outcome", "failed"})).output, HasSubstr("x.txt"));
}

TEST_F(Program, StoppedSendKeepsWhatIsStillOpenInTheOutbox) {
  WriteFile(dir / "x.txt", "x");
  // Nobody listens on 102: the call rings until it is stopped.
  TRunningKestrel sender(Side("a", {"-v", "send", "--to", "B", dir / "x.txt"}));
  // Verbose, it shows the gate's log: the document has been handed over.
  ASSERT_TRUE(sender.WaitForLine("gate: MDMGATE.SendToGate:(Конец функции)", 20000)) << sender.Output();
  ASSERT_EQ(JournalOf("a").at(0).outcome, TOutcome::Queued);
  EXPECT_EQ(sender.Stop(), 1) << sender.Output();
  const auto journal = JournalOf("a");
  ASSERT_EQ(journal.size(), 1u);
  EXPECT_EQ(journal[0].outcome, TOutcome::Queued) << "it waits for its next try";
  EXPECT_THAT(journal[0].detail, StartsWith("attempt 1: interrupted by SIGTERM; next try at "));
  EXPECT_THAT(RunKestrel(Side("a", {"outbox"})).output, HasSubstr("interrupted by SIGTERM"));
}

// SIGTERM, as the service manager stops `kestrel listen`, while a document
// is on the line: a prompt, clean end, and every document the sender was
// told is delivered lies whole in the inbox.
TEST_F(Program, ListenerStoppedWhileADocumentTravelsLosesNothing) {
  const std::vector<std::pair<std::string, std::string>> files = {{"small.txt", "small\n"},
                                                                  {"big.bin", std::string(150000, 'k')}};
  auto listener = Listen("b");
  TRunningKestrel sender(Side("a", WithFiles({"send", "--to", "B", "--timeout", "30"}, files)));
  // The small one acknowledged, the big one on its way (about 13 s at this
  // rate) when the stop comes.
  ASSERT_TRUE(sender.WaitForLine("delivered small.txt", 30000)) << sender.Output();
  const auto stop_at = std::chrono::steady_clock::now();
  EXPECT_EQ(listener.Stop(), 0) << listener.Output();
  EXPECT_LT(std::chrono::steady_clock::now() - stop_at, std::chrono::seconds(10)) << "a prompt stop";
  EXPECT_THAT(listener.Output(), HasSubstr("stopping: interrupted by SIGTERM"));
  EXPECT_EQ(sender.Wait(60000), 1) << sender.Output();

  std::map<std::string, TOutcome> outcome;
  for (const auto& entry : JournalOf("a")) outcome[entry.file] = entry.outcome;
  EXPECT_EQ(outcome, (std::map<std::string, TOutcome>{{"big.bin", TOutcome::Queued}, {"small.txt", TOutcome::Delivered}}))
      << "the cut one waits in the outbox for its next try";
  EXPECT_EQ(ReadFile(dir / "inbox/small.txt"), files[0].second);
  EXPECT_FALSE(fs::exists(dir / "inbox/big.bin")) << "no part of the cut one is kept";
}

TEST_F(Program, BadInputIsOneLineWithNothingHalfWritten) {
  WriteFile(dir / "x.txt", "x");
  OpenStore(dir / "newer.db")->Exec("PRAGMA user_version = 99");
  // Settings whose last channel was removed: nothing can be called or answered.
  Run("b", {"settings", "set", "--remove-port", "1"});
  const std::string no_channel = "kestrel: no modem channel is configured for gate code 1 in " + DbOf("b");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {Side("a", {"send", "--to", "Nobody", dir / "x.txt"}), "kestrel: no party named \"Nobody\" in " + DbOf("a")},
      {Side("a", {"send", "--to", "B", dir / "x.txt", dir / "missing.txt"}),
       "kestrel: cannot read " + (dir / "missing.txt")},
      {Side("a", {"party", "remove", "Nobody"}), "kestrel: no party named \"Nobody\""},
      {Side("a", {"party", "add", "B", "--client-id", "9"}), "kestrel: party \"B\" already exists"},
      {{"--db", dir / "x.txt", "journal"}, "kestrel: database " + (dir / "x.txt")},
      // A newer database is refused before anything runs. (A file that is no
      // gate library is named by the loader, in its own test.)
      {{"--db", dir / "newer.db", "journal"}, "kestrel: database " + (dir / "newer.db") + ": schema version 99 is newer"},
      {Side("b", {"send", "--to", "A", dir / "x.txt"}), no_channel},
      {Side("b", {"listen", "--into", dir / "in"}), no_channel},
  };
  for (const auto& [args, says] : cases) {
    const auto r = RunKestrel(args);
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_THAT(r.output, StartsWith(says));
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
  }
  EXPECT_TRUE(JournalOf("a").empty()) << "nothing was queued";
  EXPECT_TRUE(JournalOf("b").empty());
  EXPECT_EQ(ReadFile(dir / "x.txt"), "x");
}

// The outbox's exactly-once runs: side a sends 20 documents to B while one
// side is killed (SIGKILL) at moments drawn at random (the seed is printed on
// failure), and restarted. B fails a broken call at once and is retried
// after 1 s, then 2 s.
struct Outbox : Program {
  static constexpr int kDocuments = 20;
  std::vector<std::pair<std::string, std::string>> docs;
  std::vector<std::string> send_args = {"send", "--to", "B"};
  unsigned seed = std::random_device{}();
  std::mt19937 random{seed};

  void SetUp() override {
    Program::SetUp();
    if (HasFatalFailure()) return;
    Run("a", {"party", "add", "B", "--update", "--dial-timeout", "5"});
    Run("a", {"party", "retry", "B", "--first", "1", "--ceiling", "2", "--attempts", "0", "--max-age", "0"});
    for (int i = 0; i < kDocuments; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "doc%02d.txt", i);
      docs.emplace_back(name, std::string(1200 + 50 * i, static_cast<char>('a' + i)) + name);
    }
    send_args = WithFiles(send_args, docs);
  }
  std::uint32_t Moment(std::uint32_t from_ms, std::uint32_t to_ms) {
    return std::uniform_int_distribution<std::uint32_t>(from_ms, to_ms)(random);
  }
  std::size_t CountIn(const std::string& side, const char* table) {
    auto db = OpenStore(DbOf(side));
    TTransaction tx(*db, TTransaction::TKind::Read);
    TStatement st(*db, std::string("SELECT count(*) FROM ") + table);
    return st.Step() ? static_cast<std::size_t>(st.Int(0)) : 0;
  }
  // Whether a `send` of the documents or a `run` has said its last line.
  static bool Ended(TRunningKestrel& sender) {
    if (sender.WaitForLine("run ends: ", 0)) return true;
    for (int n = 0; n <= kDocuments; ++n)
      if (sender.WaitForLine("delivered " + std::to_string(n) + " of ", 0)) return true;
    return false;
  }
  // Every document lies once in the inbox, byte for byte, and both journals
  // say it went once: the sender's entry delivered, the receiver's one
  // "received" entry with the sender's reference (repeats acknowledged only).
  // Returns how many repeats the receiver acknowledged without storing.
  int ExpectEachDeliveredOnce() {
    EXPECT_EQ(CountIn("a", "outbox"), 0u) << "the outbox is empty";
    EXPECT_THAT(FilesIn("inbox"), ContainerEq(std::map<std::string, std::string>(docs.begin(), docs.end())))
        << "each whole, no copies, no partial files";
    // Entries per reference (number, date, time) and file.
    std::map<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::string>, int> sent, received;
    for (const auto& e : JournalOf("a")) {
      EXPECT_EQ(e.outcome, TOutcome::Delivered) << e.file << ": " << e.detail;
      ++sent[{e.ref.Number, e.ref.Date, e.ref.Time, e.file}];
    }
    EXPECT_EQ(sent.size(), docs.size()) << "one entry per document, however often tried";
    int repeats = 0;
    for (const auto& e : JournalOf("b")) {
      repeats += e.outcome == TOutcome::Repeated ? 1 : 0;
      if (e.outcome == TOutcome::Repeated) continue;
      EXPECT_EQ(e.outcome, TOutcome::Received) << e.file << ": " << e.detail;
      ++received[{e.ref.Number, e.ref.Date, e.ref.Time, e.file}];
    }
    EXPECT_EQ(received, sent) << "each stored once, under the first attempt's reference";
    std::cout << "repeats acknowledged without storing: " << repeats << "\n";
    return repeats;
  }
};

TEST_F(Outbox, SenderKilledAtRandomMomentsDeliversEachDocumentOnce) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  // The listener waits a little between storing and acknowledging, so that
  // a kill on its "received" line lands before the sender hears of it.
  auto listener = Listen("b", "inbox", {{"KESTREL_TEST_ACK_DELAY_MS", "50"}});
  constexpr int kRounds = 10;
  int killed = 0;
  for (int round = 0; round < kRounds; ++round) {
    // The first round sends; the others deliver what waits.
    TRunningKestrel sender(Side("a", round == 0 ? send_args : std::vector<std::string>{"run", "--until-empty"}));
    if (round == 0) {
      // Killed once the documents are in the outbox (before that, nothing is kept).
      ASSERT_TRUE(sender.WaitForLine("outbox: " + std::to_string(kDocuments) + " documents kept for", 20000))
          << sender.Output();
      ASSERT_EQ(CountIn("a", "outbox"), static_cast<std::size_t>(kDocuments)) << sender.Output();
    }
    // Odd rounds: the moment the listener has stored a document, before its
    // acknowledgement reaches the sender. Even ones: at random from its start
    // (loading the gate, recovering, dialling) into the transfer. Either way
    // after two more documents at the latest, so that ten rounds find work.
    std::size_t stored = 0;  // so far
    while (listener.WaitForLine("received doc", 0, stored + 1)) ++stored;
    std::uint32_t moment = 0;
    if (round % 2 == 1) {
      listener.WaitForLine("received doc", 15000, stored + Moment(1, 2));
    } else {
      moment = Moment(0, 3000);
      listener.WaitForLine("received doc", moment, stored + 2);
    }
    const bool was_killed = sender.Wait(0) == -1;
    killed += was_killed ? 1 : 0;
    std::cout << "round " << round << ": " << (was_killed ? "killed" : "ended")
              << (round % 2 == 1 ? " on a store" : " at " + std::to_string(moment) + " ms or two stores") << ", "
              << CountIn("a", "outbox") << " wait\n";
    if (CountIn("a", "outbox") == 0) break;
  }
  std::cout << "sender killed " << killed << " times\n";
  Run("a", {"run", "--until-empty"}, 0, 120000);  // delivers everything waiting
  EXPECT_EQ(listener.Stop(), 0) << listener.Output();
  ExpectEachDeliveredOnce();
}

TEST_F(Outbox, ReceiverKilledAtRandomMomentsStoresEachDocumentOnce) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  const auto t0 = std::chrono::steady_clock::now();
  auto ms = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  };
  std::unique_ptr<TRunningKestrel> sender;
  constexpr int kRounds = 8;
  for (int round = 0; round < kRounds; ++round) {
    // Even rounds die on their own between storing a document and
    // acknowledging it (or between recording and placing it); odd ones are
    // killed at a random moment.
    TEnv env;
    std::string fault;
    const auto waiting = static_cast<std::uint32_t>(CountIn("a", "outbox"));
    if (round % 2 == 0) {
      fault = std::string(round % 4 == 0 ? "die-after-store:" : "die-after-commit:") +
              std::to_string(Moment(1, std::clamp(waiting, 1u, 3u)));
      env.push_back({"KESTREL_TEST_FAULT", fault});
    }
    auto listener = Listen("b", "inbox", env);
    // The first sender sends; when one has ended, another delivers what waits.
    if (sender && Ended(*sender)) {
      EXPECT_NE(sender->Wait(10000), -1) << sender->Output();
      sender.reset();
    }
    if (!sender)
      sender = std::make_unique<TRunningKestrel>(
          Side("a", round == 0 ? send_args : std::vector<std::string>{"run", "--until-empty"}));
    const std::uint32_t moment = Moment(300, 3000);
    const int code = listener.Wait(round % 2 == 0 ? 15000 : moment);
    std::cout << "round " << round << " at " << ms() << " ms: " << (fault.empty() ? "killed at " + std::to_string(moment) : fault)
              << " -> " << code << ", " << CountIn("a", "outbox") << " wait\n";
    EXPECT_TRUE(round % 2 == 1 || code != 0) << "it died at its fault, ending with " << code << "\n" << listener.Output();
    if (CountIn("a", "outbox") == 0) break;
  }
  // The last sender ends with what it could not deliver left waiting.
  if (sender) {
    TRunningKestrel listener(Side("b", {"listen", "--into", dir / "inbox"}));
    EXPECT_NE(sender->Wait(60000), -1) << sender->Output();
  }
  std::cout << "sender ended at " << ms() << " ms\n";
  auto listener = Listen("b");
  Run("a", {"run", "--until-empty"}, 0, 120000);  // delivers everything waiting
  std::cout << "rest delivered at " << ms() << " ms\n";
  EXPECT_EQ(listener.Stop(), 0) << listener.Output();
  EXPECT_GE(ExpectEachDeliveredOnce(), 1) << "a listener that died before acknowledging gets the document again";
}

// The receiving side's disk is full (a test-only quota on its inbox, see
// Inbox.h, which fails a write with ENOSPC as a full file system does): the
// documents are refused with nothing kept there, wait in the sender's outbox,
// and arrive once there is room again.
TEST_F(Outbox, FullDiskRefusesCleanlyAndDeliversOnceThereIsRoom) {
  fs::create_directories(dir / "inbox");
  WriteFile(dir / "inbox/filler.bin", std::string(61500, 'f'));
  docs.resize(3);
  send_args.resize(3 + docs.size());
  auto listener = Listen("b", "inbox", {{"KESTREL_TEST_INBOX_QUOTA", "62000"}});
  EXPECT_THAT(Run("a", send_args, 1).output, HasSubstr("3 documents wait in the outbox"));
  EXPECT_THAT(listener.Output(), HasSubstr("No space left on device"));
  EXPECT_TRUE(JournalOf("b").empty()) << "nothing is kept of a refused document";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "inbox"), fs::directory_iterator()), 1) << "no partial file";

  fs::remove(dir / "inbox/filler.bin");
  Run("a", {"run", "--until-empty"}, 0, 120000);  // delivers everything waiting
  EXPECT_EQ(listener.Stop(), 0) << listener.Output();
  ExpectEachDeliveredOnce();
}

// `kestrel listen --deliver`: one process answers calls and delivers its
// outbox over the same line.
TEST_F(Outbox, ListenDeliverAnswersAndSends) {
  // Nobody answers yet: the call is ended after a second, the document waits.
  Run("a", {"send", "--to", "B", "--timeout", "1", dir / "doc00.txt"}, 1);
  auto b = Listen("b");
  auto a = Listen("a", "inbox-a", {}, {"--deliver"});
  EXPECT_TRUE(b.WaitForLine("received doc00.txt", 30000)) << a.Output() << b.Output();
  EXPECT_TRUE(a.WaitForLine("call to B: 1 delivered", 30000)) << a.Output();
  EXPECT_EQ(b.Stop(), 0) << b.Output();
  // And it answers.
  Run("b", {"send", "--to", "A", dir / "doc01.txt"});
  EXPECT_TRUE(a.WaitForLine("received doc01.txt", 10000)) << a.Output();
  EXPECT_EQ(a.Stop(), 0) << a.Output();
  EXPECT_EQ(ReadFile(dir / "inbox/doc00.txt"), docs[0].second);
  EXPECT_EQ(ReadFile(dir / "inbox-a/doc01.txt"), docs[1].second);
  EXPECT_EQ(CountIn("a", "outbox"), 0u);
}

// `kestrel outbox`: what waits, why, and when; a cancel gives it up.
TEST_F(Outbox, WaitingDocumentsAreListedAndCanBeCancelled) {
  Run("a", {"party", "retry", "B", "--first", "10m", "--ceiling", "1h", "--attempts", "3"});
  // Nobody answers at 102.
  EXPECT_THAT(Run("a", {"send", "--to", "B", dir / "doc00.txt", dir / "doc01.txt"}, 1).output,
              HasSubstr("next try at"));
  EXPECT_THAT(Run("a", {"outbox"}).output,
              AllOf(HasSubstr("doc00.txt"), HasSubstr("doc01.txt"), HasSubstr("2 documents wait")));
  const auto journal = JournalOf("a");
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_THAT(std::pair(journal[0].outcome, journal[0].detail), Pair(TOutcome::Queued, HasSubstr("attempt 1: ")));
  // Not due for ten minutes: a run finds nothing to do.
  EXPECT_THAT(Run("a", {"run", "--once"}).output, HasSubstr("run ends: 2 documents wait in the outbox"));
  EXPECT_THAT(Run("a", {"outbox", "cancel", std::to_string(journal[0].id), "999"}, 1).output,
              HasSubstr("not cancelled 999"));
  EXPECT_THAT(std::pair(JournalOf("a")[0].outcome, JournalOf("a")[0].detail),
              Pair(TOutcome::Failed, HasSubstr("cancelled")));
  EXPECT_THAT(Run("a", {"party", "retry", "B"}).output,
              HasSubstr("first retry after 10m, doubling up to 1h; given up after 3 attempts"));
}

// Parties' keys: a listener answers only its parties (unless it admits
// unknown callers), and one that shares a key with the caller's party lets
// it in only when the caller proves it holds the same key. Each greeting is
// one journal entry on both sides; nothing of a refused caller is stored.
// The line runs at 2 764 800 bit/s, so that many documents cross in good time.
struct PartyKeys : Program {
  PartyKeys() : Program(2764800) {}

  // "<party> <outcome>: <detail>" of each greeting in `side`'s journal.
  std::vector<std::string> SessionsOf(const std::string& side) {
    std::vector<std::string> out;
    for (const auto& e : JournalOf(side, true))
      out.push_back(e.party + " " + OutcomeName(e.outcome) + (e.detail.empty() ? "" : ": " + e.detail));
    return out;
  }
};

TEST_F(PartyKeys, OnlyPartiesHoldingTheSharedKeyGetInAndTheirDocumentsCrossSealed) {
  WriteFile(dir / "x.txt", "x");
  // A refused call is not dialled again, and its document is given up.
  Run("a", {"party", "retry", "B", "--attempts", "1"});
  auto listener = Listen("b");
  std::map<std::string, std::size_t> refusals;  // lines seen per caller
  int calls = 0;
  const auto refused = [&](const std::string& caller) {
    const auto r = Run("a", {"send", "--to", "B", "--timeout", "30", dir / "x.txt"}, 1);
    const bool told = r.output.find("FAILED x.txt (1 bytes): no session: ") != std::string::npos;
    const bool heard = listener.WaitForLine("refused a call from " + caller + ": ", 10000, ++refusals[caller]);
    const bool free = LineFree("b", ++calls);
    // On failure, both gates' last log lines say why.
    EXPECT_TRUE(told && heard && free) << "caller told why: " << told << ", listener says so: " << heard
                                       << ", its line free again: " << free << "\n"
                                       << r.output << listener.Output() << Logs();
  };
  // A client id that is none of b's parties'.
  Run("a", {"address", "set", "--client-id", "77"});
  refused("client 77");
  Run("a", {"address", "set", "--client-id", "1"});
  // b shares a key with A, which a does not hold; then a holds another one.
  const std::string generated = Run("b", {"party", "key", "A", "--generate"}).output;
  const std::string key = generated.substr(generated.find('\n') + 1, 64);  // its own line, printed once
  ASSERT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos) << generated;
  EXPECT_THAT(Run("b", {"party", "list"}).output, AllOf(HasSubstr("A  client 1  keyed"), Not(HasSubstr(key))));
  refused("A");
  Run("a", {"party", "key", "B", "--set", (key[0] == '0' ? "1" : "0") + key.substr(1)});
  refused("A");

  EXPECT_TRUE(JournalOf("b").empty()) << "nothing of a refused caller is stored";
  EXPECT_THAT(SessionsOf("b"), ElementsAre("client 77 refused: unknown caller", StartsWith("A refused: "),
                                           StartsWith("A refused: ")));
  EXPECT_THAT(SessionsOf("a"), ElementsAre(StartsWith("B refused: "), StartsWith("B refused: "),
                                           StartsWith("B refused: ")));
  const auto journal = RunKestrel(Side("b", {"journal"}));
  EXPECT_THAT(journal.output, AllOf(HasSubstr("(call answered)"), HasSubstr("refused    unknown caller")));

  // The same key on both sides: 200 documents of 1 B to 256 KiB, sizes spread
  // evenly over their orders of magnitude, from a fixed seed.
  Run("a", {"party", "key", "B", "--set", key});
  std::mt19937 random(18);
  std::uniform_real_distribution<double> magnitude(0, std::log(256.0 * 1024));
  std::vector<std::pair<std::string, std::string>> docs;
  for (int i = 0; i < 200; ++i) {
    std::string content(static_cast<std::size_t>(std::llround(std::exp(magnitude(random)))), '\0');
    for (char& c : content) c = static_cast<char>(random());
    char name[16];
    std::snprintf(name, sizeof name, "doc%03d.bin", i);
    docs.emplace_back(name, content);
  }
  const auto sent = RunKestrel(Side("a", WithFiles({"send", "--to", "B", "--timeout", "240"}, docs)), {}, 300000);
  EXPECT_EQ(sent.code, 0) << sent.output.substr(0, 2000);
  EXPECT_THAT(sent.output, HasSubstr("delivered 200 of 200 documents"));
  const auto inbox = FilesIn("inbox");
  EXPECT_TRUE(inbox == std::map(docs.begin(), docs.end())) << inbox.size() << " files, each intact and once";
  std::set<std::int32_t> refs;
  for (const auto& e : JournalOf("b")) {
    EXPECT_EQ(std::tuple(e.outcome, e.party), std::tuple(TOutcome::Received, "A")) << e.file;
    refs.insert(e.ref.Number);
  }
  EXPECT_EQ(refs.size(), 200u) << "one entry each";
  EXPECT_THAT(SessionsOf("a"), ElementsAre(_, _, _, "B keyed"));
  EXPECT_THAT(SessionsOf("b"), ElementsAre(_, _, _, "A keyed"));
  EXPECT_EQ(listener.Stop(), 0) << listener.Output();

  // A listener that admits unknown callers serves them unkeyed.
  ASSERT_TRUE(LineFree("b", calls + 1));
  auto open = Listen("b", "inbox-open", {}, {"--accept-unknown"});
  Run("a", {"address", "set", "--client-id", "77"});
  Run("a", {"party", "key", "B", "--remove"});
  Run("a", {"send", "--to", "B", "--timeout", "30", dir / "x.txt"});
  EXPECT_EQ(open.Stop(), 0) << open.Output();
  EXPECT_EQ(ReadFile(dir / "inbox-open/x.txt"), "x");
  const auto received = JournalOf("b");
  ASSERT_EQ(received.size(), 201u);
  EXPECT_EQ(std::tuple(received.back().file, received.back().party), std::tuple("x.txt", "client 77"));
  EXPECT_THAT(SessionsOf("b"), ElementsAre(_, _, _, _, "client 77 unkeyed"));
}

TEST(ProgramSim, ModemsAnswerOnTheirLinksUntilStopped) {
  TTempDir dir;
  TRunningKestrel sim({"sim", "--numbers", "201,202", "-d", dir / "sim", "--rate", "9600"});
  ASSERT_TRUE(sim.WaitForLine("sim: 2 modems at 9600 bit/s", 20000)) << sim.Output();
  std::string error;
  auto terminal = platform::TPtyPeer::Open(dir / "sim/201/com1", error);
  ASSERT_TRUE(terminal) << error;
  ASSERT_TRUE(terminal->Write("ATE0\r"));
  EXPECT_THAT(terminal->ReadUntil("OK", 5000), HasSubstr("OK"));
  ASSERT_TRUE(terminal->Write("ATDT202\r"));
  EXPECT_TRUE(sim.WaitForLine("201 dials 202", 5000)) << sim.Output();
  terminal->Close();
  EXPECT_EQ(sim.Stop(), 0) << sim.Output();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.Path() / "sim/201/com1")))
      << "the links go with the modems";
}

TEST(ProgramMonitor, WindowOpensOffscreenAndClosesOnStop) {
#ifndef KESTREL_HAS_FORMS_PLUGIN
  GTEST_SKIP() << "no forms plugin in this build";
#else
  TTempDir dir;
  TRunningKestrel monitor({"--db", dir / "k.db", "monitor"}, {{"QT_QPA_PLATFORM", "offscreen"}});
  ASSERT_TRUE(monitor.WaitForLine("the monitor window is open", 20000)) << monitor.Output();
  EXPECT_EQ(monitor.Stop(), 0) << monitor.Output();
  // Without any display the window cannot be made, and the program says so.
  const auto r = RunKestrel({"--db", dir / "k.db", "monitor"},
                            {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, 20000);
  EXPECT_EQ(r.code, 1) << r.output;
  EXPECT_THAT(r.output, HasSubstr("kestrel: the monitor window did not open"));
#endif
}

// `kestrel ports`: COM1 a modem that answers, COM2 a silent one, COM4 one
// another program may hold, and every other port a link to nothing, so that
// the test never touches the machine's own serial devices.
struct Ports : ::testing::Test {
  TTempDir dir;
  sim::TExchangeRunner runner{QuickExchange()};
  std::string com = dir / "com";

  void SetUp() override {
    fs::create_directories(com);
    std::string error;
    ASSERT_NE(runner.AddPtyModem(com + "/com1", {.number = "101"}, error), sim::kNoModem) << error;
    sim::TModemSetup silent{.number = "102"};
    silent.faults.dead = true;
    ASSERT_NE(runner.AddPtyModem(com + "/com2", silent, error), sim::kNoModem) << error;
    ASSERT_NE(runner.AddPtyModem(com + "/com4", {.number = "104"}, error), sim::kNoModem) << error;
    runner.Start();
    for (int n = 3; n <= 16; ++n)
      if (n != 4) fs::create_symlink("/nonexistent/ttyQ" + std::to_string(n), com + "/com" + std::to_string(n));
  }
  // The line of `port` in the program's output ("" when there is none).
  static std::string LineOf(const std::string& output, const std::string& port) {
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
      if (line.rfind(port + " ", 0) == 0) return line;
    return {};
  }
};

TEST_F(Ports, EachPortSaysWhatItIsAndAnUnusableChannelPortFails) {
  const platform::TPortHandle held = platform::PortOpen(com + "/com4");
  ASSERT_NE(held, platform::kInvalidPortHandle);
  const std::string db = dir / "k.db";
  for (const char* channel : {"port=1", "port=3"})
    ASSERT_EQ(RunKestrel({"--db", db, "settings", "set", "--channel", channel}).code, 0);

  const auto r = RunKestrel({"--db", db, "--com-dir", com, "ports", "--probe"});
  EXPECT_EQ(r.code, 1) << "COM3, a channel's port, is missing\n" << r.output;
  const std::string pts1 = fs::read_symlink(com + "/com1").string();
  EXPECT_THAT(LineOf(r.output, "COM1"), AllOf(HasSubstr("channel"), HasSubstr(com + "/com1 -> " + pts1),
                                             HasSubstr("exists, may open, free; modem answers OK, ATI: 336")));
  EXPECT_THAT(LineOf(r.output, "COM2"), HasSubstr("free; no answer to AT within 1 s"));
  EXPECT_THAT(LineOf(r.output, "COM3"), AllOf(HasSubstr("channel"), HasSubstr("/nonexistent/ttyQ3"), EndsWith("missing")));
  EXPECT_THAT(LineOf(r.output, "COM4"), HasSubstr("busy: another program holds it"));
  EXPECT_THAT(r.output, HasSubstr("gate code 1: channel ports unusable: COM3 missing"));
  ASSERT_TRUE(platform::PortClose(held));

  // Without the missing channel, the same machine passes; no probe, no modem asked.
  ASSERT_EQ(RunKestrel({"--db", db, "settings", "set", "--remove-port", "3"}).code, 0);
  const auto ok = RunKestrel({"--db", db, "--com-dir", com, "ports"});
  EXPECT_EQ(ok.code, 0) << ok.output;
  EXPECT_THAT(LineOf(ok.output, "COM1"), EndsWith("exists, may open, free"));
  EXPECT_THAT(LineOf(ok.output, "COM4"), EndsWith("free")) << "its holder let it go";
  EXPECT_THAT(ok.output, HasSubstr("gate code 1: the channels' ports (COM1) are usable"));
  EXPECT_EQ(RunKestrel({"--db", dir / "none.db", "--com-dir", com, "ports"}).code, 0);
  EXPECT_FALSE(fs::exists(dir / "none.db")) << "the check makes no database";
}

TEST_F(Ports, APortThisUserMayNotOpenGetsTheGroupToJoin) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the device to group dialout and drop to nobody";
  // As a serial device is on Debian: root:dialout, 0660.
  const std::string pts1 = fs::read_symlink(com + "/com1").string();
  ASSERT_EQ(std::system(("chgrp dialout " + pts1 + " && chmod 0660 " + pts1).c_str()), 0);
  // A copy of the program (and the core it links) that nobody may run,
  // wherever the build lies.
  const fs::path bin = dir.Path() / "bin";
  fs::create_directories(bin);
  fs::copy_file(KESTREL_PROGRAM, bin / "kestrel");
  fs::copy_file(HERON_LIBRARY_PATH, bin / "libHeron.so.0");
  fs::permissions(dir.Path(), fs::perms(0755));
  kestrel::testing::TProgram nobody({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                     bin / "kestrel", "--db", dir / "none.db", "--com-dir", com, "ports"},
                                    {{"LD_LIBRARY_PATH", bin.string()}});
  EXPECT_EQ(nobody.Wait(30000), 0) << "no channel is configured\n" << nobody.Output();
  EXPECT_THAT(LineOf(nobody.Output(), "COM1"),
              HasSubstr("exists, no permission (owner root, group dialout, mode 0660): add nobody to group dialout "
                        "(sudo usermod -aG dialout nobody), then log in again"));
}

}  // namespace
}  // namespace kestrel::app
