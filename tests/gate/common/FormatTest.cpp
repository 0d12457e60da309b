// Fmt, the printf-like formatter of log lines: its conversions, and what it
// does with arguments that do not match the format.
#include "gate/common/Format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "platform/Cp1251.h"

namespace kestrel::gate {
namespace {

using namespace kestrel::literals;

TEST(Format, KnownConversionsKeepEveryByteOfATextAndANullTextIsEmpty) {
  EXPECT_EQ(Fmt("TME[$%s].Connect:(%s)", std::string("0001000A"), "Return: TRUE"),
            "TME[$0001000A].Connect:(Return: TRUE)");
  EXPECT_EQ(Fmt("%d bytes, %u ms, 100%%", std::int32_t{-5}, std::uint32_t{4000000000u}),
            "-5 bytes, 4000000000 ms, 100%");
  EXPECT_EQ(Fmt("%d|%d", std::numeric_limits<std::int64_t>::min(), std::int16_t{-2}), "-9223372036854775808|-2");
  EXPECT_EQ(Fmt("(Ошибка %s:(%s))"_cp, "EListError", "x"), "(Ошибка EListError:(x))"_cp);
  // Texts keep every byte; a null one is empty.
  const std::string with_nul("a\0b", 3);
  EXPECT_EQ(Fmt("<%s>", with_nul), std::string("<a\0b>", 5));
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

}  // namespace
}  // namespace kestrel::gate
