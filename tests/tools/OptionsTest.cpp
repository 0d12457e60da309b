// The command line: what each command takes, and the usage errors found
// before anything is opened. (A send with its party, files and global
// options is the program's test.)
//
// Progress as a person reads it, and the console lines it goes through.
//
// Parameters as a person gives and reads them, and as the gate's lists hold them.
//
// Gate settings built from channel texts through the settings parameter list.
//
// The parts of `kestrel ports` that need no port: reading a modem's answer
// and telling a person what to do about a device that refuses them.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/ProcessEnv.h"
#include "tests/tools/ToolTest.h"
#include "tools/kestrel/Console.h"
#include "tools/kestrel/GateSettings.h"
#include "tools/kestrel/Options.h"
#include "tools/kestrel/ModemAnswer.h"
#include "tools/host/PartyKey.h"
#include "tools/kestrel/Params.h"
#include "tools/kestrel/PortCheck.h"
#include "tools/kestrel/Progress.h"
#include "tools/kestrel/SimExchange.h"

namespace kestrel::app {
namespace {

using namespace testing;

struct TParsed {
  int rc = 0;
  TOptions options;
  std::string out, err;
};

TParsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "kestrel");
  TParsed p;
  std::ostringstream out, err;
  p.rc = ParseOptions(args, p.options, out, err);
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(Options, UsageErrorsEndWithCodeTwoAndHelpWithZeroEverywhere) {
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{}, 2, "subcommand"},
      {{"send", "a.txt"}, 2, "--to"},
      {{"send", "--to", "Bank"}, 2, "files"},
      {{"--gate-code", "40000", "journal"}, 2, "gate-code"},
      {{"settings"}, 2, "subcommand"},
      {{"settings", "set"}, 2, "nothing to change"},
      {{"settings", "set", "--remove-port", "17"}, 2, "remove-port"},
      {{"party", "add", "Bank", "--phone", "102"}, 2, "--client-id is required"},
      {{"journal", "--outcome", "lost"}, 2, "outcome"},
      {{"demo", "--rate", "100"}, 2, "rate"},
      {{"sim", "-n", "0"}, 2, "modems"},
      {{"--help"}, 0, "Usage"},
      {{"send", "--help"}, 0, "Usage"},
      {{"party", "add", "--help"}, 0, "Usage"},
      {{"demo", "--help"}, 0, "Usage"},
      {{"settings", "set", "--help"}, 0, "Usage"},
  };
  for (const auto& [args, rc, expected] : cases) {
    const auto p = Parse(args);
    EXPECT_EQ(p.rc, rc) << ::testing::PrintToString(args);
    EXPECT_THAT(rc == 0 ? p.out : p.out + p.err, HasSubstr(expected));
  }
}

// The commands the program's test does not run. (Its runs of `sim --numbers`,
// `party add --update` and `party key --generate` are theirs to check.)
TEST(Options, EachSubcommandIsItsCommand) {
  const std::pair<std::vector<std::string>, TCommand> cases[] = {
      {{"settings", "show"}, TCommand::SettingsShow}, {{"settings", "edit"}, TCommand::SettingsEdit},
      {{"address", "show"}, TCommand::AddressShow},   {{"address", "edit"}, TCommand::AddressEdit},
      {{"party", "list"}, TCommand::PartyList},
  };
  for (const auto& [args, command] : cases) {
    const auto p = Parse(args);
    ASSERT_EQ(p.rc, -1) << args[0] << ": " << p.err;
    EXPECT_EQ(p.options.command, command) << args[0];
  }
  EXPECT_FALSE(Parse({"settings", "set", "--progress", "no"}).options.show_progress.value());
}

// `party key`: exactly one action, and a key given as 64 hex digits and
// nothing else, refused while parsing (before any database is opened).
TEST(Options, PartyKeyTakesOneActionAndAKeyOfExactly64HexDigits) {
  const std::string hex = "00112233445566778899aabbccddeeffFFEEDDCCBBAA99887766554433221100";
  const std::vector<std::string> refused[] = {
      {"party", "key", "Bank"}, {"party", "key", "Bank", "--generate", "--remove"},
      {"party", "key", "Bank", "--set", hex.substr(2)}, {"party", "key", "Bank", "--set", hex + "00"},
      {"party", "key", "Bank", "--set", hex.substr(1) + "g"}, {"party", "key", "Bank", "--set", " " + hex.substr(1)}};
  for (const auto& args : refused) EXPECT_EQ(Parse(args).rc, 2) << ::testing::PrintToString(args);
  EXPECT_THAT(Parse({"party", "key", "Bank", "--set", "12"}).err, HasSubstr("a key is exactly 64 hex digits"));

  const auto set = Parse({"party", "key", "Bank", "--set", hex});
  ASSERT_EQ(set.rc, -1) << set.err;
  EXPECT_EQ(std::tuple(set.options.command, set.options.key_action, set.options.party),
            std::tuple(TCommand::PartyKey, TKeyAction::Set, "Bank"));
  const auto key = PartyKeyFromText(set.options.key_text);
  ASSERT_TRUE(key);
  EXPECT_EQ(std::tuple((*key)[0], (*key)[1], (*key)[15], (*key)[16], (*key)[31]),
            std::tuple(0x00, 0x11, 0xFF, 0xFF, 0x00));
  EXPECT_EQ(PartyKeyText(*key), "00112233445566778899aabbccddeeffffeeddccbbaa99887766554433221100");
  EXPECT_EQ(Parse({"party", "key", "Bank", "--remove"}).options.key_action, TKeyAction::Remove);
  EXPECT_NE(NewPartyKey(), NewPartyKey());
}

TEST(Options, AddressOptionsAreKeptAsGiven) {
  const auto p =
      Parse({"party", "add", "Bank", "--client-id", "7", "--phone", "101", "--phone", "8 (800) 555", "--ports", "1-3",
             "--pulse", "--dial-timeout", "45", "--restore-tries", "0", "--param", "DataWaitTimeOut=2:00", "--edit"});
  ASSERT_EQ(p.rc, -1) << p.err;
  const TAddressOptions& a = p.options.address;
  EXPECT_EQ(std::tuple(p.options.party, a.client_id, a.ports, a.tone, a.dial_timeout, a.restore_tries, a.edit),
            std::tuple("Bank", 7, "1-3", false, "45", 0, true));
  EXPECT_EQ(a.phones, (std::vector<std::string>{"101", "8 (800) 555"}));
  EXPECT_EQ(a.params, std::vector<std::string>{"DataWaitTimeOut=2:00"});
}

TEST(Options, DefaultDatabaseFollowsTheDataDirectory) {
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old != nullptr ? old : "";
  platform::SetEnvironmentVariable("XDG_DATA_HOME", "/data/home");
  EXPECT_EQ(DefaultDatabasePath(), "/data/home/kestrel/kestrel.db");
  EXPECT_EQ(DefaultInboxPath(), "/data/home/kestrel/inbox");
  platform::SetEnvironmentVariable("XDG_DATA_HOME", "relative/is/ignored");
  EXPECT_NE(DefaultDatabasePath().find("/.local/share/kestrel/kestrel.db"), std::string::npos);
  platform::SetEnvironmentVariable("XDG_DATA_HOME", saved);
}

using namespace std::chrono_literals;

TEST(TransferMeter, PlainLinesAtStartQuartersAndEndAndARateOfTimedBytesOnly) {
  TTransferMeter m;
  const auto t0 = TSteadyClock::time_point{} + 1h;
  std::vector<int> due;
  for (int done = 0; done <= 1000; done += 50)
    if (m.Report(done, 1000, t0 + std::chrono::milliseconds(done))) due.push_back(done);
  EXPECT_EQ(due, (std::vector<int>{0, 250, 500, 750, 1000}));
  EXPECT_TRUE(m.Finished());

  // A new packet (another total) starts again; bytes before its clock started
  // give no rate.
  EXPECT_TRUE(m.Report(1000, 11000, t0 + 5s));
  EXPECT_FALSE(m.Finished());
  EXPECT_EQ(m.View("x").rate, 0) << "no rate from one report";
  EXPECT_LT(m.View("x").seconds_left, 0);
  m.Report(6000, 11000, t0 + 6s);
  EXPECT_DOUBLE_EQ(m.View("x").rate, 5000);
  EXPECT_DOUBLE_EQ(m.View("x").seconds_left, 1);
}

TEST(ProgressText, BarFitsItsWidthAndShowsTheFigures) {
  TProgressView v{.caption = "Передача данных", .done = 122880, .total = 307200, .rate = 5734, .seconds_left = 32};
  // Narrow, the figures give way; the percentage stays.
  for (const int width : {10, 40, 45, 80, 200}) {
    const std::string bar = ProgressBar(v, width);
    EXPECT_LE(bar.size(), static_cast<std::size_t>(std::max(width, 40))) << bar;
    EXPECT_THAT(bar, HasSubstr(" 40%"));
    if (width >= 80) {
      EXPECT_THAT(bar, AllOf(HasSubstr("120.0/300.0 KiB"), HasSubstr("0:32 left")));
    }
  }
  const std::string wide = ProgressBar(v, 120);
  const auto filled = std::count(wide.begin(), wide.end(), '#');
  const auto empty = std::count(wide.begin(), wide.end(), '-');
  EXPECT_NEAR(static_cast<double>(filled) / static_cast<double>(filled + empty), 0.4, 0.05);
  EXPECT_EQ(ProgressLine(v), "Передача данных: 40% (122880 of 307200 bytes), 5.6 KiB/s, 0:32 left");
  v.caption = std::string(100, 'c');
  EXPECT_LE(ProgressBar(v, 60).size(), 60u) << "a long caption is cut";
  EXPECT_EQ(TrimCaption(" Modem Gate Progress : "), "Modem Gate Progress");
  EXPECT_EQ(ByteText(812), "812 B");
  EXPECT_EQ(ByteText(3.5 * 1024 * 1024), "3.5 MiB");
}

TEST(Console, StatusLineOnlyOnATerminal) {
  std::ostringstream plain_out;
  TConsole plain(plain_out, false, 80);
  plain.SetStatus("p", "50%");
  plain.Line("delivered a.txt");
  EXPECT_EQ(plain_out.str(), "delivered a.txt\n") << "no status and no control bytes in a pipe";

  std::ostringstream tty_out;
  TConsole tty(tty_out, true, 20);
  tty.SetStatus("p", "[####------] 40% and more");
  tty.Line("line");
  tty.ClearStatus();
  const std::string s = tty_out.str();
  EXPECT_EQ(s.find("and more"), std::string::npos) << "cut to the width: " << s;
  EXPECT_NE(s.find("\r\x1b[Kline\n"), std::string::npos) << "the line clears the status first";
  EXPECT_EQ(s.substr(s.size() - 4), "\r\x1b[K") << "cleared at the end";
}

TEST(LineSplitter, ModemDialogueBecomesLines) {
  TLineSplitter split;
  EXPECT_TRUE(split.Add("ATD").empty());
  EXPECT_EQ(split.Add("T102\r"), std::vector<std::string>{"ATDT102"});
  EXPECT_EQ(split.Add("\r\nOK\r\n\r\nRING\r\n"), (std::vector<std::string>{"OK", "RING"}));
  EXPECT_EQ(split.Add(std::string("A\x01\xFF\r", 4)), std::vector<std::string>{"A<01><FF>"});
  EXPECT_EQ(split.Add(std::string(450, 'x')).size(), 2u) << "runaway lines come in pieces";
}


std::string Span(double seconds) {
  const double span = SecondsToTimeSpan(seconds);
  return std::string(reinterpret_cast<const char*>(&span), sizeof span);
}

TParams AddressLike() {
  return {{"DialPhoneType", PARAM_ENUM, 0, ""},        {"DataWaitTimeOut", PARAM_DATETIME, 0, Span(60)},
          {"RestoreConnTries", PARAM_INT32, 2, ""},    {"ToShowProgress", PARAM_BOOL, 1, ""},
          {"UseComPorts", PARAM_TEXT, 0, std::string(16, '0')}, {"PhonesList", PARAM_TEXT, 0, ""}};
}

TEST(Params, TimesAreSecondsMinutesOrHours) {
  for (const auto& [text, expected] : {std::pair{"90", 90}, {"1:30", 90}, {"1:00:05", 3605}, {"0", 0}}) {
    double s = -1;
    EXPECT_TRUE(ParseSeconds(text, s)) << text;
    EXPECT_EQ(s, expected) << text;
  }
  double s = 0;
  for (const char* bad : {"", "-5", "+5", "1:60", "1:2:3:4", "a", "1:", ":30", "1.5"})
    EXPECT_FALSE(ParseSeconds(bad, s)) << bad;
}

TEST(Params, ValuesAreReadAndShownByTheParametersType) {
  TParams p = AddressLike();
  p.push_back({"Alias", PARAM_TEXT, 0, ""});
  for (const auto& [name, text] : {std::pair{"DialPhoneType", "1"}, {"RestoreConnTries", "-1"},
                                   {"ToShowProgress", "no"}, {"DataWaitTimeOut", "2:00"},
                                   {"PhonesList", " 101 ; 8-800-555 ,,202"}, {"Alias", "Главная"}})
    SetParamFromText(p, name, text);
  EXPECT_EQ(std::tuple(FindParam(p, "DialPhoneType")->scalar, FindParam(p, "RestoreConnTries")->scalar,
                       FindParam(p, "ToShowProgress")->scalar), std::tuple(1, -1, 0));
  double span = 0;
  std::memcpy(&span, FindParam(p, "DataWaitTimeOut")->bytes.data(), sizeof span);
  EXPECT_DOUBLE_EQ(span, 120.0 / 86400);
  EXPECT_EQ(FindParam(p, "PhonesList")->bytes, "101\r\n8-800-555\r\n202");
  EXPECT_EQ(FindParam(p, "Alias")->bytes, "\xC3\xEB\xE0\xE2\xED\xE0\xFF") << "texts are Windows-1251 in the list";
  std::vector<std::string> shown;
  for (const char* name : {"PhonesList", "DataWaitTimeOut", "DialPhoneType", "Alias"})
    shown.push_back(ParamValueText(*FindParam(p, name)));
  EXPECT_THAT(shown, ElementsAre("101; 8-800-555; 202", "0:02:00 (120 s)", "1 (dtDialTone)", "Главная"));
}

TEST(Params, WrongValuesNameTheParameter) {
  TParams p = AddressLike();
  const std::pair<const char*, const char*> bad[] = {
      {"DialPhoneType", "256"},    {"DialPhoneType", "x"},          {"RestoreConnTries", "99999999999"},
      {"ToShowProgress", "maybe"}, {"DataWaitTimeOut", "24:00:00"}, {"DataWaitTimeOut", "soon"}};
  for (const auto& [name, value] : bad)
    EXPECT_THAT(ErrorOf([&p, name = name, value = value] { SetParamFromText(p, name, value); }), StartsWith(name))
        << value;
  EXPECT_THAT(ErrorOf([&] { SetParamFromText(p, "Dialphonetype", "1"); }), HasSubstr("known: DialPhoneType"))
      << "names are compared exactly";
  for (const char* bad : {"novalue", "=x"}) EXPECT_THROW(SplitAssignment(bad), EToolError) << bad;
  EXPECT_EQ(SplitAssignment("A=b=c").second, "b=c");
}

TEST(Params, PortsAsNumbersRangesOrNames) {
  for (const auto& [text, flags] : {std::pair{"1,3", "1010000000000000"}, {"2-4, 16", "0111000000000001"},
                                    {"COM5", "0000100000000000"}, {"", "0000000000000000"}})
    EXPECT_EQ(PortFlags(text), flags) << text;
  for (const char* bad : {"0", "17", "4-2", "x", "1-", "-3"}) EXPECT_THROW(PortFlags(bad), EToolError) << bad;
  EXPECT_EQ(PortFlagsText("1010000000000001"), "COM1, COM3, COM16");
  EXPECT_EQ(PortFlagsText(std::string(16, '0')), "none");
}

// A list a gate hands back is read item by item; what owns nothing is skipped.
// (A list made and read back as a whole is the program's test: every address
// it stores crosses the gate this way.)
TEST(Params, ItemsThatOwnNothingAreSkipped) {
  char name[] = "Good";
  TParamListItem good{name, PARAM_INT32, 5, 0};
  TParamListItem no_name{nullptr, PARAM_INT32, 5, 0};
  TParamListItem no_memory{name, PARAM_TEXT, 0, 4};
  TParamListItem negative{name, PARAM_TEXT, 0, -1};
  TParamListItem* items[] = {&good, nullptr, &no_name, &no_memory, &negative};
  TParamList partly{5, 5, items};
  const TParams read = ReadParamList(&partly);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].scalar, 5);
  EXPECT_TRUE(ReadParamList(nullptr).empty());
  TParamList broken{3, 3, nullptr};
  EXPECT_TRUE(ReadParamList(&broken).empty());
}


TEST(GateSettings, ChannelTextsBuildABlockThatReadsBack) {
  TSettings s;
  s.show_progress = false;
  ApplyChannelText(s, "port=3,baud=57600,data=7,parity=even,stop=2,flow=software,init=AT&F,S0=0,alias=Касса");
  ApplyChannelText(s, "port=COM1");
  const std::string block = BuildSettings(s);
  // The block's layout, its order and the flow derived from SwFlow are the
  // store's test.
  const TSettings back = ReadSettings(block);
  EXPECT_FALSE(back.show_progress);
  ASSERT_EQ(back.channels.size(), 2u);
  const TChannel& c = back.channels[1];
  // br57600, 7 data bits, even parity, 2 stop bits, software flow.
  EXPECT_EQ((std::vector<int>{c.port, c.baud, c.data_bits, c.parity, c.stop_bits, c.sw_flow}),
            (std::vector<int>{3, 12, 2, 2, 2, 1}));
  EXPECT_EQ(c.init, "AT&F,S0=0") << "a comma not followed by a key stays in the value";
  EXPECT_EQ(c.alias, "\xCA\xE0\xF1\xF1\xE0");
  EXPECT_EQ(ChannelText(c),
            "COM3: 57600 baud, 7 data bits, even parity, 2 stop bits, software flow (XON/XOFF), "
            "init \"AT&F,S0=0\", alias \"Касса\"");
}

TEST(GateSettings, NewChannelTakesTheDefaultsAndAKnownChannelKeepsItsValues) {
  TSettings s;
  ApplyChannelText(s, "port=2");
  EXPECT_EQ(std::tuple(s.channels.at(0).baud, s.channels.at(0).init), std::tuple(11, "ATX3")) << "br56000";
  ApplyChannelText(s, "port=2,alias=Main");
  ASSERT_EQ(s.channels.size(), 1u) << "the same port is changed, not added";
  EXPECT_EQ(std::tuple(s.channels[0].init, s.channels[0].alias), std::tuple("ATX3", "Main"));
  EXPECT_TRUE(RemoveChannel(s, 2));
  EXPECT_FALSE(RemoveChannel(s, 2));
  EXPECT_EQ(BuildSettings(s).size(), 104u) << "no channel: the gate record alone";
}

TEST(GateSettings, WrongTextsAndDamagedBlocksAreRefused) {
  const std::pair<const char*, const char*> bad[] = {
      {"baud=9600", "port=1..16 is required"},
      {"port=17", "port=1..16 is required"},
      {"port=1,baud=12345", "baud=12345"},
      {"port=1,data=9", "data=9"},
      {"port=1,parity=odd-ish", "parity=odd-ish"},
      {"port=1,stop=3", "stop=3"},
      {"port=1,flow=magic", "flow=magic"},
      {"port=1,speed=9600", "unknown key \"speed\""},
      {"port=1,init=AT12345678901234567890123456789012345678901234567890", "longer than 50"},
      {"port=1,garbage", "not KEY=VALUE"},
  };
  for (const auto& [text, expected] : bad) {
    TSettings s;
    EXPECT_THAT(ErrorOf([&s, text = text] { ApplyChannelText(s, text); }), HasSubstr(expected)) << text;
    EXPECT_TRUE(s.channels.empty()) << "a refused text changes nothing";
  }
  EXPECT_THROW(ReadSettings(std::string(50, '\x01')), EToolError) << "a damaged block (the store's test says which)";
  const TSettings empty = ReadSettings("");
  EXPECT_EQ(std::pair(empty.channels.size(), empty.show_progress), std::pair(std::size_t{0}, true)) << "the defaults";
}

TEST(ModemAnswer, EchoAndEmptyLinesAreSkippedAndOnlyAWholeResultLineEnds) {
  using TResult = TModemAnswer::TResult;
  TModemAnswer ati("ATI");
  EXPECT_FALSE(ati.Feed("ati\r\r\nKestrel software\r\n"));
  EXPECT_FALSE(ati.Feed("\r\nV.34\r\nO"));
  EXPECT_FALSE(ati.Feed("K")) << "no terminator yet";
  EXPECT_TRUE(ati.Feed("\r\nafter"));
  EXPECT_EQ(ati.Result(), TResult::kOk);
  EXPECT_THAT(ati.Lines(), ElementsAre("Kestrel software", "V.34"));

  // Numeric results (V0) end with CR alone; ERROR in either form; noise is no result.
  const std::tuple<std::string, bool, TResult> cases[] = {{"AT\r0\r", true, TResult::kOk},
                                                          {"\r\nERROR\r\n", true, TResult::kError},
                                                          {"4\r", true, TResult::kError},
                                                          {"\x7f\xff OKAY\r\n", false, TResult::kNone}};
  for (const auto& [bytes, ended, result] : cases) {
    TModemAnswer answer("AT");
    const bool fed_to_end = answer.Feed(bytes);
    EXPECT_EQ(std::pair(fed_to_end, answer.Result()), std::pair(ended, result)) << bytes;
  }
}

TEST(PortCheck, TheHintNamesTheGroupToJoinOrSaysWhoAloneMayOpen) {
  platform::TDeviceAccess serial{.exists = true, .owner = "root", .group = "dialout", .mode = 0660};
  EXPECT_EQ(AccessHint(serial, "ann"), "add ann to group dialout (sudo usermod -aG dialout ann), then log in again");
  platform::TDeviceAccess own{.exists = true, .owner = "root", .group = "tty", .mode = 0620};
  EXPECT_EQ(AccessHint(own, "ann"), "only root may open it") << "group tty may only write";
  serial.in_group = true;
  EXPECT_THAT(AccessHint(serial, "ann"), HasSubstr("refuses it although group dialout may open it"));
}

}  // namespace
}  // namespace kestrel::app
