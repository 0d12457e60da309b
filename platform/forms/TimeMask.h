// The time mask "99:99:99" of a time field (TMaskEdit), for backends that
// must apply it themselves or normalise a text put into it.
#pragma once

#include <string>

namespace kestrel::forms {

// What the field shows after `typed` was typed into it when empty, with the
// unfilled positions left out: digits fill the groups of two in turn, a ":"
// moves to the next group, anything else is ignored, and what does not fit
// is dropped. "1:2" gives "1:2:", "010000" gives "01:00:00", "" gives "::".
std::string ApplyTimeMask(const std::string& typed);

}  // namespace kestrel::forms
