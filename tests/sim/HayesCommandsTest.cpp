// Conformance of the command interpreter: each command, the result formats,
// echo, and how a line is assembled and executed.
//
// Result texts in both formats, dial strings and number matching.
//
// Fault descriptions of the command line, and the call log lines.
//
// The modem's timing rules on a fake clock: the escape guard times, waits for
// dial tone and carrier, carrier loss, DTR, rings, and the modem faults.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "sim/DialString.h"
#include "sim/EventText.h"
#include "sim/FaultText.h"
#include "sim/HayesModem.h"
#include "sim/ResultCode.h"

namespace kestrel::sim {
namespace {

using TKind = THayesModem::TRequest::TKind;
using TState = THayesModem::TState;
using TTexts = std::vector<std::string>;
constexpr const char* kOk = "\r\nOK\r\n";
constexpr const char* kNoCarrier = "\r\nNO CARRIER\r\n";

// What the line or the terminal's wires do to the modem in a script step.
using TEvent = void (*)(THayesModem&, TSimTime);
constexpr TEvent kConnected = [](THayesModem& m, TSimTime t) { m.CallConnected(t, 33600); };
constexpr TEvent kBusy = [](THayesModem& m, TSimTime t) { m.CallBusy(t); };
constexpr TEvent kRingback = [](THayesModem& m, TSimTime t) { m.CallRingback(t); };
constexpr TEvent kCarrierLost = [](THayesModem& m, TSimTime t) { m.CarrierLost(t); };
constexpr TEvent kRing = [](THayesModem& m, TSimTime t) { m.RingSignal(t, true); };
constexpr TEvent kRingEnds = [](THayesModem& m, TSimTime t) { m.RingSignal(t, false); };
constexpr TEvent kCallGone = [](THayesModem& m, TSimTime t) { m.IncomingCallGone(t); };
constexpr TEvent kDtrOff = [](THayesModem& m, TSimTime t) { m.SetDtr(t, false); };
constexpr TEvent kDtrOn = [](THayesModem& m, TSimTime t) { m.SetDtr(t, true); };

// One step of a script: text typed, time let pass, or an event; what the
// modem says meanwhile, and what it asks of the line: "call <number>",
// "answer" or "hang-up".
struct TStep {
  TStep(std::string typed, std::string said, TTexts asks = {})
      : in(std::move(typed)), out(std::move(said)), asked(std::move(asks)) {}
  TStep(TSimTime pause, std::string said, TTexts asks = {}) : wait(pause), out(std::move(said)), asked(std::move(asks)) {}
  TStep(TEvent e, std::string said, TTexts asks = {}) : event(e), out(std::move(said)), asked(std::move(asks)) {}
  std::string in;
  TSimTime wait = 0;
  TEvent event = nullptr;
  std::string out;
  TTexts asked;
};

// A simulated modem on a fake clock, for tests of the pure state machine,
// with scripts of what is typed, waited for or done to it and what it says.
struct TModemBench {
  THayesModem modem;
  TSimTime now = 0;

  // Types `text` at the current time and returns what the modem says at once.
  std::string Type(std::string_view text) {
    modem.FromDte(now, text);
    modem.Advance(now);  // what is due at once (a dial without pauses) happens now
    return Out();
  }
  std::string Out() { return modem.TakeToDte(now); }
  // Lets `duration` pass and returns what the modem said meanwhile.
  std::string Wait(TSimTime duration) {
    now += duration;
    modem.Advance(now);
    return Out();
  }
  // Runs `script` and returns the state it leaves the modem in.
  TState Expect(const std::vector<TStep>& script) {
    for (std::size_t i = 0; i < script.size(); ++i) {
      const TStep& s = script[i];
      SCOPED_TRACE("step " + std::to_string(i + 1) + ": " +
                   (s.event != nullptr ? "an event"
                    : s.wait != 0      ? "after " + std::to_string(s.wait / 1000) + " ms more"
                                       : "typing " + ::testing::PrintToString(s.in)));
      if (s.event != nullptr) s.event(modem, now);
      EXPECT_EQ(s.event != nullptr ? Out() : s.wait != 0 ? Wait(s.wait) : Type(s.in), s.out);
      EXPECT_EQ(Requests(), s.asked);
    }
    return modem.State();
  }
  // What the modem asked of the line since the last look.
  TTexts Requests() {
    TTexts out;
    for (const auto& r : modem.TakeRequests())
      out.push_back(r.kind == TKind::kPlaceCall ? "call " + r.number : r.kind == TKind::kAnswer ? "answer" : "hang-up");
    return out;
  }
  // A modem with echo off and verbose results, as the gate sets it up.
  static TModemBench Quiet() {
    TModemBench b;
    b.Type("ATE0\r");
    return b;
  }
  // On line in data mode after `setup` and a dial (the far end's carrier at
  // 33600), with the last terminal byte `quiet` ago.
  static TModemBench Online(TSimTime quiet = Seconds(2), std::string_view setup = "") {
    auto b = Quiet();
    b.Type(setup);
    b.Type("ATD1\r");
    b.modem.TakeRequests();
    b.modem.CallConnected(b.now, 33600);
    b.Wait(quiet);
    return b;
  }
};

// Each script starts on a modem with echo off and verbose results.
TEST(HayesCommands, ScriptsGetTheAnswersOfAHayesModem) {
  const std::pair<const char*, std::vector<TStep>> scripts[] = {
      {"echo follows E and the results the gate's initialisation line; commands are case-insensitive",
       {{"ATE1\r", kOk}, {"AT\r", "AT\r\r\nOK\r\n"}, {"at\r", "at\r\r\nOK\r\n"},
        // The line that turns echo off is still echoed: characters echo as they arrive.
        {"ATE0\r", "ATE0\r\r\nOK\r\n"}, {"AT\r", kOk}, {"ATE1\r", kOk}, {"AT\r", "AT\r\r\nOK\r\n"},
        {"ATE\r", "ATE\r\r\nOK\r\n"}, {"AT\r", kOk},  // E without a number is E0
        {"ATE1S0=3V0\r", "0\r"},
        // The echo of the whole line comes first, then the result in the new format.
        {"ATE0V1S0=0\r", "ATE0V1S0=0\r\r\nOK\r\n"}, {"ATS0?\r", "\r\n000\r\n\r\nOK\r\n"}}},
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
      {"information texts (I7 has none); backspace edits, A/ repeats, control characters and what precedes AT are "
       "skipped",
       {{"ATI3Y\b\r", "\r\nKestrel software modem 1.0\r\n\r\nOK\r\n"},
        {"A/", "\r\nKestrel software modem 1.0\r\n\r\nOK\r\n"}, {"AT\x01I0\r", "\r\n336\r\n\r\nOK\r\n"},
        {"ATI7\r", kOk}, {"AAT\r", kOk}, {"xyzAT\r", kOk}}},
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
  EXPECT_EQ(std::tuple(p.x_level, p.dcd_mode, p.dtr_mode, p.s[8]), std::tuple(3, 0, 1, 4));

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
    SCOPED_TRACE(x);
    auto b = TModemBench::Quiet();
    b.Type(std::string(x) + "\r");
    b.Expect({{"ATD5\r", "", {"call 5"}}, {kConnected, expected}});
  }
}

TEST(HayesCommands, HangUpOffHookAndAnswerRequestTheLine) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Expect({{"ATH1\r", kOk}}), TState::kOffHook);
  // Then on hook already: nothing to do.
  EXPECT_EQ(b.Expect({{"ATH0\r", kOk, {"hang-up"}}, {"ATH\r", kOk}}), TState::kIdle);
  EXPECT_EQ(b.Expect({{"ATA\r", "", {"answer"}}}), TState::kAnswering);
}

TEST(HayesCommands, DialPlacesTheCallWithTheDialledDigits) {
  auto b = TModemBench::Quiet();
  EXPECT_EQ(b.Expect({{"ATDT 8(812)555-01-02\r", "", {"call 88125550102"}}}), TState::kOriginating);
  // Any key but LF ends the attempt, also while the far end rings; DL redials the last number.
  b.Expect({{"\n", ""}, {kRingback, ""}, {"x", kNoCarrier, {"hang-up"}}, {"ATDL\r", "", {"call 88125550102"}}});
}

TEST(HayesCommands, DialWithSemicolonReturnsToCommandMode) {
  auto b = TModemBench::Quiet();
  // The commands after ';' run once the dialling is done; one OK for the line.
  EXPECT_EQ(b.Expect({{"ATDP123;S7=10\r", kOk, {"call 123"}}, {"ATS7?\r", "\r\n010\r\n\r\nOK\r\n"}}), TState::kOffHook);
  // A second call cannot be placed. (An empty ATD going on with the placed
  // call to its CONNECT: the exchange's semicolon test.)
  b.Expect({{"ATD456\r", "\r\nERROR\r\n"}});
}

TEST(HayesCommands, DcdFollowsAmpersandC) {
  EXPECT_FALSE(TModemBench::Quiet().modem.DcdLine()) << "no carrier";
  auto always = TModemBench::Online(0, "AT&C0\r"), follows = TModemBench::Online(0, "AT&C0&C1\r");
  EXPECT_TRUE(follows.modem.DcdLine());
  always.modem.CarrierLost(always.now);
  follows.modem.CarrierLost(follows.now);
  EXPECT_TRUE(always.modem.DcdLine()) << "&C0: CD always on";
  EXPECT_FALSE(follows.modem.DcdLine()) << "&C1: CD drops with the carrier, before the modem gives up (S10)";
}

// The verbose texts, their framing by S3 and S4, and the numeric codes of OK,
// ERROR and CONNECT 33600 (with and without the rate) are met in the scripts
// above; here the numeric codes the scripts do not reach.
TEST(ResultCode, NumericResultsAreTheirCodeAndCr) {
  using C = TResultCode;
  const struct {
    C code;
    std::uint32_t rate;
    const char* text;
  } cases[] = {
      {C::kRing, 0, "2\r"}, {C::kNoCarrier, 0, "3\r"}, {C::kNoDialtone, 0, "6\r"}, {C::kBusy, 0, "7\r"},
      {C::kNoAnswer, 0, "8\r"}, {C::kConnect, 2400, "10\r"}, {C::kConnect, 12345, "1\r"},  // no code of its own
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatResult(c.code, c.rate, {.verbose = false}), c.text) << ResultWord(c.code) << " " << c.rate;
}

TEST(DialString, CollectsDigitsAndModifiersAndRejectsWhatNoDialStringHolds) {
  TDialPlan plan;
  const auto fields = [&] {
    return std::tuple(plan.number, plan.pulse, plan.pause, plan.wait_dial_tone, plan.quiet_answer,
                      plan.stay_in_command, plan.consumed);
  };
  ASSERT_TRUE(ParseDialString("T9,W8(812)555-01-02@", false, Seconds(2), plan));
  EXPECT_EQ(fields(), std::tuple("988125550102", false, Seconds(2), true, true, false, std::size_t{20}));

  // A pulse dial cannot send the tone letters; the dial string ends after ';'.
  ASSERT_TRUE(ParseDialString("P12A3;H", false, Seconds(2), plan));
  EXPECT_EQ(fields(), std::tuple("123", true, TSimTime{0}, false, false, true, std::size_t{6}));

  ASSERT_TRUE(ParseDialString("1!2/3,,", false, Seconds(3), plan));
  EXPECT_EQ(plan.pause, Millis(500) + Millis(125) + Seconds(6));

  for (const char* bad : {"12X", "S=1"}) EXPECT_FALSE(ParseDialString(bad, false, 0, plan)) << bad;
  EXPECT_TRUE(ParseDialString("", false, 0, plan));
  EXPECT_TRUE(plan.number.empty());
}

// (Blanks, brackets and dashes: the exchange's dial test.)
TEST(DialString, NumbersCompareByTheirDialledCharacters) {
  EXPECT_EQ(NormaliseNumber("*70#ab"), "*70#AB");
  EXPECT_EQ(NormaliseNumber("ext. 12"), "12");
}

TEST(FaultText, EachFaultSetsItsField) {
  TModemSetup s;
  std::string error;
  for (const char* desc : {"dead", "echo", "no-line", "busy", "dtr-ignored", "no-dtr", "chunks=4/250", "max-rate=9600",
                           "bit-errors=0.001", "lose=.5", "drop-after-bytes=1000", "drop-after-ms=1500"})
    ASSERT_TRUE(ApplyFaultText(desc, s, error)) << desc << ": " << error;
  EXPECT_EQ(std::tuple(s.faults.dead, s.faults.echo_stuck, s.line, s.busy, s.dtr_mode, s.dtr_wired, s.max_rate),
            std::tuple(true, true, false, true, std::uint8_t{0}, false, 9600u));
  EXPECT_EQ(std::tuple(s.faults.chunk_size, s.faults.chunk_delay_ms, s.line_faults.bit_error_rate,
                       s.line_faults.loss_rate, s.line_faults.drop_after_bytes, s.line_faults.drop_after_ms),
            std::tuple(4u, 250u, 0.001, 0.5, std::uint64_t{1000}, 1500u));
}

TEST(FaultText, BadTextIsRefusedAndChangesNothing) {
  for (const char* desc : {"", "deadly", "dead=1", "chunks=4", "chunks=0/10", "chunks=a/b", "max-rate=100",
                           "bit-errors=2", "bit-errors=-0.1", "bit-errors=1e-3", "lose=nan", "lose=", "lose=0.1.2",
                           "drop-after-bytes=0", "drop-after-ms=99999999999", "drop-after-bytes=12x"}) {
    TModemSetup s;
    std::string error;
    EXPECT_FALSE(ApplyFaultText(desc, s, error)) << desc;
    EXPECT_FALSE(error.empty()) << desc;
    EXPECT_FALSE(s.faults.dead || s.busy || !s.line || s.line_faults.Any() || s.faults.chunk_size) << desc;
  }
}

TEST(EventText, CallLogLines) {
  using K = TExchangeEvent::TKind;
  EXPECT_EQ(EventText({0, 1, K::kDial, "102"}, "101"), "101 dials 102");
  EXPECT_EQ(EventText({0, 1, K::kResult, "CONNECT 33600"}, "101"), "101 CONNECT 33600");
  EXPECT_EQ(EventText({0, 1, K::kDtr, "off"}, "101"), "101 DTR off");
  EXPECT_EQ(EventText({0, 2, K::kRing, "RING"}, "102"), "102 RING");
}

TEST(HayesEscape, PlusesWithGuardTimesBeforeAndAfterReturnToCommandMode) {
  auto b = TModemBench::Online();
  // Not yet: the guard time after the pluses has not passed.
  EXPECT_EQ(b.Expect({{"+++", ""}, {Millis(999), ""}, {Millis(1), kOk}}), TState::kOnlineCommand);
  EXPECT_TRUE(b.modem.Carrier()) << "the call is kept";
  EXPECT_EQ(b.modem.TakeLineBytes(100), "+++") << "the pluses themselves went to the far end";
}

TEST(HayesEscape, PlusesTooSoonTooManyTooSlowOrFollowedByDataAreData) {
  EXPECT_EQ(TModemBench::Online(Millis(500)).Expect({{"+++", ""}, {Seconds(3), ""}}), TState::kOnlineData) << "too soon";

  auto cancelled = TModemBench::Online();
  EXPECT_EQ(cancelled.Expect({{"+++", ""}, {Millis(500), ""}, {"x", ""}, {Seconds(3), ""}}), TState::kOnlineData);
  EXPECT_EQ(cancelled.modem.TakeLineBytes(100), "+++x");

  // Four pluses; then pluses further apart than the guard time never make three in a row.
  auto b = TModemBench::Online();
  EXPECT_EQ(b.Expect({{"++++", ""}, {Seconds(3), ""}, {"+", ""}, {Millis(1500), ""}, {"+", ""}, {Millis(1500), ""},
                      {"+", ""}, {Millis(1500), ""}, {Seconds(3), ""}}),
            TState::kOnlineData);
  // Pluses typed one by one, each within the guard time of the last, do count.
  b.Expect({{"+", ""}, {Millis(300), ""}, {"+", ""}, {Millis(300), ""}, {"+", ""}, {Seconds(1), kOk}});
}

TEST(HayesEscape, GuardTimeAndCharacterFollowTheRegisters) {
  auto b = TModemBench::Online(0, "ATS12=10S2=33\r");  // 200 ms guard, '!' escapes
  b.Expect({{Millis(200), ""}, {"+++", ""}, {Seconds(1), ""}, {"!!!", ""}, {Millis(199), ""}, {Millis(1), kOk}});

  // Above 127: no escape at all.
  TModemBench::Online(0, "ATS2=128\r").Expect({{Seconds(2), ""}, {"\x80\x80\x80", ""}, {"+++", ""}, {Seconds(3), ""}});

  // Without a guard time, what follows the third plus in the same write is already a command.
  EXPECT_EQ(TModemBench::Online(0, "ATS12=0\r").Expect({{"x+++ATH\r", "\r\nOK\r\n\r\nOK\r\n", {"hang-up"}}}),
            TState::kIdle);
}

TEST(HayesEscape, OnLineAnswerAndDialAreRefusedDataIsHeldAndOReturnsToData) {
  auto b = TModemBench::Online();
  b.Expect({{"+++", ""}, {Seconds(1), kOk}, {"ATA\r", "\r\nERROR\r\n"}, {"ATD123\r", "\r\nERROR\r\n"}});
  EXPECT_EQ(b.modem.LineRoom(), 0u) << "in command mode received data waits on the line";
  EXPECT_EQ(b.Expect({{"ATO\r", "\r\nCONNECT 33600\r\n"}}), TState::kOnlineData);
  EXPECT_GT(b.modem.LineRoom(), 0u);
  b.modem.FromLine(b.now, "abc");
  EXPECT_EQ(b.Out(), "abc");
}

TEST(HayesDial, DialToneCommaPauseCarrierWaitsAndBusyFollowTheRegistersAndX) {
  auto b = TModemBench::Quiet();
  b.modem.SetLinePresent(false);
  // No dial tone within S6: no call was placed. X3 dials blind (no call leaves without a line) and finds no carrier.
  b.Expect({{"ATDT123\r", ""}, {Millis(1999), ""}, {Millis(1), "\r\nNO DIALTONE\r\n", {"hang-up"}},
            {"ATX3S7=5DT123\r", ""}, {Millis(4999), ""}, {Millis(1), kNoCarrier, {"hang-up"}}});
  // Each comma pauses for S8.
  TModemBench::Quiet().Expect({{"ATS8=3DT9,,123\r", ""}, {Millis(5999), ""}, {Millis(1), "", {"call 9123"}}});
  // S7 waits for the carrier: silence on the line; it rang and nobody answered,
  // which below X3 is no NO ANSWER; a quiet answer that never came; an answer
  // without a caller; a busy line, which below X3 is no BUSY either; and busy
  // from X3 on.
  EXPECT_EQ(TModemBench::Quiet().Expect(
                {{"ATS7=10D1\r", "", {"call 1"}}, {Millis(9999), ""}, {Millis(1), kNoCarrier, {"hang-up"}},
                 {"ATD1\r", "", {"call 1"}}, {kRingback, ""}, {Seconds(10), "\r\nNO ANSWER\r\n", {"hang-up"}},
                 {"ATX2D1\r", "", {"call 1"}}, {kRingback, ""}, {Seconds(10), kNoCarrier, {"hang-up"}},
                 {"ATX4D@1\r", "", {"call 1"}}, {Seconds(10), "\r\nNO ANSWER\r\n", {"hang-up"}},
                 {"ATS7=3A\r", "", {"answer"}}, {Millis(2999), ""}, {Millis(1), kNoCarrier, {"hang-up"}},
                 {"ATX2S7=4D1\r", "", {"call 1"}}, {kBusy, ""}, {Seconds(4), kNoCarrier, {"hang-up"}},
                 {"ATX3D1\r", "", {"call 1"}}, {kBusy, "\r\nBUSY\r\n", {"hang-up"}},
                 {"ATX4D1\r", "", {"call 1"}}, {kBusy, "\r\nBUSY\r\n", {"hang-up"}}}),
            TState::kIdle);
}

TEST(HayesCarrier, LossHangsUpAfterS10) {
  EXPECT_EQ(TModemBench::Online().Expect({{kCarrierLost, ""}, {Millis(1399), ""}, {Millis(1), kNoCarrier, {"hang-up"}}}),
            TState::kIdle);
}

TEST(HayesDtr, DropHangsUpUnderD2WithoutAWordD1EscapesD0IgnoresD3Resets) {
  auto b = TModemBench::Online();
  b.modem.FromLine(b.now, "unread");
  // Nobody listens: pending output is dropped.
  EXPECT_EQ(b.Expect({{kDtrOff, "", {"hang-up"}}}), TState::kIdle);
  b.Expect({{"ATD1\r", ""}, {kDtrOn, ""}, {"AT\r", kOk}});  // no commands while DTR is off

  // &D3 resets to the stored profile.
  for (const auto& [setup, state, s7] : {std::tuple{"AT&D1S7=9\r", TState::kOnlineCommand, 9},
                                         {"AT&D0S7=9\r", TState::kOnlineData, 9}, {"AT&D3S7=9\r", TState::kIdle, 50}}) {
    auto d = TModemBench::Online(0, setup);
    d.modem.SetDtr(d.now, false);
    EXPECT_EQ(d.modem.State(), state) << setup;
    EXPECT_EQ(d.Out(), state == TState::kOnlineCommand ? kOk : "") << setup;
    EXPECT_EQ(d.modem.Profile().s[7], s7) << setup;
  }
}

TEST(HayesRing, EachRingIsReportedAndCountedAndS0Answers) {
  auto b = TModemBench::Quiet();
  // (The ring line following the ring: the exchange's cadence test.)
  b.Expect({{"ATS0=2\r", kOk}, {kRing, "\r\nRING\r\n"}});
  b.Expect({{kRing, ""}, {Seconds(2), ""}, {kRingEnds, ""}});  // a ring is the rising edge
  // The second ring is answered (S0=2).
  EXPECT_EQ(b.Expect({{"ATS1?\r", "\r\n001\r\n\r\nOK\r\n"}, {Seconds(4), ""}, {kRing, "\r\nRING\r\n", {"answer"}}}),
            TState::kAnswering);
  b.Expect({{kConnected, "\r\nCONNECT 33600\r\n"}});
  EXPECT_EQ(b.modem.Profile().s[1], 0);
}

TEST(HayesRing, NoAutomaticAnswerWhileDtrIsOffOrS0IsZero) {
  auto b = TModemBench::Quiet();
  b.Expect({{kRing, "\r\nRING\r\n"}, {kCallGone, ""}});
  EXPECT_EQ(b.modem.Profile().s[1], 0) << "the ring count restarts with the next call";
  b.Expect({{"ATS0=1\r", kOk}, {kDtrOff, ""}, {kRingEnds, ""}});
  b.modem.RingSignal(b.now, true);
  EXPECT_TRUE(b.Requests().empty()) << "no automatic answer while DTR is off";
}

TEST(HayesFaults, DeadModemSaysAndDoesNothingAndDropsItsCall) {
  auto b = TModemBench::Quiet();
  b.Type("ATS0=1\r");  // it would answer the first ring
  b.modem.SetFaults({.dead = true});
  EXPECT_EQ(b.Expect({{"AT\r", ""}, {"ATD1\r", ""}, {kRing, ""}, {Seconds(60), ""}}), TState::kIdle);
  EXPECT_FALSE(b.modem.RingLine());
  b.modem.SetFaults({});
  EXPECT_EQ(b.Type("AT\r"), "AT\r\r\nOK\r\n") << "back to life with the stored profile: echo on";

  auto on_line = TModemBench::Online();
  on_line.modem.SetFaults({.dead = true});
  EXPECT_EQ(on_line.Requests(), TTexts{"hang-up"});
  EXPECT_FALSE(on_line.modem.Carrier());
}

TEST(HayesFaults, StuckEchoAndChunkedAnswers) {
  auto echo = TModemBench::Quiet();
  echo.modem.SetFaults({.echo_stuck = true});
  // The gate's initialisation still sees an answer, which it takes as "other".
  EXPECT_EQ(echo.Type("ATE0V1S0=0\r"), "ATE0V1S0=0\r\r\nOK\r\n");

  auto b = TModemBench::Quiet();
  b.modem.SetFaults({.chunk_size = 3, .chunk_delay_ms = 1500});
  EXPECT_EQ(b.Type("AT\r"), "\r\nO");
  EXPECT_EQ(b.modem.NextDeadline(), b.now + Millis(1500));
  b.Expect({{Millis(1499), ""}, {Millis(1), "K\r\n"}});
  // A second answer queues behind the first one's pieces.
  std::string all = b.Type("AT\r");
  all += b.Type("AT\r");
  for (int i = 0; i < 4; ++i) all += b.Wait(Millis(1500));
  EXPECT_EQ(all, "\r\nOK\r\n\r\nOK\r\n");
}

TEST(HayesData, TerminalBytesAreHeldBackWhenTheModemIsFull) {
  auto b = TModemBench::Online();
  const std::string block(THayesModem::kTxCapacity + 100, 'd');
  EXPECT_EQ(b.modem.FromDte(b.now, block), THayesModem::kTxCapacity);
  EXPECT_EQ(b.modem.DteRoom(), 0u);
  EXPECT_EQ(b.modem.TakeLineBytes(100).size(), 100u);
  EXPECT_EQ(b.modem.DteRoom(), 100u);
}

}  // namespace
}  // namespace kestrel::sim
