// A typed fixture that runs the same test on every forms backend: the fake
// one and the Qt one (offscreen; skipped when its plugin was not built).
#pragma once

#include <gtest/gtest.h>

#include "tests/forms/Operator.h"

namespace kestrel::forms::testing {

template <typename Ui>
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override { Ui::SetUp(); }
  void TearDown() override { Ui::TearDown(); }
  TOperator& Op() { return Ui::Operator(); }
};

struct UiNames {
  template <typename Ui>
  static std::string GetName(int) {
    return Ui::kName;
  }
};

using Backends = ::testing::Types<TFakeUi, TQtUi>;

}  // namespace kestrel::forms::testing
