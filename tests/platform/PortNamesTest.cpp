// The COM-number naming rule: which names are COM numbers, and how a number
// reaches a device or a sim line.
#include "platform/PortNames.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Port.h"
#include "platform/SimLine.h"
#include "platform/SysError.h"

namespace kestrel::platform {
namespace {

TEST(PortNames, ComNumbersAreRecognisedInTheWindowsForms) {
  EXPECT_EQ(ComPortNumber("\\\\.\\COM12"), 12);
  EXPECT_EQ(ComPortNumber("COM1"), 1);
  EXPECT_EQ(ComPortNumber("\\\\.\\com255"), 255);
  for (const char* other : {"COM0", "COM256", "COM01", "COM", "COM1x", "\\\\.\\", "/dev/ttyS0", "sim:COM1", "LPT1"})
    EXPECT_FALSE(ComPortNumber(other).has_value()) << other;
}

class PortNamesResolve : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearComPortTargets();
    dir_ = std::filesystem::temp_directory_path() / ("kestrel-com-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    ClearComPortTargets();
    ::unsetenv("KESTREL_COM_DIR");
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
};

TEST_F(PortNamesResolve, TargetThenDirectoryThenSystemDeviceAndTheOpenFollows) {
  EXPECT_EQ(ResolvePortName("\\\\.\\COM3"), "/dev/ttyS2");
  EXPECT_EQ(ResolvePortName("/dev/ttyUSB0"), "/dev/ttyUSB0") << "other names are paths";

  ::setenv("KESTREL_COM_DIR", dir_.c_str(), 1);
  EXPECT_EQ(ResolvePortName("\\\\.\\COM3"), "/dev/ttyS2") << "no com3 entry: fall through";
  // A link whose device is missing still wins, so that the open reports the
  // missing device rather than quietly taking a system port.
  std::filesystem::create_symlink("/dev/kestrel-missing", dir_ / "com3");
  EXPECT_EQ(ResolvePortName("\\\\.\\COM3"), (dir_ / "com3").string());

  EXPECT_TRUE(SetComPortTarget(3, "sim:modem3"));
  EXPECT_EQ(ResolvePortName("COM3"), "sim:modem3");
  EXPECT_TRUE(SetComPortTarget(3, ""));
  EXPECT_EQ(ResolvePortName("COM3"), (dir_ / "com3").string());
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

}  // namespace
}  // namespace kestrel::platform
