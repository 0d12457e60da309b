// The class names and messages that error lines give for each kind of
// exception, also one caught outside any handler.
#include "gate/common/MdmError.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "platform/Cp1251.h"

namespace kestrel::gate {
namespace {

using namespace kestrel::literals;

TEST(MdmError, ClassNamesOfTheErrorLines) {
  EXPECT_EQ(ExceptionClassName(EMdmGateError("x")), "EMdmGateError");
  EXPECT_EQ(ExceptionClassName(std::out_of_range("x")), "EListError");
  EXPECT_EQ(ExceptionClassName(std::bad_alloc()), "EOutOfMemory");
  EXPECT_EQ(ExceptionClassName(std::invalid_argument("x")), "EConvertError");
  EXPECT_EQ(ExceptionClassName(std::runtime_error("x")), "Exception");
  EXPECT_EQ(ExceptionClassName(std::length_error("x")), "Exception");
}

template <typename Throw>
TExceptionInfo Caught(Throw&& raise) {
  try {
    raise();
  } catch (...) {
    return CurrentExceptionInfo();
  }
  return {"none", "none"};
}

TEST(MdmError, CurrentExceptionGivesClassAndMessage) {
  const std::string_view text = "Ошибка при инициализации менеджера модемного шлюза"_cp;
  TExceptionInfo info = Caught([&] { throw EMdmGateError(std::string(text)); });
  EXPECT_EQ(info.ClassName, "EMdmGateError");
  EXPECT_EQ(info.Message, text);

  info = Caught([] { throw std::out_of_range("List index out of bounds (20)"); });
  EXPECT_EQ(info.ClassName, "EListError");
  EXPECT_EQ(info.Message, "List index out of bounds (20)");

  info = Caught([] { throw 42; });
  EXPECT_EQ(info.ClassName, "Exception");
  EXPECT_EQ(info.Message, "unknown error");

  info = CurrentExceptionInfo();  // outside any handler
  EXPECT_EQ(info.ClassName, "Exception");
  EXPECT_EQ(info.Message, "unknown error");
}

}  // namespace
}  // namespace kestrel::gate
