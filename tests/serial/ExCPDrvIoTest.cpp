// TCommPortDriver: SendDataEx and ReadData over sim lines, and an owner that
// asks them to end early. (A pseudo-terminal behaves as a sim line wherever
// the driver can tell: that is the port contract's test.)
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/Thread.h"
#include "platform/Tick.h"
#include "tests/serial/DriverFixtures.h"

namespace kestrel::serial::testing {
namespace {

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
  std::string Drain() {
    std::string out;
    char buf[512];
    while (const std::size_t n = line_->Read(buf, sizeof buf)) out.append(buf, n);
    return out;
  }
  std::unique_ptr<TSimFarEnd> far_;
  platform::TSimLine* line_ = nullptr;
  TTestDriver d_;
};

TEST_F(CommPortDriverIo, SendWritesEveryByteUnlessTheLineCheckFindsNoLineOn) {
  Open();
  EXPECT_TRUE(d_.SendString("ATZ\r"));
  EXPECT_EQ(Drain(), "ATZ\r");
  EXPECT_TRUE(d_.SendString(""));
  EXPECT_EQ(line_->Pending(), 0u);

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
    while (received.size() < data.size() && line_->WaitGateActivity(3000)) received += Drain();
  });
  EXPECT_EQ(d_.SendDataEx(data.data(), static_cast<std::uint32_t>(data.size()), 5000), data.size());
  far.join();
  EXPECT_EQ(received, data);
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

TEST_F(CommPortDriverIo, ReadCollectsBytesArrivingDuringTheCall) {
  platform::TSimLineOptions options;
  options.bits_per_second = 10000;  // a byte a millisecond
  Open(options);
  const std::string text(60, 'r');
  d_.InputTimeout = 2000;
  const std::uint32_t start = platform::GetTickCount();
  ASSERT_EQ(line_->Write(text.data(), text.size()), text.size());
  const std::uint32_t before_read = platform::Elapsed(start, platform::GetTickCount());
  const TRead r = Read(d_, 60, false);
  EXPECT_EQ(r.Outcome(), TOutcome(text, false, false));
  EXPECT_GE(before_read + r.elapsed, 59u) << "the read waited for the bytes still on the line";
}

TEST_F(CommPortDriverIo, CarrierLossEndsAWaitingReadAtOnce) {
  Open();
  d_.InputTimeout = 10000;
  // Whether the carrier drops before the read starts waiting or while it
  // waits, the read sees it.
  std::thread far([&] { line_->SetCD(false); });
  const TRead r = Read(d_, 10, true);
  far.join();
  EXPECT_EQ(r.Outcome(), TOutcome("", false, true));
  EXPECT_LT(r.elapsed, 5000u);
}

TEST_F(CommPortDriverIo, QueuedBytesAreReadBeforeTheCarrierCounts) {
  Open();
  ASSERT_EQ(line_->Write("NO ", 3), 3u);
  line_->SetCD(false);
  EXPECT_EQ(Read(d_, 10, true).Outcome(), TOutcome("NO ", false, true));
  EXPECT_EQ(Read(d_, 1, false).Outcome(), TOutcome("", true, false)) << "without CheckCD only the time limit ends it";
}

TEST_F(CommPortDriverIo, BlockingReadAndSendEndSoonAfterTheOwnerAsks) {
  platform::TSimLineOptions options;
  options.gate_to_far_capacity = 16;  // the far end never reads: the writer waits for room
  d_.SetOutBufSize(128);
  Open(options);
  d_.InputTimeout = 10000;
  auto read = std::async(std::launch::async, [&] { return Read(d_, 4, true); });
  platform::SleepFor(150);
  std::uint32_t t0 = platform::GetTickCount();
  d_.abort = true;
  EXPECT_EQ(read.get().Outcome(), TOutcome("", true, false));
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);

  d_.abort = false;
  const std::string big(100000, 'x');
  auto write = std::async(std::launch::async, [&] { return d_.SendDataEx(big.data(), 100000, 20000); });
  platform::SleepFor(150);
  t0 = platform::GetTickCount();
  d_.abort = true;
  EXPECT_LT(write.get(), 100000u);
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);
}

}  // namespace
}  // namespace kestrel::serial::testing
