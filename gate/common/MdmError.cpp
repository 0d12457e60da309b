#include "gate/common/MdmError.h"

#include <exception>
#include <new>

namespace kestrel::gate {

std::string ExceptionClassName(const std::exception& e) {
  // The most derived classes are asked first: EMdmGateError is a
  // runtime_error, and every class here is a std::exception.
  if (dynamic_cast<const EMdmGateError*>(&e) != nullptr) return "EMdmGateError";
  if (dynamic_cast<const std::out_of_range*>(&e) != nullptr) return "EListError";
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return "EOutOfMemory";
  if (dynamic_cast<const std::invalid_argument*>(&e) != nullptr) return "EConvertError";
  return "Exception";
}

TExceptionInfo CurrentExceptionInfo() {
  const std::exception_ptr current = std::current_exception();
  if (current) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      return {ExceptionClassName(e), e.what()};
    } catch (...) {
      // Not a standard exception: it has no name or message to give, the
      // answer below says so.
    }
  }
  return {"Exception", "unknown error"};
}

}  // namespace kestrel::gate
