// `kestrel listen` stopped with SIGTERM, as the service manager stops it,
// while a document is on the line: it ends promptly and cleanly, and every
// document the sender was told is delivered lies whole in the inbox. Real
// time over pseudo-terminals at 115 200 bit/s.
#include <chrono>
#include <filesystem>
#include <map>

#include "sim/ExchangeRunner.h"
#include "tests/kit/SimRig.h"
#include "tests/tools/ProgramRun.h"
#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Journal.h"

namespace kestrel::app {
namespace {

using namespace testing;

TEST(ListenStop, SigtermWhileADocumentTravelsEndsCleanlyAndLosesNothing) {
  TTempDir dir;
  sim::TExchangeRunner runner{kestrel::testing::QuickExchange()};
  std::string error;
  for (const auto& [side, number] : {std::pair{"a", "101"}, std::pair{"b", "102"}}) {
    std::filesystem::create_directories(dir.Path() / side);
    ASSERT_NE(runner.AddPtyModem(dir / (std::string(side) + "/com1"), {.number = number}, error), sim::kNoModem)
        << error;
  }
  runner.Start();
  auto side = [&](const std::string& s, std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", dir / (s + ".db"), "--com-dir", dir / s});
    return args;
  };
  for (const auto& [s, client] : {std::pair{"a", "1"}, std::pair{"b", "2"}}) {
    ASSERT_EQ(RunKestrel(side(s, {"settings", "set", "--channel", "port=1,baud=115200"})).code, 0);
    ASSERT_EQ(RunKestrel(side(s, {"address", "set", "--client-id", client, "--ports", "1"})).code, 0);
  }
  ASSERT_EQ(RunKestrel(side("a", {"party", "add", "B", "--client-id", "2", "--phone", "102", "--ports", "1",
                                  "--restore-tries", "0"}))
                .code,
            0);
  const std::vector<std::pair<std::string, std::string>> files = {{"small.txt", "small\n"},
                                                                  {"big.bin", std::string(150000, 'k')}};
  std::vector<std::string> send = {"send", "--to", "B", "--timeout", "30"};
  for (const auto& [name, content] : files) {
    WriteFile(dir / name, content);
    send.push_back(dir / name);
  }

  TRunningKestrel listener(side("b", {"listen", "--into", dir / "inbox"}));
  ASSERT_TRUE(listener.WaitForLine("listening", 20000)) << listener.Output();
  TRunningKestrel sender(side("a", send));
  ASSERT_TRUE(listener.WaitForLine("received small.txt", 30000)) << listener.Output();
  // The big one is on its way (about 13 s at this rate) when the stop comes.
  const auto stop_at = std::chrono::steady_clock::now();
  EXPECT_EQ(listener.Stop(), 0) << listener.Output();
  EXPECT_LT(std::chrono::steady_clock::now() - stop_at, std::chrono::seconds(10)) << "a prompt stop";
  EXPECT_THAT(listener.Output(), HasSubstr("stopping: interrupted by SIGTERM"));
  EXPECT_EQ(sender.Wait(60000), 1) << sender.Output();

  const auto journal = TJournal(*OpenStore(dir / "a.db")).List({"", std::nullopt, 0});
  ASSERT_EQ(journal.size(), files.size());
  std::map<std::string, TOutcome> outcome;
  for (const auto& entry : journal) outcome[entry.file] = entry.outcome;
  EXPECT_EQ(outcome["small.txt"], TOutcome::Delivered);
  EXPECT_EQ(ReadFile(dir / "inbox/small.txt"), files[0].second);
  EXPECT_EQ(outcome["big.bin"], TOutcome::Failed) << "the stop cut it off, and the sender knows";
  EXPECT_FALSE(std::filesystem::exists(dir / "inbox/big.bin")) << "no part of it is kept";
}

}  // namespace
}  // namespace kestrel::app
