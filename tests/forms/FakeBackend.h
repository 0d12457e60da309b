// A forms backend without a screen, for unit tests: every control is a
// record of its state, a modal form runs the operator's script (Operator.h)
// synchronously, and message boxes are recorded and answered with OK.
//
// Focus follows the rules the real backends keep: the first focusable
// control has it when a form is shown, Tab goes through the focusable
// controls in creation order, and a move asks the control that loses it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/forms/Backend.h"
#include "tests/forms/Operator.h"

namespace kestrel::forms::testing {

class TFakeForm;

class TFakeBackend final : public TBackend {
 public:
  std::string_view Name() const override { return "fake"; }
  void Start() override {}
  std::unique_ptr<TFormPeer> CreateForm(const TControlSpec& desc, TControlSink& sink) override;
  std::unique_ptr<TControlPeer> CreateControl(TControlPeer& parent, const TControlSpec& desc,
                                              TControlSink& sink) override;
  void ShowMessage(TMsgKind kind, const std::string& caption, const std::string& text) override;

  // Forms shown modally so far, innermost last.
  const std::vector<TFakeForm*>& ShowingForms() const { return showing_; }

  TOperator& Operator();

 private:
  friend class TFakeForm;
  std::vector<TFakeForm*> showing_;
};

TFakeBackend& FakeBackend();

}  // namespace kestrel::forms::testing
