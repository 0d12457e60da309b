// A form: a window with a caption that is shown modally and ends with a
// modal result, or shown modelessly (Show) and hidden again.
//
// Closing follows one protocol whatever asks for it (a button with a modal
// result, the close box, Escape, RequestClose): the modal result is set (the
// close box and Escape set mrCancel), FormCloseQuery decides, and when it
// refuses the modal result goes back to mrNone and the form stays open;
// otherwise FormClose runs and ShowModal returns the modal result, which
// FormCloseQuery may have changed.
//
// The user-interface thread only. A form is not copyable; it owns its peer
// and is destroyed by its creator after ShowModal returned.
#pragma once

#include <string>

#include "platform/forms/Control.h"

namespace kestrel::forms {

class TForm : public TContainer {
 public:
  // `name` is the form's class name ("TfmMdmGOpt"); `owner` (may be null) is
  // the form it is shown over. Throws EFormsError when no backend can make it.
  explicit TForm(std::string name, TForm* owner = nullptr, TLayout layout = TLayout::kColumn);
  ~TForm() override;

  void SetCaption(const std::string& caption);
  std::string Caption() const;
  void SetPosition(TFormPosition position);
  TForm* Owner() const { return owner_; }

  // Runs FormShow, shows the form and returns its modal result once it is
  // closed. Blocks the calling thread; the operator's actions run as events
  // meanwhile. An exception from FormShow passes to the caller and the form
  // is not shown. Throws EFormsError when the form is already showing.
  TModalResult ShowModal();
  bool Showing() const { return showing_; }

  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult result) { modal_result_ = result; }

  // Asks the showing form to close with `result` (see above). Does nothing
  // when the form is not showing. Exceptions of FormCloseQuery pass to the
  // caller (from an event they end in an error box).
  void RequestClose(TModalResult result);
  // As the close box: RequestClose(mrCancel).
  void Close() { RequestClose(TModalResult::mrCancel); }

  // Shows the form without a modal loop and returns at once: FormShow runs
  // first when it is not visible yet; a visible one comes to the front.
  // Closing it (close box, Escape, RequestClose) asks FormCloseQuery, runs
  // FormClose and hides it; the form stays for another Show. Throws
  // EFormsError when the backend cannot show forms that way, or the form is
  // showing modally.
  void Show();
  void Hide();
  // Shown modelessly and not hidden since.
  bool Visible() const;

 protected:
  // Before the form appears, every time it is shown.
  virtual void FormShow() {}
  // On every close request, with ModalResult() already set. Return false to
  // keep the form open; may change the modal result.
  virtual bool FormCloseQuery() { return true; }
  // After a close request was granted.
  virtual void FormClose() {}

 private:
  void PeerCloseRequest() override;
  TFormPeer& FormPeer() const;

  TForm* owner_;
  TFormPosition position_ = TFormPosition::kMainFormCentre;
  TModalResult modal_result_ = TModalResult::mrNone;
  bool showing_ = false;
  bool modeless_ = false;
};

}  // namespace kestrel::forms
