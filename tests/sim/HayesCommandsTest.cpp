// Conformance of the command interpreter: each command, the result formats,
// echo, and how a line is assembled and executed.
#include <gtest/gtest.h>

#include <string>

#include "sim/HayesModem.h"
#include "tests/sim/ModemBench.h"

namespace kestrel::sim {
namespace {

using testing::TModemBench;
using testing::TStep;
using TKind = THayesModem::TRequest::TKind;

TEST(HayesCommands, EchoFollowsEAndResultsTheGatesInitialisationLine) {
  TModemBench b;
  b.Expect({{"AT\r", "AT\r\r\nOK\r\n"}, {"at\r", "at\r\r\nOK\r\n"},  // commands are case-insensitive
            // The line that turns echo off is still echoed: characters echo as they arrive.
            {"ATE0\r", "ATE0\r\r\nOK\r\n"}, {"AT\r", "\r\nOK\r\n"}, {"ATE1\r", "\r\nOK\r\n"},
            {"AT\r", "AT\r\r\nOK\r\n"},
            {"ATE\r", "ATE\r\r\nOK\r\n"}, {"AT\r", "\r\nOK\r\n"},  // E without a number is E0
            {"ATE1S0=3V0\r", "0\r"},
            // The echo of the whole line comes first, then the result in the new format.
            {"ATE0V1S0=0\r", "ATE0V1S0=0\r\r\nOK\r\n"}, {"ATS0?\r", "\r\n000\r\n\r\nOK\r\n"}});
}

// Each script starts on a modem with echo off and verbose results.
TEST(HayesCommands, ScriptsGetTheAnswersOfAHayesModem) {
  const std::pair<const char*, std::vector<TStep>> scripts[] = {
      {"numeric results follow V; information is not framed in front",
       {{"ATV0\r", "0\r"}, {"ATY\r", "4\r"}, {"ATI3\r", "Kestrel software modem 1.0\r\n0\r"},
        {"ATV1\r", "\r\nOK\r\n"}}},
      {"Q1 suppresses results but not information",
       {{"ATQ1\r", ""}, {"ATY\r", ""}, {"ATS7?\r", "\r\n050\r\n"}, {"ATQ0\r", "\r\nOK\r\n"}}},
      {"an error stops the line after what already ran",
       {{"ATV1S7=20YS7=30\r", "\r\nERROR\r\n"}, {"ATS7?\r", "\r\n020\r\n\r\nOK\r\n"}}},
      {"registers are set and read; Sn selects one for a following ? or =; an empty value is 0",
       {{"ATS7=60\r", "\r\nOK\r\n"}, {"ATS7?\r", "\r\n060\r\n\r\nOK\r\n"},
        {"ATS12=10S12?S0?\r", "\r\n010\r\n\r\n000\r\n\r\nOK\r\n"}, {"ATS8\r", "\r\nOK\r\n"},
        {"AT=5?\r", "\r\n005\r\n\r\nOK\r\n"}, {"ATS9=\r", "\r\nOK\r\n"}, {"ATS9?\r", "\r\n000\r\n\r\nOK\r\n"}}},
      {"result characters follow S3 and S4; S3 also ends the command line",
       {{"ATS4=33\r", "\r!OK\r!"}, {"ATS3=35\r", "#!OK#!"}, {"AT#", "#!OK#!"}}},
      {"information texts",
       {{"ATI0\r", "\r\n336\r\n\r\nOK\r\n"}, {"ATI3\r", "\r\nKestrel software modem 1.0\r\n\r\nOK\r\n"},
        {"ATI7\r", "\r\nOK\r\n"}}},
      {"backspace edits, A/ repeats, control characters and what precedes AT are skipped",
       {{"ATI3Y\b\r", "\r\nKestrel software modem 1.0\r\n\r\nOK\r\n"},
        {"A/", "\r\nKestrel software modem 1.0\r\n\r\nOK\r\n"}, {"AT\x01I0\r", "\r\n336\r\n\r\nOK\r\n"},
        {"AAT\r", "\r\nOK\r\n"}, {"xyzAT\r", "\r\nOK\r\n"}}},
      // After a failed dial the gate sends "+++" (no CR) and then "ATH": the
      // modem is in command mode, so the pluses are noise in front of the next line.
      {"a stray escape in command mode", {{"+++", ""}, {"ATH\r", "\r\nOK\r\n"}}},
      {"an overlong line gives ERROR and the next line is fine",
       {{"AT" + std::string(THayesModem::kMaxLine, 'E') + "\r", "\r\nOK\r\n"},
        {"AT" + std::string(THayesModem::kMaxLine + 1, 'E') + "\r", "\r\nERROR\r\n"}, {"AT\r", "\r\nOK\r\n"}}},
      {"ATO without a carrier", {{"ATO\r", "\r\nNO CARRIER\r\n"}}},
  };
  for (const auto& [name, script] : scripts) {
    SCOPED_TRACE(name);
    TModemBench::Quiet().Expect(script);
  }
  for (const char* line : {"ATY\r", "ATE2\r", "ATX5\r", "ATV2\r", "ATQ2\r", "ATH2\r", "AT&Z\r", "AT&\r", "AT&C2\r",
                           "AT&D4\r", "ATS7=256\r", "ATS100=1\r", "ATS3=200\r", "ATS100?\r", "ATI10\r",
                           "ATDT12X\r", "AT&F1\r"})
    EXPECT_EQ(TModemBench::Quiet().Type(line), "\r\nERROR\r\n") << "unknown or out of range: " << line;
}

TEST(HayesCommands, SeveralCommandsRunInOrderAndZAndFRestoreTheProfiles) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATX3 &C0 &D1 L2 M0 B1 &K3 S8=4\r"), "\r\nOK\r\n");
  const auto& p = b.modem.Profile();
  EXPECT_EQ(p.x_level, 3);
  EXPECT_EQ(p.dcd_mode, 0);
  EXPECT_EQ(p.dtr_mode, 1);
  EXPECT_EQ(p.s[8], 4);

  b.Type("ATS7=30X2&W\r");
  b.Type("ATS7=99X0V0\r");
  // Z answers in the format of the profile it restores, and ignores the rest of the line.
  b.Expect({{"ATZS7=1\r", "\r\nOK\r\n"}, {"ATS7?\r", "\r\n030\r\n\r\nOK\r\n"}});  // E0 was stored too
  EXPECT_EQ(p.x_level, 2);
  b.Expect({{"AT&F\r", "\r\nOK\r\n"}, {"ATS7?\r", "ATS7?\r\r\n050\r\n\r\nOK\r\n"}});  // and echo on
  EXPECT_EQ(p.x_level, 4);
}

TEST(HayesCommands, ConnectRateFollowsX) {
  for (const auto& [x, expected] : {std::pair{"ATX0", "\r\nCONNECT\r\n"}, {"ATX1", "\r\nCONNECT 33600\r\n"},
                                    {"ATX4", "\r\nCONNECT 33600\r\n"}, {"ATX0V0", "1\r"}, {"ATX4V0", "84\r"}}) {
    auto b = TModemBench::Quiet();
    b.Type(std::string(x) + "\r");
    b.Type("ATD5\r");
    b.modem.CallConnected(b.now, 33600);
    EXPECT_EQ(b.Out(), expected) << x;
  }
}

TEST(HayesCommands, OnLineAnswerAndDialAreRefusedAndOReturnsToData) {
  auto b = TModemBench::Online();
  b.Expect({{"+++", ""}, {Seconds(2), "\r\nOK\r\n"}, {"ATA\r", "\r\nERROR\r\n"}, {"ATD123\r", "\r\nERROR\r\n"},
            {"ATO\r", "\r\nCONNECT 33600\r\n"}});
  EXPECT_EQ(b.modem.State(), THayesModem::TState::kOnlineData);
}

TEST(HayesCommands, HangUpOffHookAndAnswerRequestTheLine) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Type("ATH1\r"), "\r\nOK\r\n");
  EXPECT_TRUE(b.modem.OffHook());
  EXPECT_EQ(b.Type("ATH0\r"), "\r\nOK\r\n");
  EXPECT_FALSE(b.modem.OffHook());
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kHangUp});
  EXPECT_EQ(b.Type("ATH\r"), "\r\nOK\r\n") << "on hook already: nothing to do";
  EXPECT_TRUE(b.RequestKinds().empty());

  EXPECT_EQ(b.Type("ATA\r"), "");
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kAnswer});
  EXPECT_EQ(b.modem.State(), THayesModem::TState::kAnswering);
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
  b.Expect({{"\n", ""}, {"x", "\r\nNO CARRIER\r\n"}});
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kHangUp});
  // DL redials the last number.
  b.Type("ATDL\r");
  requests = b.modem.TakeRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].number, "88125550102");
}

TEST(HayesCommands, DialWithSemicolonReturnsToCommandMode) {
  auto b = TModemBench::Quiet();
  // The commands after ';' run once the dialling is done; one OK for the line.
  b.Expect({{"ATDP123;S7=10\r", "\r\nOK\r\n"}, {"ATS7?\r", "\r\n010\r\n\r\nOK\r\n"}});
  EXPECT_EQ(b.modem.State(), THayesModem::TState::kOffHook);
  EXPECT_EQ(b.RequestKinds(), std::vector<TKind>{TKind::kPlaceCall});
  EXPECT_EQ(b.Type("ATD456\r"), "\r\nERROR\r\n") << "a call is already placed";
  // An empty ATD goes on with the placed call and waits for the carrier.
  EXPECT_EQ(b.Type("ATD\r"), "");
  EXPECT_TRUE(b.modem.Originating());
  b.modem.CallConnected(b.now, 9600);
  EXPECT_EQ(b.Out(), "\r\nCONNECT 9600\r\n");
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
