// The documents `kestrel demo` sends: a handful of files of different kinds
// and sizes, about `kib` KiB in all, one of them over half of it (large
// enough that the gate carries it in several fragments). The same `kib`
// always gives the same names and bytes. Pure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::app {

struct TDemoDocument {
  std::string name;  // UTF-8
  std::string content;
};

std::vector<TDemoDocument> MakeDemoDocuments(std::uint32_t kib);

}  // namespace kestrel::app
