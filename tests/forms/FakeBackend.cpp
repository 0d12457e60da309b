#include "tests/forms/FakeBackend.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/forms/Application.h"
#include "platform/forms/TimeMask.h"

namespace kestrel::forms::testing {

class TFakeControl : public TControlPeer {
 public:
  TFakeControl(const TControlSpec& desc, TControlSink& sink, TFakeForm* form) : spec_(desc), sink_(&sink), form_(form) {}
  ~TFakeControl() override;

  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool Enabled() const override { return enabled_; }
  void SetFocus() override;
  bool Focused() const override;
  void SetSizeHint(int, int) override {}
  void SetCaption(const std::string& caption) override { spec_.caption = caption; }
  std::string Caption() const override { return spec_.caption; }
  void SetText(const std::string& text) override {
    text_ = spec_.kind == TControlKind::kMaskEdit ? ApplyTimeMask(text) : text;
  }
  std::string Text() const override { return text_; }
  void SetReadOnly(bool read_only) override { read_only_ = read_only; }
  void SetChecked(bool checked) override { checked_ = checked; }
  bool Checked() const override { return checked_; }
  void SetItems(const std::vector<std::string>& items) override {
    items_ = items;
    index_ = -1;
  }
  void SetItemIndex(int index) override { index_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1; }
  int ItemIndex() const override { return index_; }
  void SetDefault(bool is_default) override { default_ = is_default; }
  void SetFocusOnClick(bool takes_focus) override { focus_on_click_ = takes_focus; }

  bool Focusable() const {
    switch (spec_.kind) {
      case TControlKind::kButton:
      case TControlKind::kCheckBox:
      case TControlKind::kComboBox:
      case TControlKind::kEdit:
      case TControlKind::kMaskEdit:
      case TControlKind::kMemo:
      case TControlKind::kListView:
        return enabled_;
      default:
        return false;
    }
  }

  TControlSpec spec_;
  TControlSink* sink_;
  TFakeForm* form_;
  bool enabled_ = true;
  bool read_only_ = false;
  bool checked_ = false;
  bool default_ = false;
  bool focus_on_click_ = true;
  TFakeControl* parent_ = nullptr;
  std::string text_;
  std::vector<std::string> items_;
  int index_ = -1;
};

void RunFakeScript(TFormDriver& form);

class TFakeForm final : public TFormPeer {
 public:
  TFakeForm(TFakeBackend& backend, const TControlSpec& desc, TControlSink& sink)
      : backend_(backend), spec_(desc), sink_(&sink) {}
  ~TFakeForm() override {
    for (TFakeControl* c : controls_) c->form_ = nullptr;
  }

  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool Enabled() const override { return enabled_; }
  void SetFocus() override {}
  bool Focused() const override { return showing_; }
  void SetSizeHint(int, int) override {}
  void SetCaption(const std::string& caption) override { spec_.caption = caption; }
  std::string Caption() const override { return spec_.caption; }
  void SetPosition(TFormPosition, TFormPeer*) override {}
  void RunModal() override;
  void EndModal() override { showing_ = false; }

  void Add(TFakeControl* c) { controls_.push_back(c); }
  void Remove(TFakeControl* c) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
    if (focused_ == c) focused_ = nullptr;
  }
  TFakeControl* Find(const std::string& name) const {
    for (TFakeControl* c : controls_)
      if (c->spec_.name == name) return c;
    return nullptr;
  }
  TFakeControl* Get(const std::string& name) const {
    TFakeControl* c = Find(name);
    if (c == nullptr) throw std::invalid_argument("no control " + name + " in the form " + spec_.name);
    return c;
  }
  // Moves the focus as the operator does: the control losing it is asked.
  bool MoveFocus(TFakeControl* target) {
    if (target == focused_) return true;
    if (focused_ != nullptr && !focused_->sink_->PeerExitQuery()) return false;
    focused_ = target;
    return true;
  }

  TFakeBackend& backend_;
  TControlSpec spec_;
  TControlSink* sink_;
  std::vector<TFakeControl*> controls_;
  TFakeControl* focused_ = nullptr;
  bool enabled_ = true;
  bool showing_ = false;
};

// The operator's hands on a fake form.
class TFakeDriver final : public TFormDriver {
 public:
  explicit TFakeDriver(TFakeForm& form) : f_(form) {}

  std::string FormName() override { return f_.spec_.name; }
  std::string Caption() override { return f_.spec_.caption; }
  bool Open() override { return f_.showing_; }

  bool Focus(const std::string& name) override {
    TFakeControl* target = f_.Find(name);
    if (target == nullptr || !target->Focusable()) return false;
    return f_.MoveFocus(target);
  }
  bool Tab() override {
    auto& controls = f_.controls_;
    if (controls.empty()) return false;
    auto it = std::find(controls.begin(), controls.end(), f_.focused_);
    for (std::size_t step = 0; step < controls.size(); ++step) {
      if (it == controls.end() || ++it == controls.end()) it = controls.begin();
      if ((*it)->Focusable()) return f_.MoveFocus(*it);
    }
    return false;
  }
  bool Click(const std::string& name) override {
    TFakeControl* c = f_.Find(name);
    if (c == nullptr || !c->Focusable()) return false;
    if (c->spec_.kind != TControlKind::kButton && c->spec_.kind != TControlKind::kCheckBox) return false;
    if (c->focus_on_click_ && !f_.MoveFocus(c)) return false;
    if (c->spec_.kind == TControlKind::kCheckBox) c->checked_ = !c->checked_;
    c->sink_->PeerClicked();
    return true;
  }
  bool Type(const std::string& name, const std::string& text) override {
    if (!Focus(name)) return false;
    TFakeControl* c = f_.Get(name);
    if (c->read_only_) return true;
    switch (c->spec_.kind) {
      case TControlKind::kEdit:
      case TControlKind::kMemo:
        c->text_ = text;
        break;
      case TControlKind::kMaskEdit:
        c->text_ = ApplyTimeMask(text);
        break;
      default:
        return true;
    }
    c->sink_->PeerChanged();
    return true;
  }
  bool Select(const std::string& name, int index) override {
    if (!Focus(name)) return false;
    TFakeControl* c = f_.Get(name);
    if (index < 0 || index >= static_cast<int>(c->items_.size())) return false;
    c->index_ = index;
    c->sink_->PeerChanged();
    return true;
  }
  void PressEnter() override {
    TFakeControl* focused = f_.focused_;
    if (focused != nullptr && focused->spec_.kind == TControlKind::kMemo) {
      if (!focused->read_only_) {
        focused->text_ += '\n';
        focused->sink_->PeerChanged();
      }
      return;
    }
    for (TFakeControl* c : f_.controls_)
      if (c->spec_.kind == TControlKind::kButton && c->default_ && c->enabled_) {
        c->sink_->PeerClicked();
        return;
      }
  }
  void CloseBox() override { f_.sink_->PeerCloseRequest(); }

  std::string Text(const std::string& name) override {
    TFakeControl* c = f_.Get(name);
    switch (c->spec_.kind) {
      case TControlKind::kEdit:
      case TControlKind::kMaskEdit:
      case TControlKind::kMemo:
        return c->text_;
      default:
        return c->spec_.caption;
    }
  }
  std::string Label(const std::string& name) override {
    // A field in a row panel (a field with its button) is labelled by the row.
    TFakeControl* c = f_.Get(name);
    if (c->spec_.label.empty() && c->parent_ != nullptr && c->parent_->spec_.kind == TControlKind::kPanel)
      return c->parent_->spec_.label;
    return c->spec_.label;
  }
  std::vector<std::string> Items(const std::string& name) override { return f_.Get(name)->items_; }
  int ItemIndex(const std::string& name) override { return f_.Get(name)->index_; }
  bool Enabled(const std::string& name) override { return f_.Get(name)->enabled_; }
  bool Checked(const std::string& name) override { return f_.Get(name)->checked_; }
  bool ReadOnly(const std::string& name) override { return f_.Get(name)->read_only_; }
  std::string FocusedControl() override { return f_.focused_ != nullptr ? f_.focused_->spec_.name : std::string(); }
  bool SaveImage(const std::string&) override { return false; }

 private:
  TFakeForm& f_;
};

void TFakeForm::RunModal() {
  showing_ = true;
  focused_ = nullptr;
  for (TFakeControl* c : controls_)
    if (c->Focusable()) {
      focused_ = c;
      break;
    }
  backend_.showing_.push_back(this);
  TFakeDriver driver(*this);
  RunFakeScript(driver);
  backend_.showing_.pop_back();
  if (showing_) {
    ADD_FAILURE() << "the form " << spec_.name << " could not be closed";
    showing_ = false;
  }
}

TFakeControl::~TFakeControl() {
  if (form_ != nullptr) form_->Remove(this);
}
void TFakeControl::SetFocus() {
  if (form_ != nullptr) form_->focused_ = this;
}
bool TFakeControl::Focused() const { return form_ != nullptr && form_->focused_ == this; }

namespace {

class TFakeOperator final : public TOperator {
 public:
  using TOperator::RunScript;
  using TOperator::SeeMessage;
};

TFakeOperator& TheOperator() {
  static TFakeOperator op;
  return op;
}

}  // namespace

// The fake form reaches the operator's protected runner through here.
void RunFakeScript(TFormDriver& form) { TheOperator().RunScript(form); }

std::unique_ptr<TFormPeer> TFakeBackend::CreateForm(const TControlSpec& desc, TControlSink& sink) {
  return std::make_unique<TFakeForm>(*this, desc, sink);
}

std::unique_ptr<TControlPeer> TFakeBackend::CreateControl(TControlPeer& parent, const TControlSpec& desc,
                                                          TControlSink& sink) {
  TFakeForm* form = dynamic_cast<TFakeForm*>(&parent);
  TFakeControl* parent_control = form == nullptr ? static_cast<TFakeControl*>(&parent) : nullptr;
  if (parent_control != nullptr) form = parent_control->form_;
  auto control = std::make_unique<TFakeControl>(desc, sink, form);
  control->parent_ = parent_control;
  if (form != nullptr) form->Add(control.get());
  return control;
}

void TFakeBackend::ShowMessage(TMsgKind kind, const std::string& caption, const std::string& text) {
  TheOperator().SeeMessage(kind, caption, text);
}

TOperator& TFakeBackend::Operator() { return TheOperator(); }

TFakeBackend& FakeBackend() {
  static TFakeBackend backend;
  return backend;
}

TOperator& TFakeUi::Operator() { return TheOperator(); }
void TFakeUi::SetUp() { InstallBackend(&FakeBackend()); }
void TFakeUi::TearDown() {
  TheOperator().Reset();
  InstallBackend(nullptr);
}

}  // namespace kestrel::forms::testing
