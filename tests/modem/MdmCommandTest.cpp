// The command side of the modem driver, against a far end the test drives by
// hand (exact bytes and timing) and against the simulated modem.
#include <future>

#include "gate/LogText.h"
#include "gate/MdmResp.h"
#include "modem/MdmMain.h"
#include "platform/Cp1251.h"
#include "sim/ExchangeRunner.h"
#include "tests/modem/ModemRig.h"

namespace kestrel::modem {
namespace {

using namespace kestrel::literals;
using gate::RespSet;
using gate::TRespCode;
using testing::TComMap;
using testing::TFakeGate;
using testing::TFarEnd;

constexpr auto kInitAccept = RespSet(TRespCode::rcOK, TRespCode::rcOther);

// A driver on COM3 whose far end the test plays.
class MdmCommandByHand : public ::testing::Test {
 protected:
  void SetUp() override {
    map_.Map(3, far_name_);
    drv_.SetChannelSettings(testing::ChannelOn(3));
    ASSERT_TRUE(drv_.Connect());
  }
  std::future<bool> Command(std::string cmd, gate::TRespSet accept, std::uint32_t timeout_ms) {
    return std::async(std::launch::async, [=, this] { return drv_.MdmSendCmd(cmd, accept, timeout_ms, err_); });
  }

  TFakeGate gate_;
  std::string far_name_ = testing::UniqueLineName("cmd");
  TFarEnd far_{far_name_};
  TComMap map_;
  TMdmDriver drv_;
  std::string err_;
};

TEST_F(MdmCommandByHand, SilenceTimeOutRestartsWithEveryChunk) {
  // 300 ms pauses between chunks, 400 ms of silence allowed: 600 ms in all.
  auto done = Command("AT\r", RespSet(TRespCode::rcOK), 400);
  far_.WaitFor("AT\r");
  far_.Say("\r\n");
  platform::SleepFor(300);
  far_.Say("O");
  platform::SleepFor(300);
  far_.Say("K\r\n");
  EXPECT_TRUE(done.get()) << err_;
}

TEST_F(MdmCommandByHand, AnswersWithAndWithoutLeadingLineBreakAreComplete) {
  auto bare = Command("AT\r", RespSet(TRespCode::rcOK), 2000);
  far_.WaitFor("AT\r");
  far_.Say("OK\r\n");
  EXPECT_TRUE(bare.get()) << err_;
  far_.Forget();
  // CR LF alone is not an answer: the wait goes on until CR LF follows the word.
  auto framed = Command("AT\r", RespSet(TRespCode::rcOK), 2000);
  far_.WaitFor("AT\r");
  far_.Say("\r\n");
  platform::SleepFor(50);
  far_.Say("OK\r\n");
  EXPECT_TRUE(framed.get()) << err_;
}

TEST_F(MdmCommandByHand, SilentModemTimesOut) {
  const std::uint32_t t0 = platform::GetTickCount();
  EXPECT_FALSE(drv_.MdmSendCmd("AT\r", RespSet(TRespCode::rcOK), 250, err_));
  EXPECT_EQ(err_, "Timeout reached");
  EXPECT_GE(platform::Elapsed(t0, platform::GetTickCount()), 250u);
}

TEST_F(MdmCommandByHand, EchoedCommandCountsAsOtherAndPassesTheInitialisation) {
  auto done = Command("ATE0V1S0=0\r", kInitAccept, 2000);
  far_.WaitFor("ATE0V1S0=0\r");
  far_.Say("ATE0V1S0=0\r\r\nOK\r\n");
  EXPECT_TRUE(done.get()) << err_;
}

TEST_F(MdmCommandByHand, EveryWrongClassIsABadResponseWithItsExplanation) {
  struct Case {
    const char* answer;
    TRespCode code;
  };
  const Case cases[] = {
      {"\r\nOK\r\n", TRespCode::rcOK},           {"\r\nRING\r\n", TRespCode::rcRing},
      {"\r\nNO CARRIER\r\n", TRespCode::rcNoCarrier}, {"\r\nERROR\r\n", TRespCode::rcError},
      {"\r\nNO DIALTONE\r\n", TRespCode::rcNoDialtone}, {"\r\nBUSY\r\n", TRespCode::rcBusy},
      {"\r\nNO ANSWER\r\n", TRespCode::rcNoAnswer},  {"\r\nHUH\r\n", TRespCode::rcOther},
  };
  for (const Case& c : cases) {
    far_.Forget();
    auto done = Command("ATDT1\r", RespSet(TRespCode::rcConnect), 2000);
    far_.WaitFor("ATDT1\r");
    far_.Say(c.answer);
    EXPECT_FALSE(done.get());
    EXPECT_EQ(err_, "Bad Response: " + std::string(gate::ResponseText(c.code)) + "; exactly: '" +
                        gate::PrintableText(c.answer, 11) + "'");
  }
  // The BUSY text byte for byte, as an operator reads it.
  EXPECT_EQ(gate::ResponseText(TRespCode::rcBusy), "<BUSY>: сигнал \"занято\""_cp);
}

TEST_F(MdmCommandByHand, GateStopEndsAWaitForAnAnswer) {
  auto done = Command("AT\r", RespSet(TRespCode::rcOK), 10000);
  far_.WaitFor("AT\r");
  const std::uint32_t t0 = platform::GetTickCount();
  gate_.stopping = true;
  EXPECT_FALSE(done.get());
  EXPECT_EQ(err_, "Break on stop gate");
  EXPECT_LT(platform::Elapsed(t0, platform::GetTickCount()), 1000u);
}

TEST_F(MdmCommandByHand, ClosedPortIsReportedBeforeAnythingIsSent) {
  drv_.Disconnect();
  EXPECT_FALSE(drv_.MdmSendCmd("AT\r", RespSet(TRespCode::rcOK), 100, err_));
  EXPECT_EQ(err_, "No connection to COM-port");
  std::string resp;
  EXPECT_FALSE(drv_.MdmRecvSpec(resp, err_, 100));
  EXPECT_EQ(err_, "Not connected");
}

class MdmDialByHand : public MdmCommandByHand {
 protected:
  std::future<bool> Dial(std::string phone) {
    return std::async(std::launch::async, [=, this] { return drv_.DialPhone(phone, err_); });
  }
};

TEST_F(MdmDialByHand, ToneAndPulseDialling) {
  // DialPhone dials with the ActiveAddress, which InitForSending sets; a fresh
  // driver has the default address: pulse.
  auto pulse = Dial("5551");
  far_.WaitFor("ATDP5551\r");
  far_.Say("\r\nCONNECT 33600\r\n");
  EXPECT_TRUE(pulse.get()) << err_;
  EXPECT_TRUE(drv_.ModemConnected());
  far_.Forget();
  // Connected already: nothing is sent.
  EXPECT_TRUE(drv_.DialPhone("5552", err_));
  platform::SleepFor(50);
  EXPECT_EQ(far_.Heard(), "");
}

TEST_F(MdmDialByHand, FailedDialHangsUpWithEscapeAndTwoHangUps) {
  auto dial = Dial("5551");
  far_.WaitFor("ATDP5551\r");
  far_.Forget();
  far_.Say("\r\nNO CARRIER\r\n");
  far_.WaitFor("+++");
  far_.Say("\r\nOK\r\n");
  far_.WaitFor("ATH\r");
  far_.Say("\r\nOK\r\n");
  far_.Forget();
  far_.WaitFor("ATH\r");
  far_.Say("\r\nOK\r\n");
  EXPECT_FALSE(dial.get());
  // The answer is quoted escaped and cut at 11 characters.
  EXPECT_EQ(err_, "Bad Response: " + std::string(gate::ResponseText(TRespCode::rcNoCarrier)) +
                      "; exactly: '$0D$0ANO CARRIE...'");
}

TEST_F(MdmDialByHand, HangUpFailureIsAppended) {
  auto dial = Dial("5551");
  far_.WaitFor("ATDP5551\r");
  far_.Forget();
  far_.Say("\r\nBUSY\r\n");
  // "+++" gets no answer (its one-second wait runs out), the first ATH an OK,
  // the second an ERROR: only the last step's failure is reported.
  far_.WaitFor("+++ATH\r", 3000);
  far_.Say("\r\nOK\r\n");
  far_.Forget();
  far_.WaitFor("ATH\r");
  far_.Say("\r\nERROR\r\n");
  EXPECT_FALSE(dial.get());
  EXPECT_EQ(err_, "Bad Response: " + std::string(gate::ResponseText(TRespCode::rcBusy)) +
                      "; exactly: '$0D$0ABUSY$0D$0A'; Alsow error on hang up: <Bad Response: " +
                      std::string(gate::ResponseText(TRespCode::rcError)) + "; exactly: '$0D$0AERROR$0D$0A'>");
}

TEST_F(MdmDialByHand, NumberWithControlCharactersIsNotDialled) {
  EXPECT_FALSE(drv_.DialPhone("555\rATZ", err_));
  EXPECT_EQ(err_, "Phone number <555$0DATZ> holds control characters; not dialled");
  platform::SleepFor(50);
  EXPECT_EQ(far_.Heard(), "");
}

// TestChannel against the simulated modem, a dead one, and a missing port.
class MdmTestChannel : public ::testing::Test {
 protected:
  std::string Add(const sim::TModemSetup& setup, int com) {
    const std::string name = testing::UniqueLineName("test");
    EXPECT_NE(runner_.AddSimModem(name, setup), sim::kNoModem);
    map_.Map(com, name);
    return name;
  }
  TFakeGate gate_;
  TComMap map_;
  sim::TExchangeRunner runner_;
};

TEST_F(MdmTestChannel, LiveModemPassesAndThePortStaysOpen) {
  runner_.Start();
  Add({}, 4);
  TMdmDriver drv;
  drv.SetChannelSettings(testing::ChannelOn(4));
  std::string err;
  EXPECT_TRUE(drv.TestChannel(err)) << err;
  EXPECT_TRUE(drv.Connected());
}

TEST_F(MdmTestChannel, EchoingModemPasses) {
  runner_.Start();
  sim::TModemSetup setup;
  setup.faults.echo_stuck = true;
  Add(setup, 4);
  TMdmDriver drv;
  drv.SetChannelSettings(testing::ChannelOn(4));
  std::string err;
  EXPECT_TRUE(drv.TestChannel(err)) << err;
}

TEST_F(MdmTestChannel, SilentModemGivesTheDisconnectedText) {
  runner_.Start();
  sim::TModemSetup setup;
  setup.faults.dead = true;
  Add(setup, 4);
  TMdmDriver drv;
  drv.SetChannelSettings(testing::ChannelOn(4));
  std::string err;
  EXPECT_FALSE(drv.TestChannel(err));
  EXPECT_EQ(err, "Модем отключен от порта или неверные настройки модема или т.п.:(MdmSendCmd('ATE0V1S0=0'#13) failed)"_cp);
  EXPECT_FALSE(drv.Connected());
}

TEST_F(MdmTestChannel, MissingPortGivesCode2AndItsOwnText) {
  map_.Map(9, "no-such-line");
  TMdmDriver drv;
  drv.SetChannelSettings(testing::ChannelOn(9));
  std::string err;
  EXPECT_FALSE(drv.TestChannel(err));
  EXPECT_EQ(err, "Ошибка: 2; Система не смогла найти указанный порт"_cp);
}

}  // namespace
}  // namespace kestrel::modem
