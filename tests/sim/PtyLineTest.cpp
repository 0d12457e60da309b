// The pseudo-terminal attach point: its link, bytes both ways, DTR as "the
// slave is open", and a closed slave that must not keep the I/O thread busy.
// Real-time tests: few, with generous time-outs.
#include "platform/Pty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "platform/Event.h"
#include "platform/PtyPeer.h"
#include "tests/sim/TempDir.h"

namespace kestrel::platform {
namespace {

using kestrel::sim::testing::TTempDir;

// Waits until `pred` holds, up to two seconds, woken by the line's activity.
template <typename F>
bool WaitFor(TEvent& activity, F pred) {
  for (int i = 0; i < 40 && !pred(); ++i) {
    activity.WaitFor(50);
    activity.Reset();
  }
  return pred();
}

TEST(PtyLine, LinkPointsAtTheSlaveAndGoesWithTheLine) {
  TTempDir dir;
  const std::string link = dir / "modem1";
  std::string error;
  {
    auto pty = TPtyLine::Create(link, error);
    ASSERT_TRUE(pty) << error;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), pty->SlavePath());
    EXPECT_EQ(pty->SlavePath().rfind("/dev/pts/", 0), 0u);
    EXPECT_FALSE(pty->SlaveOpen());
    // A stale link of an earlier run is replaced.
    auto second = TPtyLine::Create(link, error);
    ASSERT_TRUE(second) << error;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), second->SlavePath());
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << "the link went with its line";

  const std::string file = dir / "not-a-link";
  std::ofstream(file) << "keep me";
  EXPECT_FALSE(TPtyLine::Create(file, error));
  EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

TEST(PtyLine, BytesCrossBothWaysAndDtrFollowsTheOpenSlave) {
  TTempDir dir;
  std::string error;
  TEvent activity;  // before the line, whose thread sets it until the line is gone
  auto pty = TPtyLine::Create(dir / "m", error);
  ASSERT_TRUE(pty) << error;
  pty->SetOnActivity([&] { activity.Set(); });

  auto peer = TPtyPeer::Open(dir / "m", error);
  ASSERT_TRUE(peer) << error;
  ASSERT_TRUE(WaitFor(activity, [&] { return pty->SlaveOpen(); }));
  ASSERT_TRUE(peer->Write("ATZ\r"));
  ASSERT_TRUE(WaitFor(activity, [&] { return pty->Pending() == 4; }));
  char buf[16];
  EXPECT_EQ(std::string(buf, pty->Read(buf, sizeof buf)), "ATZ\r");
  EXPECT_EQ(pty->Write("\r\nOK\r\n", 6), 6u);
  EXPECT_EQ(peer->ReadUntil("OK\r\n", 2000), "\r\nOK\r\n") << "raw mode: no echo, no translation";

  const std::uint32_t closes = pty->SlaveCloses();
  peer->Close();
  ASSERT_TRUE(WaitFor(activity, [&] { return !pty->SlaveOpen(); }));
  EXPECT_EQ(pty->SlaveCloses(), closes + 1);
  EXPECT_EQ(pty->Write("lost", 4), 4u) << "nobody there: dropped";

  peer = TPtyPeer::Open(dir / "m", error);
  ASSERT_TRUE(peer) << error;
  ASSERT_TRUE(WaitFor(activity, [&] { return pty->SlaveOpen(); })) << "the next open is noticed";
  EXPECT_EQ(peer->ReadFor(100), "") << "nothing of the last session is left over";
}

TEST(PtyLine, CloseAndReopenAtOnceStillCountsAsADrop) {
  TTempDir dir;
  std::string error;
  TEvent activity;  // before the line, whose thread sets it until the line is gone
  auto pty = TPtyLine::Create(dir / "m", error);
  ASSERT_TRUE(pty) << error;
  pty->SetOnActivity([&] { activity.Set(); });
  auto peer = TPtyPeer::Open(dir / "m", error);
  ASSERT_TRUE(WaitFor(activity, [&] { return pty->SlaveOpen(); }));
  const std::uint32_t closes = pty->SlaveCloses();
  for (int i = 0; i < 3; ++i) {
    peer.reset();
    peer = TPtyPeer::Open(dir / "m", error);
    ASSERT_TRUE(peer) << error;
  }
  ASSERT_TRUE(WaitFor(activity, [&] { return pty->SlaveCloses() >= closes + 1 && pty->SlaveOpen(); }));
  EXPECT_LE(pty->SlaveCloses(), closes + 3);
}

TEST(PtyLine, ClosedSlaveDoesNotKeepTheThreadBusy) {
  TTempDir dir;
  std::string error;
  TEvent activity;  // before the line, whose thread sets it until the line is gone
  auto pty = TPtyLine::Create(dir / "m", error);
  ASSERT_TRUE(pty) << error;
  pty->SetOnActivity([&] { activity.Set(); });
  {
    auto peer = TPtyPeer::Open(dir / "m", error);
    ASSERT_TRUE(WaitFor(activity, [&] { return pty->SlaveOpen(); }));
  }
  ASSERT_TRUE(WaitFor(activity, [&] { return !pty->SlaveOpen(); }));
  // A closed slave makes the master report a hang-up without end; a thread
  // that kept polling it would wake thousands of times in this pause.
  const std::uint64_t before = pty->Wakeups();
  TEvent never;
  never.WaitFor(300);
  EXPECT_LE(pty->Wakeups() - before, 4u);
}

TEST(PtyLine, WithoutOpenNotificationsANewOpenIsFoundByLooking) {
  TTempDir dir;
  std::string error;
  TEvent activity;
  TPtyLine::TOptions options;
  options.watch_opens = false;
  auto pty = TPtyLine::Create(dir / "m", error, options);
  ASSERT_TRUE(pty) << error;
  pty->SetOnActivity([&] { activity.Set(); });
  auto peer = TPtyPeer::Open(dir / "m", error);
  ASSERT_TRUE(WaitFor(activity, [&] { return pty->SlaveOpen(); }));
  peer.reset();
  ASSERT_TRUE(WaitFor(activity, [&] { return !pty->SlaveOpen(); })) << "a close is seen at once: the master is watched";
  const std::uint64_t before = pty->Wakeups();
  TEvent never;
  never.WaitFor(300);
  EXPECT_LE(pty->Wakeups() - before, 6u) << "about one look every 100 ms";
  peer = TPtyPeer::Open(dir / "m", error);
  ASSERT_TRUE(WaitFor(activity, [&] { return pty->SlaveOpen(); }));
}

}  // namespace
}  // namespace kestrel::platform
