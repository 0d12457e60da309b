// The packet exchange of the modem driver against a far end that the test
// drives byte by byte.
#include <future>

#include "gate/LogText.h"
#include "modem/MdmFrame.h"
#include "modem/MdmMain.h"
#include "tests/modem/ModemRig.h"

namespace kestrel::modem {
namespace {

using testing::TComMap;
using testing::TFakeGate;
using testing::TFarEnd;

class MdmExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    map_.Map(5, far_name_);
    drv_.SetChannelSettings(testing::ChannelOn(5));
    ASSERT_TRUE(drv_.Connect());
    far_.Line().SetCD(true);
  }
  std::future<bool> Receive(std::uint32_t timeout_ms) {
    return std::async(std::launch::async, [=, this] { return drv_.MdmRecvExch(data_, err_, timeout_ms); });
  }

  TFakeGate gate_;
  std::string far_name_ = testing::UniqueLineName("exch");
  TFarEnd far_{far_name_};
  TComMap map_;
  TMdmDriver drv_;
  std::string data_;
  std::string err_;
};

TEST_F(MdmExchange, SentFramesAreByteExactWithKindsTwoThreeTwo) {
  ASSERT_TRUE(drv_.MdmSendExch("AB", err_, 1000)) << err_;
  ASSERT_TRUE(drv_.MdmSendExch("", err_, 1000)) << err_;
  ASSERT_TRUE(drv_.MdmSendExch("C", err_, 0)) << err_;
  EXPECT_EQ(far_.WaitFor(BuildFrame(2, "C")), BuildFrame(2, "AB") + BuildFrame(3, "") + BuildFrame(2, "C"));
  EXPECT_EQ(drv_.LastSentKind(), 2u);
  EXPECT_EQ(drv_.OutputTimeout, 500) << "the send's time-out is restored";
}

TEST_F(MdmExchange, LongSendTimeOutsAreHeldAtTheLongestThePortCanExpress) {
  EXPECT_EQ(FrameOutputTimeout(65535), 65535);
  EXPECT_EQ(FrameOutputTimeout(65536), 65535);
  EXPECT_EQ(FrameOutputTimeout(70000), 65535);
  EXPECT_EQ(FrameOutputTimeout(60000), 60000);
}

TEST_F(MdmExchange, EmptyPayloadArrivesAndARepeatIsDropped) {
  far_.Say(BuildFrame(2, ""));
  ASSERT_TRUE(drv_.MdmRecvExch(data_, err_, 1000)) << err_;
  EXPECT_EQ(data_, "");
  far_.Say(BuildFrame(2, "again"));  // the same kind as the frame accepted last: a repeat
  far_.Say(BuildFrame(3, "next"));
  ASSERT_TRUE(drv_.MdmRecvExch(data_, err_, 1000)) << err_;
  EXPECT_EQ(data_, "next");
  EXPECT_EQ(drv_.LastRecvKind(), 3u);
}

TEST_F(MdmExchange, OnlyKindsTwoAndThreeAreRepeats) {
  far_.Say(BuildFrame(7, "a"));
  far_.Say(BuildFrame(7, "b"));
  ASSERT_TRUE(drv_.MdmRecvExch(data_, err_, 1000)) << err_;
  EXPECT_EQ(data_, "a");
  ASSERT_TRUE(drv_.MdmRecvExch(data_, err_, 1000)) << err_;
  EXPECT_EQ(data_, "b");
}

TEST_F(MdmExchange, DamagedFramesAreRefusedWithTheirTexts) {
  std::string lower = BuildFrame(2, "x");
  lower[0] = 'm';
  lower[1] = 'g';
  far_.Say(lower);
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 1000));
  EXPECT_EQ(err_, "TMD.MdmRecvExch:(Check Header failed) Header: " + gate::OctetText(lower.data(), 12, 20));
  (void)drv_.FlushBuffers(true, true);

  std::string bad_sum = BuildFrame(2, "xy");
  bad_sum[12] = 'z';
  far_.Say(bad_sum);
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 1000));
  EXPECT_EQ(err_, "TMD.MdmRecvExch:(Packet CheckSum wrong)");
}

// A header with a chosen length and a correct header checksum.
std::string HeaderAnnouncing(std::uint32_t length) {
  std::string h = BuildFrame(2, "");
  for (int i = 0; i < 4; ++i) h[4 + static_cast<std::size_t>(i)] = static_cast<char>((length >> (8 * i)) & 0xFF);
  const std::uint16_t sum = ByteSum16(std::string_view(h).substr(0, 10));
  h[10] = static_cast<char>(sum & 0xFF);
  h[11] = static_cast<char>(sum >> 8);
  return h;
}

TEST_F(MdmExchange, PayloadCapIsFiveMillionBytes) {
  far_.Say(HeaderAnnouncing(5000001));
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 300));
  EXPECT_EQ(err_, "TMD.MdmRecvExch:(Input buffer is too large); BufLen: 5000001");
  // 5 000 000 is accepted and its payload awaited.
  far_.Say(HeaderAnnouncing(5000000));
  far_.Say("abc");
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 300));
  EXPECT_EQ(err_.rfind("TMD.MdmRecvExch:(Can't read Packet of size pointed in header); BufLen: 5000000; "
                       "WasRead: 3; InputTimeout: 300; TimeElapsed: ", 0),
            0u)
      << err_;
}

TEST_F(MdmExchange, CarrierLossIsNotATimeOut) {
  auto done = Receive(5000);
  platform::SleepFor(100);
  far_.Line().SetCD(false);
  EXPECT_FALSE(done.get());
  EXPECT_EQ(err_, "TMD.MdmRecvExch:(Carrier Detect is not in GetLineStatus set)");
}

TEST_F(MdmExchange, SilenceOnTheFirstFrameIsATimeOutWithTheEmptyHeader) {
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 300));
  EXPECT_EQ(err_.rfind("TMD.MdmRecvExch:(Timeout Happend); InputTimeout: 300; TimeElapsed: ", 0), 0u) << err_;
  EXPECT_NE(err_.find("; Header: OCTET(12):<$00$00$00$00$00$00$00$00$00$00$00$00>"), std::string::npos) << err_;
  EXPECT_EQ(drv_.InputTimeout, 200u) << "the receive's time-out is restored";
}

TEST_F(MdmExchange, SilentPeerGetsTheLastFrameResentEachSliceUntilTheWaitEnds) {
  // As 15 s slices within a 60 s wait, scaled down: 200 ms slices within 900 ms.
  drv_.SetNextFrameTimeout(200);
  far_.Say(BuildFrame(2, "theirs"));
  ASSERT_TRUE(drv_.MdmRecvExch(data_, err_, 900)) << err_;
  ASSERT_TRUE(drv_.MdmSendExch("mine", err_, 900)) << err_;
  far_.Forget();
  const std::uint32_t t0 = platform::GetTickCount();
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 900));
  const std::uint32_t took = platform::Elapsed(t0, platform::GetTickCount());
  EXPECT_EQ(err_.rfind("TMD.MdmRecvExch:(Timeout Happend); InputTimeout: 200; ", 0), 0u) << err_;
  // Resends at about 200, 400, 600 and 800 ms; the slice ending at about 1000 ms is the last.
  const std::string frame = BuildFrame(2, "mine");  // the first frame this end sent
  std::string heard = far_.Heard();
  int resends = 0;
  for (std::size_t at = 0; (at = heard.find(frame, at)) != std::string::npos; at += frame.size()) ++resends;
  EXPECT_EQ(resends, 4);
  EXPECT_GE(took, 1000u);
  EXPECT_LT(took, 1600u);
}

TEST_F(MdmExchange, ALostFrameIsRecoveredByTheResend) {
  // The peer's answer got lost; our resend makes it answer again, and its
  // earlier answer, arriving late, is dropped as a repeat.
  drv_.SetNextFrameTimeout(200);
  far_.Say(BuildFrame(2, "first"));
  ASSERT_TRUE(drv_.MdmRecvExch(data_, err_, 2000)) << err_;
  ASSERT_TRUE(drv_.MdmSendExch("question", err_, 2000)) << err_;
  auto done = Receive(2000);
  far_.Forget();
  far_.WaitFor(BuildFrame(2, "question"), 1000);  // the resend
  far_.Say(BuildFrame(2, "first"));               // a late repeat
  far_.Say(BuildFrame(3, "answer"));
  EXPECT_TRUE(done.get()) << err_;
  EXPECT_EQ(data_, "answer");
}

}  // namespace
}  // namespace kestrel::modem

namespace kestrel::modem {
namespace {

TEST_F(MdmExchange, GateStopEndsAWaitForAFrameAtOnce) {
  auto done = Receive(10000);
  platform::SleepFor(150);
  const std::uint32_t t0 = platform::GetTickCount();
  gate_.stopping = true;
  EXPECT_FALSE(done.get());
  EXPECT_EQ(err_, "Break on stop gate");
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);
}

}  // namespace
}  // namespace kestrel::modem
