// The command side of the modem driver: answers read from a far end the test
// drives by hand (exact bytes and timing), dialling and hanging up, and
// TestChannel against the simulated modem.
#include "gate/common/LogText.h"
#include "gate/common/MdmResp.h"
#include "platform/Cp1251.h"
#include "sim/ExchangeRunner.h"
#include "tests/modem/ModemRig.h"

namespace kestrel::modem {
namespace {

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
    auto done = Async(std::move(call));
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
  static std::string BadResponse(TRespCode code, const std::string& quoted) {
    return "Bad Response: " + std::string(gate::ResponseText(code)) + "; exactly: '" + quoted + "'";
  }
};

TEST_F(MdmCommandByHand, SilenceTimeOutRunsFromTheLastChunk) {
  const std::uint32_t t0 = platform::GetTickCount();
  EXPECT_FALSE(drv_.MdmSendCmd("AT\r", RespSet(TRespCode::rcOK), 250, err_));
  EXPECT_EQ(err_, "Timeout reached");
  EXPECT_GE(platform::Elapsed(t0, platform::GetTickCount()), 250u);
  // Six chunks 400 ms apart with 1200 ms of silence allowed: 2000 ms in all.
  EXPECT_TRUE(Command("AT\r", RespSet(TRespCode::rcOK), 1200, {"\r", "\n", "O", "K", "\r", "\n"}, 400)) << err_;
}

TEST_F(MdmCommandByHand, AnswerIsCompleteAtTheLineBreakAfterItsWord) {
  EXPECT_TRUE(Command("AT\r", RespSet(TRespCode::rcOK), 2000, {"OK\r\n"})) << err_;
  // CR LF alone is not an answer: the wait goes on until CR LF follows the word.
  EXPECT_TRUE(Command("AT\r", RespSet(TRespCode::rcOK), 2000, {"\r\n", "OK\r\n"}, 50)) << err_;
  // An echoed command counts as "other", which the initialisation accepts.
  EXPECT_TRUE(Command("ATE0V1S0=0\r", RespSet(TRespCode::rcOK, TRespCode::rcOther), 2000,
                      {"ATE0V1S0=0\r\r\nOK\r\n"}))
      << err_;
}

TEST_F(MdmCommandByHand, EveryWrongClassIsABadResponseWithItsExplanation) {
  const std::pair<const char*, TRespCode> cases[] = {
      {"\r\nOK\r\n", TRespCode::rcOK},           {"\r\nRING\r\n", TRespCode::rcRing},
      {"\r\nNO CARRIER\r\n", TRespCode::rcNoCarrier}, {"\r\nERROR\r\n", TRespCode::rcError},
      {"\r\nNO DIALTONE\r\n", TRespCode::rcNoDialtone}, {"\r\nBUSY\r\n", TRespCode::rcBusy},
      {"\r\nNO ANSWER\r\n", TRespCode::rcNoAnswer},  {"\r\nHUH\r\n", TRespCode::rcOther},
  };
  for (const auto& [answer, code] : cases) {
    EXPECT_FALSE(Command("ATDT1\r", RespSet(TRespCode::rcConnect), 2000, {answer}));
    EXPECT_EQ(err_, BadResponse(code, gate::PrintableText(answer, 11)));
  }
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
    if (c.missing) {
      rig.Missing(4);
    } else {
      rig.OnCom(4, "", {.faults = {.dead = c.dead, .echo_stuck = c.echo}});
    }
    TMdmDriver drv;
    drv.SetChannelSettings(testing::ChannelOn(4));
    std::string err;
    EXPECT_EQ(drv.TestChannel(err), c.err.empty()) << err;
    if (!c.err.empty()) {
      EXPECT_EQ(err, c.err);
    }
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
