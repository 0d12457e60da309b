// TCommPortDriver: SendDataEx and ReadData over sim lines, and an owner that
// asks them to end early. (A pseudo-terminal behaves as a sim line wherever
// the driver can tell: that is the port contract's test.)
//
// TCommPortDriver: a closed port, setters and clamps, connecting and disconnecting.
//
// TCommPortDriver's poll: delivery, the counted pause, the thread's life.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/Event.h"
#include "platform/Port.h"
#include "platform/Tick.h"
#include "serial/ExCPDrv.h"
#include "tests/kit/FarEnds.h"
#include "tests/kit/PtyFarEnd.h"

namespace kestrel::serial::testing {
namespace {

// The driver of the serial driver tests: it shows its poll thread, counts its
// Disconnect calls, and ends its blocking waits when the test asks, as the
// modem driver does while the gate stops. The far ends (sim lines,
// pseudo-terminals) are those of the port tests.
using kestrel::testing::TPtyFarEnd;
using kestrel::testing::TSimFarEnd;

class TTestDriver : public TCommPortDriver {
 public:
  TTestDriver() = default;
  explicit TTestDriver(const std::string& port) { SetPortName(port); }
  ~TTestDriver() override { TTestDriver::Disconnect(); }
  void Disconnect() override {
    if (Connected()) ++disconnects;
    TCommPortDriver::Disconnect();
  }
  bool AbortWaits() override {
    asked.Set();  // a wait is under way
    return abort.load();
  }
  const TNotifyThread* Thread() const { return NotifyThread.get(); }
  std::atomic<int> disconnects{0};
  std::atomic<bool> abort{false};
  platform::TEvent asked;
};

struct TRead {
  std::string bytes;
  bool timed_out = false;
  std::uint32_t elapsed = 0;
  bool carrier_lost = false;
  // What the read brought and why it ended.
  auto Outcome() const { return std::tuple(bytes, timed_out, carrier_lost); }
};
using TOutcome = std::tuple<std::string, bool /*timed out*/, bool /*carrier lost*/>;

TRead Read(TCommPortDriver& d, std::uint32_t wanted, bool check_cd) {
  TRead r;
  std::vector<char> buf(wanted + 1, '\0');
  const std::uint32_t n = d.ReadData(buf.data(), wanted, r.timed_out, r.elapsed, check_cd, r.carrier_lost);
  r.bytes.assign(buf.data(), n);
  return r;
}

class CommPortDriverIo : public ::testing::Test {
 protected:
  void Open(platform::TSimLineOptions options = {}) {
    far_ = std::make_unique<TSimFarEnd>(true, options);
    line_ = &far_->Line();
    d_.SetPortName(far_->PortName());
    ASSERT_TRUE(d_.Connect()) << d_.LastErrorCode();
    d_.KillThrdTimer();  // these tests read synchronously; the poll has its own tests
  }
  std::unique_ptr<TSimFarEnd> far_;
  platform::TSimLine* line_ = nullptr;
  TTestDriver d_;
};

TEST_F(CommPortDriverIo, SendWritesEveryByteUnlessTheLineCheckFindsNoLineOn) {
  Open();
  EXPECT_EQ((std::tuple{d_.SendString("ATZ\r"), far_->Heard(), d_.SendString(""), line_->Pending()}),
            std::tuple(true, "ATZ\r", true, 0u));

  d_.CheckLineStatus = true;
  line_->SetCTS(false);
  line_->SetDSR(false);
  line_->SetCD(false);
  EXPECT_TRUE(d_.GetLineStatus().Empty());
  EXPECT_EQ((std::tuple{d_.SendDataEx("ATH\r", 4, 1000), line_->Pending()}), std::tuple(0u, 0u));
  line_->SetRing(true);  // any one line will do
  EXPECT_EQ(d_.GetLineStatus(), TLineStatus{}.Include(lsRING));
  EXPECT_EQ(d_.SendDataEx("ATA\r", 4, 1000), 4u);
  d_.CheckLineStatus = false;
  line_->SetRing(false);
  EXPECT_EQ(d_.SendDataEx("AT\r", 3, 1000), 3u) << "without the check the lines do not matter";
}

// A send larger than the queue goes out in pieces as room appears. (That it
// arrives whole: the modem roles' 3000-byte frame, MdmRoles.)
TEST_F(CommPortDriverIo, SendStopsAfterItsTimeLimitWhenTheLineIsFull) {
  d_.SetOutBufSize(128);
  Open({.gate_to_far_capacity = 256});
  std::vector<char> data(4096, 'x');
  const std::uint32_t start = platform::GetTickCount();
  EXPECT_EQ(d_.SendDataEx(data.data(), 4096, 100), 128u + 256u) << "what the far end and the queue hold";
  const std::uint32_t took = platform::Elapsed(start, platform::GetTickCount());
  EXPECT_GT(took, 100u);
  EXPECT_LT(took, 2000u);
  EXPECT_EQ(d_.OutFreeSpace(), 0u);
}

TEST_F(CommPortDriverIo, ReadForMoreThanArrivesTimesOutWithWhatCame) {
  Open();
  EXPECT_EQ(Read(d_, 0, true).Outcome(), TOutcome("", false, false)) << "a read of nothing returns at once";
  ASSERT_EQ(line_->Write("OK\r\n", 4), 4u);
  const TRead r = Read(d_, 10, false);
  EXPECT_EQ(r.Outcome(), TOutcome("OK\r\n", true, false));
  EXPECT_GT(r.elapsed, d_.InputTimeout);
  EXPECT_LT(r.elapsed, d_.InputTimeout + 1000);
  EXPECT_EQ(d_.PauseCount(), 0) << "the poll is resumed";
}

TEST_F(CommPortDriverIo, CarrierLossEndsAWaitingReadAtOnceAfterTheQueuedBytes) {
  Open();
  d_.InputTimeout = 10000;
  // Whether the carrier drops before the read starts waiting or while it
  // waits, the read sees it.
  std::thread far([&] { line_->SetCD(false); });
  const TRead r = Read(d_, 10, true);
  far.join();
  EXPECT_EQ(r.Outcome(), TOutcome("", false, true));
  EXPECT_LT(r.elapsed, 5000u);
  ASSERT_EQ(line_->Write("NO ", 3), 3u);
  EXPECT_EQ(Read(d_, 10, true).Outcome(), TOutcome("NO ", false, true));
  d_.InputTimeout = 200;
  EXPECT_EQ(Read(d_, 1, false).Outcome(), TOutcome("", true, false)) << "without CheckCD only the time limit ends it";
}

TEST_F(CommPortDriverIo, BlockingReadAndSendEndSoonAfterTheOwnerAsks) {
  d_.SetOutBufSize(128);
  Open({.gate_to_far_capacity = 16});  // the far end never reads: the writer waits for room
  d_.InputTimeout = 10000;
  auto read = std::async(std::launch::async, [&] { return Read(d_, 4, true); });
  ASSERT_TRUE(d_.asked.WaitFor(5000));
  std::uint32_t t0 = platform::GetTickCount();
  d_.abort = true;
  EXPECT_EQ(read.get().Outcome(), TOutcome("", true, false));
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);

  d_.abort = false;
  d_.asked.Reset();
  const std::string big(100000, 'x');
  auto write = std::async(std::launch::async, [&] { return d_.SendDataEx(big.data(), 100000, 20000); });
  ASSERT_TRUE(d_.asked.WaitFor(5000));
  t0 = platform::GetTickCount();
  d_.abort = true;
  EXPECT_LT(write.get(), 100000u);
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);
}

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
  EXPECT_EQ(d.disconnects, 0);  // (a kill without a poll: the second kill of the thread timer test)
}

TEST(CommPortDriver, SettersNameThePortAndClampOrKeepUsableTheSizesDelayAndRate) {
  TCommPortDriver d;
  const auto port = [&] { return std::pair(d.Port(), d.PortName()); };
  d.SetPort(TPortNumber::pnCOM12);
  d.SetPort(TPortNumber::pnCustom);
  EXPECT_EQ(port(), std::pair(TPortNumber::pnCustom, std::string("\\\\.\\COM12")));
  d.SetPortName("/dev/ttyUSB3");
  EXPECT_EQ(port(), std::pair(TPortNumber::pnCustom, std::string("/dev/ttyUSB3")));
  d.SetPort(TPortNumber::pnCOM1);
  EXPECT_EQ(port(), std::pair(TPortNumber::pnCOM1, std::string("\\\\.\\COM1")));

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
  // Connect's answer, the error code and whether the error text is empty.
  const auto connect = [&] { return std::tuple{d.Connect(), d.LastErrorCode(), d.LastErrorMsg().empty()}; };
  EXPECT_EQ(connect(), std::tuple(false, 2u, false));
  ASSERT_TRUE(first.Connect());
  d.SetPortName(far.PortName());
  EXPECT_EQ(connect(), std::tuple(false, platform::kErrorBusy, false)) << "the port is in use";
  first.Disconnect();

  ASSERT_EQ(connect(), std::tuple(true, 0u, true));
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
  EXPECT_EQ(std::tuple(d.LastErrorCode(), d.disconnects.load(), far.Line().GateOpen(), d.PollThreadRunning()),
            std::tuple(platform::kErrorInvalidParameter, 1, false, false));
}

TEST(CommPortDriver, WhileConnectedLinesFollowTheSettingsAndPortAndQueueSizesStay) {
  TSimFarEnd far;
  platform::TSimLine& line = far.Line();
  TTestDriver d(far.PortName());
  ASSERT_TRUE(d.Connect());
  EXPECT_EQ(std::pair(line.DTR(), line.RTS()), std::pair(true, true)) << "hfNONERTSON holds RTS on";
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
  EXPECT_EQ(std::tuple(d.disconnects.load(), line.GateOpen(), line.DTR(), d.PollThreadRunning()),
            std::tuple(1, false, false, false));

  // Again without DTR. (A COM number reaching its line is how every modem
  // test connects.)
  d.EnableDTR = false;
  EXPECT_TRUE(d.Connect());
  EXPECT_FALSE(line.DTR());
}

// How the driver's settings become the device's: its part, the termios
// mapping itself, is the port layer's test.
TEST(CommPortDriver, SettingsReachTheTerminalAtOnceWhileConnected) {
  TPtyFarEnd pty;
  TTestDriver d(pty.PortName());
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

// A driver on a sim line, with the poll's deliveries collected call by call.
class CommPortDriverPoll : public ::testing::Test {
 protected:
  void SetUp() override {
    d_.OnReceiveData = [this](TCommPortDriver*, const void* data, std::uint32_t size) {
      std::lock_guard lock(mutex_);
      calls_.emplace_back(static_cast<const char*>(data), size);
      arrived_.Set();
    };
  }
  void Connect(const std::string& port, std::uint16_t polling_delay = 5) {
    d_.SetPortName(port);
    d_.SetPollingDelay(polling_delay);
    ASSERT_TRUE(d_.Connect()) << d_.LastErrorCode();
  }
  std::string All() {
    std::lock_guard lock(mutex_);
    std::string all;
    for (const auto& c : calls_) all += c;
    return all;
  }
  // Waits until `bytes` bytes have come in all, or five seconds pass.
  std::string WaitFor(std::size_t bytes) {
    const std::uint32_t start = platform::GetTickCount();
    for (;;) {
      arrived_.Reset();
      std::string all = All();
      const std::uint32_t left = platform::Remaining(start, platform::GetTickCount(), 5000);
      if (all.size() >= bytes || left == 0 || !arrived_.WaitFor(left)) return All();
    }
  }
  std::vector<std::string> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

  TSimFarEnd far_;
  TTestDriver d_;
  std::mutex mutex_;
  std::vector<std::string> calls_;
  platform::TEvent arrived_;
};

TEST_F(CommPortDriverPoll, ThreadTimerChangesTheRunningPollAndPollingDelayRestartsIt) {
  Connect(far_.PortName(), 50);
  const TNotifyThread* before = d_.Thread();
  d_.SetPollingDelay(50);  // unchanged: nothing happens
  d_.SetThrdTimer(300);
  EXPECT_EQ(d_.Thread(), before) << "a running thread only changes its interval";
  EXPECT_EQ(d_.Thread()->Interval.load(), 300u);
  d_.SetPollingDelay(2);
  ASSERT_NE(d_.Thread(), nullptr);
  EXPECT_EQ(std::pair(d_.Thread()->Interval.load(), d_.Thread()->Enabled.load()), std::pair(5u, true));
  d_.KillThrdTimer();  // (the end of the thread: the kill test below)
  d_.KillThrdTimer();
}

TEST_F(CommPortDriverPoll, DeliversAtMostInBufSizePerCallInOrder) {
  TPtyFarEnd pty;
  d_.SetInBufSize(128);
  Connect(pty.PortName());
  d_.PausePolling();  // let it all queue first, so that one poll finds more than fits
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(' ' + i % 90));
  ASSERT_EQ(pty.Write(data), data.size());
  const std::uint32_t start = platform::GetTickCount();
  while (d_.CountRX() < 1000 && platform::Elapsed(start, platform::GetTickCount()) < 5000)
    ASSERT_NE(platform::PortWaitReceive(d_.Handle(), 20), platform::TPortWait::kError);
  d_.ContinuePolling();
  EXPECT_EQ(WaitFor(1000), data) << "the poll thread delivers without being asked";
  const auto calls = Calls();
  ASSERT_GE(calls.size(), 8u);
  EXPECT_EQ(calls.front().size(), 128u);
  for (const auto& c : calls) EXPECT_LE(c.size(), 128u);
  d_.Disconnect();
}

TEST_F(CommPortDriverPoll, PausesNestAndOnlyTheLastContinueResumes) {
  Connect(far_.PortName());
  d_.KillThrdTimer();  // drive the poll by hand: no real-time waits for "nothing happened"
  // Runs `steps` (P a pause, C a continue, t one poll); then the deliveries so far, and the pause count.
  const auto run = [this](const std::string& steps) {
    for (const char step : steps)
      step == 'P' ? d_.PausePolling() : step == 'C' ? d_.ContinuePolling() : d_.TimerThreadProc();
    return std::pair(Calls(), d_.PauseCount());
  };
  const std::vector<std::string> none, ring{"RING\r\n"};
  ASSERT_EQ(far_.Write("RING\r\n"), 6u);
  EXPECT_EQ(run("PPtCt"), std::pair(none, 1));
  EXPECT_EQ(run("Ct"), std::pair(ring, 0));
  EXPECT_EQ(run("C"), std::pair(ring, 0)) << "unmatched: must not make the next pause ineffective";
  ASSERT_EQ(far_.Write("X"), 1u);
  EXPECT_EQ(run("PtC"), std::pair(ring, 0));
}

TEST_F(CommPortDriverPoll, BytesDuringAReadGoToItAndTheRestToThePollAfterwards) {
  TSimFarEnd slow(true, {.bits_per_second = 2000});  // 5 ms a byte: the read outlasts two polls
  Connect(slow.PortName());
  std::string data;  // every byte different, so that where a byte went shows where it came from
  for (int i = 0; i < 100; ++i) data.push_back(static_cast<char>(i));
  ASSERT_EQ(slow.Write(data), data.size());
  d_.InputTimeout = 5000;
  // The poll may have taken the first bytes before the read began; the read
  // takes the 40 next in one piece, the poll the rest after it.
  const std::string got = Read(d_, 40, false).bytes;
  ASSERT_EQ(got.size(), 40u);
  const std::size_t at = static_cast<unsigned char>(got[0]);
  ASSERT_LE(at, 60u);
  EXPECT_EQ(got, data.substr(at, 40));
  EXPECT_EQ(WaitFor(data.size() - 40), data.substr(0, at) + data.substr(at + 40));
  d_.Disconnect();  // while its line is there
}

TEST_F(CommPortDriverPoll, AnExceptionInTheHandlerDoesNotEndThePoll) {
  platform::TEvent thrown;
  d_.OnReceiveData = [&, collect = d_.OnReceiveData](TCommPortDriver* sender, const void* data, std::uint32_t size) {
    if (thrown.IsSet()) return collect(sender, data, size);
    thrown.Set();
    throw std::runtime_error("handler failed");
  };
  Connect(far_.PortName());
  ASSERT_EQ(far_.Write("A"), 1u);
  ASSERT_TRUE(thrown.WaitFor(5000));
  ASSERT_EQ(far_.Write("B"), 1u);
  EXPECT_EQ(WaitFor(1), "B") << "the thread lives on after the exception";
  EXPECT_TRUE(d_.PollThreadRunning());
}

// Neither KillThrdTimer nor PausePolling from another thread may cut a poll
// in half: both wait for the handler under way. The handler pauses too: the
// lock is re-entrant.
TEST_F(CommPortDriverPoll, KillThrdTimerAndPausePollingWaitForThePollUnderWay) {
  for (const bool kill : {true, false}) {
    SCOPED_TRACE(kill ? "KillThrdTimer" : "PausePolling");
    platform::TEvent entered, release;
    std::atomic<bool> handler_done{false}, returned{false}, done_when_returned{false};
    d_.OnReceiveData = [&](TCommPortDriver* sender, const void*, std::uint32_t) {
      sender->PausePolling();
      sender->ContinuePolling();
      entered.Set();
      release.WaitFor(10000);
      handler_done = true;
    };
    Connect(far_.PortName());
    ASSERT_EQ(far_.Write("x"), 1u);
    ASSERT_TRUE(entered.WaitFor(5000));
    std::thread other([&] {
      kill ? d_.KillThrdTimer() : d_.PausePolling();
      done_when_returned = handler_done.load();
      returned = true;
    });
    platform::TEvent().WaitFor(50);  // a short look: the call must still be waiting
    EXPECT_FALSE(returned.load());
    release.Set();
    other.join();
    EXPECT_TRUE(done_when_returned.load()) << "the poll was not cut in half";
    EXPECT_EQ(std::pair(d_.PollThreadRunning(), d_.PauseCount()), std::pair(!kill, kill ? 0 : 1));
    d_.Disconnect();
    d_.ContinuePolling();
  }
}

TEST_F(CommPortDriverPoll, StopDoesNotWaitOutThePause) {
  d_.SetPortName(far_.PortName());
  // A stop that slept out the thread's 100 ms pause would take 50 ms on
  // average; one that ends the pause at once takes a few. The median of 31
  // stops is not moved by a few that a busy machine delays.
  std::vector<std::uint32_t> took;
  for (int i = 0; i < 31; ++i) {
    ASSERT_TRUE(d_.Connect());
    const std::uint32_t start = platform::GetTickCount();
    d_.Disconnect();
    took.push_back(platform::Elapsed(start, platform::GetTickCount()));
  }
  std::nth_element(took.begin(), took.begin() + 15, took.end());
  EXPECT_LT(took[15], 50u);
}

TEST_F(CommPortDriverPoll, DisconnectFromTheHandlerEndsThePollWithoutDeadlock) {
  platform::TEvent handled;
  std::atomic<bool> first{true};
  d_.OnReceiveData = [&, collect = d_.OnReceiveData](TCommPortDriver* sender, const void* data, std::uint32_t size) {
    if (!first.exchange(false)) return collect(sender, data, size);
    sender->Disconnect();
    handled.Set();
  };
  Connect(far_.PortName());
  ASSERT_EQ(far_.Write("NO CARRIER\r\n"), 12u);
  ASSERT_TRUE(handled.WaitFor(5000));
  EXPECT_FALSE(d_.Connected());
  EXPECT_FALSE(far_.Line().GateOpen());

  // The owner connects again: a fresh poll thread delivers.
  ASSERT_TRUE(d_.Connect());
  ASSERT_EQ(far_.Write("OK\r\n"), 4u);
  EXPECT_EQ(WaitFor(4), "OK\r\n");
}

}  // namespace
}  // namespace kestrel::serial::testing
