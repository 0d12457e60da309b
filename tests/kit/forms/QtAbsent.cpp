// Without Qt 6 the Qt variants of the tests are skipped.
#include <gtest/gtest.h>

#include "tests/kit/forms/Operator.h"

namespace kestrel::forms::testing {

namespace {
class TNoOperator final : public TOperator {};
}  // namespace

TOperator& TUi::Operator() {
  static TNoOperator op;
  return op;
}
bool TUi::Available() { return false; }
void TUi::SetUp() { GTEST_SKIP() << "the Qt forms plugin was not built"; }
void TUi::TearDown() {}

}  // namespace kestrel::forms::testing
