#include "platform/forms/Control.h"

#include "platform/forms/Application.h"
#include "platform/forms/Form.h"
#include "platform/forms/HandlerGuard.h"

namespace kestrel::forms {
namespace {

// The backend reports failure with std::runtime_error (its own exception
// types could not be caught across the plugin boundary).
template <typename F>
auto Create(F&& make) {
  try {
    return make();
  } catch (const EFormsError&) {
    throw;
  } catch (const std::exception& e) {
    throw EFormsError(e.what());
  }
}

}  // namespace

TControl::TControl(TContainer& parent, const TControlDesc& desc) : name_(desc.name), form_(&parent.Form()) {
  peer_ = Create([&] { return CurrentBackend().CreateControl(parent.Peer(), desc, *this); });
}

TControl::TControl(TFormTag, const TControlDesc& desc) : name_(desc.name) {
  std::unique_ptr<TFormPeer> peer = Create([&] { return CurrentBackend().CreateForm(desc, *this); });
  peer_ = std::move(peer);
}

TControl::~TControl() = default;

void TControl::SetEnabled(bool enabled) { peer_->SetEnabled(enabled); }
bool TControl::Enabled() const { return peer_->Enabled(); }
void TControl::SetFocus() { peer_->SetFocus(); }
bool TControl::Focused() const { return peer_->Focused(); }
void TControl::SetSizeHint(int chars, int lines) { peer_->SetSizeHint(chars, lines); }

bool TControl::PeerExitQuery() {
  if (!OnExit) return true;
  bool may_leave = false;
  RunGuarded([&] { may_leave = OnExit(); });
  return may_leave;
}

namespace {
TControlDesc MakeDesc(TControlKind kind, std::string name, std::string caption, std::string label = {},
                  TLayout layout = TLayout::kColumn, TAlign align = TAlign::kFill) {
  TControlDesc s;
  s.kind = kind;
  s.name = std::move(name);
  s.caption = std::move(caption);
  s.label = std::move(label);
  s.layout = layout;
  s.align = align;
  return s;
}
}  // namespace

TPanel::TPanel(TContainer& parent, std::string name, TLayout layout, TAlign align, std::string label)
    : TContainer(parent, MakeDesc(TControlKind::kPanel, std::move(name), {}, std::move(label), layout, align)) {}

TGroupBox::TGroupBox(TContainer& parent, std::string name, std::string caption, TLayout layout, TAlign align)
    : TContainer(parent, MakeDesc(TControlKind::kGroupBox, std::move(name), std::move(caption), {}, layout, align)) {}

void TGroupBox::SetCaption(const std::string& caption) { Peer().SetCaption(caption); }
std::string TGroupBox::Caption() const { return Peer().Caption(); }

TLabel::TLabel(TContainer& parent, std::string name, std::string caption)
    : TControl(parent, MakeDesc(TControlKind::kLabel, std::move(name), std::move(caption))) {}

void TLabel::SetCaption(const std::string& caption) { Peer().SetCaption(caption); }
std::string TLabel::Caption() const { return Peer().Caption(); }

}  // namespace kestrel::forms
