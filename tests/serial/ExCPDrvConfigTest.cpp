// TCommPortDriver: defaults, setters and clamps, connecting and disconnecting.
#include <gtest/gtest.h>

#include <termios.h>

#include "platform/PortNames.h"
#include "tests/serial/DriverFixtures.h"

namespace kestrel::serial::testing {
namespace {

TEST(CommPortDriver, StartsWithTheDocumentedDefaults) {
  TCommPortDriver d;
  EXPECT_EQ(d.Port(), TPortNumber::pnCOM2);
  EXPECT_EQ(d.PortName(), "\\\\.\\COM2");
  EXPECT_EQ(d.BaudRate(), TBaudRate::br9600);
  EXPECT_EQ(d.BaudRateValue(), 9600u);
  EXPECT_EQ(d.DataBits(), TDataBits::db8BITS);
  EXPECT_EQ(d.StopBits(), TStopBits::sb1BITS);
  EXPECT_EQ(d.Parity(), TParity::ptNONE);
  EXPECT_EQ(d.HwFlow(), THwFlowControl::hfNONERTSON);
  EXPECT_EQ(d.SwFlow(), TSwFlowControl::sfNONE);
  EXPECT_EQ(d.InBufSize(), 2048u);
  EXPECT_EQ(d.OutBufSize(), 2048u);
  EXPECT_EQ(d.PollingDelay(), 50u);
  EXPECT_TRUE(d.EnableDTR);
  EXPECT_EQ(d.OutputTimeout, 500u);
  EXPECT_EQ(d.InputTimeout, 200u);
  EXPECT_FALSE(d.CheckLineStatus);
  EXPECT_FALSE(d.Connected());
  EXPECT_FALSE(d.PollThreadRunning());
  EXPECT_EQ(d.PauseCount(), 0);
  EXPECT_EQ(d.LastErrorCode(), 0u);
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

TEST(CommPortDriver, BufferSizesAndPollingDelayAreClamped) {
  TCommPortDriver d;
  d.SetInBufSize(50);
  EXPECT_EQ(d.InBufSize(), 128u);
  d.SetInBufSize(10000);
  EXPECT_EQ(d.InBufSize(), 8192u);
  d.SetInBufSize(1000);
  EXPECT_EQ(d.InBufSize(), 1000u);
  d.SetOutBufSize(50);
  EXPECT_EQ(d.OutBufSize(), 128u);
  d.SetOutBufSize(10000);
  EXPECT_EQ(d.OutBufSize(), 8192u);
  d.SetPollingDelay(0);
  EXPECT_EQ(d.PollingDelay(), 5u);
  d.SetPollingDelay(70);
  EXPECT_EQ(d.PollingDelay(), 70u);
}

TEST(CommPortDriver, BaudRateAndCustomRateFollowEachOther) {
  TCommPortDriver d;
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

TEST(CommPortDriver, OperationsOnAClosedPortReturnAtOnce) {
  TTestDriver d;
  EXPECT_EQ(d.CountRX(), 65535u);
  EXPECT_EQ(d.OutFreeSpace(), 65535u);
  EXPECT_TRUE(d.GetLineStatus().Empty());
  EXPECT_FALSE(d.FlushBuffers(true, true));
  EXPECT_FALSE(d.ApplyCommSettings());
  EXPECT_EQ(d.SendDataEx("AT\r", 3, 100), 0u);
  EXPECT_TRUE(d.SendString("")) << "an empty text is all written";
  EXPECT_FALSE(d.SendString("AT\r"));
  bool timed_out = true, lost = true;
  std::uint32_t elapsed = 7;
  char buf[4];
  EXPECT_EQ(d.ReadData(buf, sizeof buf, timed_out, elapsed, true, lost), 0u);
  EXPECT_FALSE(timed_out);
  EXPECT_FALSE(lost);
  EXPECT_EQ(elapsed, 0u);
  d.Disconnect();
  EXPECT_EQ(d.disconnects, 0);
  d.KillThrdTimer();
  EXPECT_FALSE(d.PollThreadRunning());
}

TEST(CommPortDriver, ConnectToAMissingPortReportsTheOpenError) {
  TCommPortDriver d;
  d.SetPortName("sim:no-such-line");
  EXPECT_FALSE(d.Connect());
  EXPECT_FALSE(d.Connected());
  EXPECT_EQ(d.LastErrorCode(), 2u);
  EXPECT_FALSE(d.LastErrorMsg().empty());
  d.SetPortName("/dev/kestrel-no-such-port");
  EXPECT_FALSE(d.Connect());
  EXPECT_EQ(d.LastErrorCode(), 2u);
}

TEST(CommPortDriver, ConnectToAPortInUseFailsAsBusy) {
  auto line = NewSimLine();
  TCommPortDriver first, second;
  first.SetPortName(SimPort(*line));
  second.SetPortName(SimPort(*line));
  ASSERT_TRUE(first.Connect());
  EXPECT_FALSE(second.Connect());
  EXPECT_EQ(second.LastErrorCode(), platform::kErrorBusy);
  EXPECT_FALSE(second.LastErrorMsg().empty());
}

TEST(CommPortDriver, ConnectWhenConnectedChangesNothingAndClearsTheError) {
  auto line = NewSimLine();
  TTestDriver d;
  d.SetPortName("sim:no-such-line");
  ASSERT_FALSE(d.Connect());
  d.SetPortName(SimPort(*line));
  ASSERT_TRUE(d.Connect());
  EXPECT_EQ(d.LastErrorCode(), 0u);
  EXPECT_TRUE(d.LastErrorMsg().empty());
  const auto handle = d.Handle();
  const TNotifyThread* thread = d.Thread();
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(d.Connect());
  EXPECT_EQ(d.Handle(), handle);
  EXPECT_EQ(d.Thread(), thread);
}

TEST(CommPortDriver, FailedSettingsCloseThePortThroughTheOverride) {
  auto line = NewSimLine();
  TTestDriver d;
  d.SetPortName(SimPort(*line));
  d.SetDataBits(static_cast<TDataBits>(7));  // a damaged record: 12 data bits
  EXPECT_FALSE(d.Connect());
  EXPECT_EQ(d.LastErrorCode(), platform::kErrorInvalidParameter);
  EXPECT_FALSE(d.Connected());
  EXPECT_EQ(d.disconnects, 1);
  EXPECT_FALSE(line->GateOpen());
  EXPECT_FALSE(d.PollThreadRunning());
}

TEST(CommPortDriver, WhileConnectedPortAndQueueSizesAreIgnored) {
  auto line = NewSimLine();
  TCommPortDriver d;
  d.SetPortName(SimPort(*line));
  ASSERT_TRUE(d.Connect());
  d.SetPort(TPortNumber::pnCOM5);
  d.SetPortName("/dev/other");
  d.SetInBufSize(4096);
  d.SetOutBufSize(4096);
  EXPECT_EQ(d.Port(), TPortNumber::pnCustom);
  EXPECT_EQ(d.PortName(), SimPort(*line));
  EXPECT_EQ(d.InBufSize(), 2048u);
  EXPECT_EQ(d.OutBufSize(), 2048u);
  EXPECT_EQ(d.OutFreeSpace(), 2048u) << "the transmit queue has the configured size";
}

TEST(CommPortDriver, ComNumberReachesItsMappedPort) {
  auto line = NewSimLine();
  ASSERT_TRUE(platform::SetComPortTarget(9, SimPort(*line)));
  TCommPortDriver d;
  d.SetPort(TPortNumber::pnCOM9);
  EXPECT_TRUE(d.Connect());
  EXPECT_TRUE(line->GateOpen());
  d.Disconnect();
  platform::SetComPortTarget(9, "");
}

TEST(CommPortDriver, LinesFollowTheSettingsAndDropOnDisconnect) {
  auto line = NewSimLine();
  TTestDriver d;
  d.SetPortName(SimPort(*line));
  ASSERT_TRUE(d.Connect());
  EXPECT_TRUE(line->DTR());
  EXPECT_TRUE(line->RTS()) << "hfNONERTSON holds RTS on";
  d.SetHwFlow(THwFlowControl::hfNONE);
  EXPECT_FALSE(line->RTS()) << "applied at once";
  d.SetHwFlow(THwFlowControl::hfRTSCTS);
  EXPECT_TRUE(line->RTS());
  d.Disconnect();
  EXPECT_EQ(d.disconnects, 1);
  EXPECT_FALSE(line->GateOpen());
  EXPECT_FALSE(line->DTR());
  EXPECT_FALSE(d.PollThreadRunning());

  d.EnableDTR = false;
  ASSERT_TRUE(d.Connect());
  EXPECT_FALSE(line->DTR());
}

TEST(CommPortDriver, SettingsReachTheTerminalAtOnceWhileConnected) {
  TPty pty;
  TCommPortDriver d;
  d.SetPortName(pty.SlavePath());
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
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_NE(t.c_cflag & PARODD, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ(t.c_cc[VSTART], 17);
  EXPECT_EQ(t.c_cc[VSTOP], 19);
}

TEST(CommPortDriver, PollingDelayChangeWhileConnectedRestartsThePoll) {
  auto line = NewSimLine();
  TTestDriver d;
  d.SetPortName(SimPort(*line));
  ASSERT_TRUE(d.Connect());
  const TNotifyThread* before = d.Thread();
  d.SetPollingDelay(50);  // unchanged: nothing happens
  EXPECT_EQ(d.Thread(), before);
  d.SetPollingDelay(2);
  EXPECT_EQ(d.PollingDelay(), 5u);
  ASSERT_NE(d.Thread(), nullptr);
  EXPECT_EQ(d.Thread()->Interval.load(), 5u);
  EXPECT_TRUE(d.Thread()->Enabled.load());
}

TEST(CommPortDriver, SetThrdTimerOnARunningThreadOnlyChangesItsInterval) {
  auto line = NewSimLine();
  TTestDriver d;
  d.SetPortName(SimPort(*line));
  ASSERT_TRUE(d.Connect());
  const TNotifyThread* before = d.Thread();
  d.SetThrdTimer(300);
  EXPECT_EQ(d.Thread(), before);
  EXPECT_EQ(d.Thread()->Interval.load(), 300u);
  d.KillThrdTimer();
  EXPECT_FALSE(d.PollThreadRunning());
  d.KillThrdTimer();
}

}  // namespace
}  // namespace kestrel::serial::testing
