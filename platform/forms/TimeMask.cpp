#include "platform/forms/TimeMask.h"

#include <array>

namespace kestrel::forms {

std::string ApplyTimeMask(const std::string& typed) {
  std::array<std::string, 3> groups;
  std::size_t group = 0;
  for (const char c : typed) {
    if (c >= '0' && c <= '9') {
      // A full group passes on to the next, as the cursor skips the ':'.
      if (groups[group].size() == 2 && ++group >= groups.size()) break;
      groups[group] += c;
    } else if (c == ':') {
      if (++group >= groups.size()) break;
    }
  }
  return groups[0] + ":" + groups[1] + ":" + groups[2];
}

}  // namespace kestrel::forms
