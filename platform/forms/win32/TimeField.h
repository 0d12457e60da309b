// The editing rules of a time field "99:99:99" (TMaskEdit) for a toolkit
// whose edit control knows no masks: the eight positions the field shows,
// and what the operator's keys do to them. Pure; the Win32 peer feeds it
// the selection and shows the result.
//
// Positions 2 and 5 hold the ':' of the mask; the others a digit or the
// blank '_'. A selection is the positions [from, to); the caret is `to`
// when nothing is selected (from == to). Every edit returns the new caret.
#pragma once

#include <string>

namespace kestrel::forms::win32 {

class TTimeField {
 public:
  static constexpr int kLength = 8;
  static constexpr char kBlank = '_';

  TTimeField();

  // What the field shows: "1_:00:00".
  const std::string& Shown() const { return shown_; }
  // What was typed with the unfilled positions left out: "1:00:00", "::".
  std::string Text() const;
  // As if `text` were typed into the empty field (TimeMask.h).
  void SetText(const std::string& text);

  // A typed character: a digit fills the position at the caret (passing
  // over a ':') and moves on; ':' moves to the start of the next group;
  // anything else is ignored. A selection is blanked first.
  int Type(int from, int to, char c);
  // Backspace (`forward` false) or Delete: blanks the selection, or the
  // position before (after) the caret.
  int Erase(int from, int to, bool forward);
  // Pasted text, typed character by character over the blanked selection.
  int Paste(int from, int to, const std::string& text);

 private:
  static bool IsSeparator(int position) { return position == 2 || position == 5; }
  void Blank(int from, int to);

  std::string shown_;
};

}  // namespace kestrel::forms::win32
