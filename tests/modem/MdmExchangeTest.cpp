// The packet exchange of the modem driver against a far end that the test
// drives byte by byte, and the end of every wait when the gate stops.
//
// The frame on the modem line as pure functions: building, header checks,
// the alternating kinds and the clamped send time-out.
//
// The command side of the modem driver: answers read from a far end the test
// drives by hand (exact bytes and timing), dialling and hanging up, and
// TestChannel against the simulated modem.
#include "gate/common/LogText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>

#include "gate/common/MdmResp.h"
#include "modem/MdmFrame.h"
#include "platform/Cp1251.h"
#include "sim/ExchangeRunner.h"
#include "tests/modem/ModemRig.h"

namespace kestrel::modem {
namespace {

using testing::BadResponse;
using testing::HeaderAnnouncing;
using ::testing::StartsWith;

class MdmExchange : public testing::MdmByHand {
 protected:
  void SetUp() override {
    MdmByHand::SetUp();
    far_.Line().SetCD(true);
    // As in a call: the poll would take frames said before the read begins.
    drv_.PausePolling();
  }
  // Says `bytes` and returns why the receive, which must fail, failed.
  std::string Refusal(std::string_view bytes, std::uint32_t timeout_ms) {
    far_.Say(bytes);
    EXPECT_FALSE(drv_.MdmRecvExch(data_, err_, timeout_ms));
    return err_;
  }
  std::string data_;
};

TEST_F(MdmExchange, SentFramesAreByteExactWithKindsTwoThreeTwo) {
  for (const auto& [payload, timeout_ms] : {std::pair{"AB", 1000u}, {"", 1000u}, {"C", 0u}})
    ASSERT_TRUE(drv_.MdmSendExch(payload, err_, timeout_ms)) << err_;
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
  std::string lower = BuildFrame(2, "x"), bad_sum = BuildFrame(2, "xy");
  lower[0] = 'm', lower[1] = 'g';
  bad_sum[12] = 'z';
  EXPECT_EQ(Refusal(lower, 1000),
            "TMD.MdmRecvExch:(Check Header failed) Header: " + gate::OctetText(lower.data(), 12, 20));
  (void)drv_.FlushBuffers(true, true);
  EXPECT_EQ(Refusal(bad_sum, 1000), "TMD.MdmRecvExch:(Packet CheckSum wrong)");
  EXPECT_EQ(Refusal(HeaderAnnouncing(5000001), 300), "TMD.MdmRecvExch:(Input buffer is too large); BufLen: 5000001");
  // 5 000 000 is accepted and its payload awaited.
  EXPECT_THAT(Refusal(HeaderAnnouncing(5000000) + "abc", 300),
              StartsWith("TMD.MdmRecvExch:(Can't read Packet of size pointed in header); BufLen: 5000000; "
                         "WasRead: 3; InputTimeout: 300; TimeElapsed: "));
}

TEST_F(MdmExchange, SilenceAndCarrierLossHaveTheirOwnTexts) {
  EXPECT_THAT(Refusal("", 300),
              ::testing::AllOf(StartsWith("TMD.MdmRecvExch:(Timeout Happend); InputTimeout: 300; TimeElapsed: "),
                               ::testing::HasSubstr("; Header: OCTET(12):<$00$00$00$00$00$00$00$00$00$00$00$00>")));
  EXPECT_EQ(drv_.InputTimeout, 200u) << "the receive's time-out is restored";

  // How a waiting read ends on the carrier's loss is the serial driver's test.
  far_.Line().SetCD(false);
  EXPECT_EQ(Refusal("", 5000), "TMD.MdmRecvExch:(Carrier Detect is not in GetLineStatus set)");
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
  EXPECT_THAT(err_, StartsWith("TMD.MdmRecvExch:(Timeout Happend); InputTimeout: 200; "));
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
  auto done = std::async(std::launch::async, [this] { return drv_.MdmRecvExch(data_, err_, 2000); });
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
    auto done = std::async(std::launch::async, wait);
    far_.WaitFor("AT\r", 150);  // the command was sent, or the frame wait began
    const std::uint32_t t0 = platform::GetTickCount();
    gate_.stopping = true;
    EXPECT_FALSE(done.get());
    EXPECT_EQ(err_, "Break on stop gate");
    EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);
  }
}


TEST(MdmFrame, FramesAreByteExactWithSixteenBitChecksums) {
  EXPECT_EQ(BuildFrame(2, "AB"), std::string("MG\x02\x00\x02\x00\x00\x00\x83\x00\x1B\x01" "AB", 14));
  TFrameHeader h;
  ASSERT_TRUE(ParseFrameHeader(BuildFrame(3, ""), h));
  EXPECT_EQ(BuildFrame(3, "").size(), kFrameHeaderSize) << "an empty payload is a header only";
  EXPECT_EQ(std::tuple(h.Kind, h.Length, h.PayloadSum), std::tuple(3, 0u, 0));
  const std::string payload(300, '\xFF');  // 300 * 255 = 76500, which wraps to 10964
  ASSERT_TRUE(ParseFrameHeader(BuildFrame(2, payload), h));
  EXPECT_EQ(std::tuple(h.Length, h.PayloadSum), std::tuple(300u, 10964));
  // A length above 2^31 comes out as a large unsigned value, not negative.
  ASSERT_TRUE(ParseFrameHeader(HeaderAnnouncing(0x80000000u), h));
  EXPECT_EQ(h.Length, 0x80000000u);
}

TEST(MdmFrame, HeaderIsRefusedForChecksumOrShortness) {
  const std::string frame = BuildFrame(2, "AB");
  TFrameHeader h;
  // (A lower-case signature: the exchange's damaged-frame test.)
  std::string bad_sum = frame, bad_len = frame;
  bad_sum[10] ^= 1;
  bad_len[4] = 3;  // the header checksum no longer matches
  for (const std::string& header : {bad_sum, bad_len, frame.substr(0, 11)})
    EXPECT_FALSE(ParseFrameHeader(header, h)) << header.size();
}

// The kinds that alternate, and which repeat is dropped, are the exchange's
// tests above.
TEST(MdmFrame, SendTimeOutsAreClampedNotCut) {
  // The port's 16-bit time-out: 65 536 ms would be 0 and 70 000 ms 4 464 if cut.
  for (const auto& [ms, out] : {std::pair{60000u, 60000}, {65535u, 65535}, {65536u, 65535}, {70000u, 65535}})
    EXPECT_EQ(FrameOutputTimeout(ms), out) << ms;
}

using namespace kestrel::literals;
using gate::RespSet;
using gate::TRespCode;

// The one answer quoted here with its explanation written out: the others
// take theirs from the table.
constexpr std::string_view kNoCarrierQuoted =
    "Bad Response: <NO CARRIER>: потеря несущей и обрыв связи; exactly: '$0D$0ANO CARRIE...'"_cp;

class MdmCommandByHand : public testing::MdmByHand {
 protected:
  // Runs `call` while playing the far end: for each step, waits until the
  // gate wrote its first text (or, for an empty one, `gap_ms`), forgets what
  // it heard, and says the second.
  bool Converse(std::function<bool()> call, const std::vector<std::pair<std::string, std::string>>& steps,
                std::uint32_t gap_ms = 0) {
    far_.Forget();
    auto done = std::async(std::launch::async, std::move(call));
    for (const auto& [heard, reply] : steps) {
      if (heard.empty()) {
        platform::SleepFor(gap_ms);
      } else {
        far_.WaitFor(heard);
        far_.Forget();
      }
      far_.Say(reply);
    }
    return done.get();
  }
  // MdmSendCmd of `cmd`, answered in `chunks` `gap_ms` apart.
  bool Command(const std::string& cmd, gate::TRespSet accept, std::uint32_t timeout_ms,
               const std::vector<std::string>& chunks, std::uint32_t gap_ms = 0) {
    std::vector<std::pair<std::string, std::string>> steps;
    for (const std::string& chunk : chunks) steps.emplace_back(steps.empty() ? cmd : "", chunk);
    return Converse([&, this] { return drv_.MdmSendCmd(cmd, accept, timeout_ms, err_); }, steps, gap_ms);
  }
};

TEST_F(MdmCommandByHand, SilenceTimeOutRunsFromTheLastChunk) {
  const std::uint32_t t0 = platform::GetTickCount();
  EXPECT_FALSE(drv_.MdmSendCmd("AT\r", RespSet(TRespCode::rcOK), 250, err_));
  EXPECT_EQ(err_, "Timeout reached");
  EXPECT_GE(platform::Elapsed(t0, platform::GetTickCount()), 250u);
  // Six chunks 400 ms apart with 1200 ms of silence allowed: 2000 ms in all.
  // CR LF alone is not an answer: the wait goes on until CR LF follows the word.
  EXPECT_TRUE(Command("AT\r", RespSet(TRespCode::rcOK), 1200, {"\r", "\n", "O", "K", "\r", "\n"}, 400)) << err_;
}

TEST_F(MdmCommandByHand, ClosedPortIsReportedBeforeAnythingIsSent) {
  drv_.Disconnect();
  EXPECT_FALSE(drv_.MdmSendCmd("AT\r", RespSet(TRespCode::rcOK), 100, err_));
  EXPECT_EQ(err_, "No connection to COM-port");
  std::string resp;
  EXPECT_FALSE(drv_.MdmRecvSpec(resp, err_, 100));
  EXPECT_EQ(err_, "Not connected");
}

// DialPhone dials with the ActiveAddress, which InitForSending sets; a fresh
// driver has the default address: pulse dialling.
TEST_F(MdmCommandByHand, DialConnectsOnceAndRefusesANumberWithControlCharacters) {
  EXPECT_FALSE(drv_.DialPhone("555\rATZ", err_));
  EXPECT_EQ(err_, "Phone number <555$0DATZ> holds control characters; not dialled");
  EXPECT_EQ(far_.WaitFor("AT", 50), "") << "nothing was sent";
  EXPECT_TRUE(Converse([this] { return drv_.DialPhone("5551", err_); }, {{"ATDP5551\r", "\r\nCONNECT 33600\r\n"}}))
      << err_;
  EXPECT_TRUE(drv_.ModemConnected());
  far_.Forget();
  EXPECT_TRUE(drv_.DialPhone("5552", err_)) << "connected already";
  EXPECT_EQ(far_.WaitFor("AT", 50), "") << "nothing was sent";
}

TEST_F(MdmCommandByHand, FailedDialHangsUpWithEscapeAndTwoHangUpsAndQuotesTheAnswer) {
  auto dial = [this] { return drv_.DialPhone("5551", err_); };
  const std::string ok = "\r\nOK\r\n";
  EXPECT_FALSE(Converse(dial, {{"ATDP5551\r", "\r\nNO CARRIER\r\n"}, {"+++", ok}, {"ATH\r", ok}, {"ATH\r", ok}}));
  EXPECT_EQ(err_, kNoCarrierQuoted) << "escaped, cut at 11 characters";
  // "+++" unanswered (its one-second wait runs out), the first ATH answered
  // OK, the second ERROR: only the last step's failure is reported.
  EXPECT_FALSE(Converse(dial, {{"ATDP5551\r", "\r\nBUSY\r\n"}, {"+++ATH\r", ok}, {"ATH\r", "\r\nERROR\r\n"}}));
  EXPECT_EQ(err_, BadResponse(TRespCode::rcBusy, "$0D$0ABUSY$0D$0A") + "; Alsow error on hang up: <" +
                      BadResponse(TRespCode::rcError, "$0D$0AERROR$0D$0A") + ">");
}

// TestChannel against the simulated modem, an echoing one, a dead one, and a
// missing port; the port stays open only when the test passed.
TEST(MdmTestChannel, LiveAndEchoingModemsPassSilentOnesAndMissingPortsFailWithTheirTexts) {
  testing::TFakeGate gate;
  testing::TSimRig rig;
  const struct {
    bool echo, dead, missing;
    std::string_view err;  // "" when the test passes
  } cases[] = {
      {false, false, false, ""},
      {true, false, false, ""},
      {false, true, false,
       "Модем отключен от порта или неверные настройки модема или т.п.:(MdmSendCmd('ATE0V1S0=0'#13) failed)"_cp},
      {false, false, true, "Ошибка: 2; Система не смогла найти указанный порт"_cp},
  };
  for (const auto& c : cases) {
    if (c.missing)
      rig.Missing(4);
    else
      rig.OnCom(4, "", {.faults = {.dead = c.dead, .echo_stuck = c.echo}});
    TMdmDriver drv;
    drv.SetChannelSettings(testing::ChannelOn(4));
    std::string err;
    EXPECT_EQ(drv.TestChannel(err), c.err.empty());
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(drv.Connected(), c.err.empty());
  }
}

// A modem left in its last call (DTR ignored) takes everything but the
// escape as data for the far side and answers nothing. Taking the channel
// and the modem test both wait out the guard time, escape, hang up and try
// again; the answer after the escape is what makes the channel usable.
TEST(MdmLeftOnLine, TakingTheChannelAndTheModemTestEscapeHangUpAndTryAgain) {
  testing::TFakeGate gate;
  for (const bool modem_test : {false, true}) {
    SCOPED_TRACE(modem_test ? "TestChannel" : "InitForSending");
    // The guard times themselves are the simulated modem's to check (the
    // pool's series of calls on modems left on line).
    std::atomic<bool> in_call{true};
    testing::TScriptedModem modem(4, [&](const std::string& cmd) -> std::string {
      if (cmd == "+++") in_call = false;
      return in_call ? "" : "\r\nOK\r\n";
    });
    TMdmDriver drv;
    drv.SetChannelSettings(testing::ChannelOn(4));
    std::string err;
    const bool ok = modem_test ? drv.TestChannel(err) : drv.InitForSending(false, testing::Quick(), 5, nullptr, err);
    EXPECT_TRUE(ok) << err;
    EXPECT_EQ(modem.Commands(),
              (std::vector<std::string>{"ATE0V1S0=0", "+++", "ATH", "ATE0V1S0=0", "ATX3", "ATE0V1S0=0"}));
    drv.ReleaseSendingChannel();
  }
}

}  // namespace
}  // namespace kestrel::modem
