// The controls an operator works with: buttons, check boxes, drop-down
// lists, one-line, time and multi-line fields, and report lists.
//
// Events (OnClick, OnChange, OnExit of Control.h) run on the user-interface
// thread when the operator acts, never for changes made through the setters.
// An exception thrown by a handler is shown in an error box and goes no
// further. Texts are Windows-1251.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/forms/Control.h"

namespace kestrel::forms {

class TButton : public TControl {
 public:
  // A button with a modal result other than mrNone closes its form with that
  // result when pressed (after OnClick): the form's close query decides.
  TButton(TContainer& parent, std::string name, std::string caption,
          TModalResult modal_result = TModalResult::mrNone);
  std::string Caption() const;
  void SetCaption(const std::string& caption);
  // The default button is pressed by Enter anywhere in the form except in a memo.
  void SetDefault(bool is_default);
  // False: a mouse press leaves the focus where it is, so the focused field
  // is not asked to let it go (a Cancel button that must work whatever the
  // fields hold). True by default.
  void SetFocusOnClick(bool takes_focus);
  TModalResult ModalResult() const { return modal_result_; }

  std::function<void()> OnClick;

 private:
  void PeerClicked() override;
  TModalResult modal_result_;
};

class TCheckBox : public TControl {
 public:
  TCheckBox(TContainer& parent, std::string name, std::string caption);
  bool Checked() const;
  void SetChecked(bool checked);

  std::function<void()> OnClick;

 private:
  void PeerClicked() override;
};

// A drop-down list that accepts no typed text.
class TComboBox : public TControl {
 public:
  TComboBox(TContainer& parent, std::string name, std::string label = {});
  // Replaces the items; nothing is chosen afterwards.
  void SetItems(std::vector<std::string> items);
  const std::vector<std::string>& Items() const { return items_; }
  // The chosen item, -1 for none. An index outside the items chooses none.
  int ItemIndex() const;
  void SetItemIndex(int index);

  std::function<void()> OnChange;

 private:
  void PeerChanged() override;
  std::vector<std::string> items_;
};

class TEdit : public TControl {
 public:
  TEdit(TContainer& parent, std::string name, std::string label = {});
  std::string Text() const;
  void SetText(const std::string& text);
  // A read-only field can take the focus and be copied from, not typed into.
  void SetReadOnly(bool read_only);

  std::function<void()> OnChange;

 private:
  void PeerChanged() override;
};

// A time field with the fixed mask "99:99:99": hours, minutes and seconds of
// up to two digits each. The operator types digits; a typed ":" moves to
// the next group. The mask checks no ranges: "99:99:99" can be typed.
// Text() is what was typed with the unfilled positions left out ("1:00:00"
// when the hours hold one digit, "::" when nothing was typed).
class TMaskEdit : public TControl {
 public:
  TMaskEdit(TContainer& parent, std::string name, std::string label = {});
  std::string Text() const;
  // Puts `text` into the mask as if it were typed into an empty field.
  void SetText(const std::string& text);

  std::function<void()> OnChange;

 private:
  void PeerChanged() override;
};

// A multi-line field with both scroll bars. Tab leaves it; Enter starts a
// new line.
class TMemo : public TControl {
 public:
  TMemo(TContainer& parent, std::string name, std::string label = {});
  // The lines: the text cut at every line break; an empty last line (after a
  // final break, or an empty text) does not count.
  std::vector<std::string> Lines() const;
  void SetLines(const std::vector<std::string>& lines);
  std::string Text() const;  // lines separated by "\n"
  // A read-only memo shows and scrolls its text but takes no typing.
  void SetReadOnly(bool read_only);

  std::function<void()> OnChange;

 private:
  void PeerChanged() override;
};

// A read-only report list with one column (its caption shown as the header),
// grid lines and whole-row selection of at most one row; the selection stays
// visible when the list loses the focus.
class TListView : public TControl {
 public:
  TListView(TContainer& parent, std::string name, std::string column_caption);
  // Replaces the rows; nothing is selected afterwards.
  void SetItems(std::vector<std::string> items);
  const std::vector<std::string>& Items() const { return items_; }
  // The selected row, -1 for none. An index outside the rows selects none.
  int ItemIndex() const;
  void SetItemIndex(int index);
  int SelCount() const { return ItemIndex() >= 0 ? 1 : 0; }

  std::function<void()> OnChange;

 private:
  void PeerChanged() override;
  std::vector<std::string> items_;
};

// Splits a memo text into lines as TMemo::Lines does: breaks are "\r\n",
// "\n" or "\r"; an empty last line does not count.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace kestrel::forms
