// `kestrel ports` run as a person runs it, against simulated modems on
// pseudo-terminals: a modem that answers, a silent one, a link to nothing,
// a port another program holds, and (as an unprivileged user) one this
// user may not open. Real time: the silent modem costs its one second.
#include <unistd.h>

#include <filesystem>

#include "platform/Port.h"
#include "sim/ExchangeRunner.h"
#include "tests/kit/SimRig.h"
#include "tests/tools/ProgramRun.h"
#include "tests/tools/ToolTest.h"

namespace kestrel::app {
namespace {

using namespace testing;
using ::testing::EndsWith;
namespace fs = std::filesystem;

// The line of `port` in the program's output ("" when there is none).
std::string LineOf(const std::string& output, const std::string& port) {
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(port + " ", 0) == 0) return line;
  return {};
}

struct Ports : ::testing::Test {
  TTempDir dir;
  sim::TExchangeRunner runner{kestrel::testing::QuickExchange()};
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
    // The other ports lead nowhere, so that the test never touches the
    // machine's own serial devices.
    for (int n = 3; n <= 16; ++n)
      if (n != 4) fs::create_symlink("/nonexistent/ttyQ" + std::to_string(n), com + "/com" + std::to_string(n));
  }
};

TEST_F(Ports, EachPortSaysWhatItIsAndAnUnusableChannelPortFails) {
  // Another program holds COM4.
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
  EXPECT_FALSE(fs::exists(dir / "none.db"));
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
