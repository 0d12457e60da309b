// Windows-1251 texts.
//
// Every system text of Kestrel is a string of Windows-1251 bytes (the log, the
// line, the stored blocks, the dialogs' captions). Source files are UTF-8, so
// Russian literals are converted at compile time:
//
//     using namespace kestrel::literals;
//     std::string_view t = "Начало функции"_cp;   // 14 Windows-1251 bytes
//
// A character that Windows-1251 cannot hold makes the build fail. The result
// is a view of a static array with a terminating NUL after its last byte.
//
// Utf8ToCp1251/Cp1251ToUtf8 convert at run time, only where a person reads or
// types a text (the kestrel program, the forms backend).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::text {

// Unicode code points of the bytes 0x80..0xFF; 0 marks the one unassigned byte 0x98.
inline constexpr std::array<char32_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // C0: А..
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // E0: а..
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// The Windows-1251 byte of a code point, or -1 when it has none.
constexpr int Cp1251ByteOf(char32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(cp - 0x0410 + 0xC0);
  for (std::size_t i = 0; i < kCp1251High.size(); ++i)
    if (kCp1251High[i] == cp && cp != 0) return static_cast<int>(0x80 + i);
  return -1;
}

// Decodes one UTF-8 sequence starting at s[i]; advances i. Returns
// 0xFFFFFFFF for a malformed sequence (and advances by one byte).
constexpr char32_t DecodeUtf8(std::string_view s, std::size_t& i) {
  constexpr char32_t kBad = 0xFFFFFFFF;
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  const std::size_t extra = (b0 & 0xE0) == 0xC0 ? 1 : (b0 & 0xF0) == 0xE0 ? 2 : (b0 & 0xF8) == 0xF0 ? 3 : 0;
  if (extra == 0 || i + extra >= s.size()) {
    ++i;
    return kBad;
  }
  char32_t cp = b0 & (0x3F >> extra);
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kBad;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += extra + 1;
  return cp;
}

template <std::size_t N>
struct Utf8Literal {
  char bytes[N]{};
  consteval Utf8Literal(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) bytes[i] = s[i];
  }
  constexpr std::string_view view() const { return {bytes, N - 1}; }
};

template <Utf8Literal S>
consteval std::size_t Cp1251Length() {
  std::size_t n = 0;
  const auto v = S.view();
  for (std::size_t i = 0; i < v.size(); ++n) {
    const char32_t cp = DecodeUtf8(v, i);
    if (cp == 0xFFFFFFFF || Cp1251ByteOf(cp) < 0) throw "text has a character Windows-1251 cannot hold";
  }
  return n;
}

template <Utf8Literal S>
struct Cp1251Storage {
  static constexpr std::size_t kLength = Cp1251Length<S>();
  static constexpr std::array<char, kLength + 1> kBytes = [] {
    std::array<char, kLength + 1> out{};
    const auto v = S.view();
    std::size_t n = 0;
    for (std::size_t i = 0; i < v.size();) out[n++] = static_cast<char>(Cp1251ByteOf(DecodeUtf8(v, i)));
    return out;
  }();
};

// Windows-1251 bytes of a UTF-8 text. Characters that Windows-1251 cannot hold
// and malformed UTF-8 become '?'.
std::string Utf8ToCp1251(std::string_view utf8);
// UTF-8 of a Windows-1251 text. The unassigned byte 0x98 becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view cp1251);

}  // namespace kestrel::text

namespace kestrel::literals {
template <text::Utf8Literal S>
consteval std::string_view operator""_cp() {
  return {text::Cp1251Storage<S>::kBytes.data(), text::Cp1251Storage<S>::kLength};
}
}  // namespace kestrel::literals
