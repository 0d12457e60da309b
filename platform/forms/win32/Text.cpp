#include "platform/forms/win32/Text.h"

#include <windows.h>

namespace kestrel::forms::win32 {
namespace {
constexpr UINT kCodePage = 1251;
}  // namespace

std::wstring Widen(const std::string& cp1251) {
  if (cp1251.empty()) return {};
  const int size = static_cast<int>(cp1251.size());
  const int n = ::MultiByteToWideChar(kCodePage, 0, cp1251.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (n > 0) ::MultiByteToWideChar(kCodePage, 0, cp1251.data(), size, wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  const int size = static_cast<int>(utf16.size());
  const int n = ::WideCharToMultiByte(kCodePage, 0, utf16.data(), size, nullptr, 0, "?", nullptr);
  std::string narrow(static_cast<std::size_t>(n), '\0');
  if (n > 0) ::WideCharToMultiByte(kCodePage, 0, utf16.data(), size, narrow.data(), n, "?", nullptr);
  return narrow;
}

}  // namespace kestrel::forms::win32
