// The base of every control, and the containers and labels that only arrange
// and describe the others.
//
// A control is created with its parent container and placed after the
// parent's earlier children (Backend.h tells how each layout places them);
// the form is the outermost container. Declaring controls as members of a
// form class, in layout order, builds the form:
//
//     class TfmExample : public forms::TForm {
//       forms::TGroupBox grbx{*this, "grbx", "Свойства"_cp, forms::TLayout::kFields};
//       forms::TEdit edName{grbx, "edName", "Имя"_cp};
//       ...
//
// A control must die before its parent; members declared in that order do.
// Texts are Windows-1251. Every member runs on the user-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/forms/Backend.h"

namespace kestrel::forms {

class TContainer;
class TForm;

class TControl : protected TControlSink {
 public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  const std::string& Name() const { return name_; }
  // The form this control belongs to (itself for a form).
  TForm& Form() const { return *form_; }

  void SetEnabled(bool enabled);
  bool Enabled() const;
  void SetFocus();
  bool Focused() const;
  // A preferred size in average characters and text lines (0: the backend's choice).
  void SetSizeHint(int chars, int lines);

  // Runs when the operator moves the focus from this control to another
  // control of the same form (mouse or Tab), before it moves. Returning false
  // keeps the focus here and cancels the press or key that would have moved
  // it, so a button pressed to leave the field is not clicked. An exception
  // is shown in an error box and keeps the focus as well.
  std::function<bool()> OnExit;

 protected:
  // A control inside `parent`. Throws EFormsError when the backend cannot make it.
  TControl(TContainer& parent, const TControlDesc& desc);
  struct TFormTag {};
  // A form's own control part: makes the form peer.
  TControl(TFormTag, const TControlDesc& desc);

  TControlPeer& Peer() const { return *peer_; }
  void SetForm(TForm* form) { form_ = form; }

  bool PeerExitQuery() override;

 private:
  std::string name_;
  TForm* form_ = nullptr;
  std::unique_ptr<TControlPeer> peer_;
};

// A control that holds others.
class TContainer : public TControl {
 protected:
  using TControl::TControl;
};

// An invisible container: a row of buttons, a column beside a list.
class TPanel : public TContainer {
 public:
  // `label`: the row label when the parent lays out fields.
  TPanel(TContainer& parent, std::string name, TLayout layout, TAlign align = TAlign::kFill, std::string label = {});
};

// A framed container with a title.
class TGroupBox : public TContainer {
 public:
  TGroupBox(TContainer& parent, std::string name, std::string caption, TLayout layout,
            TAlign align = TAlign::kFill);
  void SetCaption(const std::string& caption);
  std::string Caption() const;
};

// A text that the operator reads. In a fields layout it spans its row.
class TLabel : public TControl {
 public:
  TLabel(TContainer& parent, std::string name, std::string caption);
  void SetCaption(const std::string& caption);
  std::string Caption() const;
};

}  // namespace kestrel::forms
