// Windows-1251 texts of the forms layer to and from the UTF-16 of the
// controls, through the system's code page 1251.
#pragma once

#include <string>

namespace kestrel::forms::win32 {

std::wstring Widen(const std::string& cp1251);
// Characters Windows-1251 cannot hold become '?'.
std::string Narrow(const std::wstring& utf16);

}  // namespace kestrel::forms::win32
