// EMdmGateError: the gate's own exception class, raised where the gate
// manager cannot be initialised. Its message is Windows-1251.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrel::gate {

class EMdmGateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The class name and message of an exception, as the error lines show them:
// our own classes by their names ("EMdmGateError"), a std::out_of_range as
// "EListError" (list index errors), std::bad_alloc as "EOutOfMemory",
// std::invalid_argument as "EConvertError", any other std::exception as
// "Exception", and a non-standard one as "Exception" with "unknown error".
std::string ExceptionClassName(const std::exception& e);

// The class name and message of the exception being handled. Call it only
// inside a catch block (catch (...) included); never throws anything but
// std::bad_alloc. Outside a handler it answers "Exception" / "unknown error".
struct TExceptionInfo {
  std::string ClassName;
  std::string Message;
};
TExceptionInfo CurrentExceptionInfo();

}  // namespace kestrel::gate
