// The packets of the end-to-end runs: their sizes, their bytes and a digest
// of them, computed the same way by the sending host, the receiving host and
// the test that checks what arrived. Pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/kit/Blocks.h"

namespace kestrel::e2e {

// The bytes of packet `number` (1, 2, ...) with `size` bytes, as the kit
// makes them for every transfer test.
using testing::PacketBytes;

// A 64-bit digest (FNV-1a) of `bytes`: any damage in transit changes it.
std::uint64_t Digest(std::string_view bytes);

// `count` sizes from 1 byte to `largest` bytes, spread log-uniformly, in a
// fixed shuffled order. The octaves up to `largest` / 16 get equally many
// sizes; the four octaves above get one each, ending with `largest` itself,
// so that the whole range is covered while the total stays a few times
// `largest`. count >= 5, largest >= 32.
std::vector<std::size_t> SpreadSizes(std::size_t count, std::size_t largest);

// Parses a plan as the hosts are told it: "spread:<count>:<largest>" or
// "list:<size>,<size>,...". Empty when it is neither.
std::vector<std::size_t> PlanSizes(std::string_view plan);

}  // namespace kestrel::e2e
