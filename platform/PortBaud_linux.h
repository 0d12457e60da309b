// Bit rates of a termios device beyond the classic Bnnn table (Linux
// termios2 with BOTHER). Internal to platform/, kept apart because the
// kernel's termios2 header cannot share a file with <termios.h>.
#pragma once

#include <cstdint>

namespace kestrel::platform {

// Sets input and output rate of the terminal `fd` to `bits_per_second`,
// keeping every other setting. Returns 0 or the errno of the failing call.
int SetCustomBaudRate(int fd, std::uint32_t bits_per_second);

// Reads the input and output rates of `fd`, custom or not. Returns 0 or errno.
int GetBaudRates(int fd, std::uint32_t& input, std::uint32_t& output);

}  // namespace kestrel::platform
