// TCommPortDriver: SendDataEx and ReadData over sim lines and pseudo-terminals.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/Tick.h"
#include "tests/serial/DriverFixtures.h"

namespace kestrel::serial::testing {
namespace {

std::string Drain(platform::TSimLine& line) {
  std::string out;
  char buf[512];
  while (const std::size_t n = line.Read(buf, sizeof buf)) out.append(buf, n);
  return out;
}

struct TRead {
  std::string bytes;
  bool timed_out = false;
  std::uint32_t elapsed = 0;
  bool carrier_lost = false;
};

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
    line_ = NewSimLine(true, options);
    d_.SetPortName(SimPort(*line_));
    ASSERT_TRUE(d_.Connect()) << d_.LastErrorCode();
    d_.KillThrdTimer();  // these tests read synchronously; the poll has its own tests
  }
  std::shared_ptr<platform::TSimLine> line_;
  TTestDriver d_;
};

TEST_F(CommPortDriverIo, SendStringWritesEveryByte) {
  Open();
  EXPECT_TRUE(d_.SendString("ATZ\r"));
  EXPECT_EQ(Drain(*line_), "ATZ\r");
  EXPECT_TRUE(d_.SendString(""));
  EXPECT_EQ(line_->Pending(), 0u);
}

TEST_F(CommPortDriverIo, CheckLineStatusStopsTheSendWhenNoLineIsOn) {
  Open();
  d_.CheckLineStatus = true;
  line_->SetCTS(false);
  line_->SetDSR(false);
  line_->SetCD(false);
  EXPECT_TRUE(d_.GetLineStatus().Empty());
  EXPECT_EQ(d_.SendDataEx("ATH\r", 4, 1000), 0u);
  EXPECT_EQ(line_->Pending(), 0u);

  line_->SetRing(true);  // any one line will do
  EXPECT_EQ(d_.GetLineStatus(), TLineStatus{}.Include(lsRING));
  EXPECT_EQ(d_.SendDataEx("ATA\r", 4, 1000), 4u);
  d_.CheckLineStatus = false;
  line_->SetRing(false);
  EXPECT_EQ(d_.SendDataEx("AT\r", 3, 1000), 3u) << "without the check the lines do not matter";
}

TEST_F(CommPortDriverIo, SendStopsAfterItsTimeLimitWhenTheLineIsFull) {
  platform::TSimLineOptions options;
  options.gate_to_far_capacity = 256;
  d_.SetOutBufSize(128);
  Open(options);
  std::vector<char> data(4096, 'x');
  const std::uint32_t start = platform::GetTickCount();
  EXPECT_EQ(d_.SendDataEx(data.data(), 4096, 100), 128u + 256u) << "what the far end and the queue hold";
  const std::uint32_t took = platform::Elapsed(start, platform::GetTickCount());
  EXPECT_GT(took, 100u);
  EXPECT_LT(took, 2000u);
  EXPECT_EQ(d_.OutFreeSpace(), 0u);
}

TEST_F(CommPortDriverIo, SendLargerThanTheQueueGoesOutInPiecesWhileTheFarEndReads) {
  Open();
  std::string data;
  for (int i = 0; i < 20000; ++i) data.push_back(static_cast<char>('a' + i % 26));
  std::string received;
  std::thread far([&] {
    while (received.size() < data.size() && line_->WaitGateActivity(3000)) received += Drain(*line_);
  });
  EXPECT_EQ(d_.SendDataEx(data.data(), static_cast<std::uint32_t>(data.size()), 5000), data.size());
  far.join();
  EXPECT_EQ(received, data);
}

TEST_F(CommPortDriverIo, ReadForMoreThanArrivesTimesOutWithWhatCame) {
  Open();
  ASSERT_EQ(line_->Write("OK\r\n", 4), 4u);
  const TRead r = Read(d_, 10, false);
  EXPECT_EQ(r.bytes, "OK\r\n");
  EXPECT_TRUE(r.timed_out);
  EXPECT_FALSE(r.carrier_lost);
  EXPECT_GT(r.elapsed, d_.InputTimeout);
  EXPECT_LT(r.elapsed, d_.InputTimeout + 1000);
  EXPECT_EQ(d_.PauseCount(), 0) << "the poll is resumed";
}

TEST_F(CommPortDriverIo, ReadCollectsBytesArrivingDuringTheCall) {
  platform::TSimLineOptions options;
  options.bits_per_second = 10000;  // a byte a millisecond
  Open(options);
  const std::string text(60, 'r');
  ASSERT_EQ(line_->Write(text.data(), text.size()), text.size());
  d_.InputTimeout = 2000;
  const TRead r = Read(d_, 60, false);
  EXPECT_EQ(r.bytes, text);
  EXPECT_FALSE(r.timed_out);
  EXPECT_GE(r.elapsed, 50u) << "the bytes took the line's time";
}

TEST_F(CommPortDriverIo, ReadOfNothingReturnsAtOnce) {
  Open();
  const TRead r = Read(d_, 0, true);
  EXPECT_EQ(r.bytes, "");
  EXPECT_FALSE(r.timed_out);
  EXPECT_FALSE(r.carrier_lost);
}

TEST_F(CommPortDriverIo, CarrierLossEndsAWaitingReadAtOnce) {
  Open();
  d_.InputTimeout = 10000;
  // Whether the carrier drops before the read starts waiting or while it
  // waits, the read sees it.
  std::thread far([&] { line_->SetCD(false); });
  const TRead r = Read(d_, 10, true);
  far.join();
  EXPECT_TRUE(r.carrier_lost);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.bytes, "");
  EXPECT_LT(r.elapsed, 5000u);
}

TEST_F(CommPortDriverIo, QueuedBytesAreReadBeforeTheCarrierCounts) {
  Open();
  ASSERT_EQ(line_->Write("NO ", 3), 3u);
  line_->SetCD(false);
  const TRead r = Read(d_, 10, true);
  EXPECT_EQ(r.bytes, "NO ");
  EXPECT_TRUE(r.carrier_lost);
  EXPECT_FALSE(r.timed_out);

  const TRead unchecked = Read(d_, 1, false);
  EXPECT_FALSE(unchecked.carrier_lost) << "without CheckCD only the time limit ends the read";
  EXPECT_TRUE(unchecked.timed_out);
}

TEST(CommPortDriverPty, HangUpOfTheFarEndIsCarrierLoss) {
  TPty pty;
  TCommPortDriver d;
  d.SetPortName(pty.SlavePath());
  ASSERT_TRUE(d.Connect());
  EXPECT_TRUE(d.GetLineStatus().Contains(lsCD));
  pty.WriteAll("CONNECT 9600\r\n");
  d.InputTimeout = 10000;
  bool timed_out = false, lost = false;
  std::uint32_t elapsed = 0;
  char buf[64];
  std::string got;
  // Read what came, then wait for more while the far end hangs up.
  while (got.size() < 14) {
    const std::uint32_t n = d.ReadData(buf, 14 - static_cast<std::uint32_t>(got.size()), timed_out, elapsed, true, lost);
    got.append(buf, n);
    ASSERT_FALSE(lost);
  }
  EXPECT_EQ(got, "CONNECT 9600\r\n");
  std::thread far([&] { pty.CloseMaster(); });
  EXPECT_EQ(d.ReadData(buf, 10, timed_out, elapsed, true, lost), 0u);
  far.join();
  EXPECT_TRUE(lost);
  EXPECT_FALSE(timed_out);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_FALSE(d.GetLineStatus().Contains(lsCD));
  EXPECT_TRUE(d.GetLineStatus().Contains(lsCTS));

  EXPECT_EQ(d.SendDataEx("ATH\r", 4, 200), 0u);
  EXPECT_NE(d.LastErrorCode(), 0u) << "the failed write's error is kept";
  EXPECT_FALSE(d.LastErrorMsg().empty());
}

TEST(CommPortDriverPty, SendThroughAFullTerminalEndsAtTheLimitAndResumesWhenDrained) {
  TPty pty;
  TCommPortDriver d;
  d.SetPortName(pty.SlavePath());
  ASSERT_TRUE(d.Connect());
  std::vector<char> data(256 * 1024, 'p');
  const std::uint32_t start = platform::GetTickCount();
  const std::uint32_t sent = d.SendDataEx(data.data(), static_cast<std::uint32_t>(data.size()), 150);
  const std::uint32_t took = platform::Elapsed(start, platform::GetTickCount());
  EXPECT_GT(sent, 0u);
  EXPECT_LT(sent, data.size()) << "nobody reads: the terminal's buffer fills";
  EXPECT_GT(took, 150u);
  EXPECT_LT(took, 3000u);

  std::size_t drained = 0;
  std::thread far([&] {
    std::vector<char> sink(65536);
    for (;;) {
      pollfd p{pty.Master(), POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0) break;
      const ssize_t n = ::read(pty.Master(), sink.data(), sink.size());
      if (n <= 0) break;
      drained += static_cast<std::size_t>(n);
    }
  });
  const std::uint32_t rest = static_cast<std::uint32_t>(data.size()) - sent;
  EXPECT_EQ(d.SendDataEx(data.data() + sent, rest, 10000), rest);
  far.join();
  EXPECT_EQ(drained, data.size());
}

}  // namespace
}  // namespace kestrel::serial::testing
