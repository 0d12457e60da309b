// The command line: what each command takes, and the usage errors found
// before anything is opened. (A send with its party, files and global
// options is the program's test.)
#include <cstdlib>
#include <sstream>

#include "platform/ProcessEnv.h"
#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Options.h"

namespace kestrel::app {
namespace {

using namespace testing;

struct TParsed {
  int rc = 0;
  TOptions options;
  std::string out, err;
};

TParsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "kestrel");
  TParsed p;
  std::ostringstream out, err;
  p.rc = ParseOptions(args, p.options, out, err);
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(Options, UsageErrorsEndWithCodeTwoAndHelpWithZeroEverywhere) {
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{}, 2, "subcommand"},
      {{"send", "a.txt"}, 2, "--to"},
      {{"send", "--to", "Bank"}, 2, "files"},
      {{"--gate-code", "40000", "journal"}, 2, "gate-code"},
      {{"settings"}, 2, "subcommand"},
      {{"settings", "set"}, 2, "nothing to change"},
      {{"settings", "set", "--remove-port", "17"}, 2, "remove-port"},
      {{"party", "add", "Bank", "--phone", "102"}, 2, "--client-id is required"},
      {{"journal", "--outcome", "lost"}, 2, "outcome"},
      {{"demo", "--rate", "100"}, 2, "rate"},
      {{"sim", "-n", "0"}, 2, "modems"},
      {{"--help"}, 0, "Usage"},
      {{"send", "--help"}, 0, "Usage"},
      {{"party", "add", "--help"}, 0, "Usage"},
      {{"demo", "--help"}, 0, "Usage"},
      {{"settings", "set", "--help"}, 0, "Usage"},
  };
  for (const auto& [args, rc, expected] : cases) {
    const auto p = Parse(args);
    EXPECT_EQ(p.rc, rc) << ::testing::PrintToString(args);
    EXPECT_THAT(rc == 0 ? p.out : p.out + p.err, HasSubstr(expected));
  }
}

// The commands the program's test does not run.
TEST(Options, EachSubcommandIsItsCommand) {
  const std::pair<std::vector<std::string>, TCommand> cases[] = {
      {{"settings", "show"}, TCommand::SettingsShow}, {{"settings", "edit"}, TCommand::SettingsEdit},
      {{"address", "show"}, TCommand::AddressShow},   {{"address", "edit"}, TCommand::AddressEdit},
      {{"party", "list"}, TCommand::PartyList},
  };
  for (const auto& [args, command] : cases) {
    const auto p = Parse(args);
    ASSERT_EQ(p.rc, -1) << args[0] << ": " << p.err;
    EXPECT_EQ(p.options.command, command) << args[0];
  }
  EXPECT_EQ(Parse({"sim", "--numbers", "201,202"}).options.sim.numbers.size(), 2u);
  EXPECT_EQ(Parse({"log"}).options.limit, 100) << "the log shows more lines by default than the journal";
  EXPECT_EQ(Parse({"journal"}).options.limit, 50);
  EXPECT_FALSE(Parse({"settings", "set", "--progress", "no"}).options.show_progress.value());
}

TEST(Options, AddressOptionsAreKeptAsGiven) {
  const auto p =
      Parse({"party", "add", "Bank", "--client-id", "7", "--phone", "101", "--phone", "8 (800) 555", "--ports", "1-3",
             "--pulse", "--dial-timeout", "45", "--restore-tries", "0", "--param", "DataWaitTimeOut=2:00", "--edit"});
  ASSERT_EQ(p.rc, -1) << p.err;
  const TAddressOptions& a = p.options.address;
  EXPECT_EQ(p.options.party, "Bank");
  EXPECT_EQ(a.client_id, 7);
  EXPECT_EQ(a.phones, (std::vector<std::string>{"101", "8 (800) 555"}));
  EXPECT_EQ(a.ports, "1-3");
  EXPECT_EQ(a.tone, false);
  EXPECT_EQ(a.dial_timeout, "45");
  EXPECT_EQ(a.restore_tries, 0);
  EXPECT_EQ(a.params, std::vector<std::string>{"DataWaitTimeOut=2:00"});
  EXPECT_TRUE(a.edit);
  EXPECT_TRUE(Parse({"party", "add", "Bank", "--update", "--tone"}).options.party_update);
}

TEST(Options, DefaultDatabaseFollowsTheDataDirectory) {
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old != nullptr ? old : "";
  platform::SetEnvironmentVariable("XDG_DATA_HOME", "/data/home");
  EXPECT_EQ(DefaultDatabasePath(), "/data/home/kestrel/kestrel.db");
  EXPECT_EQ(DefaultInboxPath(), "/data/home/kestrel/inbox");
  platform::SetEnvironmentVariable("XDG_DATA_HOME", "relative/is/ignored");
  EXPECT_NE(DefaultDatabasePath().find("/.local/share/kestrel/kestrel.db"), std::string::npos);
  platform::SetEnvironmentVariable("XDG_DATA_HOME", saved);
}

}  // namespace
}  // namespace kestrel::app
