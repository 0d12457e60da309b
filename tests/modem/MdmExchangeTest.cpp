// The packet exchange of the modem driver against a far end that the test
// drives byte by byte, and the end of every wait when the gate stops.
#include "gate/common/LogText.h"
#include "gate/common/MdmResp.h"
#include "tests/modem/ModemRig.h"

namespace kestrel::modem {
namespace {

using testing::HeaderAnnouncing;

class MdmExchange : public testing::MdmByHand {
 protected:
  void SetUp() override {
    MdmByHand::SetUp();
    far_.Line().SetCD(true);
    // As in a call: the poll would take frames said before the read begins.
    drv_.PausePolling();
  }
  std::future<bool> Receive(std::uint32_t timeout_ms) {
    return Async([=, this] { return drv_.MdmRecvExch(data_, err_, timeout_ms); });
  }
  std::string data_;
};

TEST_F(MdmExchange, SentFramesAreByteExactWithKindsTwoThreeTwo) {
  ASSERT_TRUE(drv_.MdmSendExch("AB", err_, 1000)) << err_;
  ASSERT_TRUE(drv_.MdmSendExch("", err_, 1000)) << err_;
  ASSERT_TRUE(drv_.MdmSendExch("C", err_, 0)) << err_;
  EXPECT_EQ(far_.WaitFor(BuildFrame(2, "C")), BuildFrame(2, "AB") + BuildFrame(3, "") + BuildFrame(2, "C"));
  EXPECT_EQ(drv_.LastSentKind(), 2u);
  EXPECT_EQ(drv_.OutputTimeout, 500) << "the send's time-out is restored";
}

TEST_F(MdmExchange, EmptyPayloadsArriveAndOnlyRepeatsOfKindTwoOrThreeAreDropped) {
  // The second kind-2 frame repeats the kind accepted last; kind 7 never repeats.
  far_.Say(BuildFrame(2, "") + BuildFrame(2, "again") + BuildFrame(3, "next") + BuildFrame(7, "a") + BuildFrame(7, "b"));
  for (const char* expected : {"", "next", "a", "b"}) {
    ASSERT_TRUE(drv_.MdmRecvExch(data_, err_, 1000)) << err_;
    EXPECT_EQ(data_, expected);
  }
  EXPECT_EQ(drv_.LastRecvKind(), 7u);
}

TEST_F(MdmExchange, DamagedOrOversizedFramesAreRefusedWithTheirTexts) {
  std::string lower = BuildFrame(2, "x");
  lower[0] = 'm', lower[1] = 'g';
  far_.Say(lower);
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 1000));
  EXPECT_EQ(err_, "TMD.MdmRecvExch:(Check Header failed) Header: " + gate::OctetText(lower.data(), 12, 20));
  (void)drv_.FlushBuffers(true, true);

  std::string bad_sum = BuildFrame(2, "xy");
  bad_sum[12] = 'z';
  far_.Say(bad_sum);
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 1000));
  EXPECT_EQ(err_, "TMD.MdmRecvExch:(Packet CheckSum wrong)");

  far_.Say(HeaderAnnouncing(5000001));
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 300));
  EXPECT_EQ(err_, "TMD.MdmRecvExch:(Input buffer is too large); BufLen: 5000001");
  // 5 000 000 is accepted and its payload awaited.
  far_.Say(HeaderAnnouncing(5000000) + "abc");
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 300));
  EXPECT_EQ(err_.rfind("TMD.MdmRecvExch:(Can't read Packet of size pointed in header); BufLen: 5000000; "
                       "WasRead: 3; InputTimeout: 300; TimeElapsed: ", 0),
            0u)
      << err_;
}

TEST_F(MdmExchange, SilenceAndCarrierLossHaveTheirOwnTexts) {
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 300));
  EXPECT_EQ(err_.rfind("TMD.MdmRecvExch:(Timeout Happend); InputTimeout: 300; TimeElapsed: ", 0), 0u) << err_;
  EXPECT_NE(err_.find("; Header: OCTET(12):<$00$00$00$00$00$00$00$00$00$00$00$00>"), std::string::npos) << err_;
  EXPECT_EQ(drv_.InputTimeout, 200u) << "the receive's time-out is restored";

  auto done = Receive(5000);
  platform::SleepFor(100);
  far_.Line().SetCD(false);
  EXPECT_FALSE(done.get());
  EXPECT_EQ(err_, "TMD.MdmRecvExch:(Carrier Detect is not in GetLineStatus set)");
}

TEST_F(MdmExchange, SilentPeerGetsTheLastFrameResentEachSliceUntilTheWaitEnds) {
  // As 15 s slices within a 60 s wait, scaled down: 200 ms slices within
  // 900 ms, so resends at about 200, 400, 600 and 800 ms, and the slice that
  // ends past 900 ms is the last. A loaded machine only makes slices longer.
  drv_.SetNextFrameTimeout(200);
  far_.Say(BuildFrame(2, "theirs"));
  ASSERT_TRUE(drv_.MdmRecvExch(data_, err_, 900)) << err_;
  ASSERT_TRUE(drv_.MdmSendExch("mine", err_, 900)) << err_;
  far_.Forget();
  const std::uint32_t t0 = platform::GetTickCount();
  EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, 900));
  const std::uint32_t took = platform::Elapsed(t0, platform::GetTickCount());
  EXPECT_EQ(err_.rfind("TMD.MdmRecvExch:(Timeout Happend); InputTimeout: 200; ", 0), 0u) << err_;
  const std::string frame = BuildFrame(2, "mine");
  const std::string heard = far_.Heard();
  std::size_t resends = 0;
  for (std::size_t at = 0; (at = heard.find(frame, at)) != std::string::npos; at += frame.size()) ++resends;
  EXPECT_EQ(heard.size(), resends * frame.size()) << "only the last frame is resent";
  EXPECT_GE(resends, 1u);
  EXPECT_LE(resends, std::min<std::size_t>(4, took / 200)) << "one resend per slice at most";
  EXPECT_GT(took, 900u);
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
  far_.Say(BuildFrame(2, "first") + BuildFrame(3, "answer"));
  EXPECT_TRUE(done.get()) << err_;
  EXPECT_EQ(data_, "answer");
}

TEST_F(MdmExchange, GateStopEndsAWaitForAnAnswerOrAFrameAtOnce) {
  const std::function<bool()> waits[] = {
      [this] { return drv_.MdmSendCmd("AT\r", gate::RespSet(gate::TRespCode::rcOK), 10000, err_); },
      [this] { return drv_.MdmRecvExch(data_, err_, 10000); }};
  for (const auto& wait : waits) {
    gate_.stopping = false;
    far_.Forget();
    auto done = Async(wait);
    far_.WaitFor("AT\r", 150);  // the command was sent, or the frame wait began
    const std::uint32_t t0 = platform::GetTickCount();
    gate_.stopping = true;
    EXPECT_FALSE(done.get());
    EXPECT_EQ(err_, "Break on stop gate");
    EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);
  }
}

}  // namespace
}  // namespace kestrel::modem
