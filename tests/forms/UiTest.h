// A fixture that runs the same test on every forms backend: the fake one and
// the Qt one (offscreen; skipped when its plugin was not built). A value
// parameter rather than a type: test bodies stay ordinary functions.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/forms/Operator.h"

namespace kestrel::forms::testing {

enum class TUiKind { kFake, kQt };

class UiTest : public ::testing::TestWithParam<TUiKind> {
 protected:
  bool Fake() const { return GetParam() == TUiKind::kFake; }
  void SetUp() override { Fake() ? TFakeUi::SetUp() : TQtUi::SetUp(); }
  void TearDown() override { Fake() ? TFakeUi::TearDown() : TQtUi::TearDown(); }
  TOperator& Op() { return Fake() ? TFakeUi::Operator() : TQtUi::Operator(); }
  std::string UiName() const { return Fake() ? TFakeUi::kName : TQtUi::kName; }
};

inline std::string UiParamName(const ::testing::TestParamInfo<TUiKind>& info) {
  return info.param == TUiKind::kFake ? TFakeUi::kName : TQtUi::kName;
}

}  // namespace kestrel::forms::testing

// Runs the tests of `suite` (a UiTest) on every backend.
#define KESTREL_UI_TESTS(suite)                                                                             \
  INSTANTIATE_TEST_SUITE_P(Ui, suite,                                                                       \
                           ::testing::Values(::kestrel::forms::testing::TUiKind::kFake,                     \
                                             ::kestrel::forms::testing::TUiKind::kQt),                      \
                           ::kestrel::forms::testing::UiParamName)
