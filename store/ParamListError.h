// EParamListError: a parameter list (or a list of phone numbers) that cannot
// be turned into a stored block. Its message is an English text meant for the
// host, which shows or logs it as it is.
//
// A channel number in a parameter name that is not a decimal number is
// reported as std::invalid_argument instead (the conversion error), with the
// text "'<rest of the name>' is not a valid integer value".
#pragma once

#include <stdexcept>

namespace kestrel::store {

class EParamListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace kestrel::store
