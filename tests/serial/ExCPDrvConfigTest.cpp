// TCommPortDriver: a closed port, setters and clamps, connecting and disconnecting.
#include <gtest/gtest.h>

#include <termios.h>

#include <tuple>

#include "platform/PortNames.h"
#include "tests/serial/DriverFixtures.h"

namespace kestrel::serial::testing {
namespace {

TEST(CommPortDriver, AClosedPortAnswersAtOnceWithNothing) {
  TTestDriver d;
  // No counts, no lines, nothing written but an empty text.
  EXPECT_EQ(std::tuple(d.CountRX(), d.OutFreeSpace(), d.GetLineStatus().Empty(), d.FlushBuffers(true, true),
                       d.ApplyCommSettings(), d.SendDataEx("AT\r", 3, 100), d.SendString(""), d.SendString("AT\r")),
            std::tuple(65535u, 65535u, true, false, false, 0u, true, false));
  bool timed_out = true, lost = true;
  std::uint32_t elapsed = 7;
  char buf[4];
  EXPECT_EQ(d.ReadData(buf, sizeof buf, timed_out, elapsed, true, lost), 0u);
  EXPECT_EQ(std::tuple(timed_out, lost, elapsed), std::tuple(false, false, 0u));
  d.Disconnect();
  EXPECT_EQ(d.disconnects, 0);
  d.KillThrdTimer();
  EXPECT_FALSE(d.PollThreadRunning());
}

TEST(CommPortDriver, PortNumberNamesThePortAndCustomKeepsTheName) {
  TCommPortDriver d;
  const auto port = [&] { return std::pair(d.Port(), d.PortName()); };
  d.SetPort(TPortNumber::pnCOM12);
  d.SetPort(TPortNumber::pnCustom);
  EXPECT_EQ(port(), std::pair(TPortNumber::pnCustom, std::string("\\\\.\\COM12")));
  d.SetPortName("/dev/ttyUSB3");
  EXPECT_EQ(port(), std::pair(TPortNumber::pnCustom, std::string("/dev/ttyUSB3")));
  d.SetPort(TPortNumber::pnCOM1);
  EXPECT_EQ(port(), std::pair(TPortNumber::pnCOM1, std::string("\\\\.\\COM1")));
}

TEST(CommPortDriver, BufferSizesPollingDelayAndRatesAreClampedOrKeptUsable) {
  TCommPortDriver d;
  // Queues of 128 to 8192 bytes, a poll every 5 ms at the most.
  const struct {
    std::uint32_t size, size_kept;
    std::uint16_t delay, delay_kept;
  } cases[] = {{50, 128, 0, 5}, {10000, 8192, 70, 70}, {1000, 1000, 5, 5}};
  for (const auto& c : cases) {
    d.SetInBufSize(c.size);
    d.SetOutBufSize(c.size);
    d.SetPollingDelay(c.delay);
    EXPECT_EQ(std::tuple(d.InBufSize(), d.OutBufSize(), d.PollingDelay()),
              std::tuple(c.size_kept, c.size_kept, c.delay_kept))
        << c.size;
  }

  d.SetBaudRate(TBaudRate::br56000);
  EXPECT_EQ(d.BaudRateValue(), 56000u);
  d.SetBaudRateValue(9600);
  EXPECT_EQ(std::pair(d.BaudRate(), d.BaudRateValue()), std::pair(TBaudRate::brCustom, 9600u))
      << "any value makes the rate custom";
  d.SetBaudRate(TBaudRate::brCustom);
  d.SetBaudRate(static_cast<TBaudRate>(40));  // no such ordinal: the rate stays usable
  EXPECT_EQ(d.BaudRateValue(), 9600u);
}

TEST(CommPortDriver, ConnectReportsTheOpenErrorAndASuccessClearsIt) {
  TSimFarEnd far;
  TTestDriver d("sim:no-such-line"), first(far.PortName());
  const auto error = [&] { return std::pair(d.LastErrorCode(), d.LastErrorMsg().empty()); };
  EXPECT_FALSE(d.Connect());
  EXPECT_EQ(error(), std::pair(2u, false));
  ASSERT_TRUE(first.Connect());
  d.SetPortName(far.PortName());
  EXPECT_FALSE(d.Connect()) << "the port is in use";
  EXPECT_EQ(error(), std::pair(platform::kErrorBusy, false));
  first.Disconnect();

  ASSERT_TRUE(d.Connect());
  EXPECT_EQ(error(), std::pair(0u, true));
  const auto handle = d.Handle();
  const TNotifyThread* thread = d.Thread();
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(d.Connect()) << "connecting when connected changes nothing";
  EXPECT_EQ(std::pair(d.Handle(), d.Thread()), std::pair(handle, thread));
}

TEST(CommPortDriver, FailedSettingsCloseThePortThroughTheOverride) {
  TSimFarEnd far;
  TTestDriver d(far.PortName());
  d.SetDataBits(static_cast<TDataBits>(7));  // a damaged record: 12 data bits
  EXPECT_FALSE(d.Connect());
  EXPECT_EQ(d.LastErrorCode(), platform::kErrorInvalidParameter);
  EXPECT_EQ(d.disconnects, 1);
  EXPECT_FALSE(far.Line().GateOpen());
  EXPECT_FALSE(d.PollThreadRunning());
}

TEST(CommPortDriver, WhileConnectedLinesFollowTheSettingsAndPortAndQueueSizesStay) {
  TSimFarEnd far;
  platform::TSimLine& line = far.Line();
  TTestDriver d(far.PortName());
  ASSERT_TRUE(d.Connect());
  EXPECT_TRUE(line.DTR());
  EXPECT_TRUE(line.RTS()) << "hfNONERTSON holds RTS on";
  d.SetHwFlow(THwFlowControl::hfNONE);
  EXPECT_FALSE(line.RTS()) << "applied at once";
  d.SetHwFlow(THwFlowControl::hfRTSCTS);
  EXPECT_TRUE(line.RTS());

  d.SetPort(TPortNumber::pnCOM5);
  d.SetPortName("/dev/other");
  d.SetInBufSize(4096);
  d.SetOutBufSize(4096);
  EXPECT_EQ(std::pair(d.Port(), d.PortName()), std::pair(TPortNumber::pnCustom, far.PortName()));
  // The transmit queue has the configured size.
  EXPECT_EQ(std::tuple(d.InBufSize(), d.OutBufSize(), d.OutFreeSpace()), std::tuple(2048u, 2048u, 2048u));

  d.Disconnect();
  EXPECT_EQ(d.disconnects, 1);
  EXPECT_FALSE(line.GateOpen());
  EXPECT_FALSE(line.DTR());
  EXPECT_FALSE(d.PollThreadRunning());

  // Again through a COM number mapped to the line, and without DTR.
  ASSERT_TRUE(platform::SetComPortTarget(9, far.PortName()));
  d.SetPort(TPortNumber::pnCOM9);
  d.EnableDTR = false;
  EXPECT_TRUE(d.Connect());
  EXPECT_FALSE(line.DTR());
  platform::SetComPortTarget(9, "");
}

// How the driver's settings become the device's: its part, the termios
// mapping itself, is the port layer's test.
TEST(CommPortDriver, SettingsReachTheTerminalAtOnceWhileConnected) {
  TPtyFarEnd pty;
  TCommPortDriver d;
  d.SetPortName(pty.PortName());
  d.SetBaudRate(TBaudRate::br19200);
  ASSERT_TRUE(d.Connect()) << d.LastErrorCode();
  const auto device = [&] {
    termios t{};
    EXPECT_EQ(::tcgetattr(pty.Master(), &t), 0);
    return std::tuple(::cfgetospeed(&t), t.c_cflag & (CSTOPB | CRTSCTS | PARODD), t.c_iflag & (IXON | IXOFF),
                      t.c_cc[VSTART], t.c_cc[VSTOP]);
  };
  EXPECT_EQ(std::get<0>(device()), static_cast<speed_t>(B19200));
  EXPECT_EQ(std::get<1>(device()) | std::get<2>(device()), 0u);

  d.SetBaudRate(TBaudRate::br115200);
  d.SetStopBits(TStopBits::sb2BITS);
  d.SetHwFlow(THwFlowControl::hfRTSCTS);
  d.SetSwFlow(TSwFlowControl::sfXONXOFF);
  d.SetParity(TParity::ptODD);
  EXPECT_EQ(device(), std::tuple(static_cast<speed_t>(B115200), static_cast<tcflag_t>(CSTOPB | CRTSCTS | PARODD),
                                 static_cast<tcflag_t>(IXON | IXOFF), cc_t{17}, cc_t{19}));
}

TEST(CommPortDriver, ThreadTimerChangesTheRunningPollAndPollingDelayRestartsIt) {
  TSimFarEnd far;
  TTestDriver d(far.PortName());
  ASSERT_TRUE(d.Connect());
  const TNotifyThread* before = d.Thread();
  d.SetPollingDelay(50);  // unchanged: nothing happens
  d.SetThrdTimer(300);
  EXPECT_EQ(d.Thread(), before) << "a running thread only changes its interval";
  EXPECT_EQ(d.Thread()->Interval.load(), 300u);
  d.SetPollingDelay(2);
  ASSERT_NE(d.Thread(), nullptr);
  EXPECT_EQ(d.Thread()->Interval.load(), 5u);
  EXPECT_TRUE(d.Thread()->Enabled.load());
  d.KillThrdTimer();
  EXPECT_FALSE(d.PollThreadRunning());
  d.KillThrdTimer();
}

}  // namespace
}  // namespace kestrel::serial::testing
