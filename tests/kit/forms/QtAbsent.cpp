// Without Qt 6 the Qt variants of the tests are skipped.
#include <gtest/gtest.h>

#include "tests/kit/forms/Operator.h"

namespace kestrel::forms::testing {

namespace {
class TNoOperator final : public TOperator {};
}  // namespace

TOperator& TQtUi::Operator() {
  static TNoOperator op;
  return op;
}
bool TQtUi::Available() { return false; }
void TQtUi::SetUp() { GTEST_SKIP() << "the Qt forms plugin was not built"; }
void TQtUi::TearDown() {}
bool TQtUi::SaveWindowImage(const std::string&, const std::string&) { return false; }

}  // namespace kestrel::forms::testing
