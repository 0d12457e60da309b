// A forms backend without a screen, for unit tests: every control is a
// record of its state, a modal form runs the operator's script (Operator.h)
// synchronously and is itself the operator's hands, and message boxes are
// recorded and answered with OK.
//
// Focus follows the rules the real backends keep: the first focusable
// control has it when a form is shown, Tab goes through the focusable
// controls in creation order, and a move asks the control that loses it.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/forms/Application.h"
#include "platform/forms/Backend.h"
#include "platform/forms/TimeMask.h"
#include "tests/forms/Operator.h"

namespace kestrel::forms::testing {
namespace {

using K = TControlKind;

class TFakeForm;

class TFakeControl final : public TControlPeer {
 public:
  TFakeControl(const TControlDesc& made, TControlSink& sink, TFakeForm* form, TFakeControl* parent)
      : desc(made), sink(&sink), form(form), parent(parent) {}
  ~TFakeControl() override;

  void SetEnabled(bool on) override { enabled = on; }
  bool Enabled() const override { return enabled; }
  void SetFocus() override;
  bool Focused() const override;
  void SetSizeHint(int, int) override {}
  void SetCaption(const std::string& caption) override { desc.caption = caption; }
  std::string Caption() const override { return desc.caption; }
  void SetText(const std::string& t) override { text = desc.kind == K::kMaskEdit ? ApplyTimeMask(t) : t; }
  std::string Text() const override { return text; }
  void SetReadOnly(bool on) override { read_only = on; }
  void SetChecked(bool on) override { checked = on; }
  bool Checked() const override { return checked; }
  void SetItems(const std::vector<std::string>& list) override {
    items = list;
    index = -1;
  }
  void SetItemIndex(int i) override { index = i >= 0 && i < static_cast<int>(items.size()) ? i : -1; }
  int ItemIndex() const override { return index; }
  void SetDefault(bool on) override { is_default = on; }
  void SetFocusOnClick(bool on) override { focus_on_click = on; }

  bool Focusable() const {
    return enabled && desc.kind != K::kPanel && desc.kind != K::kGroupBox && desc.kind != K::kLabel;
  }
  bool Is(K kind) const { return desc.kind == kind; }

  TControlDesc desc;
  TControlSink* sink;
  TFakeForm* form;
  TFakeControl* parent;
  bool enabled = true, read_only = false, checked = false, is_default = false, focus_on_click = true;
  std::string text;
  std::vector<std::string> items;
  int index = -1;
};

void RunFakeScript(TFormDriver& form);
void SeeFakeMessage(TMsgKind kind, const std::string& caption, const std::string& text);

// A form and, while it shows, the operator's hands on it.
class TFakeForm final : public TFormPeer, public TFormDriver {
 public:
  TFakeForm(const TControlDesc& desc, TControlSink& sink) : desc_(desc), sink_(&sink) {}
  ~TFakeForm() override {
    for (TFakeControl* c : controls) c->form = nullptr;
  }

  // The peer.
  using TControlPeer::Text, TControlPeer::ItemIndex, TControlPeer::Checked;  // a form has none of its own
  void SetEnabled(bool on) override { enabled_ = on; }
  bool Enabled() const override { return enabled_; }
  void SetFocus() override {}
  bool Focused() const override { return showing_; }
  void SetSizeHint(int, int) override {}
  void SetCaption(const std::string& caption) override { desc_.caption = caption; }
  std::string Caption() const override { return desc_.caption; }
  void SetPosition(TFormPosition, TFormPeer*) override {}
  void RunModal() override {
    showing_ = true;
    auto first = std::find_if(controls.begin(), controls.end(), [](TFakeControl* c) { return c->Focusable(); });
    focused = first == controls.end() ? nullptr : *first;
    RunFakeScript(*this);
    if (showing_) {
      ADD_FAILURE() << "the form " << desc_.name << " could not be closed";
      showing_ = false;
    }
  }
  void EndModal() override { showing_ = false; }

  // The driver.
  std::string FormName() override { return desc_.name; }
  std::string Caption() override { return desc_.caption; }
  bool Open() override { return showing_; }
  bool Focus(const std::string& name) override {
    TFakeControl* target = Find(name);
    return target != nullptr && target->Focusable() && MoveFocus(target);
  }
  bool Tab() override {
    auto it = std::find(controls.begin(), controls.end(), focused);
    for (std::size_t step = 0; step < controls.size(); ++step) {
      if (it == controls.end() || ++it == controls.end()) it = controls.begin();
      if ((*it)->Focusable()) return MoveFocus(*it);
    }
    return false;
  }
  bool Click(const std::string& name) override {
    TFakeControl* c = Find(name);
    if (c == nullptr || !c->Focusable() || !(c->Is(K::kButton) || c->Is(K::kCheckBox))) return false;
    if (c->focus_on_click && !MoveFocus(c)) return false;
    if (c->Is(K::kCheckBox)) c->checked = !c->checked;
    c->sink->PeerClicked();
    return true;
  }
  bool Type(const std::string& name, const std::string& text) override {
    if (!Focus(name)) return false;
    TFakeControl* c = Get(name);
    if (c->read_only || !(c->Is(K::kEdit) || c->Is(K::kMemo) || c->Is(K::kMaskEdit))) return true;
    c->SetText(text);
    c->sink->PeerChanged();
    return true;
  }
  bool Select(const std::string& name, int index) override {
    if (!Focus(name)) return false;
    TFakeControl* c = Get(name);
    if (index < 0 || index >= static_cast<int>(c->items.size())) return false;
    c->index = index;
    c->sink->PeerChanged();
    return true;
  }
  void PressEnter() override {
    if (focused != nullptr && focused->Is(K::kMemo)) {
      if (!focused->read_only) {
        focused->text += '\n';
        focused->sink->PeerChanged();
      }
      return;
    }
    for (TFakeControl* c : controls)
      if (c->Is(K::kButton) && c->is_default && c->enabled) return c->sink->PeerClicked();
  }
  void CloseBox() override { sink_->PeerCloseRequest(); }
  std::string Text(const std::string& name) override {
    TFakeControl* c = Get(name);
    return c->Is(K::kEdit) || c->Is(K::kMaskEdit) || c->Is(K::kMemo) ? c->text : c->desc.caption;
  }
  std::string Label(const std::string& name) override {
    // A field in a row panel (a field with its button) is labelled by the row.
    TFakeControl* c = Get(name);
    if (c->desc.label.empty() && c->parent != nullptr && c->parent->Is(K::kPanel)) return c->parent->desc.label;
    return c->desc.label;
  }
  std::vector<std::string> Items(const std::string& name) override { return Get(name)->items; }
  int ItemIndex(const std::string& name) override { return Get(name)->index; }
  bool Enabled(const std::string& name) override { return Get(name)->enabled; }
  bool Checked(const std::string& name) override { return Get(name)->checked; }
  bool ReadOnly(const std::string& name) override { return Get(name)->read_only; }
  std::string FocusedControl() override { return focused != nullptr ? focused->desc.name : std::string(); }
  bool SaveImage(const std::string&) override { return false; }

  std::vector<TFakeControl*> controls;
  TFakeControl* focused = nullptr;

 private:
  TFakeControl* Find(const std::string& name) const {
    auto it = std::find_if(controls.begin(), controls.end(), [&](TFakeControl* c) { return c->desc.name == name; });
    return it == controls.end() ? nullptr : *it;
  }
  TFakeControl* Get(const std::string& name) const {
    if (TFakeControl* c = Find(name)) return c;
    throw std::invalid_argument("no control " + name + " in the form " + desc_.name);
  }
  // Moves the focus as the operator does: the control losing it is asked.
  bool MoveFocus(TFakeControl* target) {
    if (target == focused) return true;
    if (focused != nullptr && !focused->sink->PeerExitQuery()) return false;
    focused = target;
    return true;
  }

  TControlDesc desc_;
  TControlSink* sink_;
  bool enabled_ = true;
  bool showing_ = false;
};

TFakeControl::~TFakeControl() {
  if (form == nullptr) return;
  std::erase(form->controls, this);
  if (form->focused == this) form->focused = nullptr;
}
void TFakeControl::SetFocus() {
  if (form != nullptr) form->focused = this;
}
bool TFakeControl::Focused() const { return form != nullptr && form->focused == this; }

class TFakeBackend final : public TBackend {
 public:
  std::string_view Name() const override { return "fake"; }
  void Start() override {}
  std::unique_ptr<TFormPeer> CreateForm(const TControlDesc& desc, TControlSink& sink) override {
    return std::make_unique<TFakeForm>(desc, sink);
  }
  std::unique_ptr<TControlPeer> CreateControl(TControlPeer& parent, const TControlDesc& desc,
                                              TControlSink& sink) override {
    auto* form = dynamic_cast<TFakeForm*>(&parent);
    auto* parent_control = form == nullptr ? static_cast<TFakeControl*>(&parent) : nullptr;
    if (parent_control != nullptr) form = parent_control->form;
    auto control = std::make_unique<TFakeControl>(desc, sink, form, parent_control);
    if (form != nullptr) form->controls.push_back(control.get());
    return control;
  }
  void ShowMessage(TMsgKind kind, const std::string& caption, const std::string& text) override {
    SeeFakeMessage(kind, caption, text);
  }
};

class TFakeOperator final : public TOperator {
 public:
  using TOperator::RunScript;
  using TOperator::SeeMessage;
};

TFakeOperator& TheOperator() {
  static TFakeOperator op;
  return op;
}

void RunFakeScript(TFormDriver& form) { TheOperator().RunScript(form); }
void SeeFakeMessage(TMsgKind kind, const std::string& caption, const std::string& text) {
  TheOperator().SeeMessage(kind, caption, text);
}

}  // namespace

TOperator& TFakeUi::Operator() { return TheOperator(); }
void TFakeUi::SetUp() {
  static TFakeBackend backend;
  InstallBackend(&backend);
}
void TFakeUi::TearDown() {
  TheOperator().Reset();
  InstallBackend(nullptr);
}

}  // namespace kestrel::forms::testing
