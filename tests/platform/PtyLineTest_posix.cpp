// The posix attach points of a COM number: the naming rule that takes a
// number to a device, a link folder or a sim line, and the pseudo-terminal a
// terminal program opens: its link, bytes both ways, DTR as "the slave is
// open", and a closed slave that must not keep the I/O thread busy.
// Real-time tests: few, with generous time-outs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>

#include "platform/Event.h"
#include "platform/Port.h"
#include "platform/PortNames.h"
#include "platform/Pty.h"
#include "platform/PtyPeer.h"
#include "platform/SimLine.h"
#include "platform/SysError.h"
#include "tests/kit/TempDir.h"

namespace kestrel::platform {
namespace {
class PortNamesResolve : public ::testing::Test {
 protected:
  void SetUp() override { ClearComPortTargets(); }
  void TearDown() override {
    ClearComPortTargets();
    ::unsetenv("KESTREL_COM_DIR");
  }
  kestrel::testing::TTempDir dir_;
};

TEST_F(PortNamesResolve, TargetThenDirectoryThenSystemDeviceAndTheOpenFollows) {
  EXPECT_EQ(ResolvePortName("\\\\.\\COM3"), "/dev/ttyS2");
  EXPECT_EQ(ResolvePortName("/dev/ttyUSB0"), "/dev/ttyUSB0") << "other names are paths";

  ::setenv("KESTREL_COM_DIR", dir_.Path().c_str(), 1);
  EXPECT_EQ(ResolvePortName("\\\\.\\COM3"), "/dev/ttyS2") << "no com3 entry: fall through";
  // A link whose device is missing still wins, so that the open reports the
  // missing device rather than quietly taking a system port.
  std::filesystem::create_symlink("/dev/kestrel-missing", dir_ / "com3");
  EXPECT_EQ(ResolvePortName("\\\\.\\COM3"), dir_ / "com3");

  EXPECT_TRUE(SetComPortTarget(3, "sim:modem3"));
  EXPECT_EQ(ResolvePortName("COM3"), "sim:modem3");
  EXPECT_TRUE(SetComPortTarget(3, ""));
  EXPECT_EQ(ResolvePortName("COM3"), dir_ / "com3");
  EXPECT_FALSE(SetComPortTarget(0, "x"));
  EXPECT_FALSE(SetComPortTarget(256, "x"));

  auto line = TSimLine::Create("names-com7");
  ASSERT_TRUE(line);
  ASSERT_TRUE(SetComPortTarget(7, "sim:names-com7"));
  const TPortHandle port = PortOpen("\\\\.\\COM7");
  ASSERT_NE(port, kInvalidPortHandle);
  EXPECT_TRUE(line->GateOpen());
  EXPECT_TRUE(PortClose(port));
  EXPECT_EQ(PortOpen("\\\\.\\COM3"), kInvalidPortHandle) << "the link to a missing device";
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

namespace fs = std::filesystem;

class PtyLine : public ::testing::Test {
 protected:
  // The line behind the link "m", telling its activity to the test.
  void Create(TPtyLine::TOptions options = {}) {
    pty_ = TPtyLine::Create(dir_ / "m", error_, options);
    ASSERT_TRUE(pty_) << error_;
    pty_->SetOnActivity([this] { activity_.Set(); });
  }
  // A terminal program's open of the link.
  std::unique_ptr<TPtyPeer> Open() {
    auto peer = TPtyPeer::Open(dir_ / "m", error_);
    EXPECT_TRUE(peer) << error_;
    return peer;
  }
  // Waits until `pred` holds, up to two seconds, woken by the line's activity.
  template <typename F>
  bool WaitFor(F pred) {
    for (int i = 0; i < 40 && !pred(); ++i) {
      activity_.WaitFor(50);
      activity_.Reset();
    }
    return pred();
  }
  // How often the line's thread woke during 300 ms of quiet.
  std::uint64_t WakeupsIn300Ms() {
    const std::uint64_t before = pty_->Wakeups();
    TEvent().WaitFor(300);
    return pty_->Wakeups() - before;
  }

  kestrel::testing::TTempDir dir_;
  std::string error_;
  TEvent activity_;  // before the line, whose thread sets it until the line is gone
  std::unique_ptr<TPtyLine> pty_;
};

TEST_F(PtyLine, LinkPointsAtTheSlaveAndGoesWithTheLine) {
  const std::string link = dir_ / "m";
  Create();
  EXPECT_EQ(fs::read_symlink(link).string(), pty_->SlavePath());
  EXPECT_EQ(pty_->SlavePath().rfind("/dev/pts/", 0), 0u);
  EXPECT_FALSE(pty_->SlaveOpen());
  // A stale link of an earlier run is replaced.
  auto second = TPtyLine::Create(link, error_);
  ASSERT_TRUE(second) << error_;
  EXPECT_EQ(fs::read_symlink(link).string(), second->SlavePath());
  pty_.reset();
  second.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link went with its line";

  const std::string file = dir_ / "not-a-link";
  std::ofstream(file) << "keep me";
  EXPECT_FALSE(TPtyLine::Create(file, error_));
  EXPECT_NE(error_.find("not a symbolic link"), std::string::npos) << error_;
  EXPECT_TRUE(fs::is_regular_file(file));
}

TEST_F(PtyLine, BytesCrossBothWaysAndDtrFollowsTheOpenSlave) {
  Create();
  auto peer = Open();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(WaitFor([&] { return pty_->SlaveOpen(); }));
  ASSERT_TRUE(peer->Write("ATZ\r"));
  ASSERT_TRUE(WaitFor([&] { return pty_->Pending() == 4; }));
  char buf[16];
  EXPECT_EQ(std::string(buf, pty_->Read(buf, sizeof buf)), "ATZ\r");
  EXPECT_EQ(pty_->Write("\r\nOK\r\n", 6), 6u);
  EXPECT_EQ(peer->ReadUntil("OK\r\n", 2000), "\r\nOK\r\n") << "raw mode: no echo, no translation";

  const std::uint32_t closes = pty_->SlaveCloses();
  peer->Close();
  ASSERT_TRUE(WaitFor([&] { return !pty_->SlaveOpen(); }));
  EXPECT_EQ(pty_->SlaveCloses(), closes + 1);
  EXPECT_EQ(pty_->Write("lost", 4), 4u) << "nobody there: dropped";
  EXPECT_LE(WakeupsIn300Ms(), 4u) << "a closed slave's endless hang-up must not keep the thread polling";

  peer = Open();
  ASSERT_TRUE(peer);
  ASSERT_TRUE(WaitFor([&] { return pty_->SlaveOpen(); })) << "the next open is noticed";
  EXPECT_EQ(peer->ReadFor(100), "") << "nothing of the last session is left over";
}

TEST_F(PtyLine, CloseAndReopenAtOnceStillCountsAsADrop) {
  Create();
  auto peer = Open();
  ASSERT_TRUE(WaitFor([&] { return pty_->SlaveOpen(); }));
  const std::uint32_t closes = pty_->SlaveCloses();
  // The I/O thread may read the close and the open in one batch or in two,
  // and see the hang-up between them or not: every round is one drop.
  for (std::uint32_t round = 1; round <= 40; ++round) {
    peer.reset();
    ASSERT_TRUE(peer = Open());
    ASSERT_TRUE(WaitFor([&] { return pty_->SlaveCloses() >= closes + round && pty_->SlaveOpen(); }))
        << "round " << round << ": " << pty_->SlaveCloses() - closes << " drops seen";
  }
  TEvent().WaitFor(300);  // time for a drop counted twice to show
  EXPECT_EQ(pty_->SlaveCloses(), closes + 40);
}

TEST_F(PtyLine, AnotherProgramsOpenAndCloseWhileTheSlaveIsHeldDropNothing) {
  Create();
  auto holder = Open();
  ASSERT_TRUE(WaitFor([&] { return pty_->SlaveOpen(); }));
  const std::uint32_t closes = pty_->SlaveCloses();
  for (int i = 0; i < 3; ++i) Open().reset();  // a program that looks at the port and leaves
  auto late = Open();
  TEvent().WaitFor(300);  // time for a drop counted wrongly to show
  EXPECT_EQ(pty_->SlaveCloses(), closes);
  EXPECT_TRUE(pty_->SlaveOpen());
  late.reset();
  holder.reset();
  ASSERT_TRUE(WaitFor([&] { return !pty_->SlaveOpen(); })) << "the last close drops DTR";
  EXPECT_EQ(pty_->SlaveCloses(), closes + 1);
}

TEST_F(PtyLine, WithoutOpenNotificationsANewOpenIsFoundByLooking) {
  TPtyLine::TOptions options;
  options.watch_opens = false;
  Create(options);
  auto peer = Open();
  ASSERT_TRUE(WaitFor([&] { return pty_->SlaveOpen(); }));
  peer.reset();
  ASSERT_TRUE(WaitFor([&] { return !pty_->SlaveOpen(); })) << "a close is seen at once: the master is watched";
  EXPECT_LE(WakeupsIn300Ms(), 6u) << "about one look every 100 ms";
  peer = Open();
  ASSERT_TRUE(WaitFor([&] { return pty_->SlaveOpen(); }));
}

}  // namespace
}  // namespace kestrel::platform
