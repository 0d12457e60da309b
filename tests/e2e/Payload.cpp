#include "tests/e2e/Payload.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrel::e2e {

std::uint64_t Digest(std::string_view bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

std::vector<std::size_t> SpreadSizes(std::size_t count, std::size_t largest) {
  std::vector<std::size_t> sizes;
  if (count < 5 || largest < 32) return sizes;
  // The body: evenly spaced logarithms from 1 byte to largest / 16.
  const std::size_t body = count - 4;
  const double top = std::log2(static_cast<double>(largest) / 16.0);
  for (std::size_t k = 0; k < body; ++k) {
    const double octave = top * static_cast<double>(k) / static_cast<double>(body - 1);
    sizes.push_back(std::max<std::size_t>(1, static_cast<std::size_t>(std::llround(std::exp2(octave)))));
  }
  for (std::size_t div : {8u, 4u, 2u, 1u}) sizes.push_back(largest / div);
  // A fixed shuffle (Fisher-Yates over a fixed generator), so that large and
  // small packets alternate on the line as they would in real traffic.
  std::uint32_t x = 12345;
  for (std::size_t i = sizes.size() - 1; i > 0; --i) {
    x = x * 1664525u + 1013904223u;
    std::swap(sizes[i], sizes[(x >> 8) % (i + 1)]);
  }
  return sizes;
}

std::vector<std::size_t> PlanSizes(std::string_view plan) {
  std::vector<std::size_t> sizes;
  std::size_t count = 0, largest = 0;
  int used = 0;
  const std::string text(plan);
  if (std::sscanf(text.c_str(), "spread:%zu:%zu%n", &count, &largest, &used) == 2 && text[used] == '\0')
    return SpreadSizes(count, largest);
  for (const char* at = text.c_str() + 5; text.rfind("list:", 0) == 0; ++at) {
    std::size_t size = 0;
    if (std::sscanf(at, "%zu%n", &size, &used) != 1 || (at[used] != ',' && at[used] != '\0')) return {};
    sizes.push_back(size);
    if ((at += used)[0] == '\0') break;
  }
  return sizes;
}

}  // namespace kestrel::e2e
