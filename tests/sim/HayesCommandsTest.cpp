// Conformance of the command interpreter: each command, the result formats,
// echo, and how a line is assembled and executed.
#include <gtest/gtest.h>

#include <string>

#include "sim/HayesModem.h"
#include "tests/sim/ModemBench.h"

namespace kestrel::sim {
namespace {

using testing::TModemBench;
using TKind = THayesModem::TRequest::TKind;

TEST(HayesCommands, AtAnswersOkAndEchoesTheLine) {
  TModemBench b;
  EXPECT_EQ(b.Type("AT\r"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(b.Type("at\r"), "at\r\r\nOK\r\n") << "commands are case-insensitive";
}

TEST(HayesCommands, EchoFollowsE) {
  TModemBench b;
  // The line that turns echo off is still echoed: characters echo as they arrive.
  EXPECT_EQ(b.Type("ATE0\r"), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(b.Type("AT\r"), "\r\nOK\r\n");
  EXPECT_EQ(b.Type("ATE1\r"), "\r\nOK\r\n");
  EXPECT_EQ(b.Type("AT\r"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(b.Type("ATE\r"), "ATE\r\r\nOK\r\n") << "E without a number is E0";
  EXPECT_EQ(b.Type("AT\r"), "\r\nOK\r\n");
}

TEST(HayesCommands, GateInitialisationLineSetsEverySwitch) {
  TModemBench b;
  b.Type("ATS0=3V0\r");
  // The echo of the whole line comes first, then the result in the new format.
  EXPECT_EQ(b.Type("ATE0V1S0=0\r"), "ATE0V1S0=0\r\r\nOK\r\n");
  EXPECT_FALSE(b.modem.Profile().echo);
  EXPECT_TRUE(b.modem.Profile().verbose);
  EXPECT_EQ(b.modem.Profile().s[0], 0);
}

TEST(HayesCommands, NumericResultsFollowV) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATV0\r"), "0\r");
  EXPECT_EQ(b.Type("ATY\r"), "4\r");
  EXPECT_EQ(b.Type("ATI3\r"), "Kestrel software modem 1.0\r\n0\r") << "information is not framed in front";
  EXPECT_EQ(b.Type("ATV1\r"), "\r\nOK\r\n");
}

TEST(HayesCommands, QuietSuppressesResultsButNotInformation) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATQ1\r"), "");
  EXPECT_EQ(b.Type("ATY\r"), "");
  EXPECT_EQ(b.Type("ATS7?\r"), "\r\n050\r\n");
  EXPECT_EQ(b.Type("ATQ0\r"), "\r\nOK\r\n");
}

TEST(HayesCommands, UnknownOrOutOfRangeCommandsGiveError) {
  for (const char* line : {"ATY\r", "ATE2\r", "ATX5\r", "ATV2\r", "ATQ2\r", "ATH2\r", "AT&Z\r", "AT&\r", "AT&C2\r",
                           "AT&D4\r", "ATS7=256\r", "ATS100=1\r", "ATS3=200\r", "ATS100?\r", "ATI10\r",
                           "ATDT12X\r", "AT&F1\r"}) {
    auto b = TModemBench::Quiet();
    EXPECT_EQ(b.Type(line), "\r\nERROR\r\n") << line;
  }
}

TEST(HayesCommands, ErrorStopsTheLineAfterWhatAlreadyRan) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATV1S7=20YS7=30\r"), "\r\nERROR\r\n");
  EXPECT_EQ(b.modem.Profile().s[7], 20);
}

TEST(HayesCommands, RegistersAreSetAndRead) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATS7=60\r"), "\r\nOK\r\n");
  EXPECT_EQ(b.Type("ATS7?\r"), "\r\n060\r\n\r\nOK\r\n");
  EXPECT_EQ(b.Type("ATS12=10S12?S0?\r"), "\r\n010\r\n\r\n000\r\n\r\nOK\r\n");
  // "Sn" selects a register for a following "?" or "=".
  EXPECT_EQ(b.Type("ATS8\r"), "\r\nOK\r\n");
  EXPECT_EQ(b.Type("AT=5?\r"), "\r\n005\r\n\r\nOK\r\n");
  EXPECT_EQ(b.Type("ATS9=\r"), "\r\nOK\r\n") << "an empty value is 0";
  EXPECT_EQ(b.modem.Profile().s[9], 0);
}

TEST(HayesCommands, ResultCharactersFollowS3AndS4) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATS4=33\r"), "\r!OK\r!");
  EXPECT_EQ(b.Type("ATS3=35\r"), "#!OK#!");
  EXPECT_EQ(b.Type("AT#"), "#!OK#!") << "S3 also ends the command line";
}

TEST(HayesCommands, SeveralCommandsRunInOrderWithOneResult) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATX3 &C0 &D1 L2 M0 B1 &K3 S8=4\r"), "\r\nOK\r\n");
  const auto& p = b.modem.Profile();
  EXPECT_EQ(p.x_level, 3);
  EXPECT_EQ(p.dcd_mode, 0);
  EXPECT_EQ(p.dtr_mode, 1);
  EXPECT_EQ(p.s[8], 4);
}

TEST(HayesCommands, ZRestoresTheStoredProfileAndFTheFactoryOne) {
  auto b = TModemBench::Quiet();
  b.Type("ATS7=30X2&W\r");
  b.Type("ATS7=99X0V0\r");
  // Z answers in the format of the profile it restores, and ignores the rest of the line.
  EXPECT_EQ(b.Type("ATZS7=1\r"), "\r\nOK\r\n");
  EXPECT_EQ(b.modem.Profile().s[7], 30);
  EXPECT_EQ(b.modem.Profile().x_level, 2);
  EXPECT_FALSE(b.modem.Profile().echo) << "E0 was part of the stored profile";
  EXPECT_EQ(b.Type("AT&F\r"), "\r\nOK\r\n");
  EXPECT_EQ(b.modem.Profile().s[7], 50);
  EXPECT_EQ(b.modem.Profile().x_level, 4);
}

TEST(HayesCommands, InformationTexts) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATI0\r"), "\r\n336\r\n\r\nOK\r\n");
  EXPECT_EQ(b.Type("ATI3\r"), "\r\nKestrel software modem 1.0\r\n\r\nOK\r\n");
  EXPECT_EQ(b.Type("ATI7\r"), "\r\nOK\r\n");
}

TEST(HayesCommands, LineEditingAndRepeat) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATI3Y\b\r"), "\r\nKestrel software modem 1.0\r\n\r\nOK\r\n") << "backspace removes the Y";
  EXPECT_EQ(b.Type("A/"), "\r\nKestrel software modem 1.0\r\n\r\nOK\r\n") << "A/ repeats the last line";
  EXPECT_EQ(b.Type("AT\x01I0\r"), "\r\n336\r\n\r\nOK\r\n") << "control characters are not part of a command";
  EXPECT_EQ(b.Type("AAT\r"), "\r\nOK\r\n");
  EXPECT_EQ(b.Type("xyzAT\r"), "\r\nOK\r\n") << "anything before AT is skipped";
}

TEST(HayesCommands, HangUpAfterAStrayEscapeInCommandMode) {
  // After a failed dial the gate sends "+++" (no CR) and then "ATH": the modem
  // is in command mode, so the pluses are noise in front of the next line.
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("+++"), "");
  EXPECT_EQ(b.Type("ATH\r"), "\r\nOK\r\n");
}

TEST(HayesCommands, OverlongLineGivesError) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("AT" + std::string(THayesModem::kMaxLine, 'E') + "\r"), "\r\nOK\r\n");
  EXPECT_EQ(b.Type("AT" + std::string(THayesModem::kMaxLine + 1, 'E') + "\r"), "\r\nERROR\r\n");
  EXPECT_EQ(b.Type("AT\r"), "\r\nOK\r\n") << "the next line is fine";
}

TEST(HayesCommands, ConnectRateFollowsX) {
  for (const auto& [x, verbose, expected] : {std::tuple{"ATX0", true, "\r\nCONNECT\r\n"},
                                             std::tuple{"ATX1", true, "\r\nCONNECT 33600\r\n"},
                                             std::tuple{"ATX4", true, "\r\nCONNECT 33600\r\n"},
                                             std::tuple{"ATX0V0", false, "1\r"},
                                             std::tuple{"ATX4V0", false, "84\r"}}) {
    auto b = TModemBench::Quiet();
    b.Type(std::string(x) + "\r");
    b.Type("ATD5\r");
    b.modem.CallConnected(b.now, 33600);
    EXPECT_EQ(b.Out(), expected) << x << (verbose ? " verbose" : " numeric");
  }
}

TEST(HayesCommands, OnlineWithoutCarrierAndAnswerWhenOnLine) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATO\r"), "\r\nNO CARRIER\r\n");
  b.Connect();
  b.Wait(Seconds(2));
  b.Type("+++");
  EXPECT_EQ(b.Wait(Seconds(2)), "\r\nOK\r\n");
  EXPECT_EQ(b.Type("ATA\r"), "\r\nERROR\r\n");
  EXPECT_EQ(b.Type("ATD123\r"), "\r\nERROR\r\n");
  EXPECT_EQ(b.Type("ATO\r"), "\r\nCONNECT 33600\r\n");
  EXPECT_EQ(b.modem.State(), THayesModem::TState::kOnlineData);
}

TEST(HayesCommands, HangUpAndOffHook) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATH1\r"), "\r\nOK\r\n");
  EXPECT_TRUE(b.modem.OffHook());
  EXPECT_EQ(b.Type("ATH0\r"), "\r\nOK\r\n");
  EXPECT_FALSE(b.modem.OffHook());
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kHangUp});
  EXPECT_EQ(b.Type("ATH\r"), "\r\nOK\r\n") << "on hook already: nothing to do";
  EXPECT_TRUE(b.RequestKinds().empty());
}

TEST(HayesCommands, DialPlacesTheCallWithTheDialledDigits) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATDT 8(812)555-01-02\r"), "");
  auto requests = b.modem.TakeRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].kind, TKind::kPlaceCall);
  EXPECT_EQ(requests[0].number, "88125550102");
  EXPECT_EQ(b.modem.State(), THayesModem::TState::kOriginating);
  // Any key but LF ends the attempt.
  EXPECT_EQ(b.Type("\n"), "");
  EXPECT_EQ(b.Type("x"), "\r\nNO CARRIER\r\n");
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kHangUp});
  // DL redials the last number; pulse dialling routes the same digits.
  b.Type("ATDL\r");
  requests = b.modem.TakeRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].number, "88125550102");
}

TEST(HayesCommands, DialWithSemicolonReturnsToCommandMode) {
  auto b = TModemBench::Quiet();
  // The commands after ';' run once the dialling is done; one OK for the line.
  EXPECT_EQ(b.Type("ATDP123;S7=10\r"), "\r\nOK\r\n");
  EXPECT_EQ(b.modem.State(), THayesModem::TState::kOffHook);
  EXPECT_EQ(b.modem.Profile().s[7], 10);
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kPlaceCall});
  EXPECT_EQ(b.Type("ATD456\r"), "\r\nERROR\r\n") << "a call is already placed";
  // An empty ATD goes on with the placed call and waits for the carrier.
  EXPECT_EQ(b.Type("ATD\r"), "");
  EXPECT_TRUE(b.modem.Originating());
  b.modem.CallConnected(b.now, 9600);
  EXPECT_EQ(b.Out(), "\r\nCONNECT 9600\r\n");
}

TEST(HayesCommands, AnswerRequestsTheLine) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATA\r"), "");
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kAnswer});
  EXPECT_EQ(b.modem.State(), THayesModem::TState::kAnswering);
}

TEST(HayesCommands, DcdFollowsAmpersandC) {
  auto b = TModemBench::Quiet();
  EXPECT_FALSE(b.modem.DcdLine());
  b.Type("AT&C0\r");
  EXPECT_TRUE(b.modem.DcdLine()) << "&C0: CD always on";
  b.Type("AT&C1\r");
  b.Connect();
  EXPECT_TRUE(b.modem.DcdLine());
  b.modem.CarrierLost(b.now);
  EXPECT_FALSE(b.modem.DcdLine()) << "CD drops with the carrier, before the modem gives up (S10)";
}

}  // namespace
}  // namespace kestrel::sim
