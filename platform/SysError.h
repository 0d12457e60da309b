// The platform's "last error" of the calling thread, in the Win32 manner:
// an operation of the platform layer that fails stores its error code here at
// the point of failure; callers read it (LastError) and its system text
// (SystemErrorText) afterwards.
//
// Codes are the platform's own: errno values on POSIX systems (ENOENT = 2 is
// "file not found", as ERROR_FILE_NOT_FOUND is on Windows), GetLastError
// values on Windows.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::platform {

std::uint32_t LastError();
void SetLastError(std::uint32_t code);

// The system's message for `code`, without trailing line breaks; empty when
// the system has none.
std::string SystemErrorText(std::uint32_t code);

}  // namespace kestrel::platform
