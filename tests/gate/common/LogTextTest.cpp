// The texts of log lines: booleans, printable dumps of line bytes, time
// values, packet references, floats, and the last system error.
#include "gate/common/LogText.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "host/Wagtail.h"
#include "platform/Cp1251.h"
#include "platform/SysError.h"

namespace kestrel::gate {
namespace {

using namespace kestrel::literals;

TEST(LogText, BoolAndPrintableTextsCutAndEscape) {
  EXPECT_EQ(BoolToText(true), "TRUE");
  EXPECT_EQ(BoolToText(false), "FALSE");
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
  int shown_count = 0;
  for (unsigned b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    char hex[4];
    std::snprintf(hex, sizeof hex, "$%02X", b);
    EXPECT_EQ(PrintableText(one, 1), shown(b) ? one : std::string(hex)) << "byte " << b;
    shown_count += shown(b);
  }
  EXPECT_EQ(shown_count, 95 - 4 + 64 - 2);
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

TEST(LogText, RefPackShowsNumbersAndTheirTexts) {
  const std::int32_t date = host::DateToDayNumber(2024, 3, 15);
  EXPECT_EQ(RefPackToText({7, date, 5}), "RefPack = (7, " + std::to_string(date) + "/15.03.2024, 5/00:00:05.000)");
  EXPECT_EQ(RefPackToText({-1, 0, 43200000}), "RefPack = (-1, 0/?0, 43200000/12:00:00.000)");
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
