// Windows-1251 texts: the compile-time literal, and the conversions used
// where a person reads them.
#include "platform/Cp1251.h"

#include <gtest/gtest.h>

namespace kestrel::text {
namespace {
using namespace kestrel::literals;

TEST(Cp1251, LiteralsAreConvertedAtCompileTime) {
  constexpr std::string_view t = "Начало функции"_cp;
  static_assert(t.size() == 14);
  EXPECT_EQ(t, std::string_view("\xCD\xE0\xF7\xE0\xEB\xEE \xF4\xF3\xED\xEA\xF6\xE8\xE8"));
  EXPECT_EQ(t.data()[t.size()], '\0');
  EXPECT_EQ("Ёё№ Яя ASCII stays"_cp, std::string_view("\xA8\xB8\xB9 \xDF\xFF ASCII stays"));
}

TEST(Cp1251, EveryByteRoundTripsAndWhatCannotBeShownBecomesAMark) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x98) continue;  // unassigned in Windows-1251
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << "byte " << b;
  }
  EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD" "b"), "a?b");  // a CJK character
  EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");                  // truncated sequence
  EXPECT_EQ(Utf8ToCp1251("\xFF\xFE"), "??");
}

}  // namespace
}  // namespace kestrel::text
