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
  d.SetPort(TPortNumber::pnCOM12);
  EXPECT_EQ(d.PortName(), "\\\\.\\COM12");
  d.SetPort(TPortNumber::pnCustom);
  EXPECT_EQ(d.Port(), TPortNumber::pnCustom);
  EXPECT_EQ(d.PortName(), "\\\\.\\COM12");
  d.SetPortName("/dev/ttyUSB3");
  EXPECT_EQ(d.Port(), TPortNumber::pnCustom);
  EXPECT_EQ(d.PortName(), "/dev/ttyUSB3");
  d.SetPort(TPortNumber::pnCOM1);
  EXPECT_EQ(d.PortName(), "\\\\.\\COM1");
}

TEST(CommPortDriver, BufferSizesPollingDelayAndRatesAreClampedOrKeptUsable) {
  TCommPortDriver d;
  for (const auto& [value, in_size] : {std::pair{50u, 128u}, {10000u, 8192u}, {1000u, 1000u}}) {
    d.SetInBufSize(value);
    EXPECT_EQ(d.InBufSize(), in_size) << value;
  }
  d.SetOutBufSize(50);
  EXPECT_EQ(d.OutBufSize(), 128u);
  d.SetOutBufSize(10000);
  EXPECT_EQ(d.OutBufSize(), 8192u);
  d.SetPollingDelay(0);
  EXPECT_EQ(d.PollingDelay(), 5u);
  d.SetPollingDelay(70);
  EXPECT_EQ(d.PollingDelay(), 70u);

  d.SetBaudRate(TBaudRate::br56000);
  EXPECT_EQ(d.BaudRateValue(), 56000u);
  d.SetBaudRateValue(31250);
  EXPECT_EQ(d.BaudRate(), TBaudRate::brCustom);
  EXPECT_EQ(d.BaudRateValue(), 31250u);
  d.SetBaudRateValue(9600);
  EXPECT_EQ(d.BaudRate(), TBaudRate::brCustom) << "any value makes the rate custom";
  d.SetBaudRate(TBaudRate::brCustom);
  EXPECT_EQ(d.BaudRateValue(), 9600u);
  d.SetBaudRate(static_cast<TBaudRate>(40));  // no such ordinal: the rate stays usable
  EXPECT_EQ(d.BaudRateValue(), 9600u);
}

TEST(CommPortDriver, ConnectReportsTheOpenErrorAndASuccessClearsIt) {
  TSimFarEnd far;
  TTestDriver d("sim:no-such-line"), first(far.PortName());
  EXPECT_FALSE(d.Connect());
  EXPECT_FALSE(d.Connected());
  EXPECT_EQ(d.LastErrorCode(), 2u);
  EXPECT_FALSE(d.LastErrorMsg().empty());

  ASSERT_TRUE(first.Connect());
  d.SetPortName(far.PortName());
  EXPECT_FALSE(d.Connect()) << "the port is in use";
  EXPECT_EQ(d.LastErrorCode(), platform::kErrorBusy);
  EXPECT_FALSE(d.LastErrorMsg().empty());
  first.Disconnect();

  ASSERT_TRUE(d.Connect());
  EXPECT_EQ(d.LastErrorCode(), 0u);
  EXPECT_TRUE(d.LastErrorMsg().empty());
  const auto handle = d.Handle();
  const TNotifyThread* thread = d.Thread();
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(d.Connect()) << "connecting when connected changes nothing";
  EXPECT_EQ(d.Handle(), handle);
  EXPECT_EQ(d.Thread(), thread);
}

TEST(CommPortDriver, FailedSettingsCloseThePortThroughTheOverride) {
  TSimFarEnd far;
  TTestDriver d(far.PortName());
  d.SetDataBits(static_cast<TDataBits>(7));  // a damaged record: 12 data bits
  EXPECT_FALSE(d.Connect());
  EXPECT_EQ(d.LastErrorCode(), platform::kErrorInvalidParameter);
  EXPECT_FALSE(d.Connected());
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
  EXPECT_EQ(d.Port(), TPortNumber::pnCustom);
  EXPECT_EQ(d.PortName(), far.PortName());
  EXPECT_EQ(d.InBufSize(), 2048u);
  EXPECT_EQ(d.OutBufSize(), 2048u);
  EXPECT_EQ(d.OutFreeSpace(), 2048u) << "the transmit queue has the configured size";

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
  EXPECT_TRUE(line.GateOpen());
  EXPECT_FALSE(line.DTR());
  platform::SetComPortTarget(9, "");
}

TEST(CommPortDriver, SettingsReachTheTerminalAtOnceWhileConnected) {
  TPtyFarEnd pty;
  TCommPortDriver d;
  d.SetPortName(pty.PortName());
  d.SetBaudRate(TBaudRate::br19200);
  ASSERT_TRUE(d.Connect()) << d.LastErrorCode();
  termios t{};
  ASSERT_EQ(::tcgetattr(pty.Master(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));
  EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);

  d.SetBaudRate(TBaudRate::br115200);
  d.SetStopBits(TStopBits::sb2BITS);
  d.SetHwFlow(THwFlowControl::hfRTSCTS);
  d.SetSwFlow(TSwFlowControl::sfXONXOFF);
  d.SetParity(TParity::ptODD);
  ASSERT_EQ(::tcgetattr(pty.Master(), &t), 0);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
  EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS | PARODD), static_cast<tcflag_t>(CSTOPB | CRTSCTS | PARODD));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 17);
  EXPECT_EQ(t.c_cc[VSTOP], 19);
}

TEST(CommPortDriver, ThreadTimerChangesTheRunningPollAndPollingDelayRestartsIt) {
  TSimFarEnd far;
  TTestDriver d(far.PortName());
  ASSERT_TRUE(d.Connect());
  const TNotifyThread* before = d.Thread();
  d.SetPollingDelay(50);  // unchanged: nothing happens
  EXPECT_EQ(d.Thread(), before);
  d.SetThrdTimer(300);
  EXPECT_EQ(d.Thread(), before) << "a running thread only changes its interval";
  EXPECT_EQ(d.Thread()->Interval.load(), 300u);
  d.SetPollingDelay(2);
  EXPECT_EQ(d.PollingDelay(), 5u);
  ASSERT_NE(d.Thread(), nullptr);
  EXPECT_EQ(d.Thread()->Interval.load(), 5u);
  EXPECT_TRUE(d.Thread()->Enabled.load());
  d.KillThrdTimer();
  EXPECT_FALSE(d.PollThreadRunning());
  d.KillThrdTimer();
}

}  // namespace
}  // namespace kestrel::serial::testing
