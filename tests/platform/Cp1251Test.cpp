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
  EXPECT_EQ("Ёё№"_cp, std::string_view("\xA8\xB8\xB9"));
  EXPECT_EQ("ASCII stays"_cp, "ASCII stays");
  EXPECT_EQ("Яя"_cp, std::string_view("\xDF\xFF"));
}

TEST(Cp1251, EveryByteRoundTripsThroughUtf8) {
  for (int b = 1; b < 256; ++b) {
    if (b == 0x98) continue;  // unassigned in Windows-1251
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << "byte " << b;
  }
}

TEST(Cp1251, UnrepresentableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD" "b"), "a?b");   // a CJK character
  EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");                  // truncated sequence
  EXPECT_EQ(Utf8ToCp1251("\xFF\xFE"), "??");
  EXPECT_EQ(Cp1251ToUtf8("\x98"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace kestrel::text
