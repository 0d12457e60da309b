#include "platform/forms/Form.h"

#include "platform/ScopeExit.h"
#include "platform/forms/HandlerGuard.h"

namespace kestrel::forms {
namespace {
TControlDesc FormDesc(std::string name, TLayout layout) {
  TControlDesc s;
  s.kind = TControlKind::kPanel;
  s.name = std::move(name);
  s.layout = layout;
  return s;
}
}  // namespace

TForm::TForm(std::string name, TForm* owner, TLayout layout)
    : TContainer(TFormTag{}, FormDesc(std::move(name), layout)), owner_(owner) {
  SetForm(this);
}

TForm::~TForm() = default;

TFormPeer& TForm::FormPeer() const { return static_cast<TFormPeer&>(Peer()); }

void TForm::SetCaption(const std::string& caption) { Peer().SetCaption(caption); }
std::string TForm::Caption() const { return Peer().Caption(); }
void TForm::SetPosition(TFormPosition position) { position_ = position; }

TModalResult TForm::ShowModal() {
  if (showing_) throw EFormsError("the form " + Name() + " is already showing");
  modal_result_ = TModalResult::mrNone;
  FormShow();
  FormPeer().SetPosition(position_, owner_ != nullptr ? &owner_->FormPeer() : nullptr);
  showing_ = true;
  const platform::TScopeExit hidden([this] { showing_ = false; });
  FormPeer().RunModal();
  return modal_result_;
}

void TForm::Show() {
  if (showing_) throw EFormsError("the form " + Name() + " is showing modally");
  if (!Visible()) {
    FormShow();
    FormPeer().SetPosition(position_, owner_ != nullptr ? &owner_->FormPeer() : nullptr);
  }
  try {
    FormPeer().ShowModeless();
  } catch (const EFormsError&) {
    throw;
  } catch (const std::exception& e) {
    throw EFormsError(e.what());
  }
  modeless_ = true;
}

void TForm::Hide() {
  modeless_ = false;
  FormPeer().Hide();
}

bool TForm::Visible() const { return modeless_ && FormPeer().Visible(); }

void TForm::RequestClose(TModalResult result) {
  if (!showing_) {
    if (!modeless_) return;
    // A modeless form has no modal result to give; it only hides.
    if (!FormCloseQuery()) return;
    const platform::TScopeExit hide([this] { Hide(); });
    FormClose();
    return;
  }
  modal_result_ = result;
  // Refused (or the query threw): the form stays open with no answer.
  platform::TScopeExit no_answer([this] { modal_result_ = TModalResult::mrNone; });
  if (!FormCloseQuery()) return;
  no_answer.Dismiss();
  // A form closed with mrNone would leave ShowModal with no answer.
  if (modal_result_ == TModalResult::mrNone) modal_result_ = TModalResult::mrCancel;
  showing_ = false;
  // The form ends even when FormClose throws: ShowModal must return.
  const platform::TScopeExit end([this] { FormPeer().EndModal(); });
  FormClose();
}

void TForm::PeerCloseRequest() {
  RunGuarded([this] { RequestClose(TModalResult::mrCancel); });
}

}  // namespace kestrel::forms
