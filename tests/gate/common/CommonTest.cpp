// The gate's common definitions: the name and display tables of the stored
// records' enumerations, the classes of modem answers, the class names and
// messages of error lines, Fmt (the printf-like formatter of log lines), and
// the accessor through which the layers below the gate ask for its manager.
//
// The texts of log lines: printable dumps of line bytes, time values, floats,
// and the last system error. (Booleans and packet references are in the
// exports' transcripts, and the day and time texts of a reference are the
// framework's message test.)
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "gate/common/Format.h"
#include "gate/common/GateAccess.h"
#include "gate/common/LogText.h"
#include "gate/common/MdmError.h"
#include "gate/common/MdmResp.h"
#include "gate/common/MdmTypes.h"
#include "platform/Cp1251.h"
#include "platform/SysError.h"
#include "tests/kit/FakeGate.h"

namespace kestrel::gate {
namespace {

using namespace kestrel::literals;
using enum TRespCode;

// An ordinal comes from a stored block, so any value must be safe. (The
// ordinals are fixed by static_asserts in MdmTypes.h; the texts are checked
// where they are used, in the log lines and the dialogs.)
TEST(MdmTypes, OrdinalsOutsideATableGiveNothingAndTheLastInsideGivesItsText) {
  const std::pair<std::string_view (*)(int), int> tables[] = {
      {PortNumberName, 17}, {PortDisplayName, 17}, {BaudRateName, 16},   {BaudRateDisplay, 16},
      {DataBitsName, 4},    {DataBitsDisplay, 4},  {StopBitsName, 3},    {StopBitsDisplay, 3},
      {ParityName, 5},      {ParityDisplay, 5},    {HwFlowName, 3},      {SwFlowName, 2},
      {DialTypeName, 2},    {DialTypeDisplay, 2},  {FlowControlDisplay, 2}};
  for (const auto& [text, size] : tables) {
    EXPECT_NE(text(size - 1), "") << size;
    for (const int bad : {-1, size, 255, 1000}) EXPECT_EQ(text(bad), "") << bad;
  }
  EXPECT_EQ(BaudRateValue(15), 256000u);
  for (const int none : {0, -1, 16, 1000}) EXPECT_EQ(BaudRateValue(none), 0u) << none;
}

// (The result sets are checked by static_asserts in MdmResp.h; an
// explanation text where the modem driver quotes it.)
TEST(MdmResp, ClassificationSkipsLeadingLineBreaksIgnoresCaseAndNeedsTheWholeWord) {
  const std::pair<std::string_view, TRespCode> cases[] = {
      // empty or line breaks only; a blank is not a line break
      {"", rcNoResponse}, {"\r\n", rcNoResponse}, {"\n\r\r\n\n", rcNoResponse}, {" ", rcOther},
      {"\r\nRING\r\n", rcRing}, {"\n\n\rok", rcOK}, {"Busy\r\n", rcBusy}, {"no answer", rcNoAnswer},
      {"eRRor", rcError}, {"\r\nCONNECT 33600/ARQ\r\n", rcConnect},
      {"OKAY", rcOK},  // a word only has to start the text
      {"NO DIALTONE", rcNoDialtone}, {"\r\nNO CARRIER\r\n", rcNoCarrier}, {"NO ANSWER", rcNoAnswer}, {"NO", rcOther},
      {"CONNEC", rcOther}, {"O", rcOther},  // shorter than the word
      {"ATE0V1S0=0\r\r\nOK\r\n", rcOther},  // an echoed command line
      {" OK", rcOther}, {std::string_view("\0OK", 3), rcOther},
      {"OК"_cp, rcOther}, {"ок"_cp, rcOther}};  // Cyrillic letters are not folded to Latin ones
  for (const auto& [text, code] : cases) EXPECT_EQ(ClassifyResponse(text), code) << ::testing::PrintToString(text);
  // Classes beyond the table are explained as "other".
  for (const int code : {10, 200, 255, -1}) EXPECT_EQ(ResponseText(code), ResponseText(rcOther)) << code;
  EXPECT_EQ(ResponseText(static_cast<TRespCode>(200)), ResponseText(rcOther));
  EXPECT_NE(ResponseText(rcBusy), ResponseText(rcOther));
}

// The class and message of a caught gate error, list error or runtime error
// (a host error) are in the exports' transcripts.
TEST(MdmError, ErrorLinesNameTheClassAndMessageOfEveryKindOfException) {
  EXPECT_EQ(ExceptionClassName(std::bad_alloc()), "EOutOfMemory");
  EXPECT_EQ(ExceptionClassName(std::invalid_argument("x")), "EConvertError");
  EXPECT_EQ(ExceptionClassName(std::length_error("x")), "Exception");
  const auto info = [](const TExceptionInfo& i) { return std::pair(i.ClassName, i.Message); };
  const auto unknown = std::pair(std::string("Exception"), std::string("unknown error"));
  TExceptionInfo caught{"none", "none"};
  try {
    throw 42;
  } catch (...) {
    caught = CurrentExceptionInfo();
  }
  EXPECT_EQ(info(caught), unknown);
  EXPECT_EQ(info(CurrentExceptionInfo()), unknown) << "outside any handler";
}

// Texts and small numbers in Windows-1251 formats are in every line of the
// exports' transcripts.
TEST(Format, KnownConversionsKeepEveryByteOfATextAndANullTextIsEmpty) {
  EXPECT_EQ(Fmt("%d bytes, %u ms, 100%%", std::int32_t{-5}, std::uint32_t{4000000000u}),
            "-5 bytes, 4000000000 ms, 100%");
  EXPECT_EQ(Fmt("%d|%d", std::numeric_limits<std::int64_t>::min(), std::int16_t{-2}), "-9223372036854775808|-2");
  EXPECT_EQ(Fmt("<%s>", std::string("a\0b", 3)), std::string("<a\0b>", 5));
  EXPECT_EQ(Fmt("%s", static_cast<const char*>(nullptr)), "");
}

TEST(Format, MismatchedArgumentsLoseNothingAndReadNothingExtra) {
  EXPECT_EQ(Fmt("%s and %d"), "%s and %d") << "missing arguments leave the conversions";
  EXPECT_EQ(Fmt("%d, %s", 7), "7, %s");
  EXPECT_EQ(Fmt("%d", "text"), "text");
  EXPECT_EQ(Fmt("%s", 12), "12");
  EXPECT_EQ(Fmt("%x %5d %s", "a"), "%x %5d a") << "unknown conversions stay and take no argument";
  EXPECT_EQ(Fmt("end %", 1), "end %");
  EXPECT_EQ(Fmt("%%d", 1), "%d");
  EXPECT_EQ(Fmt("none", 1, 2), "none");
}

TEST(GateAccess, WithoutAManagerEveryWaitEndsAndAnInstalledOneIsAskedUntilNullPutsTheDefaultBack) {
  EXPECT_FALSE(GateAccess().HasManager());
  EXPECT_FALSE(GateAccess().GateStopping());
  EXPECT_EQ(GateAccess().PoolIndexOf(nullptr), -1);
  EXPECT_TRUE(GateStopRequested()) << "without a manager every wait ends";

  testing::TFakeGate fake;  // installs itself
  fake.PutInPool(3, &fake);
  EXPECT_FALSE(GateStopRequested());
  EXPECT_EQ(GateAccess().PoolIndexOf(&fake), 3);
  fake.stopping = true;
  EXPECT_TRUE(GateStopRequested());
  EXPECT_EQ(SetGateAccess(nullptr), &fake);
  EXPECT_FALSE(GateAccess().HasManager());
}

// BoolToText is in every "Return: " of the exports' transcripts.
TEST(LogText, PrintableTextsCutAndEscape) {
  const struct {
    std::string_view text;
    std::int32_t length;
    std::string_view expected;
  } cases[] = {{"AB$", 2, "AB..."}, {"ATDP123\r", 20, "ATDP123$0D"}, {"", 5, ""}, {"", 0, ""}, {"abc", 0, "..."},
               {"abc", -4, "..."},  // a negative length counts as 0
               {"abc", 3, "abc"}};  // each byte's own text is the next test's
  for (const auto& c : cases)
    EXPECT_EQ(PrintableText(c.text, c.length), c.expected) << ::testing::PrintToString(c.text) << ", " << c.length;
}

TEST(LogText, PrintableSetIsExactlyTheDocumentedOne) {
  // Stated the other way round from the implementation: everything from the
  // blank up is shown, except these bytes.
  const auto shown = [](unsigned b) {
    if (b < 0x20 || b == 0x7F || (b >= 0x80 && b <= 0xBF)) return false;
    return b != '$' && b != 'J' && b != '`' && b != 'j' && b != static_cast<unsigned char>("Й"_cp[0]) &&
           b != static_cast<unsigned char>("й"_cp[0]);
  };
  for (unsigned b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    char hex[4];
    std::snprintf(hex, sizeof hex, "$%02X", b);
    EXPECT_EQ(PrintableText(one, 1), shown(b) ? one : std::string(hex)) << "byte " << b;
  }
}

TEST(LogText, OctetTextDumps) {
  EXPECT_EQ(OctetText("", 0, 20), "OCTET(0):<>");
  EXPECT_EQ(OctetText(nullptr, 0, 20), "OCTET(0):<>");
  EXPECT_EQ(OctetText("\r\nOK\r\n", 6, 20), "OCTET(6):<$0D$0AOK$0D$0A>");
  const std::string line = "ATE0V1S0=0&C1&D2X4 plus more";
  EXPECT_EQ(OctetText(line.data(), static_cast<std::uint32_t>(line.size()), 11), "OCTET(28):<ATE0V1S0=0&...>");
  EXPECT_EQ(OctetText(nullptr, 5, 20), "OCTET(5):<>") << "a null buffer is never read";
}

TEST(LogText, TrimTrailingLineBreaks) {
  const std::pair<std::string, std::string> cases[] = {
      {"OK\r\n", "OK"}, {"OK\r\n\n\r", "OK"}, {"\r\n", ""}, {"", ""}, {"\nX", "\nX"}, {"A\rB\n", "A\rB"}};
  for (const auto& [in, out] : cases) {
    std::string text = in;
    TrimTrailingCRLF(text);
    EXPECT_EQ(text, out);
  }
}

TEST(LogText, TimeValueCountsSecondsUpTo999999) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min(), kMax = std::numeric_limits<std::int32_t>::max();
  const std::pair<std::int32_t, std::string_view> cases[] = {
      {999999, "277:46:39.000"}, {1000000, "00:16:40.000"}, {0, "00:00:00.000"}, {-1, "-00:00:01.000"},
      {-2147483, "-596:31:23.000"},
      // Beyond this the milliseconds leave the 32-bit range; they are not wrapped.
      {-2147484, "-596:31:24.000"}, {kMin, "-596523:14:08.000"}, {kMax, "596:31:23.647"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(TimeValueToText(value), text) << value;
}

TEST(LogText, FloatsInTheGeneralFormat) {
  const std::pair<double, std::string_view> cases[] = {
      {800, "800"}, {1.0 / 3 * 1000, "333.333333333333"}, {2.0 / 3, "0.666666666666667"}, {-2.25, "-2.25"},
      {0, "0"}, {-0.0, "0"}, {123456789012345.0, "123456789012345"}, {1e15, "1E15"},
      {999999999999999.9, "1E15"},  // rounding to 15 digits moves the exponent
      {1.5e20, "1.5E20"}, {0.0001, "0.0001"}, {0.00001, "0.00001"}, {0.0000015, "1.5E-6"}, {-1e-300, "-1E-300"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"}, {-std::numeric_limits<double>::infinity(), "-INF"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FloatToText(value), text) << value;
}

TEST(LogText, LastSysErrorTextTakesAndClearsTheError) {
  std::uint32_t code = 99;
  std::string text = "old";
  platform::SetLastError(2);
  EXPECT_TRUE(LastSysErrorText(code, text));
  EXPECT_EQ(code, 2u);
  EXPECT_EQ(text, platform::SystemErrorText(2));
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(platform::LastError(), 0u);

  EXPECT_FALSE(LastSysErrorText(code, text));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(text, "");
}

}  // namespace
}  // namespace kestrel::gate
